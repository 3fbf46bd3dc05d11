#pragma once
// A loopback HTTP server answering from a script: it reads each request
// (its head and a Content-Length body), records it, and sends the next
// scripted answer byte for byte, then goes on, closes, resets or stalls as
// the answer says. Connections are served one after the other; the answers
// are shared by all of them, in order.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "qtxTestSockets.h"

namespace qtx::test {

struct THTTPAnswer {
  enum TAfter {
    Next,   // read the next request on the same connection
    Close,  // close the connection
    Reset,  // reset the connection
    Stall,  // send nothing more and wait until the client closes
  };
  THTTPAnswer(std::string aBytes = "", TAfter aAfter = Next) : Bytes(std::move(aBytes)), After(aAfter) {}
  THTTPAnswer(const char* aBytes, TAfter aAfter = Next) : THTTPAnswer(std::string(aBytes), aAfter) {}
  std::string Bytes;
  TAfter After;
};

struct THTTPRequestSeen {
  int Connection = 0;  // 0 for the first connection
  std::string Head;    // request line and headers, up to the empty line
  std::string Body;    // Content-Length bytes after the head
};

class TScriptedHTTPServer {
public:
  explicit TScriptedHTTPServer(std::vector<THTTPAnswer> aAnswers, bool aIPv6 = false);

  uint16_t Port() const noexcept { return FServer.Port(); }
  // "http://127.0.0.1:port" followed by aPath.
  std::string URL(const std::string& aPath = "/") const;
  // The requests read so far (each is recorded before it is answered).
  std::vector<THTTPRequestSeen> Requests() const;
  int Connections() const noexcept { return FServer.Accepted(); }

private:
  void Serve(TTestPeer& aPeer, int aIndex);

  std::vector<THTTPAnswer> FAnswers;
  size_t FNext = 0;
  mutable std::mutex FLock;
  std::vector<THTTPRequestSeen> FRequests;
  TScriptedServer FServer;
};

// The value of a header in a recorded request head, or "" when absent.
std::string HeaderOf(const std::string& aHead, const std::string& aName);

}  // namespace qtx::test
