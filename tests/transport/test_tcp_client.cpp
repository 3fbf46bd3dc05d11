// The TCP client against loopback peers: connect and its failures, time-outs,
// status notifications, disconnect detection and the goodbye.

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "support/qtxTestHelpers.h"

#include "support/qtxTestSockets.h"
#include "transport/qtxIdAntiFreezeBase.h"
#include "transport/qtxIdIOHandlerStack.h"
#include "transport/qtxIdTCPClient.h"

namespace qtx {
namespace {

using test::Raised;
using test::ElapsedMs;
using test::TClock;

// Every status the client reports, in order.
struct TStatusLog {
  std::vector<TIdStatus> Statuses;
  std::vector<std::string> Texts;
  void Attach(TIdComponent& aComponent) {
    aComponent.OnStatus = [this](TIdComponent&, TIdStatus aStatus, const std::string& aText) {
      Statuses.push_back(aStatus);
      Texts.push_back(aText);
    };
  }
};

// A listener whose accept queue is full: further handshakes are never answered.
struct TFullListener {
  test::TTestListener Listener{0};
  std::vector<std::unique_ptr<TIdSocketHandle>> Fillers;
  TFullListener() {
    // One queued connection fills a backlog of 0; some systems take one more.
    for (int i = 0; i < 2; ++i) {
      auto filler = std::make_unique<TIdSocketHandle>();
      filler->AllocateSocket();
      filler->SetPeer("127.0.0.1", Listener.Port());
      bool connected = filler->Connect(500);
      Fillers.push_back(std::move(filler));
      if (!connected) break;
    }
  }
};

// An idle hook that counts its runs.
class TCountingAntiFreeze : public TIdAntiFreezeBase {
public:
  void Process() override { ++Runs; }
  int Runs = 0;
};

TEST(TCPClient, DefaultsAreThoseOfAFreshClient) {
  TIdTCPClient client;
  EXPECT_EQ(client.BoundIP(), "");
  EXPECT_EQ(client.BoundPort(), 0);
  EXPECT_EQ(client.BoundPortMin(), 0);
  EXPECT_EQ(client.BoundPortMax(), 0);
  EXPECT_EQ(client.ConnectTimeout(), 0);
  EXPECT_EQ(client.ReadTimeout(), -1);
  EXPECT_EQ(client.ReuseSocket(), rsOSDependent);
  EXPECT_TRUE(client.UseNagle());
  EXPECT_EQ(client.LingerState(), -1);
  EXPECT_EQ(client.IPVersion(), Id_IPv4);
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_FALSE(client.Connected());
}

TEST(TCPClient, ConnectNeedsAHostAndAPort) {
  TIdTCPClient client;
  EXPECT_EQ(Raised<EIdHostRequired>([&] { client.Connect(); }).Message(), "A Host is required");
  client.SetHost("127.0.0.1");
  EXPECT_EQ(Raised<EIdPortRequired>([&] { client.Connect(); }).Message(), "A Port is required");
}

TEST(TCPClient, ConnectingTwiceIsRefused) {
  test::TEchoServer echo;
  TIdTCPClient client;
  client.Connect("127.0.0.1", echo.Port());
  EXPECT_EQ(Raised<EIdAlreadyConnected>([&] { client.Connect(); }).Message(), "Already connected.");
}

TEST(TCPClient, ConnectCreatesTheStackHandlerAndCarriesBytes) {
  test::TEchoServer echo;
  TIdTCPClient client;
  client.Connect("127.0.0.1", echo.Port());
  ASSERT_NE(client.Socket(), nullptr);
  EXPECT_NE(dynamic_cast<TIdIOHandlerStack*>(client.IOHandler()), nullptr);
  EXPECT_TRUE(client.ManagedIOHandler());
  client.IOHandler()->WriteLn("ping");
  EXPECT_EQ(client.IOHandler()->ReadLn(), "ping");
  EXPECT_EQ(client.Socket()->Binding()->PeerPort(), echo.Port());
}

TEST(TCPClient, LargeRunsTravelIntact) {
  test::TEchoServer echo;
  TIdTCPClient client;
  client.Connect("127.0.0.1", echo.Port());
  TIdBytes sent(1 << 20);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>((i * 7919) >> 3);
  TIdBytes received;
  constexpr int kPiece = 65536;
  for (size_t offset = 0; offset < sent.size(); offset += kPiece) {
    client.IOHandler()->Write(sent, kPiece, static_cast<int>(offset));
    client.IOHandler()->ReadBytes(received, kPiece, true);
  }
  EXPECT_EQ(received, sent);
}

TEST(TCPClient, ALiteralAddressIsNotResolved) {
  test::TEchoServer echo;
  TIdTCPClient client;
  TStatusLog log;
  log.Attach(client);
  client.Connect("127.0.0.1", echo.Port());
  std::vector<TIdStatus> expected{hsConnecting, hsConnected};
  EXPECT_EQ(log.Statuses, expected);
  EXPECT_EQ(log.Texts[0], "Connecting to 127.0.0.1.");
}

TEST(TCPClient, ANameIsResolvedThenConnectedThenDisconnected) {
  test::TEchoServer echo;
  TIdTCPClient client;
  TStatusLog log;
  log.Attach(client);
  client.Connect("localhost", echo.Port());
  client.Disconnect();
  std::vector<TIdStatus> expected{hsResolving, hsConnecting, hsConnected, hsDisconnecting, hsDisconnected};
  EXPECT_EQ(log.Statuses, expected);
  EXPECT_EQ(log.Texts[0], "Resolving hostname localhost.");
}

TEST(TCPClient, ConnectsOverIPv6) {
  test::TEchoServer echo(true);
  TIdTCPClient client;
  client.SetIPVersion(Id_IPv6);
  client.Connect("::1", echo.Port());
  client.IOHandler()->WriteLn("six");
  EXPECT_EQ(client.IOHandler()->ReadLn(), "six");
}

TEST(TCPClient, ARefusedConnectionLeavesNoManagedHandler) {
  test::TRefusingPort closed;
  TIdTCPClient client;
  auto e = Raised<EIdSocketError>([&] { client.Connect("127.0.0.1", closed.Port()); });
  EXPECT_EQ(e.LastError(), 10061);
  EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_FALSE(client.Connected());

  test::TEchoServer echo;
  client.Connect("127.0.0.1", echo.Port());
  EXPECT_TRUE(client.ManagedIOHandler());
  EXPECT_TRUE(client.Connected());
}

TEST(TCPClient, AConnectThatNeverCompletesTimesOut) {
  TFullListener full;
  TIdTCPClient client;
  client.SetConnectTimeout(300);
  TClock::time_point start = TClock::now();
  auto e = Raised<EIdConnectTimeout>([&] { client.Connect("127.0.0.1", full.Listener.Port()); });
  long elapsed = ElapsedMs(start);
  EXPECT_EQ(e.Message(), "Connect timed out.");
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 15000);
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST(TCPClient, AConnectTimeOutLeavesAnOwnHandlerClosed) {
  TFullListener full;
  TIdTCPClient client;
  TIdIOHandlerStack handler;
  client.SetIOHandler(&handler);
  client.SetConnectTimeout(200);
  EXPECT_THROW(client.Connect("127.0.0.1", full.Listener.Port()), EIdConnectTimeout);
  EXPECT_EQ(client.IOHandler(), &handler);
  EXPECT_FALSE(handler.Opened());
  EXPECT_FALSE(handler.BindingAllocated());
}

void ExpectNoConnectLimit(int aConnectTimeout) {
  TFullListener full;
  TIdTCPClient client;
  client.SetConnectTimeout(aConnectTimeout);
  auto connecting = std::async(std::launch::async, [&] { client.Connect("127.0.0.1", full.Listener.Port()); });
  // Still waiting well past any short limit; then room is made in the queue.
  EXPECT_EQ(connecting.wait_for(std::chrono::milliseconds(600)), std::future_status::timeout);
  auto accepted = full.Listener.Accept();
  auto acceptedMore = full.Listener.Accept(100);
  connecting.get();
  EXPECT_TRUE(client.Connected());
}

TEST(TCPClient, AConnectTimeOutOfZeroMeansNoLimit) { ExpectNoConnectLimit(0); }

TEST(TCPClient, AConnectTimeOutOfMinusOneMeansNoLimit) { ExpectNoConnectLimit(-1); }

TEST(TCPClient, ReadingFromASilentPeerTimesOut) {
  test::TScriptedServer silent([](test::TTestPeer& aPeer, int) { aPeer.WaitForClose(); });
  TIdTCPClient client;
  client.SetReadTimeout(200);
  client.Connect("127.0.0.1", silent.Port());
  TClock::time_point start = TClock::now();
  EXPECT_EQ(Raised<EIdReadTimeout>([&] { client.IOHandler()->ReadString(1); }).Message(), "Read timed out.");
  EXPECT_GE(ElapsedMs(start), 150);
  EXPECT_EQ(client.IOHandler()->ReadLn("\n", 100), "");
  EXPECT_TRUE(client.IOHandler()->ReadLnTimedout());
  EXPECT_TRUE(client.Connected());
}

TEST(TCPClient, APeerClosedWithUnreadInputStillCountsAsConnected) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    aPeer.Write("abc");
    aPeer.Close();
  });
  TIdTCPClient client;
  client.Connect("127.0.0.1", server.Port());
  server.Wait();
  EXPECT_THROW(client.IOHandler()->ReadLn(), EIdConnClosedGracefully);
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(client.IOHandler()->ReadString(3), "abc");
  EXPECT_FALSE(client.Connected());
}

