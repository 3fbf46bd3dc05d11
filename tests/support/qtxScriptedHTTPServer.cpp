#include "qtxScriptedHTTPServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <optional>

namespace qtx::test {

namespace {

constexpr int kManyConnections = 1000;

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// Reads from the peer into aPending until it holds aCount bytes; false
// when the client closes (or resets, or stays silent) first.
bool Fill(TTestPeer& aPeer, std::string& aPending, size_t aCount) {
  char block[16384];
  while (aPending.size() < aCount) {
    pollfd entry{aPeer.Fd(), POLLIN, 0};
    if (::poll(&entry, 1, kPeerWaitMs) <= 0) return false;
    const ssize_t got = ::recv(aPeer.Fd(), block, sizeof block, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    aPending.append(block, static_cast<size_t>(got));
  }
  return true;
}

// The next request of the connection, or none when the client went away.
std::optional<THTTPRequestSeen> ReadRequest(TTestPeer& aPeer, std::string& aPending) {
  size_t end;
  while ((end = aPending.find("\r\n\r\n")) == std::string::npos) {
    if (!Fill(aPeer, aPending, aPending.size() + 1)) return std::nullopt;
  }
  THTTPRequestSeen request;
  request.Head = aPending.substr(0, end + 4);
  aPending.erase(0, end + 4);
  const std::string length = HeaderOf(request.Head, "Content-Length");
  const size_t bodySize = length.empty() ? 0 : std::stoul(length);
  if (!Fill(aPeer, aPending, bodySize)) return std::nullopt;
  request.Body = aPending.substr(0, bodySize);
  aPending.erase(0, bodySize);
  return request;
}

}  // namespace

std::string HeaderOf(const std::string& aHead, const std::string& aName) {
  size_t start = aHead.find("\r\n");
  while (start != std::string::npos && start + 2 < aHead.size()) {
    start += 2;
    const size_t end = aHead.find("\r\n", start);
    const std::string line = aHead.substr(start, end - start);
    const size_t colon = line.find(':');
    if (colon != std::string::npos && SameTextAscii(line.substr(0, colon), aName)) {
      const size_t value = line.find_first_not_of(' ', colon + 1);
      return value == std::string::npos ? std::string() : line.substr(value);
    }
    start = end;
  }
  return {};
}

TScriptedHTTPServer::TScriptedHTTPServer(std::vector<THTTPAnswer> aAnswers, bool aIPv6)
    : FAnswers(std::move(aAnswers)),
      FServer([this](TTestPeer& aPeer, int aIndex) { Serve(aPeer, aIndex); }, kManyConnections, aIPv6) {}

std::string TScriptedHTTPServer::URL(const std::string& aPath) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + aPath;
}

std::vector<THTTPRequestSeen> TScriptedHTTPServer::Requests() const {
  std::lock_guard guard(FLock);
  return FRequests;
}

void TScriptedHTTPServer::Serve(TTestPeer& aPeer, int aIndex) {
  std::string pending;
  while (true) {
    std::optional<THTTPRequestSeen> request = ReadRequest(aPeer, pending);
    if (!request) return;
    request->Connection = aIndex;
    THTTPAnswer answer;
    {
      std::lock_guard guard(FLock);
      FRequests.push_back(*request);
      if (FNext >= FAnswers.size()) return;  // nothing more to say: the connection closes
      answer = FAnswers[FNext++];
    }
    aPeer.Write(answer.Bytes);
    switch (answer.After) {
      case THTTPAnswer::Next:
        break;
      case THTTPAnswer::Close:
        aPeer.Close();
        return;
      case THTTPAnswer::Reset:
        aPeer.Reset();
        return;
      case THTTPAnswer::Stall:
        aPeer.WaitForClose();
        return;
    }
  }
}

}  // namespace qtx::test
