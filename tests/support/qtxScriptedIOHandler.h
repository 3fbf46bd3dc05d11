#pragma once
// An IO handler over a script instead of a socket: each read delivers the next
// scripted step (bytes, a quiet spell, the peer's close, a failure), and every
// send is recorded. Its disconnect rules are those of the socket handler.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "transport/qtxIdIOHandler.h"

namespace qtx::test {

class TScriptedIOHandler : public TIdIOHandler {
public:
  explicit TScriptedIOHandler(TComponent* aOwner = nullptr) : TIdIOHandler(aOwner) {}

  // ---- the script, in order
  void AddInput(const TIdBytes& aBytes);
  void AddInput(std::string_view aBytes);  // the bytes of the string as they are
  // One wait for input that times out.
  void AddSilence();
  // The peer closes: the read gets 0.
  void AddClose();
  // The read fails with a socket error code.
  void AddReadError(int aErrorCode);
  // With nothing left in the script, every wait times out.
  bool ScriptDone() const noexcept { return FScript.empty(); }

  // ---- the sending side
  // Each send accepts at most this many bytes (0: no limit).
  void SetSendLimit(int aLimit) { FSendLimit = aLimit; }
  // The next send fails with the code.
  void FailNextSend(int aErrorCode) { FSendError = aErrorCode; }
  const TIdBytes& Written() const noexcept { return FWritten; }
  std::string WrittenText() const { return std::string(FWritten.begin(), FWritten.end()); }
  // The run of every successful send.
  const std::vector<TIdBytes>& Sends() const noexcept { return FSends; }

  void Open() override;
  void Close() override;
  void CheckForDisconnect(bool aRaiseExceptionIfDisconnected = true, bool aIgnoreBuffer = false) override;
  bool Readable(int aMSec = IdTimeoutDefault) override;

protected:
  int ReadDataFromSource(std::span<uint8_t> aBuffer) override;
  int WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) override;
  bool SourceIsAvailable() override { return FSourceOpen; }
  int FilterSocketError(int aResult) override;

private:
  enum class TStepKind { Input, Silence, Close, Error };
  struct TStep {
    TStepKind Kind;
    TIdBytes Bytes;
    int ErrorCode = 0;
  };
  std::deque<TStep> FScript;
  bool FSourceOpen = false;
  int FLastError = 0;
  int FSendLimit = 0;
  int FSendError = 0;
  TIdBytes FWritten;
  std::vector<TIdBytes> FSends;
};

// The codes a socket handler tolerates (the peer went away, or a time-out).
bool IsToleratedSocketError(int aErrorCode);

}  // namespace qtx::test
