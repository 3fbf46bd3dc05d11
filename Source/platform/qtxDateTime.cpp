#include "platform/qtxDateTime.h"

#include <cmath>
#include <ctime>

#include "platform/qtxException.h"

namespace qtx {

namespace {
const char* const SDateEncodeError = "Invalid argument to date encode";
const char* const STimeEncodeError = "Invalid argument to time encode";

int64_t DaysFromCivil(int64_t y, int m, int d) noexcept {
  // Howard Hinnant's algorithm: days since 1970-01-01.
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) noexcept {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
}  // namespace

bool IsLeapYear(int aYear) noexcept { return (aYear % 4 == 0) && (aYear % 100 != 0 || aYear % 400 == 0); }

int DaysInMonth(int aYear, int aMonth) noexcept {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (aMonth < 1 || aMonth > 12) return 0;
  return kDays[aMonth - 1] + (aMonth == 2 && IsLeapYear(aYear) ? 1 : 0);
}

bool TryEncodeDate(int aYear, int aMonth, int aDay, TDateTime& aDate) noexcept {
  if (aYear < 1 || aYear > 9999 || aMonth < 1 || aMonth > 12 || aDay < 1 || aDay > DaysInMonth(aYear, aMonth))
    return false;
  aDate = static_cast<double>(DaysFromCivil(aYear, aMonth, aDay) + kUnixDateDelta);
  return true;
}

bool TryEncodeTime(int aHour, int aMin, int aSec, int aMSec, TDateTime& aTime) noexcept {
  if (aHour < 0 || aHour > 23 || aMin < 0 || aMin > 59 || aSec < 0 || aSec > 59 || aMSec < 0 || aMSec > 999)
    return false;
  aTime = ((aHour * 3600000.0) + (aMin * 60000.0) + (aSec * 1000.0) + aMSec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeDate(int aYear, int aMonth, int aDay) {
  TDateTime result;
  if (!TryEncodeDate(aYear, aMonth, aDay, result)) throw EConvertError(SDateEncodeError);
  return result;
}

TDateTime EncodeTime(int aHour, int aMin, int aSec, int aMSec) {
  TDateTime result;
  if (!TryEncodeTime(aHour, aMin, aSec, aMSec, result)) throw EConvertError(STimeEncodeError);
  return result;
}

TDateTime EncodeDateTime(int aYear, int aMonth, int aDay, int aHour, int aMin, int aSec, int aMSec) {
  return MSecsToDateTime(DateTimeToMSecs(EncodeDate(aYear, aMonth, aDay)) +
                         DateTimeToMSecs(EncodeTime(aHour, aMin, aSec, aMSec)));
}

int64_t DateTimeToMSecs(TDateTime aValue) noexcept { return std::llround(aValue * kMSecsPerDay); }

TDateTime MSecsToDateTime(int64_t aMSecs) noexcept { return static_cast<double>(aMSecs) / kMSecsPerDay; }

void DecodeDate(TDateTime aDate, int& aYear, int& aMonth, int& aDay) noexcept {
  const int64_t msecs = DateTimeToMSecs(aDate);
  int64_t days = msecs / 86400000;
  if (msecs % 86400000 < 0) --days;
  CivilFromDays(days - kUnixDateDelta, aYear, aMonth, aDay);
}

void DecodeTime(TDateTime aTime, int& aHour, int& aMin, int& aSec, int& aMSec) noexcept {
  int64_t ms = DateTimeToMSecs(aTime) % 86400000;
  if (ms < 0) ms += 86400000;
  aHour = static_cast<int>(ms / 3600000);
  aMin = static_cast<int>(ms / 60000 % 60);
  aSec = static_cast<int>(ms / 1000 % 60);
  aMSec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime aDate) noexcept {
  int64_t days = static_cast<int64_t>(std::floor(aDate));
  // 1899-12-30 was a Saturday (7).
  int64_t dow = (days + 6) % 7;
  if (dow < 0) dow += 7;
  return static_cast<int>(dow) + 1;
}

int64_t DateTimeToUnix(TDateTime aValue) noexcept {
  return static_cast<int64_t>(std::floor(static_cast<double>(DateTimeToMSecs(aValue)) / 1000.0)) -
         kUnixDateDelta * 86400;
}

TDateTime UnixToDateTime(int64_t aSeconds) noexcept {
  return MSecsToDateTime((aSeconds + kUnixDateDelta * 86400) * 1000);
}

namespace {
TDateTime FromTimespec(const timespec& aTime, bool aLocal) {
  tm parts{};
  if (aLocal) {
    localtime_r(&aTime.tv_sec, &parts);
  } else {
    gmtime_r(&aTime.tv_sec, &parts);
  }
  const int64_t days = DaysFromCivil(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday) + kUnixDateDelta;
  const int64_t ms = days * 86400000 + (parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec) * 1000LL +
                     aTime.tv_nsec / 1000000;
  return MSecsToDateTime(ms);
}
}  // namespace

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return FromTimespec(now, true);
}

TDateTime NowUTC() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return FromTimespec(now, false);
}

int LocalTimeOffsetMinutes(TDateTime aLocal) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(aLocal, y, mo, d);
  DecodeTime(aLocal, h, mi, s, ms);
  tm parts{};
  parts.tm_year = y - 1900;
  parts.tm_mon = mo - 1;
  parts.tm_mday = d;
  parts.tm_hour = h;
  parts.tm_min = mi;
  parts.tm_sec = s;
  parts.tm_isdst = -1;  // let the rules decide
  const time_t utc = mktime(&parts);
  const int64_t asUtcSeconds = (DaysFromCivil(y, mo, d) * 86400) + h * 3600 + mi * 60 + s;
  return static_cast<int>((static_cast<int64_t>(utc) - asUtcSeconds) / 60);
}

TDateTime LocalTimeToUTC(TDateTime aLocal) {
  return MSecsToDateTime(DateTimeToMSecs(aLocal) + LocalTimeOffsetMinutes(aLocal) * 60000LL);
}

TDateTime UTCToLocalTime(TDateTime aUTC) {
  const int64_t ms = DateTimeToMSecs(aUTC);
  const time_t seconds = static_cast<time_t>(DateTimeToUnix(aUTC));
  tm parts{};
  localtime_r(&seconds, &parts);
  return MSecsToDateTime(ms + parts.tm_gmtoff * 1000LL);
}

}  // namespace qtx
