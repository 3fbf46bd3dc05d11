#pragma once
// Bytes to text on the reading path of every line. The shared ASCII, 8-bit
// and UTF-8 encodings turn bytes below 0x80 into the characters of the same
// code, so text made only of such bytes is its bytes: it is copied straight,
// and everything else goes through the encoding.

#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/qtxIdTextEncoding.h"

namespace qtx {

// One of the shared ASCII, 8-bit or UTF-8 encodings.
bool MapsASCIIToItself(const TIdTextEncodingBase& aEncoding);

inline bool AllBelow0x80(const uint8_t* aBytes, size_t aCount) noexcept {
#if defined(__SSE2__)
  if (aCount >= 16) {
    // Sixteen bytes a load, four loads a step while they fit, and a last
    // block ending at the end (it may overlap the one before); the high bits
    // of all of them or'ed together.
    const auto load = [aBytes](size_t aAt) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(aBytes + aAt)); };
    __m128i any = load(aCount - 16);
    size_t i = 0;
    for (; i + 64 <= aCount; i += 64) {
      any = _mm_or_si128(any, _mm_or_si128(_mm_or_si128(load(i), load(i + 16)), _mm_or_si128(load(i + 32), load(i + 48))));
    }
    for (; i + 16 <= aCount; i += 16) any = _mm_or_si128(any, load(i));
    return _mm_movemask_epi8(any) == 0;
  }
#endif
  uint8_t any = 0;
  for (size_t i = 0; i < aCount; ++i) any |= aBytes[i];
  return any < 0x80;
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
