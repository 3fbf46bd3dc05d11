#include "json/qtxJSONNumber.h"

#include <cstdint>

#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr uint64_t kMaxExactInteger = uint64_t{1} << 53;
constexpr int kMaxDigits = 19;  // any 19 digits fit 64 bits
// Longer texts are rare; the limit keeps the power of ten small, so that an
// exponent cut short below can never look like one in range.
constexpr size_t kMaxLength = 64;

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The digits of a plain decimal number as an integer and a power of ten;
// false when the text is not one or has too many significant digits.
bool SplitDecimal(std::string_view aText, bool& aNegative, uint64_t& aDigits, int& aPower) noexcept {
  if (aText.size() > kMaxLength) return false;
  const char* p = aText.data();
  const char* const end = p + aText.size();
  aNegative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  aDigits = 0;
  aPower = 0;
  int significant = 0;
  // Leading zeros are not significant; every digit after the point lowers the power.
  const auto take = [&](bool aFraction) {
    const char* const start = p;
    for (; p < end && IsDigit(*p); ++p) {
      if (aFraction) --aPower;
      if (aDigits == 0 && *p == '0') continue;
      if (++significant > kMaxDigits) return false;
      aDigits = aDigits * 10 + static_cast<uint64_t>(*p - '0');
    }
    return p > start;
  };
  if (!take(false)) return false;
  if (p < end && *p == '.' && (++p, !take(true))) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negativeExponent = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end || !IsDigit(*p)) return false;
    int exponent = 0;
    for (; p < end && IsDigit(*p); ++p)
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');  // far out of range already
    aPower += negativeExponent ? -exponent : exponent;
  }
  return p == end;
}

}  // namespace

bool TryJSONNumberToDouble(std::string_view aText, double& aValue) noexcept {
  bool negative;
  uint64_t digits;
  int power;
  if (SplitDecimal(aText, negative, digits, power)) {
    if (digits == 0) {
      aValue = negative ? -0.0 : 0.0;
      return true;
    }
    if (digits <= kMaxExactInteger && power >= -kMaxExactPower && power <= kMaxExactPower) {
      const auto whole = static_cast<double>(digits);
      const double value = power < 0 ? whole / kPowersOfTen[-power] : whole * kPowersOfTen[power];
      aValue = negative ? -value : value;
      return true;
    }
  }
  return TryStrToFloat(aText, aValue);
}

}  // namespace qtx
