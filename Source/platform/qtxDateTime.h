#pragma once
// Date-time arithmetic over TDateTime (days since 1899-12-30), and conversion
// between local time and UTC with the system's time-zone rules.

#include <cstdint>

#include "platform/qtxTypes.h"

namespace qtx {

constexpr double kMSecsPerDay = 86400000.0;
constexpr int64_t kUnixDateDelta = 25569;  // days from 1899-12-30 to 1970-01-01

bool IsLeapYear(int aYear) noexcept;
int DaysInMonth(int aYear, int aMonth) noexcept;

bool TryEncodeDate(int aYear, int aMonth, int aDay, TDateTime& aDate) noexcept;
bool TryEncodeTime(int aHour, int aMin, int aSec, int aMSec, TDateTime& aTime) noexcept;
// EConvertError for an invalid date or time.
TDateTime EncodeDate(int aYear, int aMonth, int aDay);
TDateTime EncodeTime(int aHour, int aMin, int aSec, int aMSec);
TDateTime EncodeDateTime(int aYear, int aMonth, int aDay, int aHour, int aMin, int aSec, int aMSec);
void DecodeDate(TDateTime aDate, int& aYear, int& aMonth, int& aDay) noexcept;
void DecodeTime(TDateTime aTime, int& aHour, int& aMin, int& aSec, int& aMSec) noexcept;
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime aDate) noexcept;

// Whole milliseconds between the epoch of TDateTime and the value, and back.
int64_t DateTimeToMSecs(TDateTime aValue) noexcept;
TDateTime MSecsToDateTime(int64_t aMSecs) noexcept;
int64_t DateTimeToUnix(TDateTime aValue) noexcept;
TDateTime UnixToDateTime(int64_t aSeconds) noexcept;

TDateTime Now();
TDateTime NowUTC();
// Through the system's time-zone rules in force at that moment.
TDateTime LocalTimeToUTC(TDateTime aLocal);
TDateTime UTCToLocalTime(TDateTime aUTC);
// Minutes to add to local time to get UTC at the given local moment.
int LocalTimeOffsetMinutes(TDateTime aLocal);

}  // namespace qtx
