// Tour: Config. Write a setting, save it (through "agent.conf.New", keeping the
// previous file as "agent.conf.Save"), load it back and read it.
#include <liborn2/config.h>

#include <cstdio>

int main() {
  Config config;  // an empty store, no file yet
  config.SetStringAtTail("server", "192.0.2.10", 0, "soap");
  config.SetStringAtTail("port", "0x1BB", 0, "soap");  // numbers may be written in hex
  if (config.SaveConfig("agent.conf") != 0) return 1;

  Config loaded("agent.conf");
  char server[Config::kValueSize];
  if (loaded.GetString("server", server, sizeof server, "SOAP") != 0) return 1;  // any case
  int port = loaded.GetInteger("port", "soap");  // 443; 65535 when missing
  std::printf("%s:%d\n", server, port);
  for (char* section = loaded.GetFirstSection(); section; section = loaded.GetNextSection()) {
    std::printf("[%s]\n", section);
  }
  return port == 443 ? 0 : 1;
}
