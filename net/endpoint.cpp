#include <liborn2/endpoint.h>

#include "net/constants.h"
#include "net/decimal_text.h"
#include "net/endpoint_functions.h"

using orn2::net::IsResolvableHost;
using orn2::net::IsValidIPAddress;

namespace {

constexpr unsigned int kDefaultPort = 80;
const char kHttps[] = "https";
const char kHttpPort[] = "80";
const char kHttpsPort[] = "443";

}  // namespace

OrnEndPoint::OrnEndPoint(const std::string& endPoint)
    : protocol_(orn2::kDefaultProtocol), port_(kDefaultPort), valid_(false) {
  ParseEndPoint(endPoint);
}

OrnEndPoint::OrnEndPoint() : port_(0), valid_(false) {}

void OrnEndPoint::FillFromStore(const char* hostName, const char* protocol, unsigned int port) {
  valid_ = true;
  hostName_ = hostName;
  protocol_ = protocol;
  port_ = port;
  errorMessage_.clear();
  warningMessage_.clear();
}

// A copy of an invalid endpoint keeps only its error message; its port is 0.
OrnEndPoint::OrnEndPoint(const OrnEndPoint& other)
    : port_(0), errorMessage_(other.errorMessage_), valid_(other.valid_) {
  if (valid_) {
    protocol_ = other.protocol_;
    hostName_ = other.hostName_;
    port_ = other.port_;
  }
}

// Assigning an invalid endpoint makes the target invalid with the source's
// error message but leaves the target's protocol, host name and port alone.
OrnEndPoint& OrnEndPoint::operator=(const OrnEndPoint& other) {
  if (this == &other) return *this;
  valid_ = other.valid_;
  if (valid_) {
    protocol_ = other.protocol_;
    hostName_ = other.hostName_;
    port_ = other.port_;
  }
  errorMessage_ = other.errorMessage_;
  return *this;
}

OrnEndPoint::~OrnEndPoint() = default;

bool OrnEndPoint::operator==(const OrnEndPoint& other) {
  return hostName_ == other.hostName_ && protocol_ == other.protocol_ && port_ == other.port_;
}

bool OrnEndPoint::IsValid() const { return valid_; }

const std::string& OrnEndPoint::GetErrorMessage() const { return errorMessage_; }

const std::string& OrnEndPoint::GetWarningMessage() const { return warningMessage_; }

const std::string& OrnEndPoint::GetProtocol() const { return protocol_; }

const std::string& OrnEndPoint::GetHostName() const { return hostName_; }

unsigned int OrnEndPoint::GetPort() const { return port_; }

void OrnEndPoint::ParseEndPoint(const std::string& endPoint) {
  std::string rest = endPoint;
  bool success = true;
  if (!rest.empty()) {
    const size_t slashes = rest.find("//");
    if (slashes == std::string::npos) {
      protocol_ = orn2::kDefaultProtocol;
    } else {
      // The one character before "//" (normally the colon) is dropped without a
      // look; an endpoint that starts with "//" is its own protocol.
      protocol_ = slashes == 0 ? rest : rest.substr(0, slashes - 1);
      rest = rest.substr(slashes + 2);
      orn2::net::Trim(protocol_);
      orn2::net::ToLower(protocol_);
      if (protocol_ != orn2::kDefaultProtocol && protocol_ != kHttps) {
        errorMessage_ +=
            "Error: invalid protocol: " + protocol_ + " found in endpoint: " + endPoint + "\n";
        return;
      }
    }

    // The port text runs to the end: a path after it makes the port bad.
    std::string portText;
    const size_t colon = rest.find(':');
    if (colon == std::string::npos) {
      hostName_ = rest;
      portText = protocol_ == orn2::kDefaultProtocol ? kHttpPort : kHttpsPort;
    } else {
      hostName_ = rest.substr(0, colon);
      portText = rest.substr(colon + 1);
    }

    if (!IsValidIPAddress(hostName_) && !IsResolvableHost(hostName_)) {
      errorMessage_ += " Error: hostname: " + hostName_ + " found in endpoint " + endPoint +
                       " is not valid IP address or can't be resolved to an IP address\n";
      success = false;
    }

    // Leading zeros are fine and there is no upper bound (70000 is kept); an
    // empty text converts to 0 and so is refused.
    const int value = orn2::net::DecimalValue(portText);
    if (orn2::net::IsAllDigits(portText) && value != 0) {
      port_ = static_cast<unsigned int>(value);
    } else {
      errorMessage_ += "Error: invalid port: " + portText + " found in endpoint " + endPoint + "\n";
      success = false;
    }
  }
  if (success) valid_ = true;
}
