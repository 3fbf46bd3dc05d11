// The shared instances and the lookups by type, code page and charset.
#include <set>
#include <thread>
#include <vector>

#include "core/qtxIdCodePages.h"
#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"

namespace qtx {
namespace {

using test::Bytes;

template <typename T>
bool Is(const IIdTextEncoding& aEncoding) {
  return dynamic_cast<const T*>(aEncoding.get()) != nullptr;
}

TEST(EncodingForType, EachTypeGivesItsEncodingOnce) {
  EXPECT_TRUE(Is<TIdMBCSEncoding>(EncodingForType(encOSDefault)));
  EXPECT_TRUE(Is<TId8BitEncoding>(EncodingForType(enc8Bit)));
  EXPECT_TRUE(Is<TIdASCIIEncoding>(EncodingForType(encASCII)));
  EXPECT_TRUE(Is<TIdUTF16BigEndianEncoding>(EncodingForType(encUTF16BE)));
  EXPECT_TRUE(Is<TIdUTF16LittleEndianEncoding>(EncodingForType(encUTF16LE)));
  EXPECT_FALSE(Is<TIdUTF16BigEndianEncoding>(EncodingForType(encUTF16LE)));
  EXPECT_TRUE(Is<TIdUTF7Encoding>(EncodingForType(encUTF7)));
  EXPECT_TRUE(Is<TIdUTF8Encoding>(EncodingForType(encUTF8)));
  for (int type = 1; type <= 7; ++type) {
    const auto t = static_cast<IdTextEncodingType>(type);
    EXPECT_EQ(EncodingForType(t).get(), EncodingForType(t).get()) << type;
  }
}

TEST(EncodingForType, TheOSDefaultIsWindows1252) {
  const auto* ansi = dynamic_cast<const TIdMBCSEncoding*>(EncodingForType(encOSDefault).get());
  ASSERT_NE(ansi, nullptr);
  EXPECT_EQ(ansi->CodePage(), 1252);
  EXPECT_EQ(IdTextEncoding_OSDefault()->GetBytes("\xE2\x82\xAC"), Bytes({0x80}));
}

TEST(EncodingForType, TypeZeroFollowsTheProcessDefaultAndElseIsAscii) {
  ASSERT_EQ(ProcessDefaultEncodingType(), encDefault);
  EXPECT_EQ(EncodingForType(encDefault).get(), EncodingForType(encASCII).get());
  SetProcessDefaultEncodingType(encUTF8);
  EXPECT_EQ(IdTextEncoding_Default().get(), EncodingForType(encUTF8).get());
  SetProcessDefaultEncodingType(encDefault);
  EXPECT_EQ(IdTextEncoding_Default().get(), IdTextEncoding_ASCII().get());
}

TEST(EncodingForType, ConcurrentFirstRequestsShareOneInstance) {
  std::vector<const TIdTextEncodingBase*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = EncodingForType(i % 2 ? encUTF7 : encUTF16BE).get(); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(std::set<const TIdTextEncodingBase*>(seen.begin(), seen.end()).size(), 2u);
}

TEST(EncodingForCodePage, UnicodeAndAsciiCodePagesGiveTheSharedInstances) {
  EXPECT_EQ(EncodingForCodePage(1200).get(), IdTextEncoding_UTF16LE().get());
  EXPECT_EQ(EncodingForCodePage(1201).get(), IdTextEncoding_UTF16BE().get());
  EXPECT_EQ(EncodingForCodePage(20127).get(), IdTextEncoding_ASCII().get());
  EXPECT_EQ(EncodingForCodePage(65000).get(), IdTextEncoding_UTF7().get());
  EXPECT_EQ(EncodingForCodePage(65001).get(), IdTextEncoding_UTF8().get());
  EXPECT_EQ(EncodingForCodePage(65001)->GetPreamble(), Bytes({0xEF, 0xBB, 0xBF}));
}

TEST(EncodingForCodePage, OtherCodePagesGiveANewCodePageEncoding) {
  const IIdTextEncoding cp1251 = EncodingForCodePage(1251);
  ASSERT_TRUE(Is<TIdMBCSEncoding>(cp1251));
  EXPECT_EQ(dynamic_cast<const TIdMBCSEncoding&>(*cp1251).CodePage(), 1251);
  EXPECT_NE(cp1251.get(), EncodingForCodePage(1251).get());
}

TEST(CharsetToEncoding, AnEmptyOrUnknownCharsetConvertsByteForByte) {
  const IIdTextEncoding eightBit = IdTextEncoding_8Bit();
  EXPECT_EQ(CharsetToEncoding("").get(), eightBit.get());
  EXPECT_EQ(CharsetToEncoding("  ").get(), eightBit.get());
  EXPECT_EQ(CharsetToEncoding("x-no-such-charset").get(), eightBit.get());
  EXPECT_EQ(CharsetToEncoding("")->GetString(Bytes({0xE9})), "\xC3\xA9");
}

TEST(CharsetToEncoding, KnownNamesGiveTheirCodePagesWithoutRegardToCase) {
  EXPECT_EQ(CharsetToEncoding("UTF-8").get(), IdTextEncoding_UTF8().get());
  EXPECT_EQ(CharsetToEncoding("utf-16").get(), IdTextEncoding_UTF16LE().get());
  EXPECT_EQ(CharsetToEncoding("UTF-16LE").get(), IdTextEncoding_UTF16LE().get());
  EXPECT_EQ(CharsetToEncoding("utf-16be").get(), IdTextEncoding_UTF16BE().get());
  EXPECT_EQ(CharsetToEncoding("US-ASCII").get(), IdTextEncoding_ASCII().get());
  EXPECT_EQ(CharsetToEncoding("utf-7").get(), IdTextEncoding_UTF7().get());
  EXPECT_EQ(CharsetToEncoding("Shift_JIS")->GetBytes("\xE6\x97\xA5"), Bytes({0x93, 0xFA}));
  EXPECT_EQ(CharsetToEncoding(" windows-1251 ")->GetBytes("\xD0\x96"), Bytes({0xC6}));
  EXPECT_EQ(CharsetToEncoding("ISO-8859-1")->GetBytes("\xE2\x82\xAC"), Bytes({'?'}));
}

TEST(CharsetToEncoding, TheHookAnswersFirstAndTheTableWhenItGivesNothing) {
  SetEncodingNeededHook([](const std::string& aCharset) -> IIdTextEncoding {
    return aCharset == "x-custom" ? IdTextEncoding_UTF8() : nullptr;
  });
  EXPECT_EQ(CharsetToEncoding("x-custom").get(), IdTextEncoding_UTF8().get());
  EXPECT_EQ(CharsetToEncoding("us-ascii").get(), IdTextEncoding_ASCII().get());
  SetEncodingNeededHook(nullptr);
  EXPECT_EQ(CharsetToEncoding("x-custom").get(), IdTextEncoding_8Bit().get());
}

TEST(CharsetToEncoding, TheHookMayLookUpCharsetsItself) {
  SetEncodingNeededHook([](const std::string& aCharset) -> IIdTextEncoding {
    return aCharset == "x-alias-of-utf8" ? CharsetToEncoding("utf-8") : nullptr;
  });
  EXPECT_EQ(CharsetToEncoding("x-alias-of-utf8").get(), IdTextEncoding_UTF8().get());
  SetEncodingNeededHook(nullptr);
}

TEST(CharsetTable, NamesAreSortedLowerCaseAndNameConvertibleCodePages) {
  const auto charsets = KnownCharsets();
  for (size_t i = 0; i < charsets.size(); ++i) {
    const TIdCharsetInfo& info = charsets[i];
    SCOPED_TRACE(std::string(info.Name));
    if (i > 0) {
      EXPECT_LT(charsets[i - 1].Name, info.Name);
    }
    for (char c : info.Name) {
      EXPECT_FALSE(c >= 'A' && c <= 'Z');
    }
    EXPECT_EQ(CharsetToCodePage(info.Name), info.CodePage);
    EXPECT_NO_THROW(EncodingForCodePage(info.CodePage));
  }
}

TEST(CharsetTable, CodePagesAreSortedSoTheyCanBeFound) {
  const auto codePages = KnownCodePages();
  for (size_t i = 1; i < codePages.size(); ++i) {
    EXPECT_LT(codePages[i - 1].CodePage, codePages[i].CodePage);
  }
  for (const TIdCodePageInfo& info : codePages) {
    EXPECT_EQ(FindCodePageInfo(info.CodePage), &info);
  }
  EXPECT_EQ(FindCodePageInfo(12345), nullptr);
}

}  // namespace
}  // namespace qtx
