#pragma once
// Basic value types shared by every layer.

#include <cstdint>
#include <vector>

namespace qtx {

// Bytes: the unit of every read and write. Raw bytes never live in a std::string.
using TBytes = std::vector<uint8_t>;

// A date and time as days since 1899-12-30 00:00; the fraction is the time of day.
using TDateTime = double;

}  // namespace qtx
