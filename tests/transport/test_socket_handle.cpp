// One socket against loopback peers: bind, connect, options, readability,
// sends after the peer went away, and the close with linger or shutdown.

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include <gtest/gtest.h>

#include "support/qtxTestHelpers.h"

#include "support/qtxTestSockets.h"
#include "transport/qtxIdSocketHandle.h"

namespace qtx {
namespace {

using test::ElapsedMs;
using test::Raised;
using test::TClock;

// What the peer's next receive reports: data, an orderly end, or a reset.
enum class TPeerSees { Data, End, Reset };
TPeerSees NextReceive(test::TTestPeer& aPeer) {
  uint8_t byte;
  pollfd entry{aPeer.Fd(), POLLIN, 0};
  if (::poll(&entry, 1, test::kPeerWaitMs) <= 0) throw std::runtime_error("peer saw nothing");
  ssize_t got = ::recv(aPeer.Fd(), &byte, 1, 0);
  if (got > 0) return TPeerSees::Data;
  if (got == 0) return TPeerSees::End;
  if (errno == ECONNRESET) return TPeerSees::Reset;
  throw std::runtime_error("unexpected receive failure");
}

// A socket connected to a loopback listener, with the accepted peer.
struct TConnectedPair {
  test::TTestListener Listener;
  TIdSocketHandle Socket;
  std::unique_ptr<test::TTestPeer> Peer;

  TConnectedPair() {
    Socket.AllocateSocket();
    Socket.SetPeer("127.0.0.1", Listener.Port());
    Socket.Connect();
    Peer = Listener.Accept();
    if (!Peer) throw std::runtime_error("no connection accepted");
  }
};

TEST(SocketHandle, AllocationReadsTheSocketTypeAndNagleState) {
  TIdSocketHandle socket;
  EXPECT_FALSE(socket.HandleAllocated());
  socket.AllocateSocket();
  EXPECT_TRUE(socket.HandleAllocated());
  EXPECT_EQ(socket.SocketType(), Id_SOCK_STREAM);
  EXPECT_TRUE(socket.UseNagle());
}

TEST(SocketHandle, ConnectReadsBackBothAddresses) {
  TConnectedPair pair;
  EXPECT_EQ(pair.Socket.PeerIP(), "127.0.0.1");
  EXPECT_EQ(pair.Socket.PeerPort(), pair.Listener.Port());
  EXPECT_EQ(pair.Socket.IP(), "127.0.0.1");
  EXPECT_NE(pair.Socket.Port(), 0);
}

TEST(SocketHandle, BytesTravelBothWays) {
  TConnectedPair pair;
  TIdBytes hello = test::Bytes("hello");
  EXPECT_EQ(pair.Socket.Send(hello, 1, 3), 3);
  EXPECT_EQ(pair.Peer->ReadText(3), "ell");
  pair.Peer->Write("world");
  TIdBytes buffer(16);
  ASSERT_TRUE(pair.Socket.Readable(5000));
  int got = pair.Socket.Receive(buffer);
  ASSERT_GT(got, 0);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + got), std::string("world").substr(0, got));
}

TEST(SocketHandle, ConnectsOverIPv6Loopback) {
  test::TTestListener listener(16, true);
  TIdSocketHandle socket;
  socket.SetIPVersion(Id_IPv6);
  socket.AllocateSocket();
  socket.SetPeer("::1", listener.Port(), Id_IPv6);
  socket.Connect();
  EXPECT_EQ(socket.PeerIP(), "::1");
  EXPECT_NE(listener.Accept(), nullptr);
}

