#include "core/qtxIdEventStream.h"

#include <algorithm>
#include <cstring>

namespace qtx {

int64_t TIdEventStream::Read(void* aBuffer, int64_t aCount) {
  if (!OnRead || aCount < 1) return 0;
  TIdBytes bytes(static_cast<size_t>(aCount));
  int64_t result = 0;
  OnRead(bytes, 0, aCount, result);
  // A handler cannot report more than it was asked for, nor more than it left.
  result = std::clamp<int64_t>(result, 0, std::min<int64_t>(aCount, static_cast<int64_t>(bytes.size())));
  if (result > 0) std::memcpy(aBuffer, bytes.data(), static_cast<size_t>(result));
  return result;
}

int64_t TIdEventStream::Write(const void* aBuffer, int64_t aCount) {
  if (aCount < 1) return 0;
  if (!OnWrite) return aCount;
  const auto* bytes = static_cast<const uint8_t*>(aBuffer);
  const TIdBytes block(bytes, bytes + aCount);
  int64_t result = 0;
  OnWrite(block, 0, aCount, result);
  return result;
}

int64_t TIdEventStream::Seek(int64_t aOffset, TSeekOrigin aOrigin) {
  int64_t result = 0;
  if (OnSeek) OnSeek(aOffset, aOrigin, result);
  return result;
}

void TIdEventStream::SetSize(int64_t aNewSize) {
  if (OnSetSize) OnSetSize(aNewSize);
}

}  // namespace qtx
