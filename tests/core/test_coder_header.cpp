// RFC 2047 encoded-words: which words are encoded, how, and how long text is
// split so that every word decodes on its own.
#include <gtest/gtest.h>

#include <string>

#include "core/qtxIdCoderHeader.h"
#include "core/qtxIdCoderMIME.h"

namespace qtx {
namespace {

TEST(CoderHeader, EncodesOnlyTheRunsOfWordsThatNeedIt) {
  struct Case {
    const char* Text;
    const char* Charset;
    char Letter;
    const char* Expected;
  };
  const Case cases[] = {
      {"plain words stay", "UTF-8", 'Q', "plain words stay"},
      {"\xC3\xA9t\xC3\xA9", "UTF-8", 'Q', "=?UTF-8?Q?=C3=A9t=C3=A9?="},
      {"\xC3\xA9t\xC3\xA9", "UTF-8", 'B', "=?UTF-8?B?w6l0w6k=?="},
      {"caf\xC3\xA9", "ISO-8859-1", 'Q', "=?ISO-8859-1?Q?caf=E9?="},
      {"my \xC3\xA9t\xC3\xA9 caf\xC3\xA9 file", "UTF-8", 'Q', "my =?UTF-8?Q?=C3=A9t=C3=A9_caf=C3=A9?= file"},
      // "=?" would be read back as the start of an encoded-word.
      {"a =?x?= b", "UTF-8", 'Q', "a =?UTF-8?Q?=3D=3Fx=3F=3D?= b"},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeHeader(c.Text, c.Charset, c.Letter), c.Expected) << c.Text;
  EXPECT_EQ(EncodeHeaderWords("a \"b\"", "UTF-8", 'Q'), "=?UTF-8?Q?a_=22b=22?=");
}

TEST(CoderHeader, LongTextBecomesWordsOfAtMost75CharactersThatDecodeAlone) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "\xE2\x82\xAC";  // three bytes each: a split inside one would show
  const std::string encoded = EncodeHeaderWords(text, "UTF-8", 'B');
  std::string decoded;
  size_t start = 0;
  int words = 0;
  while (start < encoded.size()) {
    const size_t end = encoded.find("?=", start + 10);
    ASSERT_NE(end, std::string::npos);
    const std::string word = encoded.substr(start, end + 2 - start);
    EXPECT_LE(word.size(), 75u);
    ASSERT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
    const std::string payload = TIdDecoderMIME::DecodeString(word.substr(10, word.size() - 12));
    EXPECT_EQ(payload.size() % 3, 0u) << word;
    decoded += payload;
    ++words;
    start = end + 2;
    if (start < encoded.size()) {
      ASSERT_EQ(encoded.compare(start, 3, "\r\n "), 0);
      start += 3;
    }
  }
  EXPECT_GT(words, 1);
  EXPECT_EQ(decoded, text);
}

}  // namespace
}  // namespace qtx
