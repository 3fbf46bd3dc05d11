#include <gtest/gtest.h>

#include <string>

#include "core/qtxIdCoderQuotedPrintable.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using test::Bytes;


std::string Encode(std::string_view aText) { return TIdEncoderQuotedPrintable::EncodeBytes(Bytes(aText)); }

TEST(QuotedPrintableEncoder, PrintableTextIsCopiedAndEndsWithLineBreak) {
  EXPECT_EQ(Encode("Hello, world!"), "Hello, world!\r\n");
}

TEST(QuotedPrintableEncoder, EqualsSignAndBytesOutsideAsciiAreEscapedInUpperCase) {
  EXPECT_EQ(Encode("a=b\xC3\xA9\x01"), "a=3Db=C3=A9=01\r\n");
}

TEST(QuotedPrintableEncoder, BlankAtTheEndOfALineIsEscapedAndInsideIsKept) {
  EXPECT_EQ(Encode("a b \r\nc\t"), "a b=20\r\nc=09\r\n");
}

TEST(QuotedPrintableEncoder, DotAtTheStartOfALineIsEscaped) {
  EXPECT_EQ(Encode(".a\r\n.b.c"), "=2Ea\r\n=2Eb.c\r\n");
}

TEST(QuotedPrintableEncoder, LoneCarriageReturnAndLineFeedAreEscaped) {
  EXPECT_EQ(Encode("a\nb\rc\r"), "a=0Ab=0Dc=0D\r\n");
}

TEST(QuotedPrintableEncoder, TrailingLineBreakIsKeptAsAnEmptyLastLine) {
  EXPECT_EQ(Encode("a\r\n"), "a\r\n\r\n");
  EXPECT_EQ(Encode(""), "\r\n");
}

TEST(QuotedPrintableEncoder, LongLinesGetSoftBreaksAtSeventyCharacters) {
  const std::string encoded = Encode(std::string(150, 'x'));
  EXPECT_EQ(encoded, std::string(70, 'x') + "=\r\n" + std::string(70, 'x') + "=\r\n" + std::string(10, 'x') + "\r\n");
}

TEST(QuotedPrintableEncoder, EscapesAreNeverSplitBySoftBreaks) {
  const std::string encoded = Encode(std::string(69, 'x') + "\xFF\xFF");
  EXPECT_EQ(encoded, std::string(69, 'x') + "=FF=\r\n=FF\r\n");
}

TEST(QuotedPrintableEncoder, PythonDecodesEveryByteBackUnchanged) {
  TIdBytes data;
  for (int round = 0; round < 40; ++round) {
    for (int b = 0; b < 256; ++b) data.push_back(static_cast<uint8_t>((b * (round + 7)) & 0xFF));
    for (char c : std::string(" . trailing \r\n\r\n.\r\nline  \t\r\n")) data.push_back(static_cast<uint8_t>(c));
  }
  const std::string encoded = TIdEncoderQuotedPrintable::EncodeBytes(data);
  size_t lineStart = 0;
  for (size_t pos = encoded.find("\r\n"); pos != std::string::npos; pos = encoded.find("\r\n", lineStart)) {
    EXPECT_LE(pos - lineStart, 76u);
    lineStart = pos + 2;
  }
  test::TTempFolder folder;
  test::WriteFileBytes(folder.File("in.qp"), Bytes(encoded));
  TIdBytes expected = data;
  expected.push_back('\r');
  expected.push_back('\n');
  EXPECT_EQ(test::RunShell("python3 -c 'import sys, binascii; "
                           "sys.stdout.buffer.write(binascii.a2b_qp(open(\"in.qp\", \"rb\").read()))'",
                           folder.Path()),
            expected);
}

}  // namespace
}  // namespace qtx
