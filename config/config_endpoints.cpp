// The server endpoint list of the section "soap". Endpoints are filled as a
// friend of OrnEndPoint, through its FillFromStore, never parsed: whatever is
// stored is taken, and every endpoint read here reports itself valid.
#include <liborn2/config.h>
#include <liborn2/endpoint.h>

#include <cstdio>
#include <cstdlib>

#include "config/config_text.h"

namespace {

const char kSection[] = "soap";

// Longest texts taken from the store; longer values are cut to these.
constexpr size_t kServerLength = 511;
constexpr size_t kProtocolLength = 5;
constexpr size_t kPortLength = 5;
// Values are read whole into a buffer as large as a record's value and cut
// afterwards, whatever GetString does with a value too long for its buffer.
constexpr int kValueBuffer = Config::kValueSize;

// Key buffers of the numbered endpoints, "server_%d" and "port_%d" in 12 bytes
// and "protocol_%d" in 16: indexes have at most four digits, so the list stops
// at number 9999 even when "endpoint_size" is larger.
constexpr size_t kServerKeyBuffer = 12;
constexpr size_t kProtocolKeyBuffer = 16;
constexpr size_t kPortKeyBuffer = 12;
constexpr int kEndPointLimit = 10000;

}  // namespace

int Config::ReadEndPoint(const char* serverKey, const char* protocolKey, const char* portKey,
                         OrnEndPoint& endPoint) {
  char server[kValueBuffer] = {};
  char protocol[kValueBuffer] = {};
  char port[kValueBuffer] = {};
  if (GetString(serverKey, server, kValueBuffer, kSection) != 0) return -1;
  if (GetString(protocolKey, protocol, kValueBuffer, kSection) != 0) return -1;
  if (GetString(portKey, port, kValueBuffer, kSection) != 0) return -1;
  server[kServerLength] = '\0';
  protocol[kProtocolLength] = '\0';
  port[kPortLength] = '\0';

  // At most five characters: atoi cannot overflow here. A text without leading
  // digits gives 0; a negative one wraps into the unsigned port.
  endPoint.FillFromStore(server, protocol, static_cast<unsigned int>(std::atoi(port)));
  return 0;
}

int Config::RetrieveEndPoints(std::vector<OrnEndPoint>& endPoints) {
  OrnEndPoint endPoint;
  endPoints.clear();
  if (ReadEndPoint("server", "protocol", "port", endPoint) != 0) return -1;
  endPoints.push_back(endPoint);

  int size = GetInteger("endpoint_size", kSection);
  if (size == Config::kMissingInteger || size < 2) return 0;
  if (size > kEndPointLimit) size = kEndPointLimit;
  // Incomplete numbered endpoints are skipped without a word.
  for (int i = 1; i < size; ++i) {
    char serverKey[kServerKeyBuffer];
    char protocolKey[kProtocolKeyBuffer];
    char portKey[kPortKeyBuffer];
    std::snprintf(serverKey, sizeof(serverKey), "server_%d", i);
    std::snprintf(protocolKey, sizeof(protocolKey), "protocol_%d", i);
    std::snprintf(portKey, sizeof(portKey), "port_%d", i);
    if (ReadEndPoint(serverKey, protocolKey, portKey, endPoint) == 0) endPoints.push_back(endPoint);
  }
  return 0;
}
