// Code-page encodings through iconv, against known bytes of real code pages.
#include <thread>
#include <vector>

#include "core/qtxIdCodePages.h"
#include "core/qtxIdException.h"
#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"

namespace qtx {
namespace {

using test::Bytes;
using test::MessageOf;

TEST(MBCSEncoding, Windows1252KnownBytes) {
  const TIdMBCSEncoding cp1252(1252);
  EXPECT_EQ(cp1252.GetBytes("\xE2\x82\xAC \xC3\xA9"), Bytes({0x80, 0x20, 0xE9}));  // € é
  EXPECT_EQ(cp1252.GetString(Bytes({0x80, 0x93, 0x94})), "\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D");
  EXPECT_TRUE(cp1252.GetIsSingleByte());
  EXPECT_EQ(cp1252.MaxCharSize(), 1);
  EXPECT_EQ(cp1252.GetMaxByteCount(4), 5);
  EXPECT_EQ(cp1252.GetMaxCharCount(4), 4);
}

TEST(MBCSEncoding, ACharacterTheCodePageLacksBecomesItsDefaultCharacter) {
  const TIdMBCSEncoding cp1252(1252);
  EXPECT_EQ(cp1252.GetBytes("a\xD0\x96" "b"), Bytes({'a', '?', 'b'}));           // Ж
  EXPECT_EQ(cp1252.GetBytes("\xF0\x9F\x98\x80"), Bytes({'?'}));                  // one character, one "?"
  EXPECT_EQ(cp1252.GetBytes(std::u16string_view(u"x\xD800" "y")), Bytes({'x', '?', 'y'}));
  const TIdMBCSEncoding ebcdic(37);
  EXPECT_EQ(ebcdic.GetBytes("A\xD0\x96"), Bytes({0xC1, 0x6F}));  // EBCDIC's own "?"
}

TEST(MBCSEncoding, TheFiveUndefinedBytesOf1252MapToControlCharacters) {
  const TIdMBCSEncoding cp1252(1252);
  const TBytes gaps = Bytes({0x81, 0x8D, 0x8F, 0x90, 0x9D});
  EXPECT_EQ(cp1252.GetChars(gaps), u"\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(cp1252.GetBytes(cp1252.GetString(gaps)), gaps);
}

TEST(MBCSEncoding, Windows1251KnownBytes) {
  const TIdMBCSEncoding cp1251(1251);
  const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
  EXPECT_EQ(cp1251.GetBytes(privet), Bytes({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}));
  EXPECT_EQ(cp1251.GetString(Bytes({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2})), privet);
}

TEST(MBCSEncoding, ShiftJisKnownBytes) {
  const TIdMBCSEncoding sjis(932);
  EXPECT_EQ(sjis.GetBytes("\xE6\x97\xA5\xE6\x9C\xAC"), Bytes({0x93, 0xFA, 0x96, 0x7B}));  // 日本
  EXPECT_EQ(sjis.GetBytes("\xEF\xBD\xB1"), Bytes({0xB1}));                                // half-width ｱ
  EXPECT_EQ(sjis.GetString(Bytes({'A', 0x93, 0xFA, 0xB1})), "A\xE6\x97\xA5\xEF\xBD\xB1");
  EXPECT_EQ(sjis.GetCharCount(Bytes({0x93, 0xFA, 0x96, 0x7B})), 2);
  EXPECT_FALSE(sjis.GetIsSingleByte());
  EXPECT_EQ(sjis.MaxCharSize(), 2);
  EXPECT_EQ(sjis.GetMaxByteCount(2), 6);
}

TEST(MBCSEncoding, ALeadByteCutShortBecomesAReplacementCharacter) {
  const TIdMBCSEncoding sjis(932);
  EXPECT_EQ(sjis.GetString(Bytes({'A', 0x93})), "A\xEF\xBF\xBD");
  EXPECT_EQ(sjis.GetChars(Bytes({0x93, 0xFA, 0x93})), u"\u65E5\uFFFD");
}

TEST(MBCSEncoding, ABadSequenceTheConverterConsumesAtTheEndIsReplacedNotOverrun) {
  const TIdMBCSEncoding uhc(949);  // glibc's CP949 swallows "A2 E8" before it reports it
  EXPECT_EQ(uhc.GetChars(Bytes({0xFE, 0xA2, 0xE8})), u"\uFFFD\uFFFD");
}

TEST(MBCSEncoding, GbkKnownBytes) {
  const TIdMBCSEncoding gbk(936);
  EXPECT_EQ(gbk.GetBytes("\xE4\xB8\xAD\xE6\x96\x87"), Bytes({0xD6, 0xD0, 0xCE, 0xC4}));  // 中文
  EXPECT_EQ(gbk.GetBytes("\xE2\x82\xAC"), Bytes({0x80}));                                // €
  EXPECT_EQ(gbk.GetString(Bytes({0xD6, 0xD0, 0xCE, 0xC4})), "\xE4\xB8\xAD\xE6\x96\x87");
}

TEST(MBCSEncoding, AStatefulCodePageReturnsToAsciiBeforeADefaultCharacter) {
  const TIdMBCSEncoding iso2022jp(50220);
  // 日, then U+1F600, which the code page lacks: ESC $ B 46 7C, ESC ( B, "?".
  EXPECT_EQ(iso2022jp.GetBytes("\xE6\x97\xA5\xF0\x9F\x98\x80"),
            Bytes({0x1B, 0x24, 0x42, 0x46, 0x7C, 0x1B, 0x28, 0x42, '?'}));
  EXPECT_EQ(iso2022jp.GetString(Bytes({0x1B, 0x24, 0x42, 0x46, 0x7C, 0x1B, 0x28, 0x42, 'x'})), "\xE6\x97\xA5x");
}

TEST(MBCSEncoding, AnUnknownCodePageIsAnInvalidCodePage) {
  EXPECT_THROW(TIdMBCSEncoding(12345), EIdException);
  EXPECT_EQ(MessageOf([] { TIdMBCSEncoding(12345); }), "Invalid codepage (12345)");
  EXPECT_EQ(MessageOf([] { EncodingForCodePage(42); }), "Invalid codepage (42)");
}

TEST(MBCSEncoding, CodePageZeroIsWindows1252) {
  const TIdMBCSEncoding ansi(0);
  EXPECT_EQ(ansi.CodePage(), 1252);
  EXPECT_EQ(ansi.GetBytes("\xE2\x82\xAC"), Bytes({0x80}));
}

TEST(MBCSEncoding, ErrorFlagsMakeInvalidInputYieldNothing) {
  const TIdMBCSEncoding strictBytes(932, MB_ERR_INVALID_CHARS);
  EXPECT_EQ(strictBytes.GetString(Bytes({'A', 0x93})), "");
  EXPECT_EQ(strictBytes.GetString(Bytes({'A', 0x93, 0xFA})), "A\xE6\x97\xA5");
  const TIdMBCSEncoding strictChars(1252, 0, WC_ERR_INVALID_CHARS);
  EXPECT_TRUE(strictChars.GetBytes("a\xD0\x96").empty());
  EXPECT_EQ(strictChars.GetBytes("ab"), Bytes({'a', 'b'}));
}

TEST(MBCSEncoding, PreamblesFollowTheCodePage) {
  EXPECT_EQ(TIdMBCSEncoding(1200).GetPreamble(), Bytes({0xFF, 0xFE}));
  EXPECT_EQ(TIdMBCSEncoding(1201).GetPreamble(), Bytes({0xFE, 0xFF}));
  EXPECT_EQ(TIdMBCSEncoding(12000).GetPreamble(), Bytes({0xFF, 0xFE, 0x00, 0x00}));
  EXPECT_EQ(TIdMBCSEncoding(12001).GetPreamble(), Bytes({0x00, 0x00, 0xFE, 0xFF}));
  EXPECT_EQ(TIdMBCSEncoding(65001).GetPreamble(), Bytes({0xEF, 0xBB, 0xBF}));
  EXPECT_TRUE(TIdMBCSEncoding(1252).GetPreamble().empty());
  EXPECT_TRUE(TIdMBCSEncoding(65000).GetPreamble().empty());
}

TEST(MBCSEncoding, Utf32CodePagesWriteNoByteOrderMark) {
  EXPECT_EQ(TIdMBCSEncoding(12000).GetBytes("A"), Bytes({'A', 0, 0, 0}));
  EXPECT_EQ(TIdMBCSEncoding(12001).GetString(Bytes({0, 0, 0, 'A'})), "A");
}

TEST(MBCSEncoding, EveryCodePageOfTheTableConverts) {
  for (const TIdCodePageInfo& info : KnownCodePages()) {
    SCOPED_TRACE(info.CodePage);
    const TIdMBCSEncoding encoding(info.CodePage);
    EXPECT_EQ(encoding.CodePage(), info.CodePage);
    EXPECT_EQ(encoding.GetString(encoding.GetBytes("AZ09")), "AZ09");  // in every code page, EBCDIC katakana too
    EXPECT_LE(static_cast<int>(encoding.GetBytes("AZ09").size()), encoding.GetMaxByteCount(4));
  }
}

TEST(MBCSEncoding, ConcurrentConversionsWithOneSharedObjectStayCorrect) {
  const IIdTextEncoding sjis = EncodingForCodePage(932);
  const std::string text = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E text \xEF\xBD\xB1";
  const TBytes expected = sjis->GetBytes(text);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if (sjis->GetBytes(text) != expected || sjis->GetString(expected) != text) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace qtx
