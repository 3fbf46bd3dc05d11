// TIdBuffer against a model (a plain string of the unread bytes). The input
// starts with the number of operations and three bytes per operation (which
// one, and two argument bytes); the rest is the pool of bytes that writes
// take from. After every operation the buffer holds exactly the model's
// bytes; every read, search and peek answers as the model does; reading
// more than there is fails with EIdNotEnoughDataInBuffer and changes
// nothing. (Arrays of a megabyte and more, which give memory back by a rule
// of their own, are left to the unit tests: at that size the fuzzer runs a
// hundred times slower.)

#include <algorithm>

#include "qtxFuzzHelpers.h"
#include "transport/qtxIdBuffer.h"

namespace {

using namespace qtx;

std::string_view View(const TIdBytes& aBytes) { return {reinterpret_cast<const char*>(aBytes.data()), aBytes.size()}; }
std::string_view View(const TIdBuffer& aBuffer) {
  return {reinterpret_cast<const char*>(aBuffer.Data()), static_cast<size_t>(aBuffer.Size())};
}

// The bytes the buffer should hold, read from a moving head.
class TModel {
public:
  std::string_view Unread() const { return std::string_view(FBytes).substr(FHead); }
  int Size() const { return static_cast<int>(FBytes.size() - FHead); }
  std::string_view First(int aCount) const { return Unread().substr(0, static_cast<size_t>(aCount)); }

  void Append(std::string_view aBytes) { FBytes += aBytes; }
  // Writes over the bytes from aAt on, extending past the end.
  void Overwrite(int aAt, std::string_view aBytes) {
    const size_t at = FHead + static_cast<size_t>(aAt);
    FBytes.replace(at, std::min(aBytes.size(), FBytes.size() - at), aBytes);
  }
  void Remove(int aCount) {
    FHead += static_cast<size_t>(aCount);
    if (FHead > FBytes.size() / 2) {
      FBytes.erase(0, FHead);
      FHead = 0;
    }
  }

private:
  std::string FBytes;
  size_t FHead = 0;
};

class TBufferRun {
public:
  explicit TBufferRun(std::string_view aPool) : FPool(aPool) {}

  void Step(uint8_t aOperation, uint8_t aFirst, uint8_t aSecond) {
    const int size = FBuffer.Size();
    const int count = aFirst % 70;
    switch (aOperation % 16) {
      case 0: Append(PoolBytes(count, aSecond)); break;
      case 1: {  // overwrite from an offset within the unread bytes
        const TIdBytes bytes = PoolBytes(count, aSecond);
        const int at = aSecond % (size + 1);
        FBuffer.Write(bytes, at);
        FModel.Overwrite(at, View(bytes));
        break;
      }
      case 2: {
        TIdBytes bytes = PoolBytes(count, aSecond);
        FModel.Append(View(bytes));
        FBuffer.Write(std::move(bytes));
        break;
      }
      case 3: {  // an integer in network byte order, appended or written over the unread bytes
        const int width = 2 << (aFirst % 3);
        const uint64_t value = 0x0102030405060708ull * (aSecond + 1u);
        const int at = aFirst & 0x80 ? aSecond % (size + 1) : -1;
        std::string bytes;
        for (int i = width - 1; i >= 0; --i) bytes += static_cast<char>(value >> (8 * i));
        switch (width) {
          case 2: FBuffer.Write(static_cast<uint16_t>(value), at); break;
          case 4: FBuffer.Write(static_cast<uint32_t>(value), at); break;
          default: FBuffer.Write(value, at); break;
        }
        if (at < 0) FModel.Append(bytes);
        else FModel.Overwrite(at, bytes);
        break;
      }
      case 4: {
        const int n = std::min(count * (aSecond % 4 + 1), size);
        FBuffer.Remove(n);
        FModel.Remove(n);
        break;
      }
      case 5: {
        TIdBytes out;
        if (Refused(count, [&] { FBuffer.ExtractToBytes(out, count, false); })) break;
        QTX_FUZZ_CHECK(View(out) == FModel.First(count));
        FModel.Remove(count);
        break;
      }
      case 6: Integers(aFirst, aSecond); break;
      case 7: {
        if (size == 0) {
          QTX_FUZZ_CHECK(FBuffer.IndexOf(aFirst) == -1);
          break;
        }
        const int start = aSecond % size;
        QTX_FUZZ_CHECK(FBuffer.IndexOf(aFirst, start) == Find(std::string(1, static_cast<char>(aFirst)), start));
        break;
      }
      case 8: {
        const TIdBytes pattern = PoolBytes(1 + aFirst % 4, aSecond);
        if (pattern.empty() || size == 0) break;
        const int start = aSecond % size;
        QTX_FUZZ_CHECK(FBuffer.IndexOf(pattern, start) == Find(View(pattern), start));
        break;
      }
      case 9:
        if (size > 0)
          QTX_FUZZ_CHECK(FBuffer.PeekByte(aFirst % size) == static_cast<uint8_t>(FModel.Unread()[aFirst % size]));
        break;
      case 10: FBuffer.CompactHead(aFirst & 1); break;
      case 11: FBuffer.SetCapacity(size + aFirst * 64); break;
      case 12: {  // a reader writing straight into the buffer
        const TIdBytes bytes = PoolBytes(count, aSecond);
        const std::span<uint8_t> space = FBuffer.AppendSpace(count);
        QTX_FUZZ_CHECK(static_cast<int>(space.size()) >= count);
        std::copy(bytes.begin(), bytes.end(), space.begin());
        FBuffer.CommitAppend(static_cast<int>(bytes.size()));
        FModel.Append(View(bytes));
        break;
      }
      case 13: {
        TIdBuffer other;
        if (Refused(count, [&] { FBuffer.ExtractToIdBuffer(other, count); })) break;
        QTX_FUZZ_CHECK(View(other) == FModel.First(count));
        FModel.Remove(count);
        break;
      }
      case 14: {
        const int at = size == 0 ? 0 : aSecond % size;
        if (at + count > size) break;
        const std::string_view expected = FModel.Unread().substr(static_cast<size_t>(at), static_cast<size_t>(count));
        QTX_FUZZ_CHECK(FBuffer.PeekString(at, count, IdTextEncoding_8Bit()) ==
                       RawToText({reinterpret_cast<const uint8_t*>(expected.data()), expected.size()}));
        break;
      }
      default: {
        TMemoryStream stream;
        if (Refused(count, [&] { FBuffer.ExtractToStream(stream, count); })) break;
        QTX_FUZZ_CHECK(View(stream.Bytes()) == FModel.First(count));
        FModel.Remove(count);
        break;
      }
    }
    QTX_FUZZ_CHECK(View(FBuffer) == FModel.Unread());
  }

private:
  // aCount bytes of the pool from an offset (fewer where the pool ends).
  TIdBytes PoolBytes(int aCount, uint8_t aOffset) const {
    if (FPool.empty()) return {};
    return fuzz::Bytes(FPool.substr(aOffset % FPool.size(), static_cast<size_t>(aCount)));
  }

