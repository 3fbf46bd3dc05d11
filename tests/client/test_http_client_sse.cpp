// Server-sent events through TqtxIdHTTP: GetSSE against a loopback event
// source that writes its stream in odd-sized pieces, slowly, and the SSE
// parser on the blocks as they arrive, from a GET and from a POST.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "client/qtxBase_Helpers.h"
#include "client/qtxHTTP_Client.h"
#include "client/qtxSSEParser.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestHostile.h"
#include "support/qtxTestSockets.h"

namespace qtx {
namespace {

constexpr int kWait = 30000;

// Two events, the first split over lines with CR LF ends, a comment, an id,
// and characters of two, three and four bytes.
constexpr std::string_view kStream =
    "event: greeting\r\ndata: Καλημέρα\r\ndata: €\r\n\r\n"
    ": keep-alive\n"
    "id: 7\ndata: 👋 [DONE]\n\n";

std::vector<TqtxSSEEvent> ExpectedEvents() {
  return {{"greeting", "Καλημέρα\n€", "", std::nullopt}, {"message", "👋 [DONE]", "7", std::nullopt}};
}

// How the event source ends the stream.
enum class TEnd {
  Close,            // the whole stream, then the connection closes
  WaitForTheClient  // the first piece, then nothing until the client closes
};

// A loopback event source: answers one request with the stream in pieces of
// 1, 2, 3, 5 and 8 bytes over and over, 5 ms apart.
class TEventSource {
public:
  explicit TEventSource(TEnd aEnd = TEnd::Close)
      : FServer([this, aEnd](test::TTestPeer& aPeer, int) { Serve(aPeer, aEnd); }) {}