TEST(SocketHandle, ConnectToAFullAcceptQueueEndsAfterTheTimeOut) {
  // A backlog of 0 takes one connection; later handshakes are never answered.
  test::TTestListener listener(0);
  TIdSocketHandle filler;
  filler.AllocateSocket();
  filler.SetPeer("127.0.0.1", listener.Port());
  ASSERT_TRUE(filler.Connect(10000));
  TIdSocketHandle blocked;
  blocked.AllocateSocket();
  blocked.SetPeer("127.0.0.1", listener.Port());
  // The queue can take a second connection on some systems; find the one that waits.
  TClock::time_point start = TClock::now();
  bool connected = blocked.Connect(300);
  if (connected) {
    blocked.AllocateSocket();
    start = TClock::now();
    connected = blocked.Connect(300);
  }
  long elapsed = ElapsedMs(start);
  EXPECT_FALSE(connected);
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 10000);
}

TEST(SocketHandle, AConnectWaitRunsTheSliceHookBetweenSlices) {
  test::TTestListener listener(0);
  TIdSocketHandle filler;
  filler.AllocateSocket();
  filler.SetPeer("127.0.0.1", listener.Port());
  ASSERT_TRUE(filler.Connect(10000));
  TIdSocketHandle second;
  second.AllocateSocket();
  second.SetPeer("127.0.0.1", listener.Port());
  int slices = 0;
  bool connected = second.Connect(400, 50, [&] { ++slices; });
  if (connected) {
    TIdSocketHandle third;
    third.AllocateSocket();
    third.SetPeer("127.0.0.1", listener.Port());
    slices = 0;
    connected = third.Connect(400, 50, [&] { ++slices; });
  }
  EXPECT_FALSE(connected);
  EXPECT_GE(slices, 3);
}

TEST(SocketHandle, BindsToTheBoundAddressAndPort) {
  uint16_t port = test::FreeLoopbackPort();
  TIdSocketHandle socket;
  socket.SetIP("127.0.0.1");
  socket.SetPort(port);
  socket.AllocateSocket();
  socket.Bind();
  EXPECT_EQ(socket.IP(), "127.0.0.1");
  EXPECT_EQ(socket.Port(), port);
}

TEST(SocketHandle, AnInvertedPortRangeIsRefused) {
  TIdSocketHandle socket;
  socket.SetClientPortMin(5000);
  socket.SetClientPortMax(4000);
  socket.AllocateSocket();
  auto e = Raised<EIdInvalidPortRange>([&] { socket.Bind(); });
  EXPECT_EQ(e.Message(), "Invalid Port Range (5000 - 4000)");
}

TEST(SocketHandle, APortRangeIsTriedFromTheTopDown) {
  // The top port is taken, so the bind lands one below it.
  test::TTestListener taken;
  uint16_t top = taken.Port();
  TIdSocketHandle socket;
  socket.SetIP("127.0.0.1");
  socket.SetClientPortMin(static_cast<TIdPort>(top - 1));
  socket.SetClientPortMax(top);
  socket.SetReuseSocket(rsFalse);
  socket.AllocateSocket();
  socket.Bind();
  EXPECT_EQ(socket.Port(), top - 1);
}

TEST(SocketHandle, APortRangeWithoutAFreePortIsReported) {
  test::TTestListener taken;
  TIdSocketHandle socket;
  socket.SetIP("127.0.0.1");
  socket.SetClientPortMin(taken.Port());
  socket.SetClientPortMax(taken.Port());
  socket.AllocateSocket();
  auto e = Raised<EIdCanNotBindPortInRange>([&] { socket.Bind(); });
  EXPECT_EQ(e.Message(), "Can not bind in port range (" + std::to_string(taken.Port()) + " - " +
                             std::to_string(taken.Port()) + ")");
}

TEST(SocketHandle, ReuseSettingIsAppliedAtBind) {
  TIdSocketHandle reusing;
  reusing.SetReuseSocket(rsTrue);
  reusing.AllocateSocket();
  reusing.Bind();
  EXPECT_EQ(reusing.GetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR), 1);
  TIdSocketHandle plain;
  plain.SetReuseSocket(rsOSDependent);
  plain.AllocateSocket();
  plain.SetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR, 1);
  plain.Bind();
  EXPECT_EQ(plain.GetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR), 0);
}

