#pragma once
// MD5 (RFC 1321), the library's own message digest.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/qtxIdTextEncoding.h"

namespace qtx {

class TIdHashMessageDigest5 {
public:
  static constexpr size_t kHashSize = 16;

  TIdHashMessageDigest5() { Reset(); }

  void Update(std::span<const uint8_t> aData);
  // The digest of everything given since the last reset; the hash starts over.
  TIdBytes Final();

  static TIdBytes HashBytes(std::span<const uint8_t> aData);
  // The text converted with aEncoding (the library's default encoding when none).
  static TIdBytes HashString(std::string_view aText, IIdTextEncoding aEncoding = nullptr);

private:
  void Reset() noexcept;
  void Transform(const uint8_t* aBlock) noexcept;

  std::array<uint32_t, 4> FState{};
  std::array<uint8_t, 64> FBuffer{};
  uint64_t FLength = 0;  // bytes hashed so far
};

}  // namespace qtx
