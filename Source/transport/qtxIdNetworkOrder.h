#pragma once
// Host and network (big-endian) byte order for the integers put on the wire.

#include <bit>
#include <cstdint>

namespace qtx {

template <typename T>
constexpr T ByteSwap(T aValue) noexcept {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
  if constexpr (sizeof(T) == 1) return aValue;
  else if constexpr (sizeof(T) == 2) return static_cast<T>(__builtin_bswap16(static_cast<uint16_t>(aValue)));
  else if constexpr (sizeof(T) == 4) return static_cast<T>(__builtin_bswap32(static_cast<uint32_t>(aValue)));
  else return static_cast<T>(__builtin_bswap64(static_cast<uint64_t>(aValue)));
}

template <typename T>
constexpr T HostToNetwork(T aValue) noexcept {
  if constexpr (std::endian::native == std::endian::big) return aValue;
  else return ByteSwap(aValue);
}

template <typename T>
constexpr T NetworkToHost(T aValue) noexcept { return HostToNetwork(aValue); }

}  // namespace qtx
