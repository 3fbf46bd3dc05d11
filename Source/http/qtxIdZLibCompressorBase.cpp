#include "http/qtxIdZLibCompressorBase.h"

#include <zlib.h>

#include <array>

namespace qtx {

namespace {
const char* const SInvalidHeader = "Error - invalid header";
const char* const SNotGZip = "Decompression failed: not a gzip stream";
const char* const SGZipHeaderCut = "Decompression failed: the gzip header ends early";
const char* const SGZipTooShort = "Decompression failed: the gzip stream is too short";
const char* const SGZipCheck = "Decompression failed: incorrect data check";
const char* const SGZipLength = "Decompression failed: incorrect length check";
const char* const STrailingData = "Decompression failed: unexpected data after the compressed data";

constexpr uint8_t kGZipId1 = 0x1F;
constexpr uint8_t kGZipId2 = 0x8B;
constexpr uint8_t kDeflateMethod = 8;
constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr int64_t kGZipTrailerSize = 8;  // CRC-32 and length, little-endian
constexpr int kRawDeflateWindowBits = -15;

uint8_t ReadHeaderByte(TStream& aStream) {
  uint8_t b = 0;
  if (aStream.Read(&b, 1) != 1) throw EIdDecompressionError(SGZipHeaderCut);
  return b;
}

void SkipHeaderBytes(TStream& aStream, int64_t aCount) {
  for (int64_t i = 0; i < aCount; ++i) ReadHeaderByte(aStream);
}

void SkipZeroTerminated(TStream& aStream) {
  while (ReadHeaderByte(aStream) != 0) {
  }
}

// Reads a gzip member header up to its deflate data; aNotAMember is the
// failure when the bytes are no member.
void SkipGZipHeader(TStream& aStream, const char* aNotAMember) {
  std::array<uint8_t, 3> ident{};
  if (aStream.Read(ident.data(), 3) != 3 || ident[0] != kGZipId1 || ident[1] != kGZipId2 || ident[2] != kDeflateMethod)
    throw EIdDecompressionError(aNotAMember);
  const uint8_t flags = ReadHeaderByte(aStream);
  SkipHeaderBytes(aStream, 6);  // time, extra flags, operating system
  if (flags & kFlagExtra) {
    const uint8_t low = ReadHeaderByte(aStream);
    const uint8_t high = ReadHeaderByte(aStream);
    SkipHeaderBytes(aStream, low | high << 8);
  }
  if (flags & kFlagName) SkipZeroTerminated(aStream);
  if (flags & kFlagComment) SkipZeroTerminated(aStream);
  if (flags & kFlagHeaderCrc) SkipHeaderBytes(aStream, 2);
}

uint32_t LittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Passes everything written on to the target and keeps the CRC-32 and the
// length of it, for the gzip trailer.
class TCheckedOutput : public TStream {
public:
  explicit TCheckedOutput(TStream& aTarget) : FTarget(aTarget) {}

  int64_t Read(void*, int64_t) override { throw ENotSupportedException("TCheckedOutput cannot be read"); }
  int64_t Write(const void* aBuffer, int64_t aCount) override {
    const int64_t written = FTarget.Write(aBuffer, aCount);
    if (written > 0) {
      FCrc = crc32_z(FCrc, static_cast<const Bytef*>(aBuffer), static_cast<z_size_t>(written));
      FLength += static_cast<uint64_t>(written);
    }
    return written;
  }
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override { return FTarget.Seek(aOffset, aOrigin); }

  uint32_t Crc() const noexcept { return static_cast<uint32_t>(FCrc); }
  uint32_t Length() const noexcept { return static_cast<uint32_t>(FLength); }  // modulo 2^32, as stored

private:
  TStream& FTarget;
  uLong FCrc = crc32_z(0, nullptr, 0);
  uint64_t FLength = 0;
};
}  // namespace

bool IsZLibHeader(uint8_t aCmf, uint8_t aFlg) noexcept {
  return (aCmf & 0x0F) == kDeflateMethod && (aCmf >> 4) <= 7 && (aCmf * 256 + aFlg) % 31 == 0;
}

void TIdZLibCompressorBase::DecompressDeflateStream(TStream& aInStream, TStream& aOutStream) {
  const int64_t start = aInStream.Position();
  std::array<uint8_t, 2> head{};
  const int64_t got = aInStream.Read(head.data(), 2);
  aInStream.SetPosition(start);
  if (got <= 0) return;  // an empty body labelled with a coding (a 204 or a HEAD answer)
  if (got == 2 && head[0] == kGZipId1 && head[1] == kGZipId2) {
    DecompressGZipStream(aInStream, aOutStream);
  } else if (got == 2 && IsZLibHeader(head[0], head[1])) {
    InflateStream(aInStream, aOutStream);
  } else {
    DecompressStream(aInStream, aOutStream, kRawDeflateWindowBits);
  }
}

void TIdZLibCompressorBase::DecompressGZipStream(TStream& aInStream, TStream& aOutStream) {
  if (aInStream.Position() >= aInStream.Size()) return;  // an empty body labelled with a coding
  // A gzip stream is one member or several in a row (RFC 1952, section 2.2);
  // each is decoded and checked in turn.
  bool first = true;
  do {
    SkipGZipHeader(aInStream, first ? SNotGZip : STrailingData);
    first = false;
    TCheckedOutput checked(aOutStream);
    DecompressStream(aInStream, checked, kRawDeflateWindowBits);
    std::array<uint8_t, kGZipTrailerSize> trailer{};
    if (aInStream.Read(trailer.data(), kGZipTrailerSize) != kGZipTrailerSize) throw EIdDecompressionError(SGZipTooShort);
    if (checked.Crc() != LittleEndian32(trailer.data())) throw EIdDecompressionError(SGZipCheck);
    if (checked.Length() != LittleEndian32(trailer.data() + 4)) throw EIdDecompressionError(SGZipLength);
  } while (aInStream.Position() < aInStream.Size());
}

void TIdZLibCompressorBase::DecompressHTTPDeflate(TStream& aInStream, TStream& aOutStream) {
  const int64_t start = aInStream.Position();
  std::array<uint8_t, 2> head{};
  if (aInStream.Read(head.data(), 2) != 2 || (head[0] * 256 + head[1]) % 31 != 0) {
    throw EIdException(SInvalidHeader);
  }
  aInStream.SetPosition(start);
  InflateStream(aInStream, aOutStream);
  aInStream.SetPosition(start);
}

void TIdZLibCompressorBase::CompressHTTPDeflate(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel) {
  DeflateStream(aInStream, aOutStream, aLevel);
}

void TIdZLibCompressorBase::CompressFTPDeflate(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel,
                                               int aWindowBits, int aMemLevel, int aStrategy) {
  CompressStream(aInStream, aOutStream, aLevel, aWindowBits, aMemLevel, aStrategy);
}

void TIdZLibCompressorBase::DecompressFTPDeflate(TStream& aInStream, TStream& aOutStream, int aWindowBits) {
  DecompressStream(aInStream, aOutStream, aWindowBits);
}

}  // namespace qtx
