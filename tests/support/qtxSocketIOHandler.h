#pragma once
// A small IO handler over a real connected socket, so that the transport
// tests see the operating system's time-outs, closes and resets. The peers
// are those of qtxTestSockets.h.

#include <cstdint>

#include "transport/qtxIdIOHandler.h"

namespace qtx::test {

// A socket connected to 127.0.0.1:aPort (a TTestListener's port).
int ConnectLoopback(uint16_t aPort);

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
  int ReadDataFromSource(std::span<uint8_t> aBuffer) override;
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
