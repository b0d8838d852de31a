// Cost of one endpoint parse: the dotted-quad path that needs no look-up, the
// path through the address conversion, and the name look-up of localhost.
#include <benchmark/benchmark.h>
#include <liborn2/endpoint.h>

#include <string>

#include "net/endpoint_functions.h"

namespace {

void ParseEndPoint(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    OrnEndPoint endPoint(text);
    benchmark::DoNotOptimize(endPoint.IsValid());
  }
}

BENCHMARK_CAPTURE(ParseEndPoint, DottedQuad, std::string("https://192.0.2.10:8443"));
BENCHMARK_CAPTURE(ParseEndPoint, ShortForm, std::string("http://0x7f.1:8080"));
BENCHMARK_CAPTURE(ParseEndPoint, Localhost, std::string("http://localhost:8080"));
BENCHMARK_CAPTURE(ParseEndPoint, ProtocolError, std::string("ftp://192.0.2.10:21"));

void DottedQuadCheck(benchmark::State& state) {
  const std::string host = "192.0.2.10";
  for (auto _ : state) benchmark::DoNotOptimize(orn2::net::IsValidIPAddress(host));
}
BENCHMARK(DottedQuadCheck);

void CopyValidEndPoint(benchmark::State& state) {
  const OrnEndPoint source("https://192.0.2.10:8443");
  for (auto _ : state) {
    OrnEndPoint copy(source);
    benchmark::DoNotOptimize(copy.GetPort());
  }
}
BENCHMARK(CopyValidEndPoint);

}  // namespace

BENCHMARK_MAIN();
