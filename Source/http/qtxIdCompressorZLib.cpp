#include "http/qtxIdCompressorZLib.h"

#include <zlib.h>

#include <array>
#include <vector>

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
const char* const SInflateFailed = "Decompression failed: %s";
const char* const STruncated = "Decompression failed: the compressed data ends early";
const char* const SDeflateFailed = "Compression failed: %s";
// zlib's own words for the failures that are found before zlib sees the data.
const char* const SIncorrectHeader = "incorrect header check";
const char* const SNeedDictionary = "need dictionary";
const char* const SIncorrectDataCheck = "incorrect data check";

constexpr size_t kChunkSize = 64 * 1024;
constexpr int kRawDeflateWindowBits = -15;
constexpr uint8_t kPresetDictionaryFlag = 0x20;

std::string ZLibReason(const z_stream& aStream, int aCode) {
  return aStream.msg != nullptr ? std::string(aStream.msg) : std::string(zError(aCode));
}

[[noreturn]] void RaiseInflateFailure(std::string_view aReason) {
  throw EIdDecompressionError(Format(SInflateFailed, {aReason}));
}

// One inflate run over zlib, from a stream's position to the end of the
// compressed data.
class TInflater {
public:
  explicit TInflater(int aWindowBits) {
    const int rc = inflateInit2(&FStream, aWindowBits);
    if (rc != Z_OK) RaiseInflateFailure(ZLibReason(FStream, rc));
  }
  ~TInflater() { inflateEnd(&FStream); }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Writes the inflated bytes to aOut (and into aAdler when given) and leaves
  // aIn just after the compressed data. Input that runs out first raises.
  void Run(TStream& aIn, TStream& aOut, uLong* aAdler) {
    std::vector<uint8_t> input(kChunkSize);
    std::vector<uint8_t> output(kChunkSize);
    bool needInput = true;
    for (;;) {
      if (FStream.avail_in == 0 && needInput) {
        const int64_t n = aIn.Read(input.data(), static_cast<int64_t>(input.size()));
        if (n <= 0) throw EIdDecompressionError(STruncated);
        FStream.next_in = input.data();
        FStream.avail_in = static_cast<uInt>(n);
      }
      FStream.next_out = output.data();
      FStream.avail_out = static_cast<uInt>(output.size());
      const int rc = inflate(&FStream, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        RaiseInflateFailure(rc == Z_NEED_DICT ? std::string(SNeedDictionary) : ZLibReason(FStream, rc));
      }
      const size_t produced = output.size() - FStream.avail_out;
      if (produced > 0) {
        aOut.WriteBuffer(output.data(), static_cast<int64_t>(produced));
        if (aAdler != nullptr) *aAdler = adler32_z(*aAdler, output.data(), produced);
      }
      if (rc == Z_STREAM_END) break;
      // A full output buffer may hide more output; only an unfilled one asks for input.
      needInput = FStream.avail_out != 0;
    }
    if (FStream.avail_in > 0) aIn.Seek(-static_cast<int64_t>(FStream.avail_in), TSeekOrigin::soCurrent);
  }

private:
  z_stream FStream{};
};

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

int64_t ReadUpTo(TStream& aStream, uint8_t* aBuffer, int64_t aCount) {
  int64_t got = 0;
  while (got < aCount) {
    const int64_t n = aStream.Read(aBuffer + got, aCount - got);
    if (n <= 0) break;
    got += n;
  }
  return got;
}
}  // namespace

void TIdCompressorZLib::DeflateStream(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel) {
  CompressStream(aInStream, aOutStream, aLevel, MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
}

void TIdCompressorZLib::InflateStream(TStream& aInStream, TStream& aOutStream) {
  std::array<uint8_t, 2> header{};
  if (ReadUpTo(aInStream, header.data(), 2) != 2) throw EIdDecompressionError(STruncated);
  if (!IsZLibHeader(header[0], header[1])) RaiseInflateFailure(SIncorrectHeader);
  if (header[1] & kPresetDictionaryFlag) RaiseInflateFailure(SNeedDictionary);

  // The deflate data is inflated raw so that a stream whose check value was
  // left off (the gzip container checks itself) ends cleanly.
  uLong adler = adler32_z(0, nullptr, 0);
  TInflater(kRawDeflateWindowBits).Run(aInStream, aOutStream, &adler);

  std::array<uint8_t, 4> check{};
  const int64_t got = ReadUpTo(aInStream, check.data(), 4);
  if (got == 0) return;
  if (got < 4) throw EIdDecompressionError(STruncated);
  if (BigEndian32(check.data()) != static_cast<uint32_t>(adler)) RaiseInflateFailure(SIncorrectDataCheck);
}

void TIdCompressorZLib::CompressStream(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel,
                                       int aWindowBits, int aMemLevel, int aStrategy) {
  z_stream stream{};
  int rc = deflateInit2(&stream, aLevel, Z_DEFLATED, aWindowBits, aMemLevel, aStrategy);
  if (rc != Z_OK) throw EIdCompressionError(Format(SDeflateFailed, {ZLibReason(stream, rc)}));
  struct TDeflateEnd {
    z_stream& s;
    ~TDeflateEnd() { deflateEnd(&s); }
  } end{stream};

  std::vector<uint8_t> input(kChunkSize);
  std::vector<uint8_t> output(kChunkSize);
  int flush = Z_NO_FLUSH;
  do {
    const int64_t n = aInStream.Read(input.data(), static_cast<int64_t>(input.size()));
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(n > 0 ? n : 0);
    flush = n > 0 ? Z_NO_FLUSH : Z_FINISH;
    do {
      stream.next_out = output.data();
      stream.avail_out = static_cast<uInt>(output.size());
      rc = deflate(&stream, flush);
      if (rc == Z_STREAM_ERROR) throw EIdCompressionError(Format(SDeflateFailed, {ZLibReason(stream, rc)}));
      aOutStream.WriteBuffer(output.data(), static_cast<int64_t>(output.size() - stream.avail_out));
    } while (stream.avail_out == 0);
  } while (flush != Z_FINISH);
}

void TIdCompressorZLib::DecompressStream(TStream& aInStream, TStream& aOutStream, int aWindowBits) {
  TInflater(aWindowBits).Run(aInStream, aOutStream, nullptr);
}

}  // namespace qtx
