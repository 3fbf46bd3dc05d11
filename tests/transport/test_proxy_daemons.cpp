// Proxy tunnelling through real daemons from Debian packages, each started
// for the test on a free loopback port with its own configuration: microsocks
// (SOCKS 5, with and without a login), dante (SOCKS 4) and tinyproxy (HTTP
// CONNECT with Basic proxy authentication). Behind each sits a loopback echo
// server. A missing daemon fails the test.

#include <gtest/gtest.h>

#include "support/qtxTestProxies.h"
#include "support/qtxTestSockets.h"
#include "transport/qtxIdConnectThroughHttpProxy.h"
#include "transport/qtxIdIOHandlerStack.h"
#include "transport/qtxIdSocks.h"
#include "transport/qtxIdTCPClient.h"

namespace qtx {
namespace {

using test::TTestDante;
using test::TTestMicrosocks;
using test::TTestTinyproxy;

// A client tunnelling through aProxy.
struct TProxiedClient {
  TIdIOHandlerStack Handler;
  TIdTCPClient Client;
  explicit TProxiedClient(TIdCustomTransparentProxy& aProxy) {
    Handler.SetTransparentProxy(&aProxy);
    Client.SetIOHandler(&Handler);
    Client.SetReadTimeout(30000);
  }
};

// Sends a quarter megabyte of every byte value through the tunnel and
// expects it back unchanged.
void ExpectEchoThrough(TIdTCPClient& aClient) {
  TIdBytes sent(256 * 1024);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 131 + (i >> 8));
  TIdBytes received;
  constexpr int kPiece = 16384;
  for (size_t offset = 0; offset < sent.size(); offset += kPiece) {
    aClient.IOHandler()->Write(sent, kPiece, static_cast<int>(offset));
    aClient.IOHandler()->ReadBytes(received, kPiece, true);
  }
  EXPECT_EQ(received, sent);
}

void ConfigureSocks(TIdSocksInfo& aSocks, TSocksVersion aVersion, uint16_t aPort) {
  aSocks.SetVersion(aVersion);
  aSocks.SetHost("127.0.0.1");
  aSocks.SetPort(aPort);
}

TEST(MicrosocksDaemon, CarriesBytesBothWaysToAnAddress) {
  test::TEchoServer echo;
  TTestMicrosocks proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port);
  TProxiedClient client(socks);
  client.Client.Connect("127.0.0.1", echo.Port());
  ExpectEchoThrough(client.Client);
}

TEST(MicrosocksDaemon, ResolvesANameForTheClient) {
  test::TEchoServer echo;
  TTestMicrosocks proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port);
  TProxiedClient client(socks);
  client.Client.Connect("localhost", echo.Port());
  ExpectEchoThrough(client.Client);
}

TEST(MicrosocksDaemon, AcceptsTheRightLogin) {
  test::TEchoServer echo;
  TTestMicrosocks proxy("bob", "secret");
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port);
  socks.SetAuthentication(saUsernamePassword);
  socks.SetUsername("bob");
  socks.SetPassword("secret");
  TProxiedClient client(socks);
  client.Client.Connect("127.0.0.1", echo.Port());
  ExpectEchoThrough(client.Client);
}

TEST(MicrosocksDaemon, RejectsAWrongPassword) {
  test::TEchoServer echo;
  TTestMicrosocks proxy("bob", "secret");
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port);
  socks.SetAuthentication(saUsernamePassword);
  socks.SetUsername("bob");
  socks.SetPassword("wrong");
  TProxiedClient client(socks);
  try {
    client.Client.Connect("127.0.0.1", echo.Port());
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const EIdSocksAuthError& e) {
    EXPECT_EQ(e.Message(), "Authentication error to socks server.");
  }
  EXPECT_FALSE(client.Client.Connected());
}

TEST(MicrosocksDaemon, RefusesAClientWithoutLogin) {
  test::TEchoServer echo;
  TTestMicrosocks proxy("bob", "secret");
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port);
  TProxiedClient client(socks);
  EXPECT_THROW(client.Client.Connect("127.0.0.1", echo.Port()), EIdSocksAuthMethodError);
}

TEST(DanteDaemon, Socks4CarriesBytesBothWays) {
  test::TEchoServer echo;
  TTestDante proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks4, proxy.Port);
  socks.SetUsername("tester");
  TProxiedClient client(socks);
  client.Client.Connect("localhost", echo.Port());
  ExpectEchoThrough(client.Client);
}

TEST(DanteDaemon, RejectsASocks4ARequest) {
  test::TEchoServer echo;
  TTestDante proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks4A, proxy.Port);
  TProxiedClient client(socks);
  try {
    client.Client.Connect("localhost", echo.Port());
    ADD_FAILURE() << "the request was granted";
  } catch (const EIdSocksRequestFailed& e) {
    EXPECT_EQ(e.Message(), "Request rejected or failed.");
  }
}

void ConfigureHttp(TIdConnectThroughHttpProxy& aProxy, uint16_t aPort, const std::string& aUser,
                   const std::string& aPassword) {
  aProxy.SetEnabled(true);
  aProxy.SetHost("127.0.0.1");
  aProxy.SetPort(aPort);
  aProxy.SetUsername(aUser);
  aProxy.SetPassword(aPassword);
}

TEST(TinyproxyDaemon, ConnectCarriesBytesAfterTheLoginIsAskedFor) {
  test::TEchoServer echo;
  TTestTinyproxy proxy({echo.Port()}, "bob", "secret");
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port, "bob", "secret");
  TProxiedClient client(http);
  client.Client.Connect("127.0.0.1", echo.Port());
  ExpectEchoThrough(client.Client);
}

// tinyproxy asks for the login with 407 and closes; given a wrong one on the
// new connection it answers 401.
TEST(TinyproxyDaemon, AWrongPasswordRaisesWithTheStatusLine) {
  test::TEchoServer echo;
  TTestTinyproxy proxy({echo.Port()}, "bob", "secret");
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port, "bob", "wrong");
  TProxiedClient client(http);
  try {
    client.Client.Connect("127.0.0.1", echo.Port());
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const EIdHttpProxyError& e) {
    EXPECT_EQ(e.Message(), "HTTP/1.0 401 Unauthorized");
  }
  EXPECT_FALSE(client.Client.Connected());
  EXPECT_EQ(echo.Accepted(), 0);
}

}  // namespace
}  // namespace qtx
