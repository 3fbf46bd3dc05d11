// Proxy tunnelling against scripted loopback proxies: the exact bytes of
// each request, every reply code, the HTTP 407 flows, chaining, and the
// socket handler's proxy rules.

#include <gtest/gtest.h>

#include "support/qtxTestHelpers.h"

#include "support/qtxTestHostile.h"
#include "support/qtxTestSockets.h"
#include "transport/qtxIdConnectThroughHttpProxy.h"
#include "transport/qtxIdIOHandlerStack.h"
#include "transport/qtxIdSocks.h"
#include "transport/qtxIdTCPClient.h"

namespace qtx {
namespace {

using test::Bytes;
using test::kWholeAnswer;
using test::Raised;
using test::SendHostile;
using test::TPeerEnd;
using test::TScriptedServer;
using test::TTestPeer;

TIdBytes Concat(std::initializer_list<TIdBytes> aParts) {
  TIdBytes result;
  for (const auto& part : aParts) result.insert(result.end(), part.begin(), part.end());
  return result;
}

// A client whose handler tunnels through aProxy to aHost:aPort.
struct TProxiedClient {
  TIdIOHandlerStack Handler;
  TIdTCPClient Client;
  TProxiedClient(TIdCustomTransparentProxy& aProxy) {
    Handler.SetTransparentProxy(&aProxy);
    Client.SetIOHandler(&Handler);
  }
  void Connect(const std::string& aHost, int aPort) { Client.Connect(aHost, aPort); }
};

void ConfigureSocks(TIdSocksInfo& aSocks, TSocksVersion aVersion, uint16_t aPort) {
  aSocks.SetVersion(aVersion);
  aSocks.SetHost("127.0.0.1");
  aSocks.SetPort(aPort);
}

// The SOCKS 5 connect request after the greeting, read by its address type.
TIdBytes ReadSocks5Request(TTestPeer& aPeer) {
  TIdBytes head = aPeer.Read(4);
  size_t rest = 2;
  if (head[3] == 1) rest += 4;
  if (head[3] == 4) rest += 16;
  if (head[3] == 3) {
    TIdBytes length = aPeer.Read(1);
    head.push_back(length[0]);
    rest += length[0];
  }
  return Concat({head, aPeer.Read(rest)});
}

const TIdBytes kSocks5Granted{5, 0, 0, 1, 127, 0, 0, 1, 0x04, 0x38};

// A SOCKS 5 proxy without authentication that records the request, grants
// it and then speaks as the target: "HELLO".
struct TRecordingSocks5 {
  TIdBytes Greeting;
  TIdBytes Request;
  TScriptedServer Server{[this](TTestPeer& aPeer, int) {
    Greeting = aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 0});
    Request = ReadSocks5Request(aPeer);
    aPeer.Write(Concat({kSocks5Granted, Bytes("HELLO")}));
    aPeer.WaitForClose();
  }};
};

TEST(Socks5, ANameGoesToTheProxyAsAddressType3) {
  TRecordingSocks5 proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Server.Port());
  TProxiedClient client(socks);
  client.Connect("example.test", 443);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  client.Client.Disconnect();
  proxy.Server.Wait();
  EXPECT_EQ(proxy.Greeting, (TIdBytes{5, 1, 0}));
  EXPECT_EQ(proxy.Request, Concat({{5, 1, 0, 3, 12}, Bytes("example.test"), {0x01, 0xBB}}));
}

TEST(Socks5, AnIPv4LiteralGoesAsAddressType1) {
  TRecordingSocks5 proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Server.Port());
  TProxiedClient client(socks);
  client.Connect("10.1.2.3", 80);
  client.Client.Disconnect();
  proxy.Server.Wait();
  EXPECT_EQ(proxy.Request, (TIdBytes{5, 1, 0, 1, 10, 1, 2, 3, 0, 80}));
}

