#pragma once
// An IPv6 address as its eight 16-bit groups, in host byte order.

#include <array>
#include <cstdint>

namespace qtx {

using TIdIPv6Address = std::array<uint16_t, 8>;

}  // namespace qtx