  std::string URL() const { return "http://127.0.0.1:" + std::to_string(FServer.Port()) + "/events"; }
  // The request as received (head and body).
  std::string Request() {
    std::lock_guard guard(FLock);
    return FRequest;
  }
  bool ClientClosedEarly() const { return FClientClosedEarly; }

private:
  void Serve(test::TTestPeer& aPeer, TEnd aEnd) {
    std::string request = aPeer.ReadUntil("\r\n\r\n");
    const std::string length = "Content-Length: ";
    if (const size_t at = request.find(length); at != std::string::npos) {
      request += aPeer.ReadText(std::stoul(request.substr(at + length.size())));
    }
    {
      std::lock_guard guard(FLock);
      FRequest = request;
    }
    aPeer.Write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n\r\n");
    static constexpr size_t kPieces[] = {1, 2, 3, 5, 8};
    for (size_t at = 0, i = 0; at < kStream.size(); at += kPieces[i++ % 5]) {
      aPeer.Write(kStream.substr(at, kPieces[i % 5]));
      if (aEnd == TEnd::WaitForTheClient) {
        FClientClosedEarly = aPeer.WaitForClose();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  std::mutex FLock;
  std::string FRequest;
  std::atomic<bool> FClientClosedEarly{false};
  test::TScriptedServer FServer;
};

TEST(HTTPClientSSE, GetSSEHandsOnEachBlockAsItArrivesUntilTheServerCloses) {
  TEventSource source;
  TqtxIdHTTP http;
  http.SetReadTimeout(kWait);
  std::string received;
  int blocks = 0;
  std::vector<TqtxSSEEvent> events;
  TqtxSSEParser parser;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool&) { events.push_back(aEvent); };
  http.OnSSEMessage = [&](TqtxIdHTTP&, const std::string& aMessage, bool& aCancel) {
    EXPECT_FALSE(aCancel);
    ++blocks;
    received += aMessage;
    parser.FeedRawText(aMessage);
  };
  http.GetSSE(source.URL(), "utf-8");
  parser.EndOfStream();
  EXPECT_GT(blocks, 1);
  EXPECT_EQ(received, BytesToRawText(test::Bytes(kStream)));
  EXPECT_EQ(events, ExpectedEvents());
  const std::string request = source.Request();
  EXPECT_NE(request.find("\r\nAccept: text/event-stream;charset=UTF-8\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nCache-control: no-store\r\n"), std::string::npos) << request;

  // Without a charset, and without a handler (the stream is read and dropped).
  TEventSource second;
  http.OnSSEMessage = nullptr;
  http.GetSSE(second.URL());
  EXPECT_NE(second.Request().find("\r\nAccept: text/event-stream\r\n"), std::string::npos);
}

TEST(HTTPClientSSE, ACancelStopsTheStreamAndReturns) {
  TEventSource source(TEnd::WaitForTheClient);
  TqtxIdHTTP http;
  http.SetReadTimeout(kWait);
  int blocks = 0;
  http.OnSSEMessage = [&](TqtxIdHTTP&, const std::string&, bool& aCancel) {
    ++blocks;
    aCancel = true;
  };
  http.GetSSE(source.URL());
  EXPECT_EQ(blocks, 1);
  EXPECT_FALSE(http.Connected());
  // The source saw the connection close before it sent anything more.
  for (int i = 0; i < 100 && !source.ClientClosedEarly(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(source.ClientClosedEarly());
}

TEST(HTTPClientSSE, AStalledStreamEndsInAReadTimeout) {
  TEventSource source(TEnd::WaitForTheClient);
  TqtxIdHTTP http;
  http.SetReadTimeout(200);
  EXPECT_THROW(http.GetSSE(source.URL()), EIdReadTimeout);
}

// A stream without framing ends when the connection does, however it
// ends; a framed body or a header cut short is a failure, not an end.
TEST(HTTPClientSSE, AStreamCutShortRaisesUnlessItsEndIsTheConnections) {
  struct TCase {
    const char* Name;
    std::string Head;
    test::TPeerEnd End;
    bool Raises;
  };
  const std::string unframed = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\n";
  for (const TCase& c : {TCase{"closed", unframed, test::TPeerEnd::Close, false},
                         TCase{"reset", unframed, test::TPeerEnd::Reset, false},
                         TCase{"length", "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n", test::TPeerEnd::Close, true},
                         TCase{"chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\n",
                               test::TPeerEnd::Reset, true},
                         TCase{"header", "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n",
                               test::TPeerEnd::Close, true}}) {
    SCOPED_TRACE(c.Name);
    const std::string answer = c.Head + std::string(kStream);
    test::TScriptedServer server([&](test::TTestPeer& aPeer, int) {
      aPeer.ReadUntil("\r\n\r\n");
      test::SendHostile(aPeer, answer, c.Head.size() + 20, c.End);
    });
    TqtxIdHTTP http;
    http.SetReadTimeout(kWait);
    std::string received;
    http.OnSSEMessage = [&](TqtxIdHTTP&, const std::string& aMessage, bool&) { received += aMessage; };
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    if (c.Raises) {
      EXPECT_ANY_THROW(http.GetSSE(url));
    } else {
      http.GetSSE(url);
      EXPECT_EQ(received, answer.substr(c.Head.size(), 20));
    }
  }
}

// The parser works on any body: here a POST's, read through an event stream.
TEST(HTTPClientSSE, TheParserReadsTheEventsOfAPostsBody) {
  TEventSource source;
  TqtxIdHTTP http;
  http.SetReadTimeout(kWait);
  std::vector<TqtxSSEEvent> events;
  TqtxSSEParser parser;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool&) { events.push_back(aEvent); };
  TIdEventStream stream;
  stream.OnWrite = [&](const TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult) {
    parser.Feed(std::span(aBuffer).subspan(static_cast<size_t>(aOffset), static_cast<size_t>(aCount)));
    aResult = aCount;
  };
  TStringStream body(R"({"stream":true})");
  http.Post(source.URL(), &body, &stream);
  parser.EndOfStream();
  EXPECT_EQ(events, ExpectedEvents());
  const std::string request = source.Request();
  EXPECT_EQ(request.substr(0, 13), "POST /events ");
  EXPECT_EQ(request.substr(request.size() - 15), R"({"stream":true})");
}

}  // namespace
}  // namespace qtx
