#include "qtxTestSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

namespace qtx::test {

namespace {

// Polls for aEvents; false on time-out.
bool WaitFor(int aFd, short aEvents, int aTimeoutMs) {
  pollfd entry{aFd, aEvents, 0};
  int result;
  do {
    result = ::poll(&entry, 1, aTimeoutMs);
  } while (result < 0 && errno == EINTR);
  return result > 0;
}

[[noreturn]] void Fail(const std::string& aWhat) { throw std::runtime_error("test peer: " + aWhat); }

}  // namespace

TTestPeer::~TTestPeer() { Close(); }

TBytes TTestPeer::Read(size_t aCount) {
  TBytes result(aCount);
  size_t done = 0;
  while (done < aCount) {
    if (!WaitFor(FFd, POLLIN, kPeerWaitMs)) Fail("read timed out");
    ssize_t got = ::recv(FFd, result.data() + done, aCount - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) Fail("connection ended after " + std::to_string(done) + " of " + std::to_string(aCount) + " bytes");
    done += static_cast<size_t>(got);
  }
  return result;
}

std::string TTestPeer::ReadUntil(std::string_view aTerminator) {
  std::string result;
  while (result.size() < aTerminator.size() || result.compare(result.size() - aTerminator.size(), std::string::npos,
                                                              aTerminator) != 0) {
    result += ReadText(1);
  }
  return result;
}

TBytes TTestPeer::ReadToEnd() {
  TBytes result;
  uint8_t block[65536];
  while (true) {
    if (!WaitFor(FFd, POLLIN, kPeerWaitMs)) Fail("read to end timed out");
    ssize_t got = ::recv(FFd, block, sizeof block, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail(std::string("read failed: ") + std::strerror(errno));
    if (got == 0) return result;
    result.insert(result.end(), block, block + got);
  }
}

bool TTestPeer::WaitForClose(int aTimeoutMs) {
  if (!WaitFor(FFd, POLLIN, aTimeoutMs)) return false;
  uint8_t byte;
  ssize_t got = ::recv(FFd, &byte, 1, 0);
  return got == 0 || (got < 0 && errno == ECONNRESET);
}

void TTestPeer::Write(const TBytes& aBytes) {
  size_t done = 0;
  while (done < aBytes.size()) {
    // A client that stops reading must not hold the peer forever.
    if (!WaitFor(FFd, POLLOUT, kPeerWaitMs)) Fail("write timed out");
    ssize_t sent = ::send(FFd, aBytes.data() + done, aBytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno == EAGAIN) continue;
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) Fail(std::string("write failed: ") + std::strerror(errno));
    done += static_cast<size_t>(sent);
  }
}

void TTestPeer::ShutdownWrite() { ::shutdown(FFd, SHUT_WR); }

void TTestPeer::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TTestPeer::Reset() {
  linger value{1, 0};
  ::setsockopt(FFd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
  Close();
}

TTestListener::TTestListener(int aBacklog, bool aIPv6) {
  FFd = ::socket(aIPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FFd < 0) Fail("socket failed");
  sockaddr_storage address{};
  socklen_t length;
  if (aIPv6) {
    auto& a6 = reinterpret_cast<sockaddr_in6&>(address);
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_loopback;
    length = sizeof a6;
  } else {
    auto& a4 = reinterpret_cast<sockaddr_in&>(address);
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof a4;
  }
  if (::bind(FFd, reinterpret_cast<sockaddr*>(&address), length) != 0) Fail("bind failed");
  if (::listen(FFd, aBacklog) != 0) Fail("listen failed");
  length = sizeof address;
  ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(aIPv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                      : reinterpret_cast<sockaddr_in&>(address).sin_port);
}

TTestListener::~TTestListener() {
  if (FFd >= 0) ::close(FFd);
}

std::unique_ptr<TTestPeer> TTestListener::Accept(int aTimeoutMs) {
  if (!WaitFor(FFd, POLLIN, aTimeoutMs)) return nullptr;
  int fd = ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<TTestPeer>(fd);
}

TScriptedServer::TScriptedServer(TScript aScript, int aConnections, bool aIPv6)
    : FListener(16, aIPv6), FScript(std::move(aScript)), FConnections(aConnections), FThread([this] { Run(); }) {}

TScriptedServer::~TScriptedServer() {
  FStop = true;
  Wait();
  if (!FError.empty()) ADD_FAILURE() << "scripted server: " << FError;
}

void TScriptedServer::Wait() {
  if (FThread.joinable()) FThread.join();
}

void TScriptedServer::Run() {
  for (int index = 0; index < FConnections && !FStop; ++index) {
    std::unique_ptr<TTestPeer> peer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerWaitMs);
    while (!peer && !FStop && std::chrono::steady_clock::now() < deadline) peer = FListener.Accept(50);
    if (!peer) {
      // Waiting for a connection that never comes would hang the test.
      if (!FStop) {
        std::lock_guard guard(FErrorLock);
        FError += "no connection " + std::to_string(index + 1) + " arrived\n";
      }
      return;
    }
    ++FAccepted;
    try {
      FScript(*peer, index);
    } catch (const std::exception& e) {
      std::lock_guard guard(FErrorLock);
      FError += e.what();
      FError += "\n";
    }
  }
}

TEchoServer::TEchoServer(bool aIPv6) : FListener(16, aIPv6) {
  FThread = std::thread([this] {
    while (!FStop) {
      std::shared_ptr<TTestPeer> peer = FListener.Accept(50);
      if (!peer) continue;
      ++FAccepted;
      FWorkers.emplace_back([this, peer] {
        uint8_t block[65536];
        while (!FStop) {
          if (!WaitFor(peer->Fd(), POLLIN, 50)) continue;
          ssize_t got = ::recv(peer->Fd(), block, sizeof block, 0);
          if (got < 0 && errno == EINTR) continue;
          if (got <= 0) return;
          try {
            peer->Write(TBytes(block, block + got));
          } catch (const std::exception&) {
            return;
          }
        }
      });
    }
  });
}

TEchoServer::~TEchoServer() {
  FStop = true;
  FThread.join();
  for (auto& worker : FWorkers) worker.join();
}

uint16_t FreeLoopbackPort() {
  TTestListener probe(1);
  return probe.Port();
}

TRefusingPort::TRefusingPort() {
  FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FFd < 0) Fail("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(FFd, reinterpret_cast<sockaddr*>(&address), length) != 0) Fail("bind failed");
  ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
}

TRefusingPort::~TRefusingPort() { ::close(FFd); }

}  // namespace qtx::test
