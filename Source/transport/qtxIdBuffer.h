#pragma once
// TIdBuffer: a byte queue read from the head and appended at the tail, the
// input and write buffers of the IO handler. Bytes are consumed by moving a
// head index. The unread bytes move to the front when an append needs the
// room, and, for an array of ReleaseThreshold bytes or more, when the
// consumed head is past the growth factor and fifteen times the unread
// bytes (the spare memory then goes back). Reading any buffer line by line
// thus moves each byte at most a small fraction of a time.
//
// Index arguments of the readers: a negative index reads at the head and
// removes what it read; a non-negative index peeks at that offset from the
// head and removes nothing.

#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/qtxIdException.h"
#include "core/qtxIdIPv6Address.h"
#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"

namespace qtx {

class EIdTooMuchDataInBuffer : public EIdException {
public:
  EIdTooMuchDataInBuffer();
};

class EIdNotEnoughDataInBuffer : public EIdException {
public:
  // "Not enough data in buffer. (requested/size)"
  EIdNotEnoughDataInBuffer(int aRequested, int aSize);
};

class TIdBuffer {
public:
  using TIdBufferBytesRemoved = std::function<void(TIdBuffer& aSender, int aBytes)>;

  static constexpr int DefaultGrowthFactor = 2048;
  // Arrays from this size on give spare memory back when they shrink;
  // smaller ones keep it for the next growth.
  static constexpr size_t ReleaseThreshold = 1024 * 1024;

  TIdBuffer();
  explicit TIdBuffer(TIdBufferBytesRemoved aOnBytesRemoved);
  explicit TIdBuffer(int aGrowthFactor);
  // A buffer holding the first aLength bytes of aBytes (all with -1).
  explicit TIdBuffer(const TIdBytes& aBytes, int aLength = -1);
  ~TIdBuffer();
  TIdBuffer(const TIdBuffer&) = delete;
  TIdBuffer& operator=(const TIdBuffer&) = delete;

  // ---- state
  int Capacity() const noexcept { return static_cast<int>(FBytes.size()); }
  // At least Size ("Capacity cannot be smaller than Size"); compacts first.
  void SetCapacity(int aValue);
  const IIdTextEncoding& Encoding() const noexcept { return FByteEncoding; }
  void SetEncoding(IIdTextEncoding aValue) { FByteEncoding = std::move(aValue); }
  int GrowthFactor() const noexcept { return FGrowthFactor; }
  void SetGrowthFactor(int aValue) { FGrowthFactor = aValue; }
  int Size() const noexcept { return FSize; }
  // All unread bytes decoded with Encoding; nothing is removed.
  std::string AsString() const;
  // Called after every removal with the number of bytes removed.
  TIdBufferBytesRemoved OnBytesRemoved;

  // ---- housekeeping
  void Clear();
  // Moves the unread bytes to the front; with aCanShrink, spare capacity
  // beyond the growth factor is released.
  void CompactHead(bool aCanShrink = true);
  void Remove(int aByteCount) {
    // The consumed head is given back only from a large array, and only once
    // it is fifteen times the unread bytes: each compaction then moves at
    // most a fifteenth of what was consumed since the last one, so reading a
    // large buffer line by line stays linear and nearly copy-free, while the
    // array never holds more than sixteen times its unread bytes for long.
    // Appends compact small arrays.
    // (The head being fifteen times the rest is tested first: it is the
    // rare one.)
    if (aByteCount > 0 && aByteCount < FSize &&
        !(FHeadIndex + aByteCount >= int64_t{15} * (FSize - aByteCount) &&
          FBytes.capacity() >= ReleaseThreshold && FHeadIndex + aByteCount > FGrowthFactor)) {
      FHeadIndex += aByteCount;
      FSize -= aByteCount;
      DoBytesRemoved(aByteCount);
    } else {
      RemoveAndCompact(aByteCount);
    }
  }
  // Writes every unread byte to the stream; nothing is removed.
  void SaveToStream(TStream& aStream) const;

  // ---- searching (positions are offsets from the head, -1 when absent)
  int IndexOf(uint8_t aByte, int aStartPos = 0) const {
    if (FSize == 0) return -1;
    if (aStartPos < 0 || aStartPos >= FSize) RaiseInvalidStartPos();
    const uint8_t* start = Data();
    const void* found = std::memchr(start + aStartPos, aByte, static_cast<size_t>(FSize - aStartPos));
    return found == nullptr ? -1 : static_cast<int>(static_cast<const uint8_t*>(found) - start);
  }
  int IndexOf(const TIdBytes& aBytes, int aStartPos = 0) const;
  int IndexOf(std::span<const uint8_t> aBytes, int aStartPos = 0) const;
  int IndexOf(const std::string& aString, int aStartPos = 0, const IIdTextEncoding& aByteEncoding = nullptr) const;
  uint8_t PeekByte(int aIndex) const;

