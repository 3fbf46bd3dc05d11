// The MIME Base64 coder against the test vectors of RFC 4648 and the
// decoding rules of RFC 2045.
#include "core/qtxIdCoderMIME.h"
#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::Bytes;


// A stream that hands out at most a few bytes per read, as a pipe may.
class TTrickleStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  int64_t Read(void* aBuffer, int64_t aCount) override { return TMemoryStream::Read(aBuffer, std::min<int64_t>(aCount, 2)); }
};

TEST(EncoderMIME, EncodesTheRfc4648TestVectors) {
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("")), "");
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("f")), "Zg==");
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("fo")), "Zm8=");
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("foo")), "Zm9v");
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("foob")), "Zm9vYg==");
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("fooba")), "Zm9vYmE=");
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes("foobar")), "Zm9vYmFy");
}

TEST(EncoderMIME, UsesTheWholeAlphabetAndNoLineBreaks) {
  EXPECT_EQ(TIdEncoderMIME::EncodeBytes(Bytes({0xFB, 0xFF, 0xBF})), "+/+/");
  const std::string long64 = TIdEncoderMIME::EncodeBytes(TBytes(300, 0));
  EXPECT_EQ(long64.size(), 400u);
  EXPECT_EQ(long64.find_first_of("\r\n"), std::string::npos);
}

TEST(EncoderMIME, EncodesTextInTheGivenEncoding) {
  EXPECT_EQ(TIdEncoderMIME::EncodeString("\xC3\xA9"), "w6k=");  // é as UTF-8
  EXPECT_EQ(TIdEncoderMIME::EncodeString("\xC3\xA9", IdTextEncoding_8Bit()), "6Q==");
  EXPECT_EQ(TIdEncoderMIME::EncodeString("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(EncoderMIME, EncodesAStreamFromItsPositionInWholeGroups) {
  TBytes data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  TTrickleStream source(data);
  source.SetPosition(1);
  TMemoryStream dest;
  const int64_t written = TIdEncoderMIME::EncodeStream(source, dest);
  const std::string expected = TIdEncoderMIME::EncodeBytes(TBytes(data.begin() + 1, data.end()));
  EXPECT_EQ(written, static_cast<int64_t>(expected.size()));
  EXPECT_EQ(std::string(dest.Bytes().begin(), dest.Bytes().end()), expected);
}

TEST(EncoderMIME, EncodesOnlyTheGivenSizeOfAStream) {
  TMemoryStream source(Bytes("foobar"));
  TMemoryStream dest;
  TIdEncoderMIME::EncodeStream(source, dest, 4);
  EXPECT_EQ(dest.Bytes(), Bytes("Zm9vYg=="));
  EXPECT_EQ(source.Position(), 4);
}

TEST(DecoderMIME, DecodesTheRfc4648TestVectors) {
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zg=="), Bytes("f"));
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zm8="), Bytes("fo"));
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zm9vYmFy"), Bytes("foobar"));
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("+/+/"), Bytes({0xFB, 0xFF, 0xBF}));
}

TEST(DecoderMIME, IgnoresLineBreaksAndWhiteSpace) {
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zm9v\r\nYmFy"), Bytes("foobar"));
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes(" Zm 9v\tYg\n==\r\n"), Bytes("foob"));
}

TEST(DecoderMIME, SkipsCharactersOutsideTheAlphabetAndStopsAtPadding) {
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zm*9v!"), Bytes("foo"));
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zg==Zm9v"), Bytes("f"));
}

TEST(DecoderMIME, DecodesAMissingPaddingAndDropsASingleLeftoverCharacter) {
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zm9vYg"), Bytes("foob"));
  EXPECT_EQ(TIdDecoderMIME::DecodeBytes("Zm9vY"), Bytes("foo"));
}

TEST(DecoderMIME, RoundTripsEveryByteValueAndEveryLength) {
  TBytes data;
  for (int i = 0; i < 256; ++i) {
    data.push_back(static_cast<uint8_t>(255 - i));
    ASSERT_EQ(TIdDecoderMIME::DecodeBytes(TIdEncoderMIME::EncodeBytes(data)), data) << i;
  }
}

TEST(DecoderMIME, DecodesToTextAndToStreams) {
  EXPECT_EQ(TIdDecoderMIME::DecodeString("w6k="), "\xC3\xA9");
  EXPECT_EQ(TIdDecoderMIME::DecodeString("6Q==", IdTextEncoding_8Bit()), "\xC3\xA9");
  TMemoryStream dest;
  EXPECT_EQ(TIdDecoderMIME::DecodeStream("Zm9v\r\nYmFy", dest), 6);
  EXPECT_EQ(dest.Bytes(), Bytes("foobar"));
}

}  // namespace
}  // namespace qtx
