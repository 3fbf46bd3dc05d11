#pragma once
// Loopback peers for the transport tests, written directly on POSIX sockets
// so that they check the library against an independent implementation.
// Every wait is bounded (generously), so a faulty library fails a test
// instead of hanging it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/qtxTypes.h"
#include "support/qtxTestHelpers.h"

namespace qtx::test {

// How long a test peer waits for the other side before giving up.
constexpr int kPeerWaitMs = 30000;

// One connected socket of a test peer.
class TTestPeer {
public:
  explicit TTestPeer(int aFd) : FFd(aFd) {}
  ~TTestPeer();
  TTestPeer(const TTestPeer&) = delete;
  TTestPeer& operator=(const TTestPeer&) = delete;

  int Fd() const noexcept { return FFd; }
  // Exactly aCount bytes; throws std::runtime_error on close or time-out.
  TBytes Read(size_t aCount);
  std::string ReadText(size_t aCount) { return Text(Read(aCount)); }
  // Up to and including aTerminator.
  std::string ReadUntil(std::string_view aTerminator);
  // Everything until the other side closes.
  TBytes ReadToEnd();
  // True when the other side has closed (no data may arrive first).
  bool WaitForClose(int aTimeoutMs = kPeerWaitMs);
  // Throws std::runtime_error when the other side is gone or stops reading.
  void Write(const TBytes& aBytes);
  void Write(std::string_view aText) { Write(Bytes(aText)); }
  void ShutdownWrite();
  void Close();
  // An abortive close: the other side sees a connection reset.
  void Reset();

private:
  int FFd;
};

// A listening socket on the loopback address (127.0.0.1 or ::1).
class TTestListener {
public:
  explicit TTestListener(int aBacklog = 16, bool aIPv6 = false);
  ~TTestListener();
  TTestListener(const TTestListener&) = delete;
  TTestListener& operator=(const TTestListener&) = delete;

  uint16_t Port() const noexcept { return FPort; }
  // The next connection, or null after aTimeoutMs.
  std::unique_ptr<TTestPeer> Accept(int aTimeoutMs = kPeerWaitMs);

private:
  int FFd = -1;
  uint16_t FPort = 0;
};

// Runs a script for each of the first aConnections connections, one after
// the other, on a thread of its own. A script failure (an exception) is
// reported as a test failure when the server goes.
class TScriptedServer {
public:
  using TScript = std::function<void(TTestPeer& aPeer, int aIndex)>;
  explicit TScriptedServer(TScript aScript, int aConnections = 1, bool aIPv6 = false);
  ~TScriptedServer();
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;

  uint16_t Port() const noexcept { return FListener.Port(); }
  // Waits until every script has run.
  void Wait();
  int Accepted() const noexcept { return FAccepted.load(); }

private:
  void Run();

  TTestListener FListener;
  TScript FScript;
  int FConnections;
  std::atomic<int> FAccepted{0};
  std::atomic<bool> FStop{false};
  std::mutex FErrorLock;
  std::string FError;
  std::thread FThread;
};

// Echoes every byte back on any number of concurrent connections, until
// each client closes.
class TEchoServer {
public:
  explicit TEchoServer(bool aIPv6 = false);
  ~TEchoServer();
  TEchoServer(const TEchoServer&) = delete;
  TEchoServer& operator=(const TEchoServer&) = delete;

  uint16_t Port() const noexcept { return FListener.Port(); }
  int Accepted() const noexcept { return FAccepted.load(); }

private:
  TTestListener FListener;
  std::atomic<bool> FStop{false};
  std::atomic<int> FAccepted{0};
  std::vector<std::thread> FWorkers;
  std::thread FThread;
};

// A loopback port that was free a moment ago (for daemons that need a
// port number up front).
uint16_t FreeLoopbackPort();

// A loopback port that refuses connections for as long as this lives: bound
// but not listening, so no test running beside it can take the port.
class TRefusingPort {
public:
  TRefusingPort();
  ~TRefusingPort();
  TRefusingPort(const TRefusingPort&) = delete;
  TRefusingPort& operator=(const TRefusingPort&) = delete;

  uint16_t Port() const noexcept { return FPort; }

private:
  int FFd = -1;
  uint16_t FPort = 0;
};

}  // namespace qtx::test
