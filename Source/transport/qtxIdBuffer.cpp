#include "transport/qtxIdBuffer.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/qtxSysUtils.h"
#include "transport/qtxIdNetworkOrder.h"
#include "transport/qtxIdStack.h"
#include "transport/qtxIdTextBytes.h"

namespace qtx {

namespace {
constexpr std::string_view RSTooMuchDataInBuffer = "Too much data in buffer.";
constexpr std::string_view RSNotEnoughDataInBuffer = "Not enough data in buffer.";
constexpr std::string_view RSNotEnoughDataFormat = "%s (%d/%d)";
constexpr std::string_view RSBufferCapacityTooSmall = "Capacity cannot be smaller than Size";
constexpr std::string_view RSBufferMissingTerminator = "Buffer terminator must be specified.";
constexpr std::string_view RSBufferInvalidStartPos = "Buffer start position is invalid.";
constexpr std::string_view RSBufferIsEmpty = "No bytes in buffer.";
constexpr std::string_view RSIndexOutOfBounds = "Index out of bounds.";

[[noreturn]] void Fail(std::string_view aMessage) { throw EIdException(std::string(aMessage)); }

}  // namespace

EIdTooMuchDataInBuffer::EIdTooMuchDataInBuffer() : EIdException(std::string(RSTooMuchDataInBuffer)) {}

EIdNotEnoughDataInBuffer::EIdNotEnoughDataInBuffer(int aRequested, int aSize)
    : EIdException(Format(RSNotEnoughDataFormat, {RSNotEnoughDataInBuffer, aRequested, aSize})) {}

// ---- life cycle ------------------------------------------------------------------

TIdBuffer::TIdBuffer() { TIdStack::IncUsage(); }

TIdBuffer::TIdBuffer(TIdBufferBytesRemoved aOnBytesRemoved) : TIdBuffer() {
  OnBytesRemoved = std::move(aOnBytesRemoved);
}

TIdBuffer::TIdBuffer(int aGrowthFactor) : TIdBuffer() { FGrowthFactor = aGrowthFactor; }

TIdBuffer::TIdBuffer(const TIdBytes& aBytes, int aLength) : TIdBuffer() { Write(aBytes, aLength, 0); }

TIdBuffer::~TIdBuffer() { TIdStack::DecUsage(); }

// ---- state -------------------------------------------------------------------------

void TIdBuffer::SetCapacity(int aValue) {
  if (aValue < FSize) Fail(RSBufferCapacityTooSmall);
  CompactHead(true);
  FBytes.resize(static_cast<size_t>(aValue));
}

std::string TIdBuffer::AsString() const { return PeekString(0, FSize); }

const TIdTextEncodingBase& TIdBuffer::ChooseEncoding(const IIdTextEncoding& aByteEncoding) const {
  if (aByteEncoding) return *aByteEncoding;
  if (FByteEncoding) return *FByteEncoding;
  return *IdTextEncoding_Default();
}

// ---- housekeeping ----------------------------------------------------------------

void TIdBuffer::Clear() {
  TIdBytes().swap(FBytes);
  FHeadIndex = 0;
  FSize = 0;
}

void TIdBuffer::CompactHead(bool aCanShrink) {
  const bool shrink = aCanShrink && Capacity() - FSize > FGrowthFactor;
  const size_t kept = static_cast<size_t>(FSize) + static_cast<size_t>(std::max(FGrowthFactor, 0));
  if (shrink && FBytes.capacity() >= ReleaseThreshold && FBytes.capacity() > 2 * kept) {
    // Worth giving back: a fresh array, into which the unread bytes move once.
    TIdBytes shrunk;
    shrunk.reserve(kept);
    shrunk.assign(Data(), Data() + FSize);
    shrunk.resize(kept);
    FBytes.swap(shrunk);
    FHeadIndex = 0;
    return;
  }
  if (FHeadIndex > 0) {
    if (FSize > 0) std::memmove(FBytes.data(), FBytes.data() + FHeadIndex, static_cast<size_t>(FSize));
    FHeadIndex = 0;
  }
  // A small array keeps its memory for the next growth.
  if (shrink) FBytes.resize(kept);
}

void TIdBuffer::RemoveAndCompact(int aByteCount) {
  if (aByteCount <= 0) return;
  if (aByteCount >= FSize) {
    Clear();
  } else {
    FHeadIndex += aByteCount;
    FSize -= aByteCount;
    CompactHead(true);
  }
  DoBytesRemoved(aByteCount);
}

void TIdBuffer::SaveToStream(TStream& aStream) const {
  if (FSize > 0) aStream.WriteBuffer(Data(), FSize);
}

// ---- searching -------------------------------------------------------------------

void TIdBuffer::RaiseInvalidStartPos() { Fail(RSBufferInvalidStartPos); }

int TIdBuffer::IndexOf(const TIdBytes& aBytes, int aStartPos) const {
  return IndexOf(std::span<const uint8_t>(aBytes), aStartPos);
}

int TIdBuffer::IndexOf(std::span<const uint8_t> aBytes, int aStartPos) const {
  if (FSize == 0) return -1;
  if (aBytes.empty()) Fail(RSBufferMissingTerminator);
  if (aStartPos < 0 || aStartPos >= FSize) RaiseInvalidStartPos();
  if (aBytes.size() == 1) return IndexOf(aBytes[0], aStartPos);
  const int length = static_cast<int>(aBytes.size());
  const uint8_t* start = Data();
  int pos = aStartPos;
  while (pos <= FSize - length) {
    // Candidates by their first byte, then the rest compared in place.
    const void* found = std::memchr(start + pos, aBytes[0], static_cast<size_t>(FSize - length + 1 - pos));
    if (found == nullptr) return -1;
    pos = static_cast<int>(static_cast<const uint8_t*>(found) - start);
    if (std::memcmp(start + pos + 1, aBytes.data() + 1, aBytes.size() - 1) == 0) return pos;
    ++pos;
  }
  return -1;
}

int TIdBuffer::IndexOf(const std::string& aString, int aStartPos, const IIdTextEncoding& aByteEncoding) const {
  return IndexOf(ChooseEncoding(aByteEncoding).GetBytes(aString), aStartPos);
}

uint8_t TIdBuffer::PeekByte(int aIndex) const {
  if (FSize == 0) Fail(RSBufferIsEmpty);
  if (aIndex < 0 || aIndex >= FSize) Fail(RSIndexOutOfBounds);
  return FBytes[static_cast<size_t>(FHeadIndex + aIndex)];
}

// ---- writing ---------------------------------------------------------------------

void TIdBuffer::CheckAddLength(int aLength, int aDestIndex) const {
  if (INT_MAX - aLength < std::max(aDestIndex, 0) + FSize) throw EIdTooMuchDataInBuffer();
}

void TIdBuffer::Write(const TIdBytes& aBytes, int aDestIndex) {
  Write(aBytes.data(), static_cast<int>(std::min<size_t>(aBytes.size(), INT_MAX)), aDestIndex);
}

void TIdBuffer::Write(TIdBytes&& aBytes) {
  if (FSize > 0 || aBytes.size() > static_cast<size_t>(INT_MAX)) {
    Write(static_cast<const TIdBytes&>(aBytes));
    return;
  }
  FBytes = std::move(aBytes);
  FHeadIndex = 0;
  FSize = static_cast<int>(FBytes.size());
}

void TIdBuffer::Write(const TIdBytes& aBytes, int aLength, int aOffset, int aDestIndex) {
  const int offset = std::max(aOffset, 0);
  const int available = std::max(static_cast<int>(std::min<size_t>(aBytes.size(), INT_MAX)) - offset, 0);
  const int length = aLength < 0 ? available : std::min(aLength, available);
  if (length > 0) Write(aBytes.data() + offset, length, aDestIndex);
}

void TIdBuffer::Write(const uint8_t* aBytes, int aLength, int aDestIndex) {
  if (aLength <= 0) return;
  CheckAddLength(aLength, aDestIndex);
  if (aDestIndex < 0) {
    if (FSize == 0) {
      FHeadIndex = 0;
      FBytes.assign(aBytes, aBytes + aLength);
    } else {
      MakeRoomBehind(aLength);
      std::memcpy(FBytes.data() + FHeadIndex + FSize, aBytes, static_cast<size_t>(aLength));
    }
    FSize += aLength;
    return;
  }
  // Overwrite at an offset from the head: compact first, so the offset is
  // also an offset into the array and nothing consumed is written over.
  CompactHead(false);
  const int end = aDestIndex + aLength;
  if (Capacity() < end) FBytes.resize(static_cast<size_t>(end));
  std::memcpy(FBytes.data() + aDestIndex, aBytes, static_cast<size_t>(aLength));
  FSize = std::max(FSize, end);
}

void TIdBuffer::MakeRoomBehind(int aLength) {
  if (Capacity() - FHeadIndex - FSize >= aLength) return;
  // The head is moved up only when the tail lacks room anyway.
  CompactHead(false);
  if (Capacity() - FSize < aLength) FBytes.resize(static_cast<size_t>(aLength + FSize + FGrowthFactor));
}

std::span<uint8_t> TIdBuffer::AppendSpace(int aLength) {
  if (aLength <= 0) return {};
  CheckAddLength(aLength, -1);
  if (FSize == 0) {
    // With the growth factor behind, so that the next read, after a partial
    // line left over from this one, still finds its room without growing.
    FHeadIndex = 0;
    if (Capacity() < aLength) FBytes.resize(static_cast<size_t>(aLength + std::max(FGrowthFactor, 0)));
  } else {
    MakeRoomBehind(aLength);
  }
  return {FBytes.data() + FHeadIndex + FSize, static_cast<size_t>(aLength)};
}

void TIdBuffer::CommitAppend(int aCount) {
  if (aCount > 0) FSize += std::min(aCount, Capacity() - FHeadIndex - FSize);
}

void TIdBuffer::Write(std::string_view aString, const IIdTextEncoding& aByteEncoding, int aDestIndex) {
  Write(ChooseEncoding(aByteEncoding).GetBytes(aString), aDestIndex);
}

void TIdBuffer::Write(TStream& aStream, int64_t aByteCount) {
  int64_t added;
  if (aByteCount < 0) {
    added = aStream.Size() - aStream.Position();
  } else if (aByteCount == 0) {
    aStream.SetPosition(0);
    added = aStream.Size();
  } else {
    added = std::min(aByteCount, aStream.Size() - aStream.Position());
  }
  if (added <= 0) return;
  if (added > INT_MAX) throw EIdTooMuchDataInBuffer();
  const int length = static_cast<int>(added);
  CheckAddLength(length, 0);
  CompactHead(false);
  FBytes.resize(static_cast<size_t>(FSize + length));
  const int64_t read = aStream.Read(FBytes.data() + FSize, length);
  FSize += static_cast<int>(std::max<int64_t>(read, 0));
}

void TIdBuffer::Write(uint8_t aValue, int aDestIndex) { Write(&aValue, 1, aDestIndex); }

void TIdBuffer::Write(uint16_t aValue, int aDestIndex) {
  const uint16_t value = HostToNetwork(aValue);
  Write(reinterpret_cast<const uint8_t*>(&value), sizeof value, aDestIndex);
}

void TIdBuffer::Write(uint32_t aValue, int aDestIndex) {
  const uint32_t value = HostToNetwork(aValue);
  Write(reinterpret_cast<const uint8_t*>(&value), sizeof value, aDestIndex);
}

void TIdBuffer::Write(uint64_t aValue, int aDestIndex) {
  const uint64_t value = HostToNetwork(aValue);
  Write(reinterpret_cast<const uint8_t*>(&value), sizeof value, aDestIndex);
}

void TIdBuffer::Write(const TIdIPv6Address& aValue, int aDestIndex) {
  TIdIPv6Address wire;
  std::transform(aValue.begin(), aValue.end(), wire.begin(), [](uint16_t v) { return HostToNetwork(v); });
  Write(reinterpret_cast<const uint8_t*>(wire.data()), sizeof wire, aDestIndex);
}

// ---- extracting ------------------------------------------------------------------

int TIdBuffer::CheckByteCount(int aByteCount, int aIndex) const {
  const int available = std::max(FSize - std::max(aIndex, 0), 0);
  if (aByteCount == -1) return available;
  if (aByteCount > available) throw EIdNotEnoughDataInBuffer(aByteCount, FSize);
  return aByteCount;
}

void TIdBuffer::ExtractToBytes(TIdBytes& aBytes, int aByteCount, bool aAppend, int aIndex) {
  if (aByteCount == 0) return;
  const int offset = std::max(aIndex, 0);
  const int count = CheckByteCount(aByteCount, aIndex);
  size_t destination = 0;
  if (aAppend) {
    destination = aBytes.size();
    aBytes.resize(destination + static_cast<size_t>(count));
  } else if (aBytes.size() < static_cast<size_t>(count)) {
    aBytes.resize(static_cast<size_t>(count));
  }
  if (count <= 0) return;
  std::memcpy(aBytes.data() + destination, Data() + offset, static_cast<size_t>(count));
  if (aIndex < 0) Remove(count);
}

std::string TIdBuffer::PeekString(int aIndex, int aByteCount, const IIdTextEncoding& aByteEncoding) const {
  const int count = CheckByteCount(aByteCount, aIndex);
  if (count <= 0) return {};
  const TIdTextEncodingBase& encoding = ChooseEncoding(aByteEncoding);
  return DecodeBytes(Data() + std::max(aIndex, 0), count, encoding, MapsASCIIToItself(encoding));
}

std::string TIdBuffer::ExtractToString(int aByteCount, const IIdTextEncoding& aByteEncoding) {
  if (aByteCount < 0) aByteCount = FSize;
  std::string result = PeekString(0, aByteCount, aByteEncoding);
  Remove(aByteCount);
  return result;
}

void TIdBuffer::ExtractToStream(TStream& aStream, int aByteCount, int aIndex) {
  if (aByteCount == 0) return;
  const int count = CheckByteCount(aByteCount, aIndex);
  if (count <= 0) return;
  if (aIndex < 0) {
    aStream.WriteBuffer(Data(), count);
    Remove(count);
  } else {
    const TIdBytes run(Data() + aIndex, Data() + aIndex + count);
    aStream.WriteBuffer(run);
  }
}

void TIdBuffer::ExtractToIdBuffer(TIdBuffer& aBuffer, int aByteCount, int aIndex) {
  if (aByteCount == 0) return;
  const int count = CheckByteCount(aByteCount, aIndex);
  if (count <= 0) return;
  if (&aBuffer == this) {
    // Appending to ourselves: the source run moves when the array grows.
    const TIdBytes run(Data() + std::max(aIndex, 0), Data() + std::max(aIndex, 0) + count);
    aBuffer.Write(run);
  } else {
    aBuffer.Write(Data() + std::max(aIndex, 0), count);
  }
  if (aIndex < 0) Remove(count);
}

void TIdBuffer::ExtractRaw(void* aValue, int aSize, int aIndex) {
  CheckByteCount(aSize, aIndex);
  std::memcpy(aValue, Data() + std::max(aIndex, 0), static_cast<size_t>(aSize));
  if (aIndex < 0) Remove(aSize);
}

uint8_t TIdBuffer::ExtractToUInt8(int aIndex) {
  uint8_t value;
  ExtractRaw(&value, sizeof value, aIndex);
  return value;
}

uint16_t TIdBuffer::ExtractToUInt16(int aIndex, bool aConvert) {
  uint16_t value;
  ExtractRaw(&value, sizeof value, aIndex);
  return aConvert ? NetworkToHost(value) : value;
}

uint32_t TIdBuffer::ExtractToUInt32(int aIndex, bool aConvert) {
  uint32_t value;
  ExtractRaw(&value, sizeof value, aIndex);
  return aConvert ? NetworkToHost(value) : value;
}

uint64_t TIdBuffer::ExtractToUInt64(int aIndex, bool aConvert) {
  uint64_t value;
  ExtractRaw(&value, sizeof value, aIndex);
  return aConvert ? NetworkToHost(value) : value;
}

void TIdBuffer::ExtractToIPv6(int aIndex, TIdIPv6Address& aAddress) {
  TIdIPv6Address wire;
  ExtractRaw(wire.data(), sizeof wire, aIndex);
  std::transform(wire.begin(), wire.end(), aAddress.begin(), [](uint16_t v) { return NetworkToHost(v); });
}

}  // namespace qtx
