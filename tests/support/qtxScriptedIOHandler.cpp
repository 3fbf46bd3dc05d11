#include "qtxScriptedIOHandler.h"

#include <algorithm>
#include <cstring>

namespace qtx::test {

bool IsToleratedSocketError(int aErrorCode) {
  return aErrorCode == 10053 || aErrorCode == 10054 || aErrorCode == 10058 || aErrorCode == 10060;
}

void TScriptedIOHandler::AddInput(const TIdBytes& aBytes) { FScript.push_back({TStepKind::Input, aBytes}); }

void TScriptedIOHandler::AddInput(std::string_view aBytes) { AddInput(TIdBytes(aBytes.begin(), aBytes.end())); }

void TScriptedIOHandler::AddSilence() { FScript.push_back({TStepKind::Silence, {}}); }

void TScriptedIOHandler::AddClose() { FScript.push_back({TStepKind::Close, {}}); }

void TScriptedIOHandler::AddReadError(int aErrorCode) { FScript.push_back({TStepKind::Error, {}, aErrorCode}); }

void TScriptedIOHandler::Open() {
  TIdIOHandler::Open();
  FSourceOpen = true;
}

void TScriptedIOHandler::Close() {
  FSourceOpen = false;
  TIdIOHandler::Close();
}

void TScriptedIOHandler::CheckForDisconnect(bool aRaiseExceptionIfDisconnected, bool aIgnoreBuffer) {
  if (ClosedGracefully() && FSourceOpen) {
    Close();
    DoStatus(hsDisconnected);
  }
  const bool gone = ClosedGracefully() || !FSourceOpen;
  if (gone && aRaiseExceptionIfDisconnected && (aIgnoreBuffer || InputBufferIsEmpty())) {
    throw EIdConnClosedGracefully();
  }
}

bool TScriptedIOHandler::Readable(int) {
  if (FScript.empty()) return false;
  if (FScript.front().Kind != TStepKind::Silence) return true;
  FScript.pop_front();
  return false;
}

int TScriptedIOHandler::ReadDataFromSource(std::span<uint8_t> aBuffer) {
  if (FScript.empty()) return 0;
  TStep& step = FScript.front();
  switch (step.Kind) {
    case TStepKind::Input: {
      const size_t count = std::min(aBuffer.size(), step.Bytes.size());
      std::copy_n(step.Bytes.begin(), count, aBuffer.begin());
      step.Bytes.erase(step.Bytes.begin(), step.Bytes.begin() + static_cast<ptrdiff_t>(count));
      if (step.Bytes.empty()) FScript.pop_front();
      return static_cast<int>(count);
    }
    case TStepKind::Close:
      FScript.pop_front();
      return 0;
    case TStepKind::Error:
      FLastError = step.ErrorCode;
      FScript.pop_front();
      return -1;
    case TStepKind::Silence:
      break;
  }
  return 0;
}

int TScriptedIOHandler::WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) {
  if (FSendError != 0) {
    FLastError = FSendError;
    FSendError = 0;
    return -1;
  }
  const int count = FSendLimit > 0 ? std::min(aLength, FSendLimit) : aLength;
  const auto first = aBuffer.begin() + aOffset;
  FSends.emplace_back(first, first + count);
  FWritten.insert(FWritten.end(), first, first + count);
  return count;
}

int TScriptedIOHandler::FilterSocketError(int) {
  if (!IsToleratedSocketError(FLastError)) RaiseSocketErrorCode(FLastError);
  return FLastError;
}

}  // namespace qtx::test
