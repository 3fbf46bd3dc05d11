#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "platform/qtxComponent.h"
#include "platform/qtxDateTime.h"
#include "platform/qtxException.h"
#include "platform/qtxScopeExit.h"
#include "platform/qtxStreams.h"
#include "platform/qtxStrings.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"
#include "support/qtxTestLocale.h"

namespace qtx {
namespace {

TEST(Exception, MessageCanBeAmendedInPlace) {
  try {
    try {
      throw EConvertError("bad value");
    } catch (Exception& e) {
      e.SetMessage(e.Message() + ". body");
      throw;
    }
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "bad value. body");
  }
}

class Watcher : public TComponent {
public:
  TComponent* Watched = nullptr;

protected:
  void Notification(TComponent* aComponent, TOperation aOperation) override {
    if (aOperation == TOperation::opRemove && aComponent == Watched) Watched = nullptr;
  }
};

TEST(Component, FreeNotificationClearsTheWatchersReference) {
  Watcher watcher;
  {
    TComponent watched;
    watcher.Watched = &watched;
    watched.FreeNotification(&watcher);
  }
  EXPECT_EQ(watcher.Watched, nullptr);
}

TEST(Component, WatcherFreedFirstIsForgotten) {
  auto watched = std::make_unique<TComponent>();
  {
    Watcher watcher;
    watched->FreeNotification(&watcher);
  }
  watched.reset();  // must not touch the freed watcher (ASan would tell)
  SUCCEED();
}

TEST(Component, StateBits) {
  TComponent c;
  EXPECT_FALSE(c.HasState(csLoading));
  c.IncludeState(csDesigning);
  EXPECT_TRUE(c.HasState(csDesigning));
  c.ExcludeState(csDesigning);
  EXPECT_FALSE(c.HasState(csDesigning));
}

TEST(ScopeExit, RunsOnEveryWayOutAndKeepsTheFirstFailure) {
  int runs = 0;
  { const TScopeExit count([&] { ++runs; }); }
  EXPECT_THROW(
      {
        const TScopeExit count([&] { ++runs; });
        throw EConvertError("first");
      },
      EConvertError);
  EXPECT_EQ(runs, 2);
  // A failing cleanup propagates on a normal way out, and is dropped while
  // another failure is on its way.
  EXPECT_THROW({ const TScopeExit fail([] { throw EListError("cleanup"); }); }, EListError);
  EXPECT_THROW(
      {
        const TScopeExit fail([] { throw EListError("cleanup"); });
        throw EConvertError("first");
      },
      EConvertError);

  bool flag = false;
  EXPECT_THROW(
      {
        const TRestoreOnExit restore(flag);
        flag = true;
        throw EConvertError("first");
      },
      EConvertError);
  EXPECT_FALSE(flag);
}

TEST(SysUtils, FloatToStrGeneralFormat) {
  EXPECT_EQ(FloatToStr(0.7), "0.7");
  EXPECT_EQ(FloatToStr(1.0), "1");
  EXPECT_EQ(FloatToStr(0.01), "0.01");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1234567890123456.0), "1.23456789012346E15");
  EXPECT_EQ(FloatToStr(0.00001), "0.00001");
  EXPECT_EQ(FloatToStr(0.000001), "1E-6");
  EXPECT_EQ(FloatToStr(-0.0123), "-0.0123");
}

TEST(SysUtils, FloatToStrWritesAPointWhateverTheLocale) {
  test::TCommaDecimalLocale locale;
  ASSERT_TRUE(locale.Active());
  EXPECT_EQ(FloatToStr(2.5), "2.5");
  EXPECT_EQ(FloatToStr(-1234.125), "-1234.125");
  EXPECT_EQ(FloatToStr(0.7), "0.7");
  EXPECT_EQ(FloatToStr(1.5E20), "1.5E20");
}

TEST(SysUtils, IntegersAreStrict) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("-7"), -7);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_THROW(StrToInt("4x"), EConvertError);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_THROW(StrToInt("99999999999"), EConvertError);
  EXPECT_EQ(StrToIntDef("x", -1), -1);
  EXPECT_EQ(IntToHex(255, 4), "00FF");
}

