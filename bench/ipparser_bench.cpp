// Cost of building an OrnIPParser in range and mask mode, and of one hand-out.
#include <benchmark/benchmark.h>
#include <liborn2/ipparser.h>

#include <string>

namespace {

void BM_RangeSingleAddress(benchmark::State& state) {
  const std::string expression = "192.168.1.77";
  for (auto _ : state) {
    OrnIPParser parser(expression, "");
    benchmark::DoNotOptimize(parser.IsValid());
  }
}
BENCHMARK(BM_RangeSingleAddress);

void BM_RangeWideExpression(benchmark::State& state) {
  const std::string expression = "10.0-255.1,3,5-9.*";
  for (auto _ : state) {
    OrnIPParser parser(expression, "");
    benchmark::DoNotOptimize(parser.IsValid());
  }
}
BENCHMARK(BM_RangeWideExpression);

void BM_MaskMode(benchmark::State& state) {
  const std::string address = "10.1.200.3";
  const std::string mask = "255.255.240.0";
  for (auto _ : state) {
    OrnIPParser parser(address, mask);
    benchmark::DoNotOptimize(parser.IsValid());
  }
}
BENCHMARK(BM_MaskMode);

void BM_HandOutFourthOctet(benchmark::State& state) {
  const OrnIPParser parser("10.0.0.*", "");
  short values[256];
  for (auto _ : state) {
    unsigned int count = 256;
    parser.GetClassDRange(values, count);
    benchmark::DoNotOptimize(values);
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_HandOutFourthOctet);

}  // namespace

BENCHMARK_MAIN();
