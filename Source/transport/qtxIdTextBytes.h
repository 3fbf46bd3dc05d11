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

// The offset of the first aByte in aData[0, aSize), or -1. aAllASCII tells
// whether every byte before it (or every byte, when absent) is below 0x80:
// one pass that both finds a line's end and tells whether its text is ASCII.
inline int FindByteInText(const uint8_t* aData, int aSize, uint8_t aByte, bool& aAllASCII) noexcept {
  unsigned high = 0;
  int i = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(aByte));
  for (; i + 16 <= aSize; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aData + i));
    const unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
    const unsigned highs = static_cast<unsigned>(_mm_movemask_epi8(block));
    if (hits != 0) {
      const int at = __builtin_ctz(hits);
      aAllASCII = high == 0 && (highs & ((1u << at) - 1)) == 0;
      return i + at;
    }
    high |= highs;
  }
#endif
  for (; i < aSize; ++i) {
    if (aData[i] == aByte) {
      aAllASCII = high == 0;
      return i;
    }
    high |= aData[i] & 0x80u;
  }
  aAllASCII = high == 0;
  return -1;
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