  void Append(const TIdBytes& aBytes) {
    FBuffer.Write(aBytes);
    FModel.Append(View(aBytes));
  }

  int Find(std::string_view aNeedle, int aStart) const {
    const size_t found = FModel.Unread().find(aNeedle, static_cast<size_t>(aStart));
    return found == std::string_view::npos ? -1 : static_cast<int>(found);
  }

  // Runs an extraction of aCount bytes; when the buffer holds fewer, the
  // extraction must be refused, leaving the buffer as it was.
  template <class F>
  bool Refused(int aCount, F aExtract) {
    if (aCount <= FBuffer.Size()) {
      aExtract();
      return false;
    }
    try {
      aExtract();
    } catch (const EIdNotEnoughDataInBuffer&) {
      QTX_FUZZ_CHECK(View(FBuffer) == FModel.Unread());
      return true;
    }
    QTX_FUZZ_CHECK(!"an extraction of more bytes than there are was not refused");
    return true;
  }

  // Integers in network byte order, peeked at an index or taken from the head.
  void Integers(uint8_t aWidth, uint8_t aIndex) {
    const int width = 1 << (aWidth % 4);
    const bool peek = aIndex & 1;
    const int at = peek ? (aIndex >> 1) % 8 : 0;
    uint64_t expected = 0;
    const std::string_view bytes = FModel.Unread().substr(static_cast<size_t>(std::min(at, FModel.Size())));
    for (const char c : bytes.substr(0, static_cast<size_t>(width))) expected = expected << 8 | static_cast<uint8_t>(c);
    uint64_t read = 0;
    const int index = peek ? at : -1;
    if (Refused(at + width, [&] {
          switch (width) {
            case 1: read = FBuffer.ExtractToUInt8(index); break;
            case 2: read = FBuffer.ExtractToUInt16(index); break;
            case 4: read = FBuffer.ExtractToUInt32(index); break;
            default: read = FBuffer.ExtractToUInt64(index); break;
          }
        }))
      return;
    QTX_FUZZ_CHECK(read == expected);
    if (!peek) FModel.Remove(width);
  }

  std::string_view FPool;
  TIdBuffer FBuffer;
  TModel FModel;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const size_t operations = std::min<size_t>(aData[0], (aSize - 1) / 3);
  const uint8_t* program = aData + 1;
  TBufferRun run(fuzz::Chars(program + 3 * operations, aSize - 1 - 3 * operations));
  for (size_t i = 0; i < operations; ++i) run.Step(program[3 * i], program[3 * i + 1], program[3 * i + 2]);
  return 0;
}