TEST(Socks5, AnIPv6LiteralGoesAsAddressType4) {
  TRecordingSocks5 proxy;
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Server.Port());
  TProxiedClient client(socks);
  client.Client.SetIPVersion(Id_IPv6);
  client.Connect("2001:db8::1", 8080);
  client.Client.Disconnect();
  proxy.Server.Wait();
  EXPECT_EQ(proxy.Request,
            (TIdBytes{5, 1, 0, 4, 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x1F, 0x90}));
}

TEST(Socks5, ADomainNameBoundAddressIsReadToTheEnd) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 0});
    ReadSocks5Request(aPeer);
    aPeer.Write(Concat({{5, 0, 0, 3, 13}, Bytes("proxy.example"), {0x04, 0x38}, Bytes("HELLO")}));
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  TProxiedClient client(socks);
  client.Connect("example.test", 443);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  EXPECT_TRUE(client.Client.IOHandler()->InputBufferIsEmpty());
}

TEST(Socks5, AnIPv6BoundAddressIsReadToTheEnd) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 0});
    ReadSocks5Request(aPeer);
    aPeer.Write(Concat({{5, 0, 0, 4}, TIdBytes(16, 0xAB), {0x04, 0x38}, Bytes("HELLO")}));
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  TProxiedClient client(socks);
  client.Connect("example.test", 443);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
}

TEST(Socks5, AServerThatSelectsMethod255IsRefused) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 255});
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  TProxiedClient client(socks);
  auto e = Raised<EIdSocksAuthMethodError>([&] { client.Connect("example.test", 443); });
  EXPECT_EQ(e.Message(), "Invalid socks authentication method.");
  EXPECT_FALSE(client.Client.Connected());
  EXPECT_FALSE(client.Handler.BindingAllocated());
}

TEST(Socks5, AServerThatSelectsAnotherMethodIsRefused) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 2});
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  TProxiedClient client(socks);
  EXPECT_THROW(client.Connect("example.test", 443), EIdSocksAuthMethodError);
}

TEST(Socks5, UserNameAndPasswordAreSentInTheSubNegotiation) {
  TIdBytes greeting, login;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) {
    greeting = aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 2});
    login = aPeer.Read(1 + 1 + 3 + 1 + 6);
    aPeer.Write(TIdBytes{1, 0});
    ReadSocks5Request(aPeer);
    aPeer.Write(kSocks5Granted);
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  socks.SetAuthentication(saUsernamePassword);
  socks.SetUsername("bob");
  socks.SetPassword("secret");
  TProxiedClient client(socks);
  client.Connect("example.test", 443);
  client.Client.Disconnect();
  proxy.Wait();
  EXPECT_EQ(greeting, (TIdBytes{5, 1, 2}));
  EXPECT_EQ(login, Concat({{1, 3}, Bytes("bob"), {6}, Bytes("secret")}));
}

TEST(Socks5, ARejectedLoginRaisesAnAuthenticationError) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 2});
    aPeer.Read(7);
    aPeer.Write(TIdBytes{1, 1});
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  socks.SetAuthentication(saUsernamePassword);
  socks.SetUsername("al");
  socks.SetPassword("pw");
  TProxiedClient client(socks);
  auto e = Raised<EIdSocksAuthError>([&] { client.Connect("example.test", 443); });
  EXPECT_EQ(e.Message(), "Authentication error to socks server.");
}

TEST(Socks5, ACredentialLongerThan255BytesIsCut) {
  TIdBytes login;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 2});
    login = aPeer.Read(1 + 1 + 255 + 1 + 1);
    aPeer.Write(TIdBytes{1, 1});
    aPeer.WaitForClose();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  socks.SetAuthentication(saUsernamePassword);
  socks.SetUsername(std::string(300, 'u'));
  socks.SetPassword("p");
  TProxiedClient client(socks);
  EXPECT_THROW(client.Connect("example.test", 443), EIdSocksAuthError);
  proxy.Wait();
  EXPECT_EQ(login[1], 255);
  EXPECT_EQ(login[257], 1);
}

