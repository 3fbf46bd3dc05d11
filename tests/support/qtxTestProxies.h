#pragma once
// The proxy daemons the tests run, each on a free loopback port with a
// configuration of its own: microsocks (SOCKS 5), dante (SOCKS 4 and 5) and
// tinyproxy (HTTP forwarding and CONNECT). What each one reports of its
// clients (one line per connection it carries) is in its Output.

#include <cstdint>
#include <string>
#include <vector>

#include "qtxTestDaemon.h"
#include "qtxTestSockets.h"

namespace qtx::test {

// microsocks, with a login when aUser is given.
struct TTestMicrosocks {
  explicit TTestMicrosocks(const std::string& aUser = "", const std::string& aPassword = "");
  std::string Output() const { return Daemon.Output(); }
  uint16_t Port = FreeLoopbackPort();
  TTestDaemon Daemon{"microsocks"};
};

// dante without a login, for clients on the loopback network.
struct TTestDante {
  TTestDante();
  std::string Output() const { return Daemon.Output(); }
  uint16_t Port = FreeLoopbackPort();
  TTestDaemon Daemon{"danted"};
};

// tinyproxy letting CONNECT reach aConnectPorts, with Basic proxy
// authentication when aUser is given.
struct TTestTinyproxy {
  explicit TTestTinyproxy(const std::vector<uint16_t>& aConnectPorts, const std::string& aUser = "",
                          const std::string& aPassword = "");
  std::string Output() const { return Daemon.Output(); }
  uint16_t Port = FreeLoopbackPort();
  TTestDaemon Daemon{"tinyproxy"};
};

}  // namespace qtx::test
