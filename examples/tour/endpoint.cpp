// Tour: OrnEndPoint and the server list. A string is parsed at construction; the
// outcome is read from the object, never thrown.
#include <liborn2/config.h>
#include <liborn2/endpoint.h>

#include <cstdio>
#include <vector>

int main() {
  OrnEndPoint good("https://192.0.2.10:8443");
  OrnEndPoint bad("ftp://192.0.2.10:21");
  std::printf("%s %s %u valid=%d\n", good.GetProtocol().c_str(), good.GetHostName().c_str(),
              good.GetPort(), good.IsValid());
  std::printf("%s", bad.GetErrorMessage().c_str());  // "Error: invalid protocol: ftp ..."

  // The servers of a configuration's section "soap" (server, protocol, port and the
  // numbered server_N, protocol_N, port_N up to endpoint_size - 1).
  Config config;
  config.SetStringAtTail("server", "192.0.2.10", 0, "soap");
  config.SetStringAtTail("protocol", "https", 0, "soap");
  config.SetStringAtTail("port", "443", 0, "soap");
  config.SaveConfig("servers.conf");
  Config loaded("servers.conf");
  std::vector<OrnEndPoint> servers;
  if (loaded.RetrieveEndPoints(servers) != 0) return 1;
  std::printf("%zu server(s), first on port %u\n", servers.size(), servers[0].GetPort());
  return good.IsValid() && !bad.IsValid() && servers[0].GetPort() == 443 ? 0 : 1;
}