TEST(Socks5, AServerThatClosesWithoutAnswerDidNotRespond) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.Read(3);
    aPeer.Close();
  });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  TProxiedClient client(socks);
  auto e = Raised<EIdSocksServerRespondError>([&] { client.Connect("example.test", 443); });
  EXPECT_EQ(e.Message(), "Socks server did not respond.");
}

TEST(Socks5, EveryReplyCodeAndEveryLyingReplyRaisesItsException) {
  struct TCase {
    TIdBytes Choice;  // the answer to the greeting
    TIdBytes Reply;   // the answer to the request (none: the greeting fails)
    std::string Text;
    std::function<bool(const EIdException&)> IsExpected;
  };
  const TIdBytes chosen{5, 0};
  const auto code = [](uint8_t aCode) { return TIdBytes{5, aCode, 0, 1, 0, 0, 0, 0, 0, 0}; };
  const auto version = [](auto& e) { return dynamic_cast<const EIdSocksVersionError*>(&e) != nullptr; };
  const auto address = [](auto& e) { return dynamic_cast<const EIdSocksServerAddressError*>(&e) != nullptr; };
  std::vector<TCase> cases{
      {chosen, code(1), "General SOCKS server failure.",
       [](auto& e) { return dynamic_cast<const EIdSocksServerGeneralError*>(&e); }},
      {chosen, code(2), "Connection not allowed by ruleset.",
       [](auto& e) { return dynamic_cast<const EIdSocksServerPermissionError*>(&e); }},
      {chosen, code(3), "Network unreachable.",
       [](auto& e) { return dynamic_cast<const EIdSocksServerNetUnreachableError*>(&e); }},
      {chosen, code(4), "Host unreachable.",
       [](auto& e) { return dynamic_cast<const EIdSocksServerHostUnreachableError*>(&e); }},
      {chosen, code(5), "Connection refused.",
       [](auto& e) { return dynamic_cast<const EIdSocksServerConnectionRefusedError*>(&e); }},
      {chosen, code(6), "TTL expired.", [](auto& e) { return dynamic_cast<const EIdSocksServerTTLExpiredError*>(&e); }},
      {chosen, code(7), "Command not supported.",
       [](auto& e) { return dynamic_cast<const EIdSocksServerCommandError*>(&e); }},
      {chosen, code(8), "Address type not supported.", address},
      {chosen, code(9), "Unknown socks error.", [](auto& e) { return dynamic_cast<const EIdSocksUnknownError*>(&e); }},
      {{4, 0}, {}, "The SOCKS server answered with another version.", version},
      {chosen, {4, 0, 0, 1, 127, 0, 0, 1, 0, 80}, "The SOCKS server answered with another version.", version},
      // An address type nobody knows, so its padding would pass for the target's bytes.
      {chosen, Concat({{5, 0, 0, 9}, Bytes("HELLO")}), "Address type not supported.", address},
  };
  TScriptedServer proxy(
      [&](TTestPeer& aPeer, int aIndex) {
        aPeer.Read(3);
        aPeer.Write(cases[aIndex].Choice);
        if (!cases[aIndex].Reply.empty()) {
          ReadSocks5Request(aPeer);
          aPeer.Write(cases[aIndex].Reply);
        }
        aPeer.WaitForClose();
      },
      static_cast<int>(cases.size()));
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  for (size_t i = 0; i < cases.size(); ++i) {
    TProxiedClient client(socks);
    try {
      client.Connect("example.test", 443);
      ADD_FAILURE() << "case " << i << " raised nothing";
    } catch (const EIdSocksError& e) {
      EXPECT_TRUE(cases[i].IsExpected(e)) << "case " << i;
      EXPECT_EQ(e.Message(), cases[i].Text) << "case " << i;
    }
  }
}

TEST(Socks5, AHostNameTooLongToSendFailsBeforeAnythingIsSent) {
  bool sawNothing = false;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) { sawNothing = aPeer.WaitForClose(); });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks5, proxy.Port());
  TProxiedClient client(socks);
  std::string host;
  while (host.size() < 256) host += "label.";
  EXPECT_THROW(client.Connect(host + "example", 443), EIdSocksHostNameTooLong);
  proxy.Wait();
  EXPECT_TRUE(sawNothing);
}

