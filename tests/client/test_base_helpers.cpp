#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "client/qtxBase_Helpers.h"
#include "platform/qtxException.h"

namespace qtx {
namespace {

// ---- FreeAndClear / TryFreeAndClear

struct TOwnedProbe;
struct TOwner {
  std::unique_ptr<TOwnedProbe> Probe;
};

// Records whether its owner still pointed at it while it was destroyed, and
// can fail in its destructor as some teardown code does.
struct TOwnedProbe {
  TOwnedProbe(TOwner& aOwner, bool& aStillOwned, bool aFail) : Owner(aOwner), StillOwned(aStillOwned), Fail(aFail) {}
  ~TOwnedProbe() noexcept(false) {
    StillOwned = Owner.Probe != nullptr;
    if (Fail) throw std::runtime_error("destructor failed");
  }
  TOwner& Owner;
  bool& StillOwned;
  bool Fail;
};

TEST(FreeAndClear, ClearsTheReferenceBeforeTheObjectIsDestroyed) {
  TOwner owner;
  bool stillOwned = true;
  owner.Probe = std::make_unique<TOwnedProbe>(owner, stillOwned, false);
  FreeAndClear(owner.Probe);
  EXPECT_EQ(owner.Probe, nullptr);
  EXPECT_FALSE(stillOwned);
}

TEST(FreeAndClear, AnEmptyReferenceIsAllowed) {
  std::unique_ptr<int> none;
  FreeAndClear(none);
  TryFreeAndClear(none);
  EXPECT_EQ(none, nullptr);
}

TEST(FreeAndClear, PropagatesADestructorFailureWithTheReferenceCleared) {
  TOwner owner;
  bool stillOwned = true;
  owner.Probe = std::make_unique<TOwnedProbe>(owner, stillOwned, true);
  EXPECT_THROW(FreeAndClear(owner.Probe), std::runtime_error);
  EXPECT_EQ(owner.Probe, nullptr);
}

TEST(TryFreeAndClear, SwallowsADestructorFailure) {
  TOwner owner;
  bool stillOwned = true;
  owner.Probe = std::make_unique<TOwnedProbe>(owner, stillOwned, true);
  EXPECT_NO_THROW(TryFreeAndClear(owner.Probe));
  EXPECT_EQ(owner.Probe, nullptr);
  EXPECT_FALSE(stillOwned);
}

// ---- ReplaceAll

TEST(ReplaceAll, ReplacesTheDecimalComma) {
  EXPECT_EQ(ReplaceAll("1,5", ",", "."), "1.5");
  EXPECT_EQ(ReplaceAll("15", ",", "."), "15");
  EXPECT_EQ(ReplaceAll("1,5,7,", ",", "."), "1.5.7.");
}

TEST(ReplaceAll, DoesNotScanReplacedTextAgain) {
  EXPECT_EQ(ReplaceAll("aab", "ab", "b"), "ab");
  EXPECT_EQ(ReplaceAll("aa", "a", "aa"), "aaaa");
}

TEST(ReplaceAll, IsCaseSensitiveAndAnEmptyPatternReplacesNothing) {
  EXPECT_EQ(ReplaceAll("ABC", "b", "x"), "ABC");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("abc", "b", ""), "ac");
}

// ---- EncodeFormValue

TEST(EncodeFormValue, KeepsTheUnreservedCharacters) {
  EXPECT_EQ(EncodeFormValue("AZaz09-._~"), "AZaz09-._~");
}

TEST(EncodeFormValue, EncodesEveryOtherCodeUnitInUpperCaseHex) {
  EXPECT_EQ(EncodeFormValue(" "), "%20");
  EXPECT_EQ(EncodeFormValue("a+b=c&d/e"), "a%2Bb%3Dc%26d%2Fe");
  EXPECT_EQ(EncodeFormValue(std::string_view("\x01", 1)), "%01");
  EXPECT_EQ(EncodeFormValue("\xC3\xA9"), "%E9");             // é: one code unit below 0x100
  EXPECT_EQ(EncodeFormValue("\xE2\x82\xAC"), "%20AC");        // €: four digits
  EXPECT_EQ(EncodeFormValue("\xF0\x9F\x98\x80"), "%D83D%DE00");  // two code units
  // A unit above 0xFF whose low byte is an unreserved character is still encoded.
  EXPECT_EQ(EncodeFormValue("\xC4\xAE\xC4\xAD\xC5\x9F\xC5\xBE"), "%12E%12D%15F%17E");  // U+012E U+012D U+015F U+017E
}

// ---- ticks

TEST(GetTicksElapsed, SubtractsAndCrossesTheWrap) {
  EXPECT_EQ(GetTicksElapsed(10, 15), 5u);
  EXPECT_EQ(GetTicksElapsed(7, 7), 0u);
  EXPECT_EQ(GetTicksElapsed(UINT64_MAX - 4, 5), 10u);
}

TEST(GetTicks, CountsMillisecondsOfTheMonotonicClock) {
  using namespace std::chrono;
  const uint64_t ticks = GetTicks();
  const auto steady = static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  EXPECT_LE(ticks > steady ? ticks - steady : steady - ticks, 1000u);
  EXPECT_GE(GetTicks(), ticks);
}

// ---- raw text and repair

TEST(BytesToRawText, GivesOneCharacterPerByte) {
  EXPECT_EQ(BytesToRawText({0xC3, 0xA9}), "\xC3\x83\xC2\xA9");  // U+00C3 U+00A9
  EXPECT_EQ(BytesToRawText({0x00, 0x41}), std::string("\0A", 2));
  EXPECT_EQ(BytesToRawText({}), "");
}

TEST(RepairUTF8Text, UndoesBytesToRawTextOfUtf8) {
  EXPECT_EQ(RepairUTF8Text(BytesToRawText({0xC3, 0xA9})), "\xC3\xA9");
}

TEST(RepairUTF8Text, DecodesUtf8BytesThatWereReadOneCharacterPerByte) {
  EXPECT_EQ(RepairUTF8Text("\xC3\x83\xC2\xA9"), "\xC3\xA9");  // "Ã©" -> "é"
  EXPECT_EQ(RepairUTF8Text("plain"), "plain");
  EXPECT_EQ(RepairUTF8Text(""), "");
}

TEST(RepairUTF8Text, TextThatCannotBeMojibakeComesBackUnchanged) {
  EXPECT_EQ(RepairUTF8Text("\xE2\x82\xAC" "\xC3\xA9"), "\xE2\x82\xAC" "\xC3\xA9");  // "€é"
}

TEST(RepairUTF8Text, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(RepairUTF8Text("\xC3\xA9"), "\xEF\xBF\xBD");  // "é" alone is the lone byte E9
}

// ---- executable folder and OpenSSL folder

TEST(GetExecutableFolder, IsTheAbsoluteFolderOfThisProgramWithATrailingSlash) {
  const std::string folder = GetExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "test_client"));
}

