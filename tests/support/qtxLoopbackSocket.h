#pragma once
// Real connected sockets for the transport tests: a loopback TCP pair, the
// peer's end with blocking helpers, and a small IO handler over a socket so
// that time-outs, closes and resets are the operating system's.

#include <string>
#include <string_view>

#include "transport/qtxIdIOHandler.h"

namespace qtx::test {

// Two connected loopback TCP sockets (127.0.0.1): Client and Server.
struct TLoopbackPair {
  int Client = -1;
  int Server = -1;
};
TLoopbackPair MakeLoopbackPair();

// The test's side of a connection; owns its socket.
class TLoopbackPeer {
public:
  explicit TLoopbackPeer(int aSocket) : FSocket(aSocket) {}
  ~TLoopbackPeer();
  TLoopbackPeer(const TLoopbackPeer&) = delete;
  TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

  void Send(std::string_view aBytes);
  void Send(const TIdBytes& aBytes);
  // Everything until the other side closes, or what came within aTimeout ms.
  TIdBytes ReceiveAll(int aTimeout = 10000);
  // Exactly aCount bytes (fewer only if the other side closes or aTimeout ms pass).
  TIdBytes Receive(size_t aCount, int aTimeout = 10000);
  // A normal close (FIN).
  void Close();
  // An abortive close: the other side sees a reset.
  void Reset();

private:
  int FSocket;
};

// An IO handler over a connected socket, which it takes over. Its rules are
// those of the socket handler: a peer close is noticed by Connected, which
// stays true while unread input remains.
class TSocketIOHandler : public TIdIOHandler {
public:
  explicit TSocketIOHandler(int aSocket);
  ~TSocketIOHandler() override;

  void Close() override;
  bool Connected() override;
  void CheckForDisconnect(bool aRaiseExceptionIfDisconnected = true, bool aIgnoreBuffer = false) override;
  bool Readable(int aMSec = IdTimeoutDefault) override;

protected:
  int ReadDataFromSource(TIdBytes& aBuffer) override;
  int WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) override;
  bool SourceIsAvailable() override { return FSocket >= 0; }
  int FilterSocketError(int aResult) override;

private:
  void CloseSocket();

  int FSocket;
  int FLastError = 0;
};

// The socket error code (Winsock numbering) for an errno value.
int WinsockCodeFor(int aErrno);

}  // namespace qtx::test