// A SOCKS 4 proxy that records the request up to its last zero byte(s) and
// answers with aReplyCode, then "HELLO" when granted.
struct TRecordingSocks4 {
  explicit TRecordingSocks4(uint8_t aReplyCode, bool aWithHostName = false)
      : Server([this, aReplyCode, aWithHostName](TTestPeer& aPeer, int) {
          Request = aPeer.Read(8);
          for (int zeros = aWithHostName ? 2 : 1; zeros > 0;) {
            TIdBytes byte = aPeer.Read(1);
            Request.push_back(byte[0]);
            if (byte[0] == 0) --zeros;
          }
          aPeer.Write(TIdBytes{0, aReplyCode, 0, 0, 0, 0, 0, 0});
          if (aReplyCode == 90) aPeer.Write("HELLO");
          aPeer.WaitForClose();
        }) {}
  TIdBytes Request;
  TScriptedServer Server;
};

TEST(Socks4, TheRequestCarriesPortAddressAndUserId) {
  TRecordingSocks4 proxy(90);
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks4, proxy.Server.Port());
  socks.SetUsername("joe");
  TProxiedClient client(socks);
  client.Connect("localhost", 8080);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  client.Client.Disconnect();
  proxy.Server.Wait();
  EXPECT_EQ(proxy.Request, Concat({{4, 1, 0x1F, 0x90, 127, 0, 0, 1}, Bytes("joe"), {0}}));
}

TEST(Socks4, Socks4ASendsTheNameToTheProxy) {
  TRecordingSocks4 proxy(90, true);
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks4A, proxy.Server.Port());
  socks.SetUsername("joe");
  TProxiedClient client(socks);
  client.Connect("example.test", 80);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  client.Client.Disconnect();
  proxy.Server.Wait();
  EXPECT_EQ(proxy.Request, Concat({{4, 1, 0, 80, 0, 0, 0, 1}, Bytes("joe"), {0}, Bytes("example.test"), {0}}));
}

TEST(Socks4, AnUnresolvableNameFailsBeforeAnythingIsSent) {
  bool sawNothing = false;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) { sawNothing = aPeer.WaitForClose(); });
  TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks4, proxy.Port());
  TProxiedClient client(socks);
  auto e = Raised<EIdSocketError>([&] { client.Connect(std::string(64, 'a') + ".example", 80); });
  EXPECT_EQ(e.LastError(), 11001);
  proxy.Wait();
  EXPECT_TRUE(sawNothing);
}

TEST(Socks4, EveryRejectionCodeRaisesItsException) {
  struct TCase {
    uint8_t Code;
    std::string Text;
    std::function<bool(const EIdException&)> IsExpected;
  };
  std::vector<TCase> cases{
      {91, "Request rejected or failed.", [](auto& e) { return dynamic_cast<const EIdSocksRequestFailed*>(&e); }},
      {92, "Request rejected because SOCKS server cannot connect.",
       [](auto& e) { return dynamic_cast<const EIdSocksRequestServerFailed*>(&e); }},
      {93, "Request rejected because the client program and identd report different user-ids.",
       [](auto& e) { return dynamic_cast<const EIdSocksRequestIdentFailed*>(&e); }},
      {94, "Unknown socks error.", [](auto& e) { return dynamic_cast<const EIdSocksUnknownError*>(&e); }},
  };
  for (const auto& test : cases) {
    TRecordingSocks4 proxy(test.Code);
    TIdSocksInfo socks;
  ConfigureSocks(socks, svSocks4, proxy.Server.Port());
    TProxiedClient client(socks);
    try {
      client.Connect("127.0.0.1", 80);
      ADD_FAILURE() << "code " << int(test.Code) << " raised nothing";
    } catch (const EIdSocksError& e) {
      EXPECT_TRUE(test.IsExpected(e)) << "code " << int(test.Code);
      EXPECT_EQ(e.Message(), test.Text);
    }
    EXPECT_FALSE(client.Client.Connected());
  }
}

