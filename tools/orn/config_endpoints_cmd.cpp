// orn config endpoints: the server list of the section "soap", read as the
// agent reads it.
#include <cstdio>
#include <string>
#include <vector>

#include "orn/cli.h"
#include "orn/config_file.h"

namespace orn {

int ConfigEndPoints(const Args& args) {
  const std::string command = "config endpoints";
  int status = kExitOk;
  if (!Arity(args, 1, 1, command, "FILE", status)) return status;
  Config config;
  if ((status = LoadConfigFile(config, command, args.Positional()[0], false)) != kExitOk) {
    return status;
  }
  std::vector<OrnEndPoint> servers;
  if (config.RetrieveEndPoints(servers) != 0) {
    return Fail(kExitNo, command, "no complete server (server, protocol, port) in section soap");
  }
  for (const OrnEndPoint& server : servers) {
    std::printf("%s://%s:%u\n", server.GetProtocol().c_str(), server.GetHostName().c_str(),
                server.GetPort());
  }
  return kExitOk;
}

}  // namespace orn
