#include "qtxSocketIOHandler.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "qtxScriptedIOHandler.h"

namespace qtx::test {

namespace {
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

int ConnectLoopback(uint16_t aPort) {
  const int socketHandle = socket(AF_INET, SOCK_STREAM, 0);
  if (socketHandle < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(aPort);
  if (connect(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(socketHandle);
    throw std::runtime_error("connect failed");
  }
  return socketHandle;
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
  if (ClosedGracefully() && FSocket >= 0) {
    Close();
    DoStatus(hsDisconnected);
  }
  const bool gone = ClosedGracefully() || FSocket < 0;
  if (gone && aRaiseExceptionIfDisconnected && (aIgnoreBuffer || InputBufferIsEmpty())) {
    throw EIdConnClosedGracefully();
  }
}

bool TSocketIOHandler::Readable(int aMSec) {
  if (FSocket < 0) throw EIdConnClosedGracefully();
  return WaitReadable(FSocket, aMSec < 0 ? -1 : aMSec);
}

int TSocketIOHandler::ReadDataFromSource(std::span<uint8_t> aBuffer) {
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