void ConfigureHttp(TIdConnectThroughHttpProxy& aProxy, uint16_t aPort, const std::string& aUser = "",
                   const std::string& aPassword = "") {
  aProxy.SetEnabled(true);
  aProxy.SetHost("127.0.0.1");
  aProxy.SetPort(aPort);
  aProxy.SetUsername(aUser);
  aProxy.SetPassword(aPassword);
}

const std::string kConnectRequest = "CONNECT example.test:443 HTTP/1.0\r\n\r\n";
const std::string kConnectWithCredentials =
    "CONNECT example.test:443 HTTP/1.0\r\nProxy-Authorization: Basic Ym9iOnNlY3JldA==\r\n\r\n";

TEST(HttpConnect, AStatus200EstablishesTheTunnelWhateverLengthItClaims) {
  // The second proxy lies: a length after the tunnel's 200 must not swallow the target's bytes.
  const std::string answers[] = {"HTTP/1.0 200\r\n\r\n", "HTTP/1.1 200 Connection established\r\nContent-Length: 5\r\n\r\n"};
  for (const std::string& answer : answers) {
    std::string request;
    TScriptedServer proxy([&](TTestPeer& aPeer, int) {
      request = aPeer.ReadUntil("\r\n\r\n");
      aPeer.Write(answer + "HELLO");
      aPeer.WaitForClose();
    });
    TIdConnectThroughHttpProxy http;
    ConfigureHttp(http, proxy.Port());
    TProxiedClient client(http);
    client.Connect("example.test", 443);
    EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
    client.Client.Disconnect();
    proxy.Wait();
    EXPECT_EQ(request, kConnectRequest);
  }
}

TEST(HttpConnect, A407WithProxyConnectionCloseSendsTheCredentialsOnANewConnection) {
  std::vector<std::string> requests;
  TScriptedServer proxy(
      [&](TTestPeer& aPeer, int aIndex) {
        requests.push_back(aPeer.ReadUntil("\r\n\r\n"));
        if (aIndex == 0) {
          aPeer.Write("HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Connection: close\r\n\r\n");
          aPeer.Close();
        } else {
          aPeer.Write("HTTP/1.0 200 Connection established\r\n\r\nHELLO");
          aPeer.WaitForClose();
        }
      },
      2);
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port(), "bob", "secret");
  TProxiedClient client(http);
  client.Connect("example.test", 443);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  client.Client.Disconnect();
  proxy.Wait();
  EXPECT_EQ(proxy.Accepted(), 2);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], kConnectRequest);
  EXPECT_EQ(requests[1], kConnectWithCredentials);
}

TEST(HttpConnect, A407KeepingTheConnectionResendsOnIt) {
  std::vector<std::string> requests;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) {
    requests.push_back(aPeer.ReadUntil("\r\n\r\n"));
    aPeer.Write("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 6\r\n\r\ndenied");
    requests.push_back(aPeer.ReadUntil("\r\n\r\n"));
    aPeer.Write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nHELLO");
    aPeer.WaitForClose();
  });
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port(), "bob", "secret");
  TProxiedClient client(http);
  client.Connect("example.test", 443);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  client.Client.Disconnect();
  proxy.Wait();
  EXPECT_EQ(proxy.Accepted(), 1);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1], kConnectWithCredentials);
}

TEST(HttpConnect, ASecond407RaisesWithTheStatusLine) {
  TScriptedServer proxy(
      [&](TTestPeer& aPeer, int) {
        aPeer.ReadUntil("\r\n\r\n");
        aPeer.Write("HTTP/1.0 407 Proxy Authentication Required\r\nConnection: Close\r\n\r\n");
        aPeer.Close();
      },
      2);
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port(), "bob", "wrong");
  TProxiedClient client(http);
  auto e = Raised<EIdHttpProxyError>([&] { client.Connect("example.test", 443); });
  EXPECT_EQ(e.Message(), "HTTP/1.0 407 Proxy Authentication Required");
  EXPECT_FALSE(client.Client.Connected());
  proxy.Wait();
  EXPECT_EQ(proxy.Accepted(), 2);
}

