// UTF-7 against the examples of RFC 2152 and round trips.
#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"
#include "platform/qtxUnicode.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::Bytes;
using test::Text;

const TIdUTF7Encoding kUtf7;


TEST(UTF7Encoding, DecodesTheExamplesOfRfc2152) {
  EXPECT_EQ(kUtf7.GetString(Bytes("A+ImIDkQ.")), "A\xE2\x89\xA2\xCE\x91.");                 // A≢Α.
  EXPECT_EQ(kUtf7.GetString(Bytes("Hi Mom -+Jjo--!")), "Hi Mom -\xE2\x98\xBA-!");          // ☺
  EXPECT_EQ(kUtf7.GetString(Bytes("+ZeVnLIqe-")), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");  // 日本語
}

TEST(UTF7Encoding, EncodesOutsideSetDInBase64Runs) {
  EXPECT_EQ(Text(kUtf7.GetBytes("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E")), "+ZeVnLIqe-");
  EXPECT_EQ(Text(kUtf7.GetBytes("A\xE2\x89\xA2\xCE\x91.")), "A+ImIDkQ-.");
  EXPECT_EQ(Text(kUtf7.GetBytes("Hi Mom!")), "Hi Mom+ACE-");
}

TEST(UTF7Encoding, PlusIsWrittenAsPlusMinus) {
  EXPECT_EQ(Text(kUtf7.GetBytes("1 + 1")), "1 +- 1");
  EXPECT_EQ(kUtf7.GetString(Bytes("1 +- 1")), "1 + 1");
}

TEST(UTF7Encoding, AMinusAfterARunIsAbsorbedOnlyOnce) {
  EXPECT_EQ(kUtf7.GetString(Bytes("+AOk--x")), "\xC3\xA9-x");
  EXPECT_EQ(Text(kUtf7.GetBytes("\xC3\xA9-x")), "+AOk--x");
}

TEST(UTF7Encoding, TextRoundTripsIncludingCharactersOutsideTheBmp) {
  const std::string samples[] = {"", "plain text, with: (punctuation)?", "~\\!#$%&*;<=>@[]^_`{|}\"",
                                 "line\r\nbreak\ttab", "\xF0\x9F\x98\x80 grin \xC3\xA9t\xC3\xA9 + more",
                                 "\xE2\x82\xAC" "100"};
  for (const std::string& text : samples) {
    const TBytes bytes = kUtf7.GetBytes(text);
    EXPECT_EQ(kUtf7.GetString(bytes), text) << Text(bytes);
    for (uint8_t b : bytes) {
      EXPECT_LT(b, 0x80);
    }
    EXPECT_LE(static_cast<int>(bytes.size()), kUtf7.GetMaxByteCount(static_cast<int>(Utf16Length(text))));
  }
}

TEST(UTF7Encoding, AlternatingShiftedAndDirectCharactersReachTheMaxByteCount) {
  const std::string text = "\xC3\xA9" "a\xC3\xA9" "a\xC3\xA9";  // éaéaé
  EXPECT_EQ(static_cast<int>(kUtf7.GetBytes(text).size()), kUtf7.GetMaxByteCount(5));
  EXPECT_EQ(kUtf7.GetMaxCharCount(7), 7);
  EXPECT_TRUE(kUtf7.GetPreamble().empty());
}

TEST(UTF7Encoding, BytesFrom128BecomeReplacementCharacters) {
  EXPECT_EQ(kUtf7.GetString(Bytes({'a', 0xE9})), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qtx
