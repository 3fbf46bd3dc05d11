// The IO handler over real loopback TCP sockets: time-outs, closes and resets
// come from the operating system.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/qtxSocketIOHandler.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestSockets.h"
#include "transport/qtxIdIOHandler.h"

namespace qtx {
namespace {

using test::Raised;
using test::TSocketIOHandler;
using test::TTestListener;
using test::TTestPeer;
using test::Text;


class SocketIOHandler : public ::testing::Test {
protected:
  SocketIOHandler() : io(test::ConnectLoopback(listener.Port())), peerSocket(listener.Accept()), peer(*peerSocket) {
    io.Open();
  }
  TTestListener listener;
  TSocketIOHandler io;
  std::unique_ptr<TTestPeer> peerSocket;
  TTestPeer& peer;
};

int64_t MillisecondsSince(std::chrono::steady_clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - aStart).count();
}

TEST_F(SocketIOHandler, ATerminatorArrivingInTwoPiecesIsFound) {
  std::thread sender([this] {
    peer.Write("abc\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    peer.Write("\ndef\r\n");
  });
  EXPECT_EQ(io.ReadLn(), "abc");
  EXPECT_EQ(io.ReadLn("\r\n"), "def");
  sender.join();
}

TEST_F(SocketIOHandler, ASilentPeerTimesOutAfterAboutTheTimeOut) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(io.ReadLn("\n", 100), "");
  const int64_t elapsed = MillisecondsSince(start);
  EXPECT_TRUE(io.ReadLnTimedout());
  EXPECT_GE(elapsed, 90);
  EXPECT_LT(elapsed, 10000);
  EXPECT_TRUE(io.Connected());
}

TEST_F(SocketIOHandler, TheReadTimeoutAppliesByDefault) {
  io.SetReadTimeout(100);
  peer.Write("no end");
  EXPECT_EQ(io.ReadLn(), "");
  EXPECT_TRUE(io.ReadLnTimedout());
  EXPECT_EQ(io.InputBuffer().AsString(), "no end");
}

TEST_F(SocketIOHandler, APeerClosingWithUnreadBytesStaysConnectedUntilTheyAreRead) {
  peer.Write("abc");
  peer.Close();
  EXPECT_THROW(io.ReadLn(), EIdConnClosedGracefully);
  EXPECT_EQ(io.InputBuffer().Size(), 3);
  EXPECT_TRUE(io.Connected());
  EXPECT_EQ(io.ReadString(3), "abc");
  EXPECT_FALSE(io.Connected());
}

TEST_F(SocketIOHandler, ConnectedNoticesAClosedPeer) {
  peer.Close();
  bool connected = true;
  for (int attempt = 0; attempt < 1000 && connected; ++attempt) {
    connected = io.Connected();
    if (connected) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(connected);
  EXPECT_THROW(io.ReadByte(), EIdConnClosedGracefully);
}

TEST_F(SocketIOHandler, ReadStreamUntilDisconnectTakesEverythingSent) {
  const std::string body(300000, 'z');
  std::thread sender([&] {
    peer.Write(body);
    peer.Close();
  });
  TMemoryStream stream;
  io.ReadStream(&stream, -1, true);
  sender.join();
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(body.size()));
}

TEST_F(SocketIOHandler, AResetRaisesTheSocketError) {
  peer.Reset();
  const auto e = Raised<EIdSocketError>([&] { io.ReadLn(); });
  EXPECT_EQ(e.LastError(), 10054);
  EXPECT_TRUE(io.ClosedGracefully());
}

TEST_F(SocketIOHandler, StreamsGoOutWithTheirBigEndianLength) {
  auto receiving = std::async(std::launch::async, [this] { return peer.Read(4 + 70000); });
  TMemoryStream stream(TIdBytes(70000, 'q'));
  io.Write(stream, 0, true);
  const TIdBytes received = receiving.get();
  ASSERT_EQ(received.size(), 4u + 70000u);
  EXPECT_EQ(TIdBytes(received.begin(), received.begin() + 4), (TIdBytes{0, 1, 0x11, 0x70}));
}

TEST_F(SocketIOHandler, TextIsEncodedBothWays) {
  io.SetDefStringEncoding(IdTextEncoding_UTF8());
  io.WriteLn("gr\xC3\xBC\xC3\x9F");  // "grüß"
  EXPECT_EQ(Text(peer.Read(8)), "gr\xC3\xBC\xC3\x9F\r\n");
  peer.Write(TIdBytes{'f', 0xFC, 'r', '\n'});  // "für" in Latin-1
  EXPECT_EQ(io.ReadLn(IdTextEncoding_8Bit()), "f\xC3\xBCr");
}

TEST_F(SocketIOHandler, WritingToAPeerThatIsGoneFailsWithASocketError) {
  peer.Reset();
  const TIdBytes block(65536, 'w');
  EXPECT_THROW(
      {
        for (int i = 0; i < 1000; ++i) io.Write(block);
      },
      EIdSocketError);
  EXPECT_FALSE(io.Opened());
}

}  // namespace
}  // namespace qtx
