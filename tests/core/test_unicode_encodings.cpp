// UTF-16 in both byte orders and UTF-8.
#include <vector>

#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"

namespace qtx {
namespace {

using test::Bytes;

const TIdUTF16LittleEndianEncoding kLE;
const TIdUTF16BigEndianEncoding kBE;
const TIdUTF8Encoding kUtf8;

TEST(UTF16Encoding, WritesCodeUnitsInItsByteOrder) {
  EXPECT_EQ(kLE.GetBytes("A\xE2\x82\xAC"), Bytes({0x41, 0x00, 0xAC, 0x20}));
  EXPECT_EQ(kBE.GetBytes("A\xE2\x82\xAC"), Bytes({0x00, 0x41, 0x20, 0xAC}));
}

TEST(UTF16Encoding, ACharacterOutsideTheBmpRoundTripsAsASurrogatePair) {
  const std::string grin = "\xF0\x9F\x98\x80";
  EXPECT_EQ(kBE.GetBytes(grin), Bytes({0xD8, 0x3D, 0xDE, 0x00}));
  EXPECT_EQ(kBE.GetString(kBE.GetBytes(grin)), grin);
  EXPECT_EQ(kLE.GetString(kLE.GetBytes(grin)), grin);
  EXPECT_EQ(kLE.GetCharCount(kLE.GetBytes(grin)), 2);
}

TEST(UTF16Encoding, AnOddLastByteIsIgnored) {
  EXPECT_EQ(kLE.GetString(Bytes({0x41, 0x00, 0x42})), "A");
  EXPECT_EQ(kBE.GetCharCount(Bytes({0x00, 0x41, 0x00})), 1);
}

TEST(UTF16Encoding, AnUnpairedSurrogateIsKeptAsACodeUnitButNotInText) {
  EXPECT_EQ(kLE.GetChars(Bytes({0x00, 0xD8})), u"\xD800");
  EXPECT_EQ(kLE.GetString(Bytes({0x00, 0xD8})), "\xEF\xBF\xBD");
}

TEST(UTF16Encoding, PreamblesAndMaxCounts) {
  EXPECT_EQ(kLE.GetPreamble(), Bytes({0xFF, 0xFE}));
  EXPECT_EQ(kBE.GetPreamble(), Bytes({0xFE, 0xFF}));
  EXPECT_EQ(kLE.GetMaxByteCount(3), 8);
  EXPECT_EQ(kLE.GetMaxCharCount(5), 4);  // 5/2 + 5 mod 2 + 1
  EXPECT_EQ(kBE.GetMaxCharCount(4), 3);
  EXPECT_FALSE(kLE.GetIsSingleByte());
}

TEST(UTF8Encoding, PreambleAndMaxCounts) {
  EXPECT_EQ(kUtf8.GetPreamble(), Bytes({0xEF, 0xBB, 0xBF}));
  EXPECT_EQ(kUtf8.GetMaxByteCount(2), 9);
  EXPECT_EQ(kUtf8.GetMaxCharCount(2), 3);
  EXPECT_EQ(kUtf8.CodePage(), 65001);
  EXPECT_FALSE(kUtf8.GetIsSingleByte());
}

TEST(UTF8Encoding, InvalidBytesBecomeOneReplacementPerMaximalSubpart) {
  EXPECT_EQ(kUtf8.GetString(Bytes({'a', 0xFF, 'b'})), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(kUtf8.GetString(Bytes({0xE2, 0x82})), "\xEF\xBF\xBD");  // a cut-short sequence
  EXPECT_EQ(kUtf8.GetChars(Bytes({0xE2, 0x82, 'x'})), u"\uFFFDx");
  EXPECT_EQ(kUtf8.GetCharCount(Bytes({0xED, 0xA0, 0x80})), 3);  // an encoded surrogate
}

TEST(UTF8Encoding, CountsCharactersAsUtf16CodeUnits) {
  EXPECT_EQ(kUtf8.GetCharCount(Bytes({0xF0, 0x9F, 0x98, 0x80})), 2);
  EXPECT_EQ(kUtf8.GetByteCount(std::u16string_view(u"\U0001F600")), 4);
}

TEST(UTF8Encoding, AnUnpairedSurrogateIsWrittenAsTheReplacementCharacter) {
  EXPECT_EQ(kUtf8.GetBytes(std::u16string_view(u"a\xDC00")), Bytes({'a', 0xEF, 0xBF, 0xBD}));
  EXPECT_EQ(kUtf8.GetByteCount(std::u16string_view(u"\xD800")), 3);
}

// Whole-text conversions take a shortcut past UTF-16; it must agree with the
// code-unit path for valid and invalid input alike.
TEST(UTF8Encoding, TextShortcutAgreesWithTheCodeUnitPath) {
  const std::vector<TBytes> samples = {
      Bytes({'p', 'l', 'a', 'i', 'n'}), Bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC}), Bytes({0xF0, 0x9F, 0x98, 0x80}),
      Bytes({0xC0, 0xAF, 0xE0, 0x80, 0xBF}), Bytes({0xF4, 0x90, 0x80, 0x80}), Bytes({0xED, 0xBF, 0xBF, 'z'})};
  for (const TBytes& bytes : samples) {
    const std::u16string chars = kUtf8.GetChars(bytes);
    EXPECT_EQ(kUtf8.GetString(bytes), kLE.GetString(kLE.GetBytes(std::u16string_view(chars))));
    const std::string text = kUtf8.GetString(bytes);
    EXPECT_EQ(kUtf8.GetBytes(text), kUtf8.GetBytes(std::u16string_view(chars)));
  }
}

}  // namespace
}  // namespace qtx
