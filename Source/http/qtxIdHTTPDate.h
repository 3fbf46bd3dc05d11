#pragma once
// HTTP dates: written as IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT") and
// read in the three forms HTTP/1.1 accepts (IMF-fixdate, the obsolete RFC 850
// form "Sunday, 06-Nov-94 08:49:37 GMT" and asctime "Sun Nov  6 08:49:37 1994").

#include <string>
#include <string_view>

#include "platform/qtxTypes.h"

namespace qtx {

// A UTC date-time as IMF-fixdate.
std::string DateTimeGMTToHttpStr(TDateTime aUTC);
// A local date-time converted to UTC by the system's time-zone rules, as IMF-fixdate.
std::string LocalDateTimeToHttpStr(TDateTime aLocal);

// Reads an HTTP date into UTC. A numeric zone ("+0200") is applied; none,
// "GMT", "UT", "UTC" and "Z" mean UTC. False when the text is no such date.
bool TryHttpDateToDateTimeGMT(std::string_view aText, TDateTime& aUTC);
// The HTTP date converted to local time, or 0 when the text is no HTTP date.
TDateTime GMTToLocalDateTime(std::string_view aText);

// "Jan".."Dec" for 1..12 and "Sun".."Sat" for 1..7 (Sunday first).
std::string_view HttpMonthName(int aMonth);
std::string_view HttpDayName(int aDayOfWeek);

}  // namespace qtx
