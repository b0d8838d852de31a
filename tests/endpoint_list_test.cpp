// The server list of a configuration file's section "soap": which endpoints
// come back, in which order, and that they are taken as stored, unchecked.

// The tests link the library's static twin, not the DLL: no dllimport.
#ifndef ORN2_STATIC
#define ORN2_STATIC
#endif

#include <gtest/gtest.h>
#include <liborn2/config.h>
#include <liborn2/endpoint.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using orn2::testing::TempDir;
using orn2::testing::WriteFileBytes;

struct Expected {
  std::string protocol;
  std::string host;
  unsigned int port;
};

std::string Describe(const std::vector<OrnEndPoint>& list) {
  std::string out;
  for (const OrnEndPoint& e : list)
    out +=
        "(" + e.GetProtocol() + ", " + e.GetHostName() + ", " + std::to_string(e.GetPort()) + ")";
  return out;
}

std::string Describe(const std::vector<Expected>& list) {
  std::string out;
  for (const Expected& e : list)
    out += "(" + e.protocol + ", " + e.host + ", " + std::to_string(e.port) + ")";
  return out;
}

const std::string kFirst = "[soap]\nserver=10.0.0.5\nprotocol=https\nport=443\n";

TEST(EndPointList, ReadsTheConfiguredServers) {
  struct Case {
    const char* what;
    std::string text;
    int result;
    std::vector<Expected> endPoints;
  };
  const std::string long512(512, 'h');
  const Case cases[] = {
      {"three endpoints",
       kFirst + "endpoint_size=3\nserver_1=10.0.0.6\nprotocol_1=https\nport_1=443\n"
                "server_2=10.0.0.7\nprotocol_2=http\nport_2=80\n",
       0,
       {{"https", "10.0.0.5", 443}, {"https", "10.0.0.6", 443}, {"http", "10.0.0.7", 80}}},
      {"no endpoint_size: numbered keys are not read",
       kFirst + "server_1=10.0.0.6\nprotocol_1=https\nport_1=443\n",
       0,
       {{"https", "10.0.0.5", 443}}},
      {"a gap is closed up",
       kFirst + "endpoint_size=3\nprotocol_1=https\nport_1=443\n"
                "server_2=10.0.0.7\nprotocol_2=http\nport_2=80\n",
       0,
       {{"https", "10.0.0.5", 443}, {"http", "10.0.0.7", 80}}},
      {"numbered endpoints missing their protocol or port are skipped",
       kFirst + "endpoint_size=4\nserver_1=10.0.0.6\nport_1=1\nserver_2=10.0.0.7\n"
                "protocol_2=http\nserver_3=10.0.0.8\nprotocol_3=http\nport_3=3\n",
       0,
       {{"https", "10.0.0.5", 443}, {"http", "10.0.0.8", 3}}},
      {"hexadecimal size",
       kFirst + "endpoint_size=0x3\nserver_1=a\nprotocol_1=p\nport_1=1\n"
                "server_2=b\nprotocol_2=q\nport_2=2\n",
       0,
       {{"https", "10.0.0.5", 443}, {"p", "a", 1}, {"q", "b", 2}}},
      {"numbers at or above the size are never read",
       kFirst + "endpoint_size=2\nserver_1=a\nprotocol_1=p\nport_1=1\n"
                "server_2=b\nprotocol_2=q\nport_2=2\n",
       0,
       {{"https", "10.0.0.5", 443}, {"p", "a", 1}}},
      {"duplicates stay",
       kFirst + "endpoint_size=2\nserver_1=10.0.0.5\nprotocol_1=https\nport_1=443\n",
       0,
       {{"https", "10.0.0.5", 443}, {"https", "10.0.0.5", 443}}},
      {"values taken unchecked and in their case",
       "[soap]\nserver=no host here\nprotocol=FTP\nport=abc\nendpoint_size=2\n"
       "server_1=x\nprotocol_1=HTTPS\nport_1=-1\n",
       0,
       {{"FTP", "no host here", 0}, {"HTTPS", "x", 4294967295u}}},
      {"section and keys in other case",
       "[SOAP]\nServer=10.0.0.5\nPROTOCOL=https\nPort=443\nEndPoint_Size=2\n"
       "SERVER_1=10.0.0.6\nProtocol_1=http\nport_1=8080\n",
       0,
       {{"https", "10.0.0.5", 443}, {"http", "10.0.0.6", 8080}}},
      {"values too long are cut",
       "[soap]\nserver=" + long512 + "\nprotocol=https1\nport=123456\n",
       0,
       {{"https", std::string(511, 'h'), 12345}}},
      {"missing first server",
       "[soap]\nprotocol=https\nport=443\nendpoint_size=2\n"
       "server_1=a\nprotocol_1=p\nport_1=1\n",
       -1,
       {}},
      {"missing first port", "[soap]\nserver=a\nprotocol=https\n", -1, {}},
      {"the first server in another section",
       "[other]\nserver=10.0.0.5\n[soap]\nprotocol=https\nport=443\n",
       -1,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = dir.File("agent.ini");
    WriteFileBytes(file, c.text);
    Config config(file.c_str());
    // What the vector held before is replaced in every case.
    std::vector<OrnEndPoint> list(2, OrnEndPoint("192.0.2.1"));
    EXPECT_EQ(config.RetrieveEndPoints(list), c.result);
    EXPECT_EQ(Describe(list), Describe(c.endPoints));
    for (const OrnEndPoint& e : list) {
      EXPECT_TRUE(e.IsValid());
      EXPECT_EQ(e.GetErrorMessage(), "");
      EXPECT_EQ(e.GetWarningMessage(), "");
    }
  }
}

TEST(EndPointList, SizesThatGiveOnlyTheFirstEndpoint) {
  const std::string numbered = "server_1=a\nprotocol_1=p\nport_1=1\n";
  for (const char* size : {"1", "0", "-2", "abc", "0x1g", "65535", "0X3"}) {
    SCOPED_TRACE(size);
    TempDir dir;
    const std::string file = dir.File("agent.ini");
    WriteFileBytes(file, kFirst + "endpoint_size=" + size + "\n" + numbered);
    Config config(file.c_str());
    std::vector<OrnEndPoint> list;
    EXPECT_EQ(config.RetrieveEndPoints(list), 0);
    EXPECT_EQ(Describe(list), "(https, 10.0.0.5, 443)");
  }
}

// Number 10000 is never read: its server key would not fit the four-digit key
// buffer and come out as server_1000.
TEST(EndPointList, SizeAboveTenThousandStopsAtNumber9999) {
  TempDir dir;
  const std::string file = dir.File("agent.ini");
  WriteFileBytes(file, kFirst +
                           "endpoint_size=20000\n"
                           "server_1000=c\nprotocol_1000=r\nport_1000=1000\n"
                           "server_9999=a\nprotocol_9999=p\nport_9999=9999\n"
                           "server_10000=b\nprotocol_10000=q\nport_10000=10000\n");
  Config config(file.c_str());
  std::vector<OrnEndPoint> list;
  EXPECT_EQ(config.RetrieveEndPoints(list), 0);
  EXPECT_EQ(Describe(list), "(https, 10.0.0.5, 443)(r, c, 1000)(p, a, 9999)");
}

TEST(EndPointList, StoreWithoutAFile) {
  Config config;
  std::vector<OrnEndPoint> list(1, OrnEndPoint("192.0.2.1"));
  EXPECT_EQ(config.RetrieveEndPoints(list), -1);
  EXPECT_TRUE(list.empty());
}

}  // namespace