TEST(TCPClient, APeerClosingMidReadRaisesClosedGracefully) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    aPeer.Write("abc");
    aPeer.Close();
  });
  TIdTCPClient client;
  TStatusLog log;
  log.Attach(client);
  client.Connect("127.0.0.1", server.Port());
  EXPECT_THROW(client.IOHandler()->ReadString(10), EIdConnClosedGracefully);
  EXPECT_EQ(client.IOHandler()->InputBuffer().Size(), 3);
  EXPECT_EQ(log.Statuses.back(), hsDisconnected);
}

TEST(TCPClient, APeerResettingMidReadEndsTheConnection) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    aPeer.Write("abc");
    aPeer.ReadText(2);
    aPeer.Reset();
  });
  TIdTCPClient client;
  client.Connect("127.0.0.1", server.Port());
  EXPECT_EQ(client.IOHandler()->ReadString(3), "abc");
  client.IOHandler()->Write(std::string("ok"));
  EXPECT_THROW(client.IOHandler()->ReadString(1), EIdConnClosedGracefully);
  EXPECT_FALSE(client.Connected());
}

TEST(TCPClient, WritingToAResetPeerRaisesInsteadOfSignalling) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    aPeer.Read(1);
    aPeer.Reset();
  });
  TIdTCPClient client;
  client.Connect("127.0.0.1", server.Port());
  client.IOHandler()->Write(uint8_t(1));
  server.Wait();
  TIdBytes block(65536, 'x');
  bool raised = false;
  for (int i = 0; i < 100 && !raised; ++i) {
    try {
      client.IOHandler()->Write(block);
    } catch (const EIdException&) {
      raised = true;
    }
  }
  EXPECT_TRUE(raised);
  EXPECT_FALSE(client.Connected());
}

