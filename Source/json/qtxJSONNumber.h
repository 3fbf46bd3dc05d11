#pragma once
// Numbers as the JSON reader scans them, and their conversion to doubles:
// exact, and quick for the numbers JSON answers are made of.

#include <cstdint>
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

// Converts exactly as TryStrToFloat does, for any text; a number of the
// reader's grammar that has an exact double takes the quick way.
bool TryJSONNumberToDouble(std::string_view aText, double& aValue) noexcept;

}  // namespace qtx
