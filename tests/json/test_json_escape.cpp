// JSON string escapes, and the strict check of embedded JSON objects.

#include <gtest/gtest.h>

#include <string>

#include "json/qtxJSONEscape.h"
#include "json/qtxJSONStrict.h"

namespace qtx {
namespace {

TEST(EscapeString, ControlCharactersUseTheShortFormWhereThereIsOne) {
  EXPECT_EQ(EscapeString("\b\t\n\f\r"), R"(\b\t\n\f\r)");
  EXPECT_EQ(EscapeString(std::string("\x00\x07\x0B\x0E\x1F", 5)), R"(\u0000\u0007\u000B\u000E\u001F)");
}

TEST(EscapeString, QuoteSlashAndBackslashGetABackslash) {
  EXPECT_EQ(EscapeString(R"(a"b/c\d)"), R"(a\"b\/c\\d)");
}

TEST(EscapeString, EveryCharacterFromU0080IsWrittenAsUtf16UnitsInUpperCaseHex) {
  EXPECT_EQ(EscapeString("caf\xC3\xA9 \xE2\x82\xAC"), R"(caf\u00E9 \u20AC)");
  EXPECT_EQ(EscapeString("\xF0\x9F\x98\x80"), R"(\uD83D\uDE00)");
  EXPECT_EQ(EscapeString("\x7F"), "\x7F");
}

TEST(EscapeString, PlainAsciiIsCopied) { EXPECT_EQ(EscapeString("Hello, {world} [1]!"), "Hello, {world} [1]!"); }

TEST(UnescapeString, DecodesEveryShortEscape) {
  EXPECT_EQ(UnescapeString(R"(\"\\\/\b\f\n\r\t)"), "\"\\/\b\f\n\r\t");
}

TEST(UnescapeString, DecodesUnicodeEscapesInEitherCaseToUtf8) {
  EXPECT_EQ(UnescapeString(R"(caf\u00e9 \u20AC)"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(UnescapeString(R"(\u0041)"), "A");
}

TEST(UnescapeString, JoinsASurrogatePairIntoOneCodePoint) {
  EXPECT_EQ(UnescapeString(R"(\ud83d\ude00!)"), "\xF0\x9F\x98\x80!");
}

TEST(UnescapeString, InvalidEscapesStayAsWritten) {
  EXPECT_EQ(UnescapeString(R"(\x)"), R"(\x)");
  EXPECT_EQ(UnescapeString(R"(\u12)"), R"(\u12)");
  EXPECT_EQ(UnescapeString(R"(\u12G4)"), R"(\u12G4)");
  EXPECT_EQ(UnescapeString(R"(a\)"), R"(a\)");
}

TEST(UnescapeString, GivesValidUtf8ForLoneSurrogatesAndInvalidBytes) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(UnescapeString(R"(\uD83D)"), replacement);
  EXPECT_EQ(UnescapeString(R"(\uD83Dx)"), replacement + "x");
  EXPECT_EQ(UnescapeString(R"(\uDE00\uD83D)"), replacement + replacement);
  EXPECT_EQ(UnescapeString(R"(\uD83D\u0041)"), replacement + "A");
  EXPECT_EQ(UnescapeString("a\xFF\\n\xC3"), "a" + replacement + "\n" + replacement);
  EXPECT_EQ(UnescapeString("\xC3\\u00A9"), replacement + "\xC2\xA9");
  EXPECT_EQ(UnescapeString(R"(a\u0000b)"), std::string("a\0b", 3));
}

TEST(UnescapeString, UndoesEscapeStringForAnyText) {
  const std::string texts[] = {"", "plain", "quote \" backslash \\ slash /", "line\nbreak\r\ttab",
                               std::string("nul\0byte", 8), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                               "/tmp/my file \xC3\xA9.wav", "\\u0041 is not decoded twice"};
  for (const std::string& text : texts) EXPECT_EQ(UnescapeString(EscapeString(text)), text) << text;
}

TEST(IsJSONObjectText, AcceptsWellFormedObjectsWithSurroundingWhitespace) {
  EXPECT_TRUE(IsJSONObjectText(R"({"50256":-100})"));
  EXPECT_TRUE(IsJSONObjectText(" {\n\"a\" : [1, 2.5e-3, true, false, null, {\"b\": \"\\u00e9\\n\"}] }\t"));
  EXPECT_TRUE(IsJSONObjectText("{}"));
}

TEST(IsJSONObjectText, RejectsAnythingElse) {
  const char* const rejected[] = {"",           "[1]",           "\"text\"",        "{",
                                  "{\"a\":1,}", "{\"a\":1 \"b\":2}", "{'a':1}",        "{\"a\":TRUE}",
                                  "{\"a\":01}", "{\"a\":.5}",     "{\"a\":1} x",     "{\"a\":\"\\x\"}",
                                  "{\"a\":\"\\u12\"}", "{\"a\":\"tab\there\"}", "{a:1}", "{\"a\":1}{}"};
  for (const char* text : rejected) EXPECT_FALSE(IsJSONObjectText(text)) << text;
}

TEST(IsJSONObjectText, RejectsNestingDeeperThanItsLimitWithoutCrashing) {
  const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
  EXPECT_FALSE(IsJSONObjectText(deep));
}

}  // namespace
}  // namespace qtx