TEST(SetOpenSSLLibFolder, HandsTheFolderToTheLoader) {
  SetOpenSSLLibFolder(GetExecutableFolder());
  EXPECT_EQ(GetOpenSSLLibFolder(), GetExecutableFolder());
  SetOpenSSLLibFolder("");
}

// ---- GUIDs

TEST(NewGuidText, IsThirtyTwoUpperCaseHexDigitsOfARandomGuid) {
  const std::string guid = NewGuidText();
  ASSERT_EQ(guid.size(), 32u);
  EXPECT_EQ(guid.find_first_not_of("0123456789ABCDEF"), std::string::npos) << guid;
  EXPECT_EQ(guid[12], '4') << guid;                                       // version 4
  EXPECT_NE(std::string_view("89AB").find(guid[16]), std::string::npos);  // RFC 4122 variant
}

TEST(NewGuidText, GivesADifferentGuidEachTime) {
  std::set<std::string> guids;
  for (int i = 0; i < 100; ++i) guids.insert(NewGuidText());
  EXPECT_EQ(guids.size(), 100u);
}

// ---- Base64 text

TEST(EncodeBase64Text, EncodesUtf8OrTheAnsiCodePage) {
  EXPECT_EQ(EncodeBase64Text("\xC3\xA9"), "w6k=");
  EXPECT_EQ(EncodeBase64Text("\xC3\xA9", false), "6Q==");
  EXPECT_EQ(EncodeBase64Text("\xE2\x82\xAC", false), "gA==");  // € is 0x80 in Windows-1252
  EXPECT_EQ(EncodeBase64Text("user:pass"), "dXNlcjpwYXNz");
}

TEST(DecodeBase64Text, IsTheInverse) {
  EXPECT_EQ(DecodeBase64Text("w6k="), "\xC3\xA9");
  EXPECT_EQ(DecodeBase64Text("gA==", false), "\xE2\x82\xAC");
  EXPECT_EQ(DecodeBase64Text(EncodeBase64Text("\xF0\x9F\x98\x80 x")), "\xF0\x9F\x98\x80 x");
  EXPECT_EQ(DecodeBase64Text("/w=="), "\xEF\xBF\xBD");  // the lone byte FF is not UTF-8
}

// ---- HexToBytes

TEST(HexToBytes, ReadsPairsInEitherCase) {
  EXPECT_EQ(HexToBytes("00ff7F"), TIdBytes({0x00, 0xFF, 0x7F}));
  EXPECT_EQ(HexToBytes(""), TIdBytes{});
}

TEST(HexToBytes, IgnoresAnOddTrailingCharacter) {
  EXPECT_EQ(HexToBytes("ABC"), TIdBytes({0xAB}));
  EXPECT_EQ(HexToBytes("ABz"), TIdBytes({0xAB}));
}

TEST(HexToBytes, RaisesAConversionErrorForANonHexPair) {
  EXPECT_THROW(HexToBytes("zz"), EConvertError);
  EXPECT_THROW(HexToBytes("0g"), EConvertError);
  EXPECT_THROW(HexToBytes("AB\xC3\xA9" "0"), EConvertError);  // é0
  try {
    HexToBytes("00x1");
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x1' is not a valid hexadecimal byte");
  }
}

}  // namespace
}  // namespace qtx