TEST(SocketHandle, TurningNagleOffSetsNoDelay) {
  TIdSocketHandle socket;
  socket.AllocateSocket();
  EXPECT_EQ(socket.GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY), 0);
  socket.SetUseNagle(false);
  EXPECT_NE(socket.GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY), 0);
  socket.SetUseNagle(true);
  EXPECT_EQ(socket.GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY), 0);
}

TEST(SocketHandle, TheIPVersionCannotChangeOnAnAllocatedSocket) {
  TIdSocketHandle socket;
  socket.AllocateSocket();
  auto e = Raised<EIdCannotSetIPVersionWhenConnected>([&] { socket.SetIPVersion(Id_IPv6); });
  EXPECT_EQ(e.Message(), "Cannot change IPVersion when connected");
  socket.SetIPVersion(Id_IPv4);
}

TEST(SocketHandle, ReadableWaitsForInputOrTheTimeOut) {
  TConnectedPair pair;
  EXPECT_FALSE(pair.Socket.Readable(50));
  pair.Peer->Write("x");
  EXPECT_TRUE(pair.Socket.Readable(10000));
}

TEST(SocketHandle, ReadableReportsThePeersClose) {
  TConnectedPair pair;
  pair.Peer->Close();
  ASSERT_TRUE(pair.Socket.Readable(10000));
  TIdBytes buffer(8);
  EXPECT_EQ(pair.Socket.Receive(buffer), 0);
}

TEST(SocketHandle, ReadableOnAClosedSocketRaisesClosedGracefully) {
  TConnectedPair pair;
  pair.Socket.CloseSocket();
  EXPECT_THROW(pair.Socket.Readable(0), EIdConnClosedGracefully);
}

TEST(SocketHandle, SendingToAResetPeerFailsWithoutASignal) {
  TConnectedPair pair;
  pair.Peer->Reset();
  TIdBytes block(65536, 'x');
  int result = 0;
  // The first send may still be accepted locally; the reset shows on a later one.
  for (int attempt = 0; attempt < 50 && result >= 0; ++attempt) result = pair.Socket.Send(block);
  ASSERT_EQ(result, -1);
  int code = GStack()->WSGetLastError();
  EXPECT_TRUE(code == Id_WSAECONNRESET || code == Id_WSAESHUTDOWN) << code;
}

TEST(SocketHandle, AClosedSocketIsShutDownForSendingByDefault) {
  TConnectedPair pair;
  pair.Socket.CloseSocket();
  EXPECT_FALSE(pair.Socket.HandleAllocated());
  EXPECT_EQ(NextReceive(*pair.Peer), TPeerSees::End);
}

TEST(SocketHandle, ALingerOfZeroResetsTheConnectionOnClose) {
  TConnectedPair pair;
  pair.Socket.SetLingerState(0);
  pair.Socket.CloseSocket();
  EXPECT_EQ(NextReceive(*pair.Peer), TPeerSees::Reset);
}

TEST(SocketHandle, EachSocketClosesWithItsOwnLinger) {
  // Another socket's setting made later must not change how this one closes.
  TConnectedPair aborting;
  aborting.Socket.SetLingerState(0);
  TConnectedPair graceful;
  graceful.Socket.SetLingerState(-1);
  aborting.Socket.CloseSocket();
  graceful.Socket.CloseSocket();
  EXPECT_EQ(NextReceive(*aborting.Peer), TPeerSees::Reset);
  EXPECT_EQ(NextReceive(*graceful.Peer), TPeerSees::End);
}

TEST(SocketHandle, ClosingTwiceIsHarmless) {
  TConnectedPair pair;
  pair.Socket.CloseSocket();
  pair.Socket.CloseSocket();
  EXPECT_EQ(pair.Socket.Handle(), Id_INVALID_SOCKET);
}

}  // namespace
}  // namespace qtx