  // ---- writing: a negative aDestIndex appends; a non-negative one overwrites
  // at that offset from the head and extends Size to cover what it wrote.
  void Write(const TIdBytes& aBytes, int aDestIndex = -1);
  // Appends; an empty buffer takes over the array instead of copying it.
  void Write(TIdBytes&& aBytes);
  // aLength bytes of aBytes from aOffset (-1: up to the end).
  void Write(const TIdBytes& aBytes, int aLength, int aOffset, int aDestIndex = -1);
  void Write(const uint8_t* aBytes, int aLength, int aDestIndex = -1);
  void Write(std::string_view aString, const IIdTextEncoding& aByteEncoding = nullptr, int aDestIndex = -1);
  // aByteCount bytes from the stream's position; 0 means the whole stream
  // from its start, a negative count the rest from its position.
  void Write(TStream& aStream, int64_t aByteCount = 0);
  // Integers are stored in network byte order.
  void Write(uint8_t aValue, int aDestIndex = -1);
  void Write(uint16_t aValue, int aDestIndex = -1);
  void Write(uint32_t aValue, int aDestIndex = -1);
  void Write(uint64_t aValue, int aDestIndex = -1);
  void Write(const TIdIPv6Address& aValue, int aDestIndex = -1);

  // ---- appending in place, for a reader that writes straight into the
  // buffer: room for aLength bytes behind the unread ones (made as an append
  // of that length would make it), valid until the next change of the
  // buffer; CommitAppend then adds the first aCount bytes written there.
  std::span<uint8_t> AppendSpace(int aLength);
  void CommitAppend(int aCount);

  // ---- extracting (a byte count of -1 means every available byte)
  void ExtractToBytes(TIdBytes& aBytes, int aByteCount = -1, bool aAppend = true, int aIndex = -1);
  std::string ExtractToString(int aByteCount = -1, const IIdTextEncoding& aByteEncoding = nullptr);
  std::string Extract(int aByteCount = -1, const IIdTextEncoding& aByteEncoding = nullptr) {
    return ExtractToString(aByteCount, aByteEncoding);
  }
  void ExtractToStream(TStream& aStream, int aByteCount = -1, int aIndex = -1);
  void ExtractToIdBuffer(TIdBuffer& aBuffer, int aByteCount = -1, int aIndex = -1);
  // The integer extractors convert from network byte order unless aConvert is false.
  uint8_t ExtractToUInt8(int aIndex = -1);
  uint8_t ExtractToByte(int aIndex = -1) { return ExtractToUInt8(aIndex); }
  uint16_t ExtractToUInt16(int aIndex = -1, bool aConvert = true);
  uint16_t ExtractToWord(int aIndex = -1, bool aConvert = true) { return ExtractToUInt16(aIndex, aConvert); }
  uint32_t ExtractToUInt32(int aIndex = -1, bool aConvert = true);
  uint32_t ExtractToLongWord(int aIndex = -1, bool aConvert = true) { return ExtractToUInt32(aIndex, aConvert); }
  uint64_t ExtractToUInt64(int aIndex = -1, bool aConvert = true);
  void ExtractToIPv6(int aIndex, TIdIPv6Address& aAddress);

  // Decodes aByteCount bytes at offset aIndex without removing them.
  std::string PeekString(int aIndex, int aByteCount, const IIdTextEncoding& aByteEncoding = nullptr) const;
  // The unread bytes in place: valid until the next change of the buffer.
  const uint8_t* Data() const noexcept { return FBytes.data() + FHeadIndex; }

private:
  [[noreturn]] static void RaiseInvalidStartPos();
  // Raises EIdTooMuchDataInBuffer when aLength more bytes at aDestIndex would
  // take the buffer past 2^31 - 1 bytes.
  void CheckAddLength(int aLength, int aDestIndex) const;
  // Resolves a count of -1 to the bytes available from aIndex and raises
  // EIdNotEnoughDataInBuffer when more are asked for than are there.
  int CheckByteCount(int aByteCount, int aIndex) const;
  // The integer of aSize bytes at the index, in the byte order of the buffer.
  void ExtractRaw(void* aValue, int aSize, int aIndex);
  // The given encoding, else Encoding, else the process default (a shared
  // instance, which lives as long as the process).
  const TIdTextEncodingBase& ChooseEncoding(const IIdTextEncoding& aByteEncoding) const;
  void DoBytesRemoved(int aByteCount) {
    if (OnBytesRemoved) OnBytesRemoved(*this, aByteCount);
  }
  // Room for aLength more bytes behind the unread ones of a buffer that is
  // not empty: compacts, and grows by the growth factor when that is short.
  void MakeRoomBehind(int aLength);
  // Remove when it empties the buffer or the head is due for compaction.
  void RemoveAndCompact(int aByteCount);

  TIdBytes FBytes;
  int FHeadIndex = 0;
  int FSize = 0;
  int FGrowthFactor = DefaultGrowthFactor;
  IIdTextEncoding FByteEncoding;
};

}  // namespace qtx
