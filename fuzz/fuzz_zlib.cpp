// The content decoders over any body: gzip, "deflate" (zlib, gzip or raw
// deflate), the HTTP deflate with its header check, and zlib's own container
// detection. The first byte picks the decoder. A body either decodes or is
// refused with EIdDecompressionError (a bad HTTP deflate header with
// EIdException). Against zlib read directly: a body that zlib reads whole in
// the decoder's container decodes to the same bytes, and a decoded gzip body
// begins with what zlib reads from its first member. The last selector
// compresses the input with the level, window and memory level of its first
// bytes and decompresses it again.

#include <zlib.h>

#include <optional>

#include "http/qtxIdCompressorZLib.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

constexpr int kZLib = 15;
constexpr int kGZip = 16 + 15;
constexpr int kRawDeflate = -15;

// zlib's reading of one stream at the start of aInput, when it ends within
// the input; aWhole tells whether it took all of it.
std::optional<TBytes> ReferenceInflate(const TBytes& aInput, int aWindowBits, bool& aWhole) {
  z_stream stream{};
  if (inflateInit2(&stream, aWindowBits) != Z_OK) return std::nullopt;
  TBytes out;
  uint8_t chunk[16384];
  stream.next_in = const_cast<Bytef*>(aInput.data());
  stream.avail_in = static_cast<uInt>(aInput.size());
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    if (result == Z_BUF_ERROR || (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)) break;
  }
  aWhole = stream.avail_in == 0;
  inflateEnd(&stream);
  if (result != Z_STREAM_END) return std::nullopt;
  return out;
}

// Our decoder's result, or nullopt when it refused the body.
template <class F>
std::optional<TBytes> Decode(const TBytes& aBody, F aDecoder) {
  TMemoryStream in(aBody);
  TMemoryStream out;
  try {
    aDecoder(in, out);
  } catch (const EIdException&) {  // EIdDecompressionError, or the HTTP deflate header refused
    return std::nullopt;
  }
  return out.Bytes();
}

bool StartsWith(const TBytes& aBytes, const TBytes& aPrefix) {
  return aBytes.size() >= aPrefix.size() && std::equal(aPrefix.begin(), aPrefix.end(), aBytes.begin());
}

void GZip(TIdCompressorZLib& aZLib, const TBytes& aBody) {
  const auto decoded = Decode(aBody, [&](TStream& in, TStream& out) { aZLib.DecompressGZipStream(in, out); });
  bool whole = false;
  const auto reference = ReferenceInflate(aBody, kGZip, whole);
  if (decoded && reference) QTX_FUZZ_CHECK(StartsWith(*decoded, *reference));
  if (reference && whole) QTX_FUZZ_CHECK(decoded && *decoded == *reference);
}

void Deflate(TIdCompressorZLib& aZLib, const TBytes& aBody) {
  const auto decoded = Decode(aBody, [&](TStream& in, TStream& out) { aZLib.DecompressDeflateStream(in, out); });
  bool whole = false;
  if (const auto reference = ReferenceInflate(aBody, kZLib, whole); reference && whole)
    QTX_FUZZ_CHECK(decoded && *decoded == *reference);
}

void HTTPDeflate(TIdCompressorZLib& aZLib, const TBytes& aBody) {
  const auto decoded = Decode(aBody, [&](TStream& in, TStream& out) { aZLib.DecompressHTTPDeflate(in, out); });
  bool whole = false;
  if (const auto reference = ReferenceInflate(aBody, kZLib, whole); reference && whole)
    QTX_FUZZ_CHECK(decoded && *decoded == *reference);
}

void Detect(TIdCompressorZLib& aZLib, const TBytes& aBody) {
  (void)Decode(aBody, [&](TStream& in, TStream& out) { aZLib.DecompressStream(in, out, 47); });
  (void)Decode(aBody, [&](TStream& in, TStream& out) { aZLib.DecompressFTPDeflate(in, out, kRawDeflate); });
}

// Compression with the parameters of the first three bytes, then
// decompression with the same container, gives the input back.
void RoundTrip(TIdCompressorZLib& aZLib, const TBytes& aInput) {
  if (aInput.size() < 3) return;
  const int level = aInput[0] % 11 - 1;
  const int windowBits = 9 + aInput[1] % 7;
  const int memLevel = 1 + aInput[2] % 9;
  const TBytes data(aInput.begin() + 3, aInput.end());
  for (const int container : {windowBits, -windowBits, windowBits + 16}) {
    TMemoryStream in(data);
    TMemoryStream packed;
    aZLib.CompressStream(in, packed, level, container, memLevel, Z_DEFAULT_STRATEGY);
    packed.SetPosition(0);
    TMemoryStream unpacked;
    aZLib.DecompressStream(packed, unpacked, container);
    QTX_FUZZ_CHECK(unpacked.Bytes() == data);
  }
  TMemoryStream in(data);
  TMemoryStream packed;
  aZLib.CompressHTTPDeflate(in, packed, level);
  packed.SetPosition(0);
  TMemoryStream unpacked;
  aZLib.DecompressHTTPDeflate(packed, unpacked);
  QTX_FUZZ_CHECK(unpacked.Bytes() == data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  TIdCompressorZLib zlib;
  const TBytes body(aData + 1, aData + aSize);
  switch (aData[0] % 5) {
    case 0: GZip(zlib, body); break;
    case 1: Deflate(zlib, body); break;
    case 2: HTTPDeflate(zlib, body); break;
    case 3: Detect(zlib, body); break;
    case 4: RoundTrip(zlib, body); break;
  }
  return 0;
}
