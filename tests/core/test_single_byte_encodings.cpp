// The ASCII and 8-bit encodings and their replacement rules.
#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"
#include "platform/qtxUnicode.h"

namespace qtx {
namespace {

using test::Bytes;

const TIdASCIIEncoding kAscii;
const TId8BitEncoding k8Bit;

TEST(ASCIIEncoding, CharactersFrom128BecomeQuestionMarks) {
  EXPECT_EQ(kAscii.GetBytes("\xC3\xA9"), Bytes({63}));  // U+00E9
  EXPECT_EQ(kAscii.GetBytes("a\xE2\x82\xAC" "b"), Bytes({'a', 63, 'b'}));  // U+20AC
  EXPECT_EQ(kAscii.GetBytes(u"\u00E9"), Bytes({63}));
}

TEST(ASCIIEncoding, ACharacterOutsideTheBmpBecomesTwoQuestionMarks) {
  EXPECT_EQ(kAscii.GetBytes("\xF0\x9F\x98\x80"), Bytes({63, 63}));
  EXPECT_EQ(kAscii.GetByteCount("\xF0\x9F\x98\x80"), 2);
}

TEST(ASCIIEncoding, BytesFrom128BecomeReplacementCharacters) {
  EXPECT_EQ(kAscii.GetString(Bytes({0xE9})), "\xEF\xBF\xBD");
  EXPECT_EQ(kAscii.GetString(Bytes({'a', 0x80, 'b', 0xFF})), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(kAscii.GetChars(Bytes({0xE9, 'x'})), u"\uFFFDx");
  EXPECT_EQ(kAscii.GetCharCount(Bytes({0xE9, 'x'})), 2);
}

TEST(ASCIIEncoding, EverySevenBitValueRoundTrips) {
  TBytes bytes;
  for (int b = 0; b < 128; ++b) bytes.push_back(static_cast<uint8_t>(b));
  const std::string text = kAscii.GetString(bytes);
  ASSERT_EQ(text.size(), 128u);
  EXPECT_EQ(kAscii.GetBytes(text), bytes);
}

TEST(ASCIIEncoding, ASliceOfBytesDecodesOnlyThatSlice) {
  EXPECT_EQ(kAscii.GetString(Bytes({'a', 'b', 0xC0, 'd'}), 1, 2), "b\xEF\xBF\xBD");
}

TEST(ASCIIEncoding, IsSingleByteWithOneToOneMaxCounts) {
  EXPECT_TRUE(kAscii.GetIsSingleByte());
  EXPECT_EQ(kAscii.GetMaxByteCount(10), 10);
  EXPECT_EQ(kAscii.GetMaxCharCount(10), 10);
  EXPECT_TRUE(kAscii.GetPreamble().empty());
}

TEST(EightBitEncoding, EachByteBecomesTheCharacterOfTheSameCode) {
  EXPECT_EQ(k8Bit.GetString(Bytes({0xE9})), "\xC3\xA9");  // U+00E9
  EXPECT_EQ(k8Bit.GetChars(Bytes({0x00, 0x80, 0xFF})), std::u16string(u"\u0000\u0080\u00FF", 3));
}

TEST(EightBitEncoding, EveryByteValueRoundTrips) {
  TBytes bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<uint8_t>(b));
  EXPECT_EQ(k8Bit.GetBytes(k8Bit.GetString(bytes)), bytes);
}

TEST(EightBitEncoding, CharactersFrom256BecomeQuestionMarks) {
  EXPECT_EQ(k8Bit.GetBytes("\xC3\xA9\xC4\x80"), Bytes({0xE9, 63}));          // U+00E9 U+0100
  EXPECT_EQ(k8Bit.GetBytes("\xF0\x9F\x98\x80"), Bytes({63, 63}));           // outside the BMP
  EXPECT_EQ(k8Bit.GetBytes(std::u16string_view(u"\u00FF\u0100")), Bytes({0xFF, 63}));
}

TEST(EightBitEncoding, IsSingleByteWithoutPreamble) {
  EXPECT_TRUE(k8Bit.GetIsSingleByte());
  EXPECT_EQ(k8Bit.GetMaxByteCount(3), 3);
  EXPECT_TRUE(k8Bit.GetPreamble().empty());
}

}  // namespace
}  // namespace qtx