TEST(HttpConnect, ARefusalWithABodyLeavesTheClientFreeToConnectAgain) {
  TScriptedServer proxy(
      [](TTestPeer& aPeer, int aIndex) {
        aPeer.ReadUntil("\r\n\r\n");
        if (aIndex == 0) {
          aPeer.Write("HTTP/1.0 403 Forbidden\r\n\r\n<html>no</html>");
        } else {
          aPeer.Write("HTTP/1.0 200 OK\r\n\r\n");
        }
        aPeer.WaitForClose();
      },
      2);
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port());
  TProxiedClient client(http);
  EXPECT_THROW(client.Connect("example.test", 443), EIdHttpProxyError);
  EXPECT_FALSE(client.Client.Connected());
  client.Connect("example.test", 443);
  EXPECT_TRUE(client.Client.Connected());
}

TEST(HttpConnect, A407WithoutCredentialsRaises) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.ReadUntil("\r\n\r\n");
    aPeer.Write("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n");
    aPeer.WaitForClose();
  });
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port());
  TProxiedClient client(http);
  EXPECT_THROW(client.Connect("example.test", 443), EIdHttpProxyError);
}

TEST(HttpConnect, AnotherStatusRaisesWithTheStatusLine) {
  TScriptedServer proxy([](TTestPeer& aPeer, int) {
    aPeer.ReadUntil("\r\n\r\n");
    aPeer.Write("HTTP/1.0 403 Forbidden\r\n\r\n");
    aPeer.WaitForClose();
  });
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port());
  TProxiedClient client(http);
  EXPECT_EQ(Raised<EIdHttpProxyError>([&] { client.Connect("example.test", 443); }).Message(),
            "HTTP/1.0 403 Forbidden");
}

TEST(HttpConnect, AnAnswerThatOpensNoTunnelFails) {
  struct TCase {
    std::string Answer;
    size_t Cut;
    std::string Text;
    std::function<bool(const EIdException&)> IsExpected;
  };
  const auto timeout = [](auto& e) { return dynamic_cast<const EIdReadTimeout*>(&e) != nullptr; };
  const auto refusal = [](auto& e) { return dynamic_cast<const EIdHttpProxyError*>(&e) != nullptr; };
  std::string endlessHeader = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 256; ++i) endlessHeader += "X-Line: " + std::to_string(i) + "\r\n";
  const std::vector<TCase> cases{
      {"", kWholeAnswer, "Read timed out.", timeout},                                   // silent
      {"HTTP/1.1 200 Connection established\r\n", 20, "Read timed out.", timeout},     // stalls mid-line
      {"HTTP/1.1 200 OK\r\nVia: 1.1 proxy\r\n", kWholeAnswer, "Read timed out.", timeout},  // mid-header
      {"SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n", kWholeAnswer, "SSH-2.0-OpenSSH_9.2p1 Debian-2", refusal},
      {"HTTP/1.1 OK\r\n\r\n", kWholeAnswer, "HTTP/1.1 OK", refusal},
      {"HTTP/1.1 302 Found\r\nLocation: http://elsewhere.example/\r\n\r\n", kWholeAnswer, "HTTP/1.1 302 Found",
       refusal},
      {endlessHeader + "\r\n", kWholeAnswer, "The proxy's answer has too large a header.", refusal},
  };
  TScriptedServer proxy(
      [&](TTestPeer& aPeer, int aIndex) {
        aPeer.ReadUntil("\r\n\r\n");
        SendHostile(aPeer, cases[aIndex].Answer, cases[aIndex].Cut, test::TPeerEnd::Stall);
      },
      static_cast<int>(cases.size()));
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port());
  for (const auto& test : cases) {
    TProxiedClient client(http);
    client.Client.SetReadTimeout(300);
    try {
      client.Connect("example.test", 443);
      ADD_FAILURE() << test.Answer.substr(0, 30) << ": connected";
    } catch (const EIdException& e) {
      EXPECT_TRUE(test.IsExpected(e)) << test.Answer.substr(0, 30) << ": " << e.Message();
      EXPECT_EQ(e.Message(), test.Text);
    }
    EXPECT_FALSE(client.Client.Connected());
  }
}

