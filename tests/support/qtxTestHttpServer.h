#pragma once
// A small HTTP/1.1 server of the tests' own, written on POSIX sockets so that
// it checks the library's HTTP engine against an independent implementation.
// It reads the request line, the header lines and a body framed by
// Content-Length or chunked, answers "100 Continue" when asked, keeps
// connections alive as HTTP/1.1 and HTTP/1.0 clients ask, and records every
// request with the connection it came on. A handler answers each request:
//
//   test::TTestHttpServer server([](const TTestHttpRequest& aRequest, TTestHttpExchange& aExchange) {
//     aExchange.Answer(200, {"Content-Type: text/plain"}, "hello");
//   });
//   ... server.Url("/path") ... server.Requests()[0].Header("Host") ...
//
// Every wait is bounded by the server's stop, so a stalled client never
// hangs a test. The server links no test framework: the demo server program
// is built from it too.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/qtxTypes.h"

namespace qtx::test {

struct TTestHttpRequest {
  std::string Method;
  std::string Target;                    // as on the request line
  std::string Version;                   // "HTTP/1.1"
  std::vector<std::string> HeaderLines;  // as received, in order, without CR LF
  TBytes Body;                           // without the chunked framing
  bool Chunked = false;                  // the body came chunked
  int Connection = 0;                    // 1 for the server's first connection, 2 for the next...

  // The target up to "?", and what follows it ("" without one).
  std::string Path() const;
  std::string Query() const;
  // The value of the first header line of that name (any letter case),
  // without surrounding blanks; nothing when there is none.
  std::optional<std::string> Header(std::string_view aName) const;
  std::string BodyText() const { return std::string(Body.begin(), Body.end()); }
  // Whether the client asked to keep the connection after the answer.
  bool KeepAlive() const;
};

// The answer to one request, written by the handler.
class TTestHttpExchange {
public:
  // A whole answer with Content-Length. aHeaders are whole lines
  // ("Retry-After: 1"); Date, the framing and Connection are added.
  void Answer(int aStatus, const std::vector<std::string>& aHeaders, std::string_view aBody);
  void Answer(int aStatus, const std::vector<std::string>& aHeaders, const TBytes& aBody);
  // An answer written piece by piece: chunked for an HTTP/1.1 request, ended
  // by the close for HTTP/1.0. Each Write is one write on the socket (one
  // chunk).
  void BeginStream(int aStatus, const std::vector<std::string>& aHeaders);
  void Write(std::string_view aBytes);
  void EndStream();
  // Closes the connection at once, whatever has been written.
  void Drop();
  // Waits aMs; false when the server stops meanwhile.
  bool Pause(int aMs);

private:
  friend class TTestHttpServer;
  enum class TState { Idle, Streaming, Done, Closed };
  TTestHttpExchange(class TTestHttpServer& aServer, int aFd, bool aHttp11, bool aKeepAlive);
  void Send(std::string_view aBytes);
  std::string Head(int aStatus, const std::vector<std::string>& aHeaders, const std::string& aFraming) const;

  TTestHttpServer& FServer;
  int FFd;
  bool FHttp11;
  bool FKeepAlive;
  TState FState = TState::Idle;
};

class TTestHttpServer {
public:
  using THandler = std::function<void(const TTestHttpRequest& aRequest, TTestHttpExchange& aExchange)>;

  // Listens on 127.0.0.1:aPort (0: a free port). With aRecord false nothing
  // is kept (a server that runs for long).
  explicit TTestHttpServer(THandler aHandler, uint16_t aPort = 0, bool aRecord = true);
  ~TTestHttpServer();
  TTestHttpServer(const TTestHttpServer&) = delete;
  TTestHttpServer& operator=(const TTestHttpServer&) = delete;

  uint16_t Port() const noexcept { return FPort; }
  // "http://127.0.0.1:<port>" followed by aPath.
  std::string Url(std::string_view aPath) const;

  // Every request so far, in the order they were read.
  std::vector<TTestHttpRequest> Requests() const;
  // Waits until aCount requests have been read; false after aTimeoutMs.
  bool WaitForRequests(size_t aCount, int aTimeoutMs) const;
  // How many connections the server has accepted.
  int Connections() const noexcept { return FConnections.load(); }

  // Stops accepting, ends every connection and waits for their threads.
  void Stop();

private:
  friend class TTestHttpExchange;
  struct TWorker {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Finished;
  };

  void AcceptLoop();
  void Serve(int aFd, int aConnection);
  void Record(const TTestHttpRequest& aRequest);
  bool Stopping() const noexcept { return FStop.load(); }
  bool WaitStop(int aMs);

  THandler FHandler;
  bool FRecord;
  int FListenFd = -1;
  uint16_t FPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<int> FConnections{0};
  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  std::vector<TTestHttpRequest> FRequests;
  std::list<TWorker> FWorkers;  // touched by the accept thread only, until Stop
  std::thread FAcceptThread;
};

// The reason phrase of a status ("Too Many Requests"); "Unknown" for others.
std::string_view ReasonPhrase(int aStatus);

}  // namespace qtx::test
