#pragma once
// Bytes to text on the reading path of every line. The shared ASCII, 8-bit
// and UTF-8 encodings turn bytes below 0x80 into the characters of the same
// code, so text made only of such bytes is its bytes: it is copied straight,
// and everything else goes through the encoding.

#include <cstdint>
#include <cstring>
#include <string>

#include "core/qtxIdTextEncoding.h"

namespace qtx {

// One of the shared ASCII, 8-bit or UTF-8 encodings.
bool MapsASCIIToItself(const TIdTextEncodingBase& aEncoding);

inline bool AllBelow0x80(const uint8_t* aBytes, size_t aCount) noexcept {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  auto word = [aBytes](size_t aAt) {
    uint64_t value;
    std::memcpy(&value, aBytes + aAt, sizeof value);
    return value;
  };
  if (aCount < 8) {
    uint8_t any = 0;
    for (size_t i = 0; i < aCount; ++i) any |= aBytes[i];
    return any < 0x80;
  }
  // Words from the start, and one last word ending at the end (it may
  // overlap the one before), in two independent chains.
  uint64_t any = word(aCount - 8);
  uint64_t other = 0;
  size_t i = 0;
  for (; i + 16 <= aCount; i += 16) {
    any |= word(i);
    other |= word(i + 8);
  }
  if (i + 8 <= aCount) any |= word(i);
  return ((any | other) & kHighBits) == 0;
}

// aMapsASCII is MapsASCIIToItself(aEncoding), which callers may keep.
inline std::string DecodeBytes(const uint8_t* aBytes, int aCount, const TIdTextEncodingBase& aEncoding,
                               bool aMapsASCII) {
  if (aCount <= 0) return {};
  if (aMapsASCII && AllBelow0x80(aBytes, static_cast<size_t>(aCount))) {
    return std::string(reinterpret_cast<const char*>(aBytes), static_cast<size_t>(aCount));
  }
  return aEncoding.GetString(aBytes, aCount);
}

}  // namespace qtx
