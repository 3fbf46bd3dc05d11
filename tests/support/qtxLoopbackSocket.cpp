#include "qtxLoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "qtxScriptedIOHandler.h"

namespace qtx::test {

namespace {
void Require(bool aCondition, const char* aWhat) {
  if (!aCondition) throw std::runtime_error(std::string(aWhat) + " failed");
}

// Waits until the socket is readable or aTimeout ms pass.
bool WaitReadable(int aSocket, int aTimeout) {
  pollfd entry{aSocket, POLLIN, 0};
  int result;
  do {
    result = poll(&entry, 1, aTimeout);
  } while (result < 0 && errno == EINTR);
  return result > 0;
}
}  // namespace

TLoopbackPair MakeLoopbackPair() {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  Require(listener >= 0, "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  Require(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
  Require(listen(listener, 1) == 0, "listen");
  Require(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0, "getsockname");
  TLoopbackPair pair;
  pair.Client = socket(AF_INET, SOCK_STREAM, 0);
  Require(pair.Client >= 0, "socket");
  Require(connect(pair.Client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "connect");
  pair.Server = accept(listener, nullptr, nullptr);
  Require(pair.Server >= 0, "accept");
  close(listener);
  return pair;
}

int WinsockCodeFor(int aErrno) {
  switch (aErrno) {
    case ETIMEDOUT: return 10060;
    case ECONNRESET: return 10054;
    case ECONNABORTED: return 10053;
    case EPIPE: return 10058;
    case ENOTSOCK: return 10038;
    case EBADF: return 10009;
    case EINTR: return 10004;
    case EAGAIN: return 10035;
    default: return aErrno;
  }
}

// ---- TLoopbackPeer ----------------------------------------------------------------

TLoopbackPeer::~TLoopbackPeer() { Close(); }

void TLoopbackPeer::Send(std::string_view aBytes) { Send(TIdBytes(aBytes.begin(), aBytes.end())); }

void TLoopbackPeer::Send(const TIdBytes& aBytes) {
  size_t sent = 0;
  while (sent < aBytes.size()) {
    const ssize_t n = send(FSocket, aBytes.data() + sent, aBytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    Require(n > 0, "send");
    sent += static_cast<size_t>(n);
  }
}

TIdBytes TLoopbackPeer::Receive(size_t aCount, int aTimeout) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(aTimeout);
  TIdBytes bytes;
  uint8_t block[65536];
  while (bytes.size() < aCount) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0 || !WaitReadable(FSocket, static_cast<int>(left))) break;
    const ssize_t n = recv(FSocket, block, std::min(sizeof block, aCount - bytes.size()), 0);
    if (n <= 0) break;
    bytes.insert(bytes.end(), block, block + n);
  }
  return bytes;
}

TIdBytes TLoopbackPeer::ReceiveAll(int aTimeout) { return Receive(SIZE_MAX, aTimeout); }

void TLoopbackPeer::Close() {
  if (FSocket >= 0) close(FSocket);
  FSocket = -1;
}

void TLoopbackPeer::Reset() {
  const linger abortive{1, 0};
  setsockopt(FSocket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

// ---- TSocketIOHandler -------------------------------------------------------------

TSocketIOHandler::TSocketIOHandler(int aSocket) : FSocket(aSocket) {}

TSocketIOHandler::~TSocketIOHandler() { CloseSocket(); }

void TSocketIOHandler::CloseSocket() {
  if (FSocket < 0) return;
  shutdown(FSocket, SHUT_WR);
  close(FSocket);
  FSocket = -1;
}

void TSocketIOHandler::Close() {
  CloseSocket();
  TIdIOHandler::Close();
}

bool TSocketIOHandler::Connected() {
  try {
    FillInputBuffer(false, 0, false);
  } catch (const EIdSocketError& e) {
    if (e.LastError() == 10053 || e.LastError() == 10054 || e.LastError() == 10058) return false;
    throw;
  }
  return (FSocket >= 0 && TIdIOHandler::Connected()) || !InputBufferIsEmpty();
}

void TSocketIOHandler::CheckForDisconnect(bool aRaiseExceptionIfDisconnected, bool aIgnoreBuffer) {
  if (FClosedGracefully && FSocket >= 0) {
    Close();
    DoStatus(hsDisconnected);
  }
  const bool gone = FClosedGracefully || FSocket < 0;
  if (gone && aRaiseExceptionIfDisconnected && (aIgnoreBuffer || InputBufferIsEmpty())) {
    throw EIdConnClosedGracefully();
  }
}

bool TSocketIOHandler::Readable(int aMSec) {
  if (FSocket < 0) throw EIdConnClosedGracefully();
  return WaitReadable(FSocket, aMSec < 0 ? -1 : aMSec);
}

int TSocketIOHandler::ReadDataFromSource(TIdBytes& aBuffer) {
  ssize_t n;
  do {
    n = recv(FSocket, aBuffer.data(), aBuffer.size(), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) FLastError = WinsockCodeFor(errno);
  return static_cast<int>(n);
}

int TSocketIOHandler::WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) {
  ssize_t n;
  do {
    n = send(FSocket, aBuffer.data() + aOffset, static_cast<size_t>(aLength), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) FLastError = WinsockCodeFor(errno);
  return static_cast<int>(n);
}

int TSocketIOHandler::FilterSocketError(int) {
  if (!IsToleratedSocketError(FLastError)) RaiseSocketErrorCode(FLastError);
  return FLastError;
}

}  // namespace qtx::test
