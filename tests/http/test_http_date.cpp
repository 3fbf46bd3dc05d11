#include <gtest/gtest.h>

#include "support/qtxTestHelpers.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "http/qtxIdHTTPDate.h"
#include "platform/qtxDateTime.h"

namespace qtx {
namespace {

using test::ScopedTimeZone;

// Runs a test under a fixed time zone (POSIX rule text, no tzdata needed).

TDateTime Utc(int y, int mo, int d, int h, int mi, int s) { return EncodeDateTime(y, mo, d, h, mi, s, 0); }

TEST(HttpDateWrite, UtcDateIsImfFixdate) {
  EXPECT_EQ(DateTimeGMTToHttpStr(Utc(1994, 11, 6, 8, 49, 37)), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(DateTimeGMTToHttpStr(Utc(2024, 2, 29, 23, 5, 9)), "Thu, 29 Feb 2024 23:05:09 GMT");
}

TEST(HttpDateWrite, LocalTimeIsConvertedToUtc) {
  ScopedTimeZone zone("XXX-2");  // two hours east of UTC
  EXPECT_EQ(LocalDateTimeToHttpStr(Utc(2024, 1, 1, 1, 0, 0)), "Sun, 31 Dec 2023 23:00:00 GMT");
}

TEST(HttpDateRead, ImfFixdate) {
  TDateTime value = 0;
  ASSERT_TRUE(TryHttpDateToDateTimeGMT("Sun, 06 Nov 1994 08:49:37 GMT", value));
  EXPECT_EQ(DateTimeToMSecs(value), DateTimeToMSecs(Utc(1994, 11, 6, 8, 49, 37)));
}

TEST(HttpDateRead, Rfc850WithTwoDigitYear) {
  TDateTime value = 0;
  ASSERT_TRUE(TryHttpDateToDateTimeGMT("Sunday, 06-Nov-94 08:49:37 GMT", value));
  EXPECT_EQ(DateTimeToMSecs(value), DateTimeToMSecs(Utc(1994, 11, 6, 8, 49, 37)));
  ASSERT_TRUE(TryHttpDateToDateTimeGMT("Thursday, 01-Jan-15 00:00:00 GMT", value));
  EXPECT_EQ(DateTimeToMSecs(value), DateTimeToMSecs(Utc(2015, 1, 1, 0, 0, 0)));
}

TEST(HttpDateRead, Asctime) {
  TDateTime value = 0;
  ASSERT_TRUE(TryHttpDateToDateTimeGMT("Sun Nov  6 08:49:37 1994", value));
  EXPECT_EQ(DateTimeToMSecs(value), DateTimeToMSecs(Utc(1994, 11, 6, 8, 49, 37)));
}

TEST(HttpDateRead, NumericZoneIsApplied) {
  TDateTime value = 0;
  ASSERT_TRUE(TryHttpDateToDateTimeGMT("Sun, 06 Nov 1994 10:49:37 +0200", value));
  EXPECT_EQ(DateTimeToMSecs(value), DateTimeToMSecs(Utc(1994, 11, 6, 8, 49, 37)));
}

TEST(HttpDateRead, RejectsTextThatIsNoDate) {
  TDateTime value = 0;
  EXPECT_FALSE(TryHttpDateToDateTimeGMT("", value));
  EXPECT_FALSE(TryHttpDateToDateTimeGMT("soon", value));
  EXPECT_FALSE(TryHttpDateToDateTimeGMT("Sun, 31 Feb 1994 08:49:37 GMT", value));
  EXPECT_FALSE(TryHttpDateToDateTimeGMT("Sun, 06 Nov 1994 25:49:37 GMT", value));
  EXPECT_FALSE(TryHttpDateToDateTimeGMT("Sun, 06 Nov 1994 08:49:37 GMT trailing", value));
}

TEST(HttpDateRead, WrittenFormReadsBack) {
  const TDateTime original = Utc(2031, 7, 15, 12, 0, 1);
  TDateTime value = 0;
  ASSERT_TRUE(TryHttpDateToDateTimeGMT(DateTimeGMTToHttpStr(original), value));
  EXPECT_EQ(DateTimeToMSecs(value), DateTimeToMSecs(original));
}

TEST(HttpDateRead, LocalConversionUsesTimeZone) {
  ScopedTimeZone zone("XXX-2");
  EXPECT_EQ(DateTimeToMSecs(GMTToLocalDateTime("Sun, 06 Nov 1994 08:49:37 GMT")),
            DateTimeToMSecs(Utc(1994, 11, 6, 10, 49, 37)));
  EXPECT_EQ(GMTToLocalDateTime("not a date"), 0);
}

}  // namespace
}  // namespace qtx
