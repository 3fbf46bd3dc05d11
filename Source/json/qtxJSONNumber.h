#pragma once
// Number text to a double, quickly for the numbers JSON answers are made of.

#include <string_view>

namespace qtx {

// Converts exactly as TryStrToFloat does, for any text. A plain decimal
// number (an optional sign, digits, an optional fraction and an optional
// exponent) of at most 19 significant digits, whose digits make an integer
// up to 2^53 and whose power of ten lies within 10^-22..10^22, takes one
// multiplication or division of two doubles that hold those values exactly,
// which rounds to the nearest double just as std::from_chars does; any other
// text goes to TryStrToFloat.
bool TryJSONNumberToDouble(std::string_view aText, double& aValue) noexcept;

}  // namespace qtx