TEST(TCPClient, CheckForGracefulDisconnectRaisesOnceThePeerHasGone) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) { aPeer.Close(); });
  TIdTCPClient client;
  EXPECT_EQ(Raised<EIdException>([&] { client.CheckForGracefulDisconnect(); }).Message(), "Not Connected");
  client.Connect("127.0.0.1", server.Port());
  server.Wait();
  EXPECT_FALSE(client.Connected());
  EXPECT_THROW(client.CheckForGracefulDisconnect(true), EIdConnClosedGracefully);
  EXPECT_NO_THROW(client.CheckForGracefulDisconnect(false));
}

TEST(TCPClient, DisconnectClosesTheSocketAndTellsTheEvents) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    if (!aPeer.WaitForClose()) throw std::runtime_error("client did not close");
  });
  TIdTCPClient client;
  int disconnected = 0;
  client.OnDisconnected = [&](TComponent&) { ++disconnected; };
  client.Connect("127.0.0.1", server.Port());
  client.Disconnect();
  server.Wait();
  EXPECT_EQ(disconnected, 1);
  EXPECT_FALSE(client.Connected());
  client.Disconnect();
  EXPECT_EQ(disconnected, 1);
}

TEST(TCPClient, AClientCanConnectAgainAfterADisconnect) {
  test::TEchoServer echo;
  TIdTCPClient client;
  client.Connect("127.0.0.1", echo.Port());
  TIdIOHandler* first = client.IOHandler();
  client.Disconnect();
  client.Connect();
  EXPECT_EQ(client.IOHandler(), first);
  client.IOHandler()->WriteLn("again");
  EXPECT_EQ(client.IOHandler()->ReadLn(), "again");
}

