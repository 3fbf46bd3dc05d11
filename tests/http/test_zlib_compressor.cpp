#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "http/qtxIdCompressorZLib.h"
#include "platform/qtxStreams.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using test::Raised;
using test::ReadFileBytes;
using test::RunShell;
using test::TTempFolder;
using test::WriteFileBytes;

// Text with enough repetition to compress and enough variety to need several
// deflate blocks and several buffers on either side of the inflater.
TBytes SamplePayload(size_t aSize = 300000) {
  TBytes bytes(aSize);
  uint32_t state = 12345;
  for (size_t i = 0; i < aSize; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = (i % 97 < 60) ? static_cast<uint8_t>("the quick brown fox "[i % 20]) : static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

TBytes RawDeflate(const TBytes& aData) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  TBytes out(deflateBound(&s, aData.size()));
  s.next_in = const_cast<Bytef*>(aData.data());
  s.avail_in = static_cast<uInt>(aData.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

TBytes ZLibCompress(const TBytes& aData) {
  uLongf size = compressBound(aData.size());
  TBytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, aData.data(), aData.size(), 6), Z_OK);
  out.resize(size);
  return out;
}

void AppendLE32(TBytes& aOut, uint32_t aValue) {
  for (int i = 0; i < 4; ++i) aOut.push_back(static_cast<uint8_t>(aValue >> (8 * i)));
}

// A gzip member with every optional header field: extra field, file name,
// comment and header CRC.
TBytes GZipWithAllHeaderFields(const TBytes& aData) {
  TBytes out{0x1F, 0x8B, 8, 0x02 | 0x04 | 0x08 | 0x10, 1, 2, 3, 4, 0, 3, 5, 0, 'A', 'B', 1, 0, 'x'};
  for (char c : std::string("report.txt")) out.push_back(static_cast<uint8_t>(c));
  out.push_back(0);
  for (char c : std::string("made by hand; with a comment")) out.push_back(static_cast<uint8_t>(c));
  out.push_back(0);
  const uLong headerCrc = crc32(0, out.data(), static_cast<uInt>(out.size()));
  out.push_back(static_cast<uint8_t>(headerCrc));
  out.push_back(static_cast<uint8_t>(headerCrc >> 8));
  const TBytes deflated = RawDeflate(aData);
  out.insert(out.end(), deflated.begin(), deflated.end());
  AppendLE32(out, static_cast<uint32_t>(crc32(0, aData.data(), static_cast<uInt>(aData.size()))));
  AppendLE32(out, static_cast<uint32_t>(aData.size()));
  return out;
}

TBytes GZipByCommand(const TBytes& aData, bool aWithName) {
  TTempFolder folder;
  WriteFileBytes(folder.File("body.txt"), aData);
  return RunShell(aWithName ? "gzip -c -N body.txt" : "gzip -c -n < body.txt", folder.Path());
}

TBytes DecodeGZip(const TBytes& aBody) {
  TIdCompressorZLib compressor;
  TMemoryStream in(aBody);
  TMemoryStream out;
  compressor.DecompressGZipStream(in, out);
  return out.Bytes();
}

TBytes DecodeDeflate(const TBytes& aBody) {
  TIdCompressorZLib compressor;
  TMemoryStream in(aBody);
  TMemoryStream out;
  compressor.DecompressDeflateStream(in, out);
  return out.Bytes();
}

TEST(ZLibCompressorGZip, BodyFromGzipWithoutFileNameDecodes) {
  const TBytes payload = SamplePayload();
  const TBytes body = GZipByCommand(payload, false);
  ASSERT_EQ(body[3] & 0x08, 0);
  EXPECT_EQ(DecodeGZip(body), payload);
}

TEST(ZLibCompressorGZip, BodyFromGzipWithFileNameDecodesTheSame) {
  const TBytes payload = SamplePayload();
  const TBytes body = GZipByCommand(payload, true);
  ASSERT_NE(body[3] & 0x08, 0);
  EXPECT_EQ(DecodeGZip(body), payload);
}

TEST(ZLibCompressorGZip, HeaderWithExtraFieldNameCommentAndHeaderCrcIsWalked) {
  const TBytes payload = SamplePayload(5000);
  EXPECT_EQ(DecodeGZip(GZipWithAllHeaderFields(payload)), payload);
}

TEST(ZLibCompressorGZip, ConcatenatedMembersDecodeOneAfterTheOther) {
  const TBytes first = SamplePayload(70000);
  const TBytes second{'t', 'a', 'i', 'l'};
  TBytes body = GZipByCommand(first, true);
  const TBytes more = GZipWithAllHeaderFields(second);
  body.insert(body.end(), more.begin(), more.end());
  TBytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(DecodeGZip(body), expected);

  body.push_back(0);
  EXPECT_EQ(Raised<EIdDecompressionError>([&] { DecodeGZip(body); }).Message(),
            "Decompression failed: unexpected data after the compressed data");
}

TEST(ZLibCompressorGZip, EmptyPayloadDecodesToNothing) {
  EXPECT_TRUE(DecodeGZip(GZipByCommand({}, false)).empty());
}

TEST(ZLibCompressorGZip, EmptyBodyLabelledWithACodingDecodesToNothing) {
  EXPECT_TRUE(DecodeGZip({}).empty());
  EXPECT_TRUE(DecodeDeflate({}).empty());
}

TEST(ZLibCompressorGZip, CorruptDataRaisesWithZLibReason) {
  TBytes body = GZipWithAllHeaderFields(SamplePayload(5000));
  body[60] ^= 0xFF;
  body[61] ^= 0xFF;
  body[62] ^= 0xFF;
  EXPECT_THROW(DecodeGZip(body), EIdDecompressionError);
}

TEST(ZLibCompressorGZip, InvalidBlockTypeCarriesZLibMessage) {
  TBytes body = GZipByCommand(TBytes{'a', 'b', 'c'}, false);
  body[10] = 0x07;  // final block of the reserved type 3
  const auto e = Raised<EIdDecompressionError>([&] { DecodeGZip(body); });
  EXPECT_NE(e.Message().find("invalid block type"), std::string::npos) << e.Message();
}

TEST(ZLibCompressorGZip, WrongCrcInTrailerRaises) {
  TBytes body = GZipByCommand(SamplePayload(1000), false);
  body[body.size() - 8] ^= 0x01;
  EXPECT_THROW(DecodeGZip(body), EIdDecompressionError);
}

TEST(ZLibCompressorGZip, WrongLengthInTrailerRaises) {
  TBytes body = GZipByCommand(SamplePayload(1000), false);
  body[body.size() - 4] ^= 0x01;
  EXPECT_THROW(DecodeGZip(body), EIdDecompressionError);
}

TEST(ZLibCompressorGZip, TruncatedBodyRaisesInsteadOfReturningShortData) {
  const TBytes full = GZipByCommand(SamplePayload(), false);
  for (size_t cut : {size_t{1}, size_t{4}, size_t{9}, size_t{2000}, full.size() / 2, full.size() - 12}) {
    const TBytes body(full.begin(), full.end() - static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(DecodeGZip(body), EIdDecompressionError) << "cut " << cut;
  }
}

TEST(ZLibCompressorGZip, NotAGZipStreamRaises) {
  EXPECT_THROW(DecodeGZip(ZLibCompress(SamplePayload(100))), EIdDecompressionError);
}

TEST(ZLibCompressorDeflate, ZLibWrappedBodyDecodes) {
  const TBytes payload = SamplePayload();
  EXPECT_EQ(DecodeDeflate(ZLibCompress(payload)), payload);
}

TEST(ZLibCompressorDeflate, RawDeflateBodyDecodes) {
  const TBytes payload = SamplePayload();
  EXPECT_EQ(DecodeDeflate(RawDeflate(payload)), payload);
}

TEST(ZLibCompressorDeflate, GZipBodyLabelledDeflateDecodes) {
  const TBytes payload = SamplePayload(2000);
  EXPECT_EQ(DecodeDeflate(GZipByCommand(payload, true)), payload);
}

TEST(ZLibCompressorDeflate, TruncatedZLibBodyRaises) {
  const TBytes full = ZLibCompress(SamplePayload());
  const TBytes body(full.begin(), full.end() - 1000);
  EXPECT_THROW(DecodeDeflate(body), EIdDecompressionError);
}

TEST(ZLibCompressorDeflate, WrongAdlerChecksumRaises) {
  TBytes body = ZLibCompress(SamplePayload(1000));
  body.back() ^= 0x01;
  const auto e = Raised<EIdDecompressionError>([&] { DecodeDeflate(body); });
  EXPECT_NE(e.Message().find("incorrect data check"), std::string::npos) << e.Message();
}

TEST(ZLibCompressorDeflate, ChecksumCutInHalfRaises) {
  TBytes body = ZLibCompress(SamplePayload(1000));
  body.resize(body.size() - 2);
  EXPECT_THROW(DecodeDeflate(body), EIdDecompressionError);
}

TEST(ZLibCompressorHTTPDeflate, DecodesAndLeavesTheInputWhereItWas) {
  const TBytes payload = SamplePayload(5000);
  TBytes body{'x', 'y', 'z'};
  const TBytes compressed = ZLibCompress(payload);
  body.insert(body.end(), compressed.begin(), compressed.end());
  TMemoryStream in(body);
  in.SetPosition(3);
  TMemoryStream out;
  TIdCompressorZLib compressor;
  compressor.DecompressHTTPDeflate(in, out);
  EXPECT_EQ(out.Bytes(), payload);
  EXPECT_EQ(in.Position(), 3);
}

TEST(ZLibCompressorHTTPDeflate, HeaderThatIsNotAMultipleOf31Raises) {
  TMemoryStream in(TBytes{0x78, 0x9D, 1, 2, 3});
  TMemoryStream out;
  TIdCompressorZLib compressor;
  const auto e = Raised<EIdException>([&] { compressor.DecompressHTTPDeflate(in, out); });
  EXPECT_EQ(e.Message(), "Error - invalid header");
}

TEST(ZLibCompressorHTTPDeflate, OneByteBodyIsAnInvalidHeader) {
  TMemoryStream in(TBytes{0x78});
  TMemoryStream out;
  TIdCompressorZLib compressor;
  EXPECT_THROW(compressor.DecompressHTTPDeflate(in, out), EIdException);
}

TEST(ZLibCompressorCompress, DeflatedStreamIsReadByPythonZLib) {
  const TBytes payload = SamplePayload();
  TMemoryStream in(payload);
  TMemoryStream out;
  TIdCompressorZLib compressor;
  compressor.CompressHTTPDeflate(in, out, 9);
  TTempFolder folder;
  WriteFileBytes(folder.File("body.z"), out.Bytes());
  EXPECT_EQ(RunShell("python3 -c 'import sys, zlib; "
                     "sys.stdout.buffer.write(zlib.decompress(open(\"body.z\", \"rb\").read()))'",
                     folder.Path()),
            payload);
}

TEST(ZLibCompressorCompress, GZipWindowBitsProduceWhatGunzipReads) {
  const TBytes payload = SamplePayload();
  TMemoryStream in(payload);
  TMemoryStream out;
  TIdCompressorZLib compressor;
  compressor.CompressFTPDeflate(in, out, 6, 31, 8, Z_DEFAULT_STRATEGY);
  TTempFolder folder;
  WriteFileBytes(folder.File("body.gz"), out.Bytes());
  EXPECT_EQ(RunShell("gzip -dc body.gz", folder.Path()), payload);
}

TEST(ZLibCompressorCompress, DecompressStreamDetectsEitherContainer) {
  const TBytes payload = SamplePayload(20000);
  TIdCompressorZLib compressor;
  for (const TBytes& body : {ZLibCompress(payload), GZipByCommand(payload, true)}) {
    TMemoryStream in(body);
    TMemoryStream out;
    compressor.DecompressFTPDeflate(in, out, 47);
    EXPECT_EQ(out.Bytes(), payload);
  }
}

}  // namespace
}  // namespace qtx
