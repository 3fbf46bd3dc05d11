#pragma once
// Numbers as the JSON reader scans them, and their conversion to doubles:
// exact, and quick for the numbers JSON answers are made of.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qtx {

// A number as the reader's grammar takes it: an optional sign, digits, an
// optional point and digits, an optional exponent ("e" or "E", an optional
// sign, digits). Leading zeros are allowed; a number cannot start with ".".
struct TqtxJSONNumber {
  // Its digits (leading zeros included) as an integer, times ten to Power:
  // kept only while there are at most 19 digits, which always fit.
  uint64_t Digits = 0;
  int Power = 0;
  bool Negative = false;
  bool DigitsKept = true;

  // Scans the number at aNext: the end of its text, or nullptr when there is
  // no number there (a sign, point or exponent marker without digits after).
  static const char* Scan(const char* aNext, const char* aEnd, TqtxJSONNumber& aNumber) noexcept;

  // The nearest double, when one multiplication or division of two doubles
  // that hold the digits and the power of ten exactly gives it (digits up to
  // 2^53, a power within 10^-22..10^22; nearly every number of an answer):
  // IEEE arithmetic rounds that one step to the nearest double, exactly as
  // std::from_chars converts the text. False for any other number.
  bool ExactDouble(double& aValue) const noexcept;
};

// Scanning and the quick conversion are inline: the readers call them for
// every number of a text.
namespace json_number {

inline constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kMaxExactPower = 22;
inline constexpr uint64_t kMaxExactInteger = uint64_t{1} << 53;
inline constexpr int kMaxDigits = 19;  // any 19 digits fit 64 bits
// An exponent is read no further than this; beyond it no number is exact
// however many digits the text holds.
inline constexpr int kExponentLimit = 1000000000 / 10;

inline bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// Eight characters at once, the first in the lowest byte.
inline uint64_t LoadEight(const char* aText) noexcept {
  uint64_t chunk;
  std::memcpy(&chunk, aText, sizeof chunk);
  return chunk;
}

// Whether all eight are digits: each byte's high half is 3, and adding 6
// keeps it 3. (Never on a machine of the other byte order, which takes the
// digits one by one.)
inline bool AreEightDigits(uint64_t aChunk) noexcept {
  if constexpr (std::endian::native != std::endian::little) return false;
  constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
  return ((aChunk & kHigh) | (((aChunk + 0x0606060606060606u) & kHigh) >> 4)) == 0x3333333333333333u;
}

// The value of eight digits, by joining neighbours: pairs, then fours, then
// the two halves, each step one multiplication for all at once.
inline uint64_t EightDigitsValue(uint64_t aChunk) noexcept {
  aChunk -= 0x3030303030303030u;
  aChunk = aChunk * 10 + (aChunk >> 8);
  constexpr uint64_t kMask = 0x000000FF000000FFu;
  return ((aChunk & kMask) * (100 + (uint64_t{1000000} << 32)) +
          ((aChunk >> 16) & kMask) * (1 + (uint64_t{10000} << 32))) >> 32;
}

// A run of digits: their count, their value appended to aValue while
// aCount stays within kMaxDigits (aCount counts on past it). Works on
// copies: a character read may alias anything, so the compiler would store
// referenced values at every step. (Called twice for each number: inlined,
// so that its constants stay in registers.)
[[gnu::always_inline]] inline const char* ReadDigits(const char* aNext, const char* aEnd, uint64_t& aValue,
                                                     int& aCount) noexcept {
  const char* p = aNext;
  uint64_t value = aValue;
  int count = aCount;
  for (; aEnd - p >= 8; p += 8, count += 8) {
    const uint64_t chunk = LoadEight(p);
    if (!AreEightDigits(chunk)) break;
    if (count <= kMaxDigits - 8) value = value * 100000000 + EightDigitsValue(chunk);
  }
  for (; p < aEnd && IsDigit(*p); ++p, ++count)
    if (count < kMaxDigits) value = value * 10 + static_cast<uint64_t>(*p - '0');
  aValue = value;
  aCount = count;
  return p;
}

}  // namespace json_number

inline const char* TqtxJSONNumber::Scan(const char* aNext, const char* aEnd, TqtxJSONNumber& aNumber) noexcept {
  using namespace json_number;
  const char* p = aNext;
  aNumber = TqtxJSONNumber();
  if (p < aEnd && (*p == '+' || *p == '-')) aNumber.Negative = *p++ == '-';
  uint64_t digits = 0;
  int count = 0;
  const char* const whole = p;
  p = ReadDigits(p, aEnd, digits, count);
  if (p == whole) return nullptr;
  int power = 0;
  if (p < aEnd && *p == '.') {
    const char* const fraction = ++p;
    p = ReadDigits(p, aEnd, digits, count);
    if (p == fraction) return nullptr;
    // Every digit after the point lowers the power (which matters only while
    // the digits are kept).
    power = -static_cast<int>(std::min<ptrdiff_t>(p - fraction, kMaxDigits + 1));
  }
  if (p < aEnd && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative = p < aEnd && *p == '-';
    if (p < aEnd && (*p == '-' || *p == '+')) ++p;
    const char* const exponentStart = p;
    int exponent = 0;
    for (; p < aEnd && IsDigit(*p); ++p)
      if (exponent < kExponentLimit) exponent = exponent * 10 + (*p - '0');
    if (p == exponentStart) return nullptr;
    power += negative ? -exponent : exponent;
  }
  aNumber.Digits = digits;
  aNumber.Power = power;
  aNumber.DigitsKept = count <= kMaxDigits;
  return p;
}

inline bool TqtxJSONNumber::ExactDouble(double& aValue) const noexcept {
  using namespace json_number;
  if (!DigitsKept) return false;
  double value = 0;
  if (Digits != 0) {
    if (Digits > kMaxExactInteger || Power < -kMaxExactPower || Power > kMaxExactPower) return false;
    const auto whole = static_cast<double>(Digits);
    value = Power < 0 ? whole / kPowersOfTen[-Power] : whole * kPowersOfTen[Power];
  }
  aValue = Negative ? -value : value;
  return true;
}

// Converts exactly as TryStrToFloat does, for any text; a number of the
// reader's grammar that has an exact double takes the quick way.
bool TryJSONNumberToDouble(std::string_view aText, double& aValue) noexcept;

}  // namespace qtx