TEST(TCPClient, DestroyingAConnectedClientClosesTheConnection) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    if (!aPeer.WaitForClose()) throw std::runtime_error("client did not close");
  });
  {
    TIdTCPClient client;
    client.Connect("127.0.0.1", server.Port());
  }
  server.Wait();
}

TEST(TCPClient, BindSettingsReachTheSocket) {
  test::TEchoServer echo;
  uint16_t localPort = test::FreeLoopbackPort();
  TIdTCPClient client;
  client.SetBoundIP("127.0.0.1");
  client.SetBoundPort(localPort);
  client.SetUseNagle(false);
  client.SetReuseSocket(rsTrue);
  client.Connect("127.0.0.1", echo.Port());
  TIdSocketHandle& binding = *client.Socket()->Binding();
  EXPECT_EQ(binding.IP(), "127.0.0.1");
  EXPECT_EQ(binding.Port(), localPort);
  EXPECT_NE(binding.GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY), 0);
  EXPECT_EQ(binding.GetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR), 1);
}

TEST(TCPClient, BindEventsRunInOrder) {
  test::TEchoServer echo;
  TIdTCPClient client;
  std::vector<std::string> events;
  client.OnBeforeBind = [&](TComponent&) { events.push_back("before bind"); };
  client.OnSocketAllocated = [&](TComponent&) { events.push_back("allocated"); };
  client.OnAfterBind = [&](TComponent&) { events.push_back("after bind"); };
  client.OnConnected = [&](TComponent&) { events.push_back("connected"); };
  client.Connect("127.0.0.1", echo.Port());
  std::vector<std::string> expected{"before bind", "allocated", "after bind", "connected"};
  EXPECT_EQ(events, expected);
}

TEST(TCPClient, ASettingChangedAfterConnectReachesTheSocket) {
  test::TEchoServer echo;
  TIdTCPClient client;
  client.Connect("127.0.0.1", echo.Port());
  client.SetUseNagle(false);
  EXPECT_NE(client.Socket()->Binding()->GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY), 0);
}

TEST(TCPClient, TheIdleHookRunsWhileAReadWaits) {
  test::TScriptedServer silent([](test::TTestPeer& aPeer, int) { aPeer.WaitForClose(); });
  TCountingAntiFreeze hook;
  hook.SetIdleTimeOut(20);
  TIdTCPClient client;
  client.SetReadTimeout(300);
  client.Connect("127.0.0.1", silent.Port());
  EXPECT_THROW(client.IOHandler()->ReadString(1), EIdReadTimeout);
  EXPECT_GE(hook.Runs, 3);
}

TEST(TCPClient, TheIdleHookRunsWhileAConnectWaits) {
  TFullListener full;
  TCountingAntiFreeze hook;
  hook.SetIdleTimeOut(20);
  TIdTCPClient client;
  client.SetConnectTimeout(300);
  EXPECT_THROW(client.Connect("127.0.0.1", full.Listener.Port()), EIdConnectTimeout);
  EXPECT_GE(hook.Runs, 3);
}

TEST(TCPClient, ConnectAndGetAllReturnsEverythingUntilTheClose) {
  test::TScriptedServer server([](test::TTestPeer& aPeer, int) {
    aPeer.Write("line one\r\nline two\r\n");
    aPeer.Close();
  });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  EXPECT_EQ(client.ConnectAndGetAll(), "line one\r\nline two\r\n");
}

}  // namespace
}  // namespace qtx
