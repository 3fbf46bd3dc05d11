#include "qtxTestProxies.h"

namespace qtx::test {

TTestMicrosocks::TTestMicrosocks(const std::string& aUser, const std::string& aPassword) {
  std::vector<std::string> args{"-i", "127.0.0.1", "-p", std::to_string(Port)};
  if (!aUser.empty()) args.insert(args.end(), {"-u", aUser, "-P", aPassword});
  Daemon.Start(args, Port);
}

TTestDante::TTestDante() {
  Daemon.WriteFile("danted.conf", "logoutput: stderr\n"
                                  "internal: 127.0.0.1 port = " + std::to_string(Port) + "\n"
                                  "external: 127.0.0.1\n"
                                  "clientmethod: none\n"
                                  "socksmethod: none\n"
                                  "user.privileged: root\n"
                                  "user.unprivileged: root\n"
                                  "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                  "socks pass {\n from: 127.0.0.0/8 to: 0.0.0.0/0\n command: connect\n log: connect\n}\n");
  Daemon.Start({"-f", Daemon.File("danted.conf"), "-p", Daemon.File("danted.pid"), "-N", "1"}, Port);
}

TTestTinyproxy::TTestTinyproxy(const std::vector<uint16_t>& aConnectPorts, const std::string& aUser,
                               const std::string& aPassword) {
  std::string config = "Port " + std::to_string(Port) + "\nListen 127.0.0.1\nTimeout 60\nMaxClients 10\n"
                       "Allow 127.0.0.1\nLogLevel Connect\n";
  for (const uint16_t port : aConnectPorts) config += "ConnectPort " + std::to_string(port) + "\n";
  if (!aUser.empty()) config += "BasicAuth " + aUser + " " + aPassword + "\n";
  Daemon.WriteFile("tinyproxy.conf", config);
  Daemon.Start({"-d", "-c", Daemon.File("tinyproxy.conf")}, Port);
}

}  // namespace qtx::test
