#pragma once
// The default IO handler: a socket IO handler that resolves the peer,
// connects with an optional time-out, and moves bytes through the socket
// stack.

#include "transport/qtxIdIOHandlerSocket.h"

namespace qtx {

class TIdIOHandlerStack : public TIdIOHandlerSocket {
public:
  explicit TIdIOHandlerStack(TComponent* aOwner = nullptr);

  // A zero-wait read first notices a peer's close; then the socket rule.
  bool Connected() override;
  // Closes the socket once the peer has gone and reports hsDisconnected;
  // raises EIdConnClosedGracefully when asked and no unread input remains
  // (or the input is to be ignored).
  void CheckForDisconnect(bool aRaiseExceptionIfDisconnected = true, bool aIgnoreBuffer = false) override;
  // -1: no limit. With the idle hook active the wait is cut into its slices.
  bool Readable(int aMSec = IdTimeoutDefault) override;

protected:
  void ConnectToPeer() override;
  int ReadDataFromSource(std::span<uint8_t> aBuffer) override;
  int WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) override;
  bool SourceIsAvailable() override { return BindingAllocated(); }
  // Connection aborts, resets, shutdowns and time-outs are handed back as
  // codes; any other failure raises.
  int FilterSocketError(int aResult) override;

private:
  void ConnectWithTimeout(int aTimeout);

  // The error of the last failed receive or send, taken before anything
  // else can change it.
  int FLastSocketError = 0;
};

// The registry entry of the stack handler class, the default IO handler class.
const TIdIOHandlerClass& IdIOHandlerStackClass();

}  // namespace qtx
