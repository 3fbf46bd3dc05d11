#pragma once
// The tables behind the code-page encodings: Windows code page numbers with
// the iconv name that converts them and their longest character in bytes,
// and the MIME charset names (IANA names and common aliases) of those code
// pages.

#include <cstdint>
#include <span>
#include <string_view>

namespace qtx {

struct TIdCodePageInfo {
  uint16_t CodePage;
  const char* IconvName;
  uint8_t MaxCharSize;  // bytes of the longest character of the code page
};

struct TIdCharsetInfo {
  std::string_view Name;  // lower case
  uint16_t CodePage;
};

// The entry of a code page, or nullptr when it is not in the table.
const TIdCodePageInfo* FindCodePageInfo(uint16_t aCodePage) noexcept;

std::span<const TIdCodePageInfo> KnownCodePages() noexcept;
std::span<const TIdCharsetInfo> KnownCharsets() noexcept;

}  // namespace qtx
