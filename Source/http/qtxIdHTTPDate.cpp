#include "http/qtxIdHTTPDate.h"

#include <array>
#include <cctype>

#include "platform/qtxDateTime.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 7> kLongDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};

std::string TwoDigits(int aValue) {
  std::string text = IntToStr(aValue);
  return text.size() < 2 ? "0" + text : text;
}

// A cursor over the date text; every reader skips nothing but what it reads.
class TDateScanner {
public:
  explicit TDateScanner(std::string_view aText) : FText(aText) {}

  bool AtEnd() const noexcept { return FPos >= FText.size(); }
  void SkipBlanks() noexcept {
    while (!AtEnd() && (FText[FPos] == ' ' || FText[FPos] == '\t')) ++FPos;
  }
  bool Skip(char c) noexcept {
    if (AtEnd() || FText[FPos] != c) return false;
    ++FPos;
    return true;
  }
  std::string_view Word() noexcept {
    const size_t start = FPos;
    while (!AtEnd() && std::isalpha(static_cast<unsigned char>(FText[FPos]))) ++FPos;
    return FText.substr(start, FPos - start);
  }
  // 1 to aMaxDigits decimal digits; aDigits receives how many were read.
  bool Number(int aMaxDigits, int& aValue, int& aDigits) noexcept {
    aValue = 0;
    aDigits = 0;
    while (!AtEnd() && aDigits < aMaxDigits && std::isdigit(static_cast<unsigned char>(FText[FPos]))) {
      aValue = aValue * 10 + (FText[FPos++] - '0');
      ++aDigits;
    }
    return aDigits > 0 && (AtEnd() || !std::isdigit(static_cast<unsigned char>(FText[FPos])));
  }
  bool Number(int aMaxDigits, int& aValue) noexcept {
    int digits = 0;
    return Number(aMaxDigits, aValue, digits);
  }
  std::string_view Rest() const noexcept { return FText.substr(FPos); }

private:
  std::string_view FText;
  size_t FPos = 0;
};

int MonthFromName(std::string_view aName) noexcept {
  for (size_t i = 0; i < kMonths.size(); ++i)
    if (SameText(aName, kMonths[i])) return static_cast<int>(i) + 1;
  return 0;
}

bool IsDayName(std::string_view aName) noexcept {
  for (size_t i = 0; i < kDays.size(); ++i)
    if (SameText(aName, kDays[i]) || SameText(aName, kLongDays[i])) return true;
  return false;
}

// A two-digit year is the nearest year with those digits that is not more
// than 50 years in the future.
int ExpandTwoDigitYear(int aYear) {
  int thisYear, month, day;
  DecodeDate(NowUTC(), thisYear, month, day);
  int year = thisYear - thisYear % 100 + aYear;
  if (year > thisYear + 50) year -= 100;
  return year;
}

bool ReadTime(TDateScanner& aScan, int& aHour, int& aMinute, int& aSecond) {
  aSecond = 0;
  if (!aScan.Number(2, aHour) || !aScan.Skip(':') || !aScan.Number(2, aMinute)) return false;
  if (aScan.Skip(':') && !aScan.Number(2, aSecond)) return false;
  return true;
}

// The zone after the time, as minutes to subtract to reach UTC.
bool ReadZone(TDateScanner& aScan, int& aOffsetMinutes) {
  aOffsetMinutes = 0;
  aScan.SkipBlanks();
  if (aScan.AtEnd()) return true;
  const bool plus = aScan.Skip('+');
  if (plus || aScan.Skip('-')) {
    int value = 0, digits = 0;
    if (!aScan.Number(4, value, digits) || digits != 4) return false;
    aOffsetMinutes = (value / 100 * 60 + value % 100) * (plus ? 1 : -1);
  } else {
    const std::string_view zone = aScan.Word();
    if (!SameText(zone, "GMT") && !SameText(zone, "UT") && !SameText(zone, "UTC") && !SameText(zone, "Z"))
      return false;
  }
  aScan.SkipBlanks();
  return aScan.AtEnd();
}
}  // namespace

std::string_view HttpMonthName(int aMonth) { return kMonths.at(static_cast<size_t>(aMonth - 1)); }

std::string_view HttpDayName(int aDayOfWeek) { return kDays.at(static_cast<size_t>(aDayOfWeek - 1)); }

std::string DateTimeGMTToHttpStr(TDateTime aUTC) {
  int year, month, day, hour, minute, second, msec;
  DecodeDate(aUTC, year, month, day);
  DecodeTime(aUTC, hour, minute, second, msec);
  std::string yearText = IntToStr(year);
  if (yearText.size() < 4) yearText.insert(0, 4 - yearText.size(), '0');
  std::string result(HttpDayName(DayOfWeek(aUTC)));
  result += ", " + TwoDigits(day) + " ";
  result += HttpMonthName(month);
  result += " " + yearText + " " + TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second) + " GMT";
  return result;
}

std::string LocalDateTimeToHttpStr(TDateTime aLocal) { return DateTimeGMTToHttpStr(LocalTimeToUTC(aLocal)); }

bool TryHttpDateToDateTimeGMT(std::string_view aText, TDateTime& aUTC) {
  TDateScanner scan(TrimView(aText));
  scan.SkipBlanks();
  int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, offset = 0;

  std::string_view word = scan.Word();
  if (!word.empty() && IsDayName(word)) {
    scan.Skip(',');
    scan.SkipBlanks();
    word = scan.Word();
  }
  if (!word.empty()) {
    // asctime: month, day (space-padded), time, year.
    month = MonthFromName(word);
    scan.SkipBlanks();
    if (month == 0 || !scan.Number(2, day)) return false;
    scan.SkipBlanks();
    if (!ReadTime(scan, hour, minute, second)) return false;
    scan.SkipBlanks();
    if (!scan.Number(4, year)) return false;
  } else {
    // IMF-fixdate "06 Nov 1994" or RFC 850 "06-Nov-94", then the time.
    if (!scan.Number(2, day)) return false;
    const bool dashed = scan.Skip('-');
    if (!dashed) scan.SkipBlanks();
    month = MonthFromName(scan.Word());
    if (month == 0) return false;
    if (dashed) {
      if (!scan.Skip('-')) return false;
    } else {
      scan.SkipBlanks();
    }
    int digits = 0;
    if (!scan.Number(4, year, digits) || (digits != 2 && digits != 4)) return false;
    if (digits == 2) year = ExpandTwoDigitYear(year);
    scan.SkipBlanks();
    if (!ReadTime(scan, hour, minute, second)) return false;
  }
  if (!ReadZone(scan, offset)) return false;

  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) return false;
  aUTC = MSecsToDateTime(DateTimeToMSecs(date) + DateTimeToMSecs(time) - offset * 60000LL);
  return true;
}

TDateTime GMTToLocalDateTime(std::string_view aText) {
  TDateTime utc = 0;
  if (!TryHttpDateToDateTimeGMT(aText, utc)) return 0;
  return UTCToLocalTime(utc);
}

}  // namespace qtx
