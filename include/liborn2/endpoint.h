// OrnEndPoint: one server endpoint of the agent (protocol, host name, port).
#ifndef LIBORN2_ENDPOINT_H
#define LIBORN2_ENDPOINT_H

#include <liborn2/export.h>

#include <string>

/// One server endpoint: protocol, host name and port. Built from an endpoint
/// string such as `https://192.0.2.10:8443`, which the constructor parses and
/// checks at once. The outcome is kept on the object: a validity flag and an
/// error message naming what was wrong; nothing is thrown or printed, and
/// nothing changes the object afterwards except assignment.
///
/// Config fills endpoints of its server list as a friend, through the private
/// default constructor and FillFromStore, without parsing; those always report
/// themselves valid.
///
/// A value type: copied and assigned freely. Copies carry only the validity
/// flag, the error message and, from a valid source, protocol, host name and
/// port. Thread contract: used by one thread at a time; the constructor may
/// block for as long as the system's host name look-up takes.
class ORN2_API OrnEndPoint {
 public:
  /// Starts from protocol "http", no host, port 80, no messages, not valid,
  /// then parses `endPoint`, `[protocol://]host[:port]`. The empty string is
  /// valid with those defaults. The protocol is the text before "//" without
  /// the one character before it (not checked), trimmed of blanks and
  /// lower-cased; it must be "http" or "https" ("http" when there is no "//").
  /// The host must be a dotted quad or resolve through the name services. The
  /// port text after the first ":" runs to the end (a path makes it bad) and
  /// must be digits worth more than 0, no upper bound; with no ":" the port is
  /// 80 for http, 443 for https.
  explicit OrnEndPoint(const std::string& endPoint);
  /// Copies the validity flag and the error message, and protocol, host name
  /// and port from a valid source only (else they are empty and port 0).
  OrnEndPoint(const OrnEndPoint& other);
  /// Takes the validity flag and the error message; protocol, host name and
  /// port only from a valid source (else the target keeps its own).
  OrnEndPoint& operator=(const OrnEndPoint& other);
  /// Frees the strings; nothing else to release.
  virtual ~OrnEndPoint();

  /// Host names, protocols and ports compared exactly (case-sensitive);
  /// validity and messages are not compared, so two invalid endpoints can be
  /// equal.
  bool operator==(const OrnEndPoint& other);

  /// True when the string parsed without error (or Config filled the endpoint).
  bool IsValid() const;
  /// The error texts of the parse, each ending in a line feed; empty when none.
  /// A protocol error stops the parse and stands alone:
  /// `"Error: invalid protocol: " + protocol + " found in endpoint: " + endPoint`.
  /// Otherwise a host error, then a port error, may follow each other:
  /// `" Error: hostname: " + host + " found in endpoint " + endPoint`
  /// `+ " is not valid IP address or can't be resolved to an IP address"`,
  /// `"Error: invalid port: " + portText + " found in endpoint " + endPoint`.
  const std::string& GetErrorMessage() const;
  /// Reserved: nothing in the library writes a warning, so it is always empty.
  const std::string& GetWarningMessage() const;
  /// "http" or "https" after a good parse; after a protocol error, the
  /// offending protocol text (trimmed, lower-cased).
  const std::string& GetProtocol() const;
  /// The host part as written in the endpoint (not trimmed, not lower-cased),
  /// never an address; empty after a protocol error.
  const std::string& GetHostName() const;
  /// The port: the port text's value (70000 stays 70000, "080" gives 80) or
  /// the protocol's default; 80 when the parse failed at the protocol or port.
  unsigned int GetPort() const;

 private:
  friend class Config;

  // For Config only: empty strings, port 0, not valid until the friend fills it.
  OrnEndPoint();
  // For Config only: takes the stored texts and port as they are, unchecked,
  // and makes the endpoint valid with no messages.
  void FillFromStore(const char* hostName, const char* protocol, unsigned int port);

  void ParseEndPoint(const std::string& endPoint);

  std::string protocol_;
  std::string hostName_;
  unsigned int port_;
  std::string errorMessage_;
  std::string warningMessage_;
  bool valid_;
};

#endif  // LIBORN2_ENDPOINT_H
