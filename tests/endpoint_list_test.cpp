// The server list of a configuration file's section "soap": which endpoints
// come back, in which order, and that they are taken as stored, unchecked.

#include <gtest/gtest.h>
#include <liborn2/config.h>
#include <liborn2/endpoint.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

const std::string kFirst = "[soap]\nserver=10.0.0.5\nprotocol=https\nport=443\n";

std::string Numbered(int i, const char* server, const char* protocol, const char* port) {
  const std::string n = std::to_string(i) + "=";
  return "server_" + n + server + "\nprotocol_" + n + protocol + "\nport_" + n + port + "\n";
}

// Reads the list of a file holding `text` into a vector that held something
// else before; returns the endpoints as "(protocol, host, port)...".
std::string Retrieve(const std::string& text, int expectedResult = 0) {
  orn2::testing::TempDir dir;
  const std::string file = dir.File("agent.ini");
  orn2::testing::WriteFileBytes(file, text);
  Config config(file.c_str());
  std::vector<OrnEndPoint> list(2, OrnEndPoint("192.0.2.1"));
  EXPECT_EQ(config.RetrieveEndPoints(list), expectedResult) << text;
  std::string out;
  for (const OrnEndPoint& e : list) {
    SCOPED_TRACE("endpoint " + std::to_string(&e - list.data()) + " of " + text);
    EXPECT_TRUE(e.IsValid());
    EXPECT_EQ(e.GetErrorMessage(), "");
    EXPECT_EQ(e.GetWarningMessage(), "");
    out +=
        "(" + e.GetProtocol() + ", " + e.GetHostName() + ", " + std::to_string(e.GetPort()) + ")";
  }
  return out;
}

TEST(EndPointList, ReadsTheConfiguredServers) {
  const std::string first = "(https, 10.0.0.5, 443)";
  EXPECT_EQ(Retrieve(kFirst + "endpoint_size=3\n" + Numbered(1, "10.0.0.6", "https", "443") +
                     Numbered(2, "10.0.0.7", "http", "80")),
            first + "(https, 10.0.0.6, 443)(http, 10.0.0.7, 80)");
  // Without a size the numbered keys are not read.
  EXPECT_EQ(Retrieve(kFirst + Numbered(1, "a", "p", "1")), first);
  // Incomplete endpoints are skipped, duplicates stay, numbers at or above
  // the size (here hexadecimal) are never read.
  EXPECT_EQ(Retrieve(kFirst + "endpoint_size=0x5\nprotocol_1=p\nport_1=1\nserver_2=b\nport_2=2\n" +
                     "server_3=c\nprotocol_3=r\n" + Numbered(4, "10.0.0.5", "https", "443") +
                     Numbered(5, "e", "t", "5")),
            first + first);
  // Values are taken unchecked and in their case; keys match in any case.
  EXPECT_EQ(Retrieve("[SOAP]\nServer=no host\nPROTOCOL=FTP\nPort=abc\nEndPoint_Size=2\n"
                     "SERVER_1=x\nProtocol_1=Https\nport_1=-1\n"),
            "(FTP, no host, 0)(Https, x, 4294967295)");
  // Values too long for their buffers are cut.
  EXPECT_EQ(
      Retrieve("[soap]\nserver=" + std::string(512, 'h') + "\nprotocol=https1\nport=123456\n"),
      "(https, " + std::string(511, 'h') + ", 12345)");
  // Without a complete first endpoint the vector ends up empty.
  EXPECT_EQ(
      Retrieve("[soap]\nprotocol=https\nport=443\nendpoint_size=2\n" + Numbered(1, "a", "p", "1"),
               -1),
      "");
  EXPECT_EQ(Retrieve("[soap]\nserver=a\nprotocol=https\n", -1), "");
  // Sizes that give only the first endpoint.
  for (const char* size : {"1", "0", "-2", "abc", "0x1g", "65535", "0X3"}) {
    EXPECT_EQ(Retrieve(kFirst + "endpoint_size=" + size + "\n" + Numbered(1, "a", "p", "1")), first)
        << size;
  }
  // Number 10000 is never read: its server key would not fit the four-digit key
  // buffer and come out as server_1000.
  EXPECT_EQ(Retrieve(kFirst + "endpoint_size=20000\n" + Numbered(1000, "c", "r", "1000") +
                     Numbered(9999, "a", "p", "9999") + Numbered(10000, "b", "q", "10000")),
            first + "(r, c, 1000)(p, a, 9999)");
}

}  // namespace