TEST(SysUtils, FormatMessages) {
  EXPECT_EQ(Format("Socket Error # %d\r\n%s", {10061, "Connection refused."}),
            "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(Format("%s (%d/%d) 100%%", {"x", 5, -3}), "x (5/-3) 100%");
}

TEST(SysUtils, CaseInsensitiveHelpers) {
  EXPECT_TRUE(SameText("Content-Type", "content-TYPE"));
  EXPECT_FALSE(SameText("a", "ab"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_EQ(PosText("TYPE", "content-type"), 8u);
  EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
}

TEST(SysUtils, ChangeFileExtReplacesFromTheLastDotOfTheName) {
  EXPECT_EQ(ChangeFileExt("/opt/qtx/qtx_chat.exe", ".ini"), "/opt/qtx/qtx_chat.ini");
  EXPECT_EQ(ChangeFileExt("/opt/qtx/qtx_chat", ".ini"), "/opt/qtx/qtx_chat.ini");
  EXPECT_EQ(ChangeFileExt("/opt/qtx.d/qtx_chat", ".ini"), "/opt/qtx.d/qtx_chat.ini");
  EXPECT_EQ(ChangeFileExt("a.tar.gz", ".ini"), "a.tar.ini");
  EXPECT_EQ(ChangeFileExt("/home/u/.profile", ".ini"), "/home/u/.ini");
  EXPECT_EQ(ChangeFileExt("name.", ".ini"), "name.ini");
  EXPECT_EQ(ChangeFileExt("name.txt", ""), "name");
}

TEST(SysUtils, ExecutableFileNameIsThisProgram) {
  const std::filesystem::path executable = ExecutableFileName();
  EXPECT_TRUE(executable.is_absolute());
  EXPECT_EQ(executable.filename(), "test_platform");
}

TEST(Unicode, Utf16RoundTripAndCounting) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
  const std::u16string units = Utf8ToUtf16(text);
  EXPECT_EQ(units.size(), 5u);
  EXPECT_EQ(units[3], 0xD83D);
  EXPECT_EQ(Utf16ToUtf8(units), text);
  EXPECT_EQ(Utf16Length(text), 5u);
}

TEST(Unicode, MalformedInputBecomesReplacementCharacters) {
  EXPECT_FALSE(IsValidUtf8("\xC3"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // an encoded surrogate
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD"));
  EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Unicode, SameTextIgnoresCaseInEveryScriptWhateverTheLocale) {
  EXPECT_TRUE(UnicodeSameText("OpenAI", "openai"));
  EXPECT_TRUE(UnicodeSameText("\xC3\x84PFEL \xCE\x9A\xCE\x91\xCE\x9B\xCE\x97", "\xC3\xA4pfel \xCE\xBA\xCE\xB1\xCE\xBB\xCE\xB7"));  // ÄPFEL ΚΑΛΗ
  EXPECT_FALSE(UnicodeSameText("\xC3\xA4", "a"));
  EXPECT_FALSE(UnicodeSameText("key", "key2"));
}

TEST(Unicode, RawTextMapsBytesToCodePoints) {
  const TBytes bytes{0xC3, 0xA9};
  const std::string raw = RawToText(bytes);
  EXPECT_EQ(raw, "\xC3\x83\xC2\xA9");
  TBytes back;
  ASSERT_TRUE(TextToRaw(raw, back));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(TextToRaw("\xE2\x82\xAC", back));
}

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream stream;
  stream.WriteBuffer("hello", 5);
  EXPECT_EQ(stream.Size(), 5);
  stream.SetPosition(1);
  char buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, 8), 4);
  EXPECT_STREQ(buffer, "ello");
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
}

TEST(Streams, FileStreamExclusiveOpenIsRefusedToOthers) {
  const std::string path = std::filesystem::temp_directory_path() / ("qtx_fs_" + std::to_string(getpid()));
  {
    TFileStream out(path, fmCreate);
    out.WriteBuffer("data", 4);
  }
  {
    TFileStream exclusive(path, fmOpenRead | fmShareExclusive);
    EXPECT_THROW(TFileStream(path, fmOpenRead | fmShareDenyWrite), EFOpenError);
    EXPECT_EQ(exclusive.Size(), 4);
  }
  TMemoryStream copy;
  copy.LoadFromFile(path);
  EXPECT_EQ(copy.Size(), 4);
  std::filesystem::remove(path);
  EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
}

TEST(Strings, TextSplitsAtEveryLineEndAndJoinsWithCrLf) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
}

TEST(Strings, NameValueAccess) {
  TStringList list;
  list.Add("Host=example.com");
  list.Add("Accept=*/*");
  EXPECT_EQ(list.Values("host"), "example.com");
  list.SetValues("Accept", "text/html");
  EXPECT_EQ(list[1], "Accept=text/html");
  list.SetValues("Accept", "");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Get(5), EListError);
}

TEST(Strings, DelimitedTextQuotesAndStrictMode) {
  TStringList list;
  list.SetDelimitedText("a, \"b c\",\"d\"\"e\"");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[1], "b c");
  EXPECT_EQ(list[2], "d\"e");
  EXPECT_EQ(list.DelimitedText(), "a,\"b c\",\"d\"\"e\"");

  TStringList strict;
  strict.SetStrictDelimiter(true);
  strict.SetDelimitedText("one two,three");
  ASSERT_EQ(strict.Count(), 2);
  EXPECT_EQ(strict[0], "one two");
}

TEST(Strings, SortedListKeepsOrderAndRejectsDuplicatesWhenAsked) {
  TStringList list;
  list.SetSorted(true);
  list.Add("b");
  list.Add("a");
  list.Add("B");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "a");
  list.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(list.Add("A"), EListError);
}

TEST(DateTime, EncodeDecodeAndUnix) {
  const TDateTime d = EncodeDateTime(2024, 2, 29, 13, 45, 10, 250);
  int y, m, day, h, mi, s, ms;
  DecodeDate(d, y, m, day);
  DecodeTime(d, h, mi, s, ms);
  EXPECT_EQ(std::make_tuple(y, m, day, h, mi, s, ms), std::make_tuple(2024, 2, 29, 13, 45, 10, 250));
  EXPECT_DOUBLE_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(DateTimeToUnix(EncodeDate(1994, 11, 6) + EncodeTime(8, 49, 37, 0)), 784111777);
  EXPECT_EQ(DayOfWeek(EncodeDate(1994, 11, 6)), 1);  // a Sunday
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
}

TEST(DateTime, LocalAndUtcFollowTheTimeZoneRules) {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const TDateTime summerUtc = EncodeDateTime(2023, 7, 1, 12, 0, 0, 0);
  EXPECT_NEAR(UTCToLocalTime(summerUtc) - summerUtc, 2.0 / 24, 1e-9);
  const TDateTime winterLocal = EncodeDateTime(2023, 1, 1, 12, 0, 0, 0);
  EXPECT_NEAR(winterLocal - LocalTimeToUTC(winterLocal), 1.0 / 24, 1e-9);
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace qtx
