#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/qtxScriptedIOHandler.h"
#include "support/qtxTestHelpers.h"
#include "transport/qtxIdIntercept.h"

namespace qtx {
namespace {

using test::Raised;
using test::TScriptedIOHandler;

// Two chained intercepts that log every event under their own name.
struct InterceptChain : ::testing::Test {
  InterceptChain() {
    Watch(first, "first");
    Watch(second, "second");
    first.SetIntercept(&second);
  }
  void Watch(TIdConnectionIntercept& aIntercept, const std::string& aName) {
    aIntercept.OnConnect = [this, aName](TIdConnectionIntercept&) { log.push_back(aName + " connect"); };
    aIntercept.OnDisconnect = [this, aName](TIdConnectionIntercept&) { log.push_back(aName + " disconnect"); };
    aIntercept.OnReceive = [this, aName](TIdConnectionIntercept&, TIdBytes& aBuffer) {
      log.push_back(aName + " receive");
      aBuffer.push_back(static_cast<uint8_t>(aName[0]));
    };
    aIntercept.OnSend = [this, aName](TIdConnectionIntercept&, TIdBytes& aBuffer) {
      log.push_back(aName + " send");
      aBuffer.push_back(static_cast<uint8_t>(aName[0]));
    };
  }
  std::vector<std::string> log;
  TIdConnectionIntercept first;
  TIdConnectionIntercept second;
};

TEST_F(InterceptChain, ConnectRunsOutwardAndDisconnectInward) {
  TComponent connection;
  first.Connect(&connection);
  EXPECT_EQ(second.Connection(), &connection);
  first.Disconnect();
  EXPECT_EQ(log, (std::vector<std::string>{"first connect", "second connect", "second disconnect", "first disconnect"}));
  EXPECT_EQ(first.Connection(), nullptr);
  EXPECT_EQ(second.Connection(), nullptr);
}

TEST_F(InterceptChain, ReceivedBytesPassTheInnerInterceptFirst) {
  TIdBytes bytes{'x'};
  first.Receive(bytes);
  EXPECT_EQ(log, (std::vector<std::string>{"second receive", "first receive"}));
  EXPECT_EQ(bytes, (TIdBytes{'x', 's', 'f'}));
}

TEST_F(InterceptChain, SentBytesPassTheOuterInterceptFirst) {
  TIdBytes bytes{'x'};
  first.Send(bytes);
  EXPECT_EQ(log, (std::vector<std::string>{"first send", "second send"}));
  EXPECT_EQ(bytes, (TIdBytes{'x', 'f', 's'}));
}

TEST_F(InterceptChain, ALinkBackToItselfIsRefused) {
  const auto e = Raised<EIdInterceptCircularLink>([&] { second.SetIntercept(&first); });
  EXPECT_EQ(e.Message(), "TIdConnectionIntercept: Circular links are not allowed");
  EXPECT_THROW(first.SetIntercept(&first), EIdInterceptCircularLink);
  EXPECT_EQ(second.Intercept(), nullptr);
}

TEST(TIdConnectionIntercept, ForgetsTheNextInterceptWhenItIsFreed) {
  TIdConnectionIntercept outer;
  auto inner = std::make_unique<TIdConnectionIntercept>();
  outer.SetIntercept(inner.get());
  inner.reset();
  EXPECT_EQ(outer.Intercept(), nullptr);
}

TEST(TIdConnectionIntercept, TransformsWhatTheHandlerReadsAndWrites) {
  TIdConnectionIntercept intercept;
  // A receive that doubles every byte, a send that drops the last one.
  intercept.OnReceive = [](TIdConnectionIntercept&, TIdBytes& aBuffer) {
    TIdBytes doubled;
    for (uint8_t b : aBuffer) doubled.insert(doubled.end(), {b, b});
    aBuffer = doubled;
  };
  intercept.OnSend = [](TIdConnectionIntercept&, TIdBytes& aBuffer) { aBuffer.pop_back(); };
  TScriptedIOHandler io;
  io.SetIntercept(&intercept);
  io.Open();
  io.AddInput("ab\n");
  EXPECT_EQ(io.ReadLn(), "aabb");
  io.Write("xyz");
  EXPECT_EQ(io.WrittenText(), "xy");
}

TEST(TIdConnectionIntercept, ReadStreamGetsTheBytesAsTheInterceptLeavesThem) {
  TIdConnectionIntercept intercept;
  intercept.OnReceive = [](TIdConnectionIntercept&, TIdBytes& aBuffer) {
    TIdBytes doubled;
    for (uint8_t b : aBuffer) doubled.insert(doubled.end(), {b, b});
    aBuffer = doubled;
  };
  TScriptedIOHandler io;
  io.SetIntercept(&intercept);
  io.Open();
  io.AddInput("ab");
  io.AddInput("cd");
  TMemoryStream stream;
  io.ReadStream(&stream, 6);
  EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), "aabbcc");
  EXPECT_EQ(io.InputBuffer().AsString(), "dd");
  io.SetIntercept(nullptr);
}

TEST(TIdConnectionIntercept, ABlockKeptWhollyByTheInterceptIsNoClose) {
  TIdConnectionIntercept intercept;
  // Keeps the first block to itself (as a decoder waiting for a whole record).
  int blocks = 0;
  intercept.OnReceive = [&](TIdConnectionIntercept&, TIdBytes& aBuffer) {
    if (blocks++ == 0) aBuffer.clear();
  };
  TScriptedIOHandler io;
  io.SetIntercept(&intercept);
  io.Open();
  io.AddInput("kept");
  io.AddInput("line\n");
  EXPECT_EQ(io.ReadLn(), "line");
  EXPECT_FALSE(io.ClosedGracefully());
  io.SetIntercept(nullptr);
}

TEST(TIdConnectionIntercept, CloseDisconnectsItAndAFreedInterceptIsForgotten) {
  auto intercept = std::make_unique<TIdConnectionIntercept>();
  bool disconnected = false;
  intercept->OnDisconnect = [&](TIdConnectionIntercept&) { disconnected = true; };
  TScriptedIOHandler io;
  io.SetIntercept(intercept.get());
  io.Open();
  io.Close();
  EXPECT_TRUE(disconnected);
  intercept.reset();
  EXPECT_EQ(io.Intercept(), nullptr);
}

TEST(TIdConnectionIntercept, CloseStillClosesWhenTheInterceptRaises) {
  TIdConnectionIntercept intercept;
  intercept.OnDisconnect = [](TIdConnectionIntercept&) { throw EIdException("intercept failed"); };
  TScriptedIOHandler io;
  io.SetIntercept(&intercept);
  io.Open();
  io.WriteBufferOpen();
  EXPECT_THROW(io.Close(), EIdException);
  EXPECT_FALSE(io.Opened());
  io.SetIntercept(nullptr);
}

}  // namespace
}  // namespace qtx