TEST(HttpConnect, AHeaderWithoutEndFailsWithinItsLimit) {
  size_t sent = 0;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) {
    aPeer.ReadUntil("\r\n\r\n");
    sent = test::FloodHeaderLines(aPeer, "HTTP/1.1 200 Connection established\r\n");
  });
  TIdConnectThroughHttpProxy http;
  ConfigureHttp(http, proxy.Port());
  TProxiedClient client(http);
  EXPECT_EQ(Raised<EIdHttpProxyError>([&] { client.Connect("example.test", 443); }).Message(),
            "The proxy's answer has too large a header.");
  proxy.Wait();
  EXPECT_LT(sent, test::kFloodLimit) << "the client stopped taking lines";
}

TEST(ProxyChain, AnHttpProxyCarriesTheTunnelToAChainedSocksProxy) {
  std::string connectLine;
  TIdBytes socksRequest;
  TScriptedServer proxy([&](TTestPeer& aPeer, int) {
    connectLine = aPeer.ReadUntil("\r\n\r\n");
    aPeer.Write("HTTP/1.0 200 OK\r\n\r\n");
    aPeer.Read(3);
    aPeer.Write(TIdBytes{5, 0});
    socksRequest = ReadSocks5Request(aPeer);
    aPeer.Write(Concat({kSocks5Granted, Bytes("HELLO")}));
    aPeer.WaitForClose();
  });
  TComponent owner;
  TIdConnectThroughHttpProxy http(&owner);
  http.SetEnabled(true);
  http.SetHost("127.0.0.1");
  http.SetPort(proxy.Port());
  TIdSocksInfo socks(&owner);
  socks.SetVersion(svSocks5);
  socks.SetHost("socks.example");
  socks.SetPort(1080);
  http.SetChainedProxy(&socks);
  TProxiedClient client(http);
  client.Connect("example.test", 443);
  EXPECT_EQ(client.Client.IOHandler()->ReadString(5), "HELLO");
  client.Client.Disconnect();
  proxy.Wait();
  EXPECT_EQ(connectLine, "CONNECT socks.example:1080 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(socksRequest, Concat({{5, 1, 0, 3, 12}, Bytes("example.test"), {0x01, 0xBB}}));
}

TEST(ProxyChain, ACircularChainIsRefused) {
  TIdSocksInfo first;
  TIdSocksInfo second;
  first.SetChainedProxy(&second);
  auto e = Raised<EIdTransparentProxyCircularLink>([&] { second.SetChainedProxy(&first); });
  EXPECT_EQ(e.Message(), "TIdSocksInfo: Circular links are not allowed");
  EXPECT_THROW(first.SetChainedProxy(&first), EIdTransparentProxyCircularLink);
  EXPECT_EQ(second.ChainedProxy(), nullptr);
}

TEST(ProxyChain, AFreedChainedProxyIsForgotten) {
  TIdConnectThroughHttpProxy http;
  {
    TIdSocksInfo socks;
    http.SetChainedProxy(&socks);
  }
  EXPECT_EQ(http.ChainedProxy(), nullptr);
}

TEST(TransparentProxy, ServerSideAndDatagramOperationsAreNotSupported) {
  TIdSocksInfo socks;
  TIdIOHandlerStack handler;
  TIdSocketHandle socket;
  EXPECT_EQ(Raised<EIdTransparentProxyCantBind>([&] { socks.Bind(handler, 80); }).Message(),
            "Transparent proxy cannot bind.");
  EXPECT_THROW(socks.Listen(handler, 100), EIdTransparentProxyCantBind);
  EXPECT_EQ(Raised<EIdTransparentProxyUDPNotSupported>([&] { socks.OpenUDP(socket, "h", 1, Id_IPv4); }).Message(),
            "UDP Not supported by this proxy.");
  EXPECT_THROW(socks.CloseUDP(socket), EIdTransparentProxyUDPNotSupported);
}

TEST(TransparentProxy, SocksIsEnabledExactlyForAVersion) {
  TIdSocksInfo socks;
  EXPECT_EQ(socks.Port(), 1080);
  EXPECT_EQ(socks.Authentication(), saNoAuthentication);
  EXPECT_FALSE(socks.Enabled());
  socks.SetEnabled(true);
  EXPECT_FALSE(socks.Enabled());
  for (TSocksVersion version : {svSocks4, svSocks4A, svSocks5}) {
    socks.SetVersion(version);
    EXPECT_TRUE(socks.Enabled());
  }
}

TEST(TransparentProxy, AssignCopiesTheSettingsOfTheSameKind) {
  TIdSocksInfo source;
  source.SetHost("proxy.test");
  source.SetPort(1234);
  source.SetUsername("u");
  source.SetPassword("p");
  source.SetIPVersion(Id_IPv6);
  source.SetVersion(svSocks4A);
  source.SetAuthentication(saUsernamePassword);
  TIdSocksInfo copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Host(), "proxy.test");
  EXPECT_EQ(copy.Port(), 1234);
  EXPECT_EQ(copy.Username(), "u");
  EXPECT_EQ(copy.Password(), "p");
  EXPECT_EQ(copy.IPVersion(), Id_IPv6);
  EXPECT_EQ(copy.Version(), svSocks4A);
  EXPECT_EQ(copy.Authentication(), saUsernamePassword);
  TIdConnectThroughHttpProxy http;
  http.Assign(source);
  EXPECT_EQ(http.Host(), "proxy.test");
  EXPECT_FALSE(http.Enabled());
}

