// OrnEndPoint: one server endpoint of the agent (protocol, host name, port).
#ifndef LIBORN2_ENDPOINT_H
#define LIBORN2_ENDPOINT_H

#include <liborn2/export.h>

#include <string>

// Built from an endpoint string such as https://192.0.2.10:8443, which the
// constructor parses and checks at once. The outcome is kept on the object: a
// validity flag and an error message naming what was wrong; nothing is thrown
// and nothing changes the object afterwards except assignment.
//
// Config fills endpoints of its server list field by field as a friend, through
// the private default constructor, without parsing.
//
// A value type: copied and assigned freely. Copies carry only the validity flag,
// the error message and, from a valid source, protocol, host name and port.
// Used by one thread at a time.
class ORN2_API OrnEndPoint {
 public:
  // Starts from protocol "http", no host, port 80, no messages, not valid, then
  // parses `endPoint`.
  explicit OrnEndPoint(const std::string& endPoint);
  OrnEndPoint(const OrnEndPoint& other);
  OrnEndPoint& operator=(const OrnEndPoint& other);
  virtual ~OrnEndPoint();

  // Host names, protocols and ports compared exactly; validity and messages are
  // not compared, so two invalid endpoints can be equal.
  bool operator==(const OrnEndPoint& other);

  bool IsValid() const;
  // The error texts of the parse, each ending in a line feed; empty when none.
  const std::string& GetErrorMessage() const;
  // Reserved: nothing in the library writes a warning, so it is always empty.
  const std::string& GetWarningMessage() const;
  const std::string& GetProtocol() const;
  // The host part as written in the endpoint, never an address.
  const std::string& GetHostName() const;
  unsigned int GetPort() const;

 private:
  friend class Config;

  // For Config only: empty strings, port 0, not valid until the friend fills it.
  OrnEndPoint();

  void ParseEndPoint(const std::string& endPoint);

  std::string protocol_;
  std::string hostName_;
  unsigned int port_;
  std::string errorMessage_;
  std::string warningMessage_;
  bool valid_;
};

#endif  // LIBORN2_ENDPOINT_H