TEST(TransparentProxy, AHandlerWithoutAProxyMakesADisabledSocksProxy) {
  TIdIOHandlerStack handler;
  TIdCustomTransparentProxy& proxy = handler.TransparentProxy();
  EXPECT_NE(dynamic_cast<TIdSocksInfo*>(&proxy), nullptr);
  EXPECT_FALSE(proxy.Enabled());
  EXPECT_EQ(proxy.Owner(), &handler);
  EXPECT_EQ(&handler.TransparentProxy(), &proxy);
}

TEST(TransparentProxy, AnOwnedProxyIsReferencedAndAFreeOneCopied) {
  TIdIOHandlerStack handler;
  TComponent owner;
  TIdConnectThroughHttpProxy owned(&owner);
  handler.SetTransparentProxy(&owned);
  EXPECT_EQ(&handler.TransparentProxy(), &owned);

  TIdConnectThroughHttpProxy loose;
  loose.SetEnabled(true);
  loose.SetHost("proxy.test");
  handler.SetTransparentProxy(&loose);
  TIdCustomTransparentProxy& copy = handler.TransparentProxy();
  EXPECT_NE(&copy, &loose);
  EXPECT_NE(dynamic_cast<TIdConnectThroughHttpProxy*>(&copy), nullptr);
  EXPECT_TRUE(copy.Enabled());
  EXPECT_EQ(copy.Host(), "proxy.test");
  EXPECT_EQ(copy.Owner(), &handler);
}

TEST(TransparentProxy, AFreedReferencedProxyIsForgotten) {
  TIdIOHandlerStack handler;
  TComponent owner;
  {
    TIdSocksInfo owned(&owner);
    handler.SetTransparentProxy(&owned);
  }
  EXPECT_FALSE(handler.TransparentProxy().Enabled());
  EXPECT_EQ(handler.TransparentProxy().Owner(), &handler);
}

}  // namespace
}  // namespace qtx
