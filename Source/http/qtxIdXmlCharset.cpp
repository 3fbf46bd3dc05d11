#include "http/qtxIdXmlCharset.h"

#include <array>
#include <cstdint>
#include <algorithm>
#include <string_view>

#include "core/qtxIdTextEncoding.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr uint16_t kEBCDICCodePage = 37;  // IBM EBCDIC US/Canada, the standard table

struct TByteOrderMark {
  std::string_view Charset;
  std::array<uint8_t, 4> Bytes;
  size_t Length;
};

// Tried in this order; the two UCS-4 marks of unusual byte order name no charset.
constexpr std::array<TByteOrderMark, 7> kMarks{{
    {"UCS-4BE", {0x00, 0x00, 0xFE, 0xFF}, 4},
    {"", {0x00, 0x00, 0xFF, 0xFE}, 4},
    {"UCS-4LE", {0xFF, 0xFE, 0x00, 0x00}, 4},
    {"", {0xFE, 0xFF, 0x00, 0x00}, 4},
    {"UTF-16BE", {0xFE, 0xFF}, 2},
    {"UTF-16LE", {0xFF, 0xFE}, 2},
    {"UTF-8", {0xEF, 0xBB, 0xBF}, 3},
}};

enum class TDecoding { UCS4, UTF16BE, UTF16LE, UTF8, EBCDIC };

// How a declaration "<?xm" looks in one layout: its first four bytes, the
// width of a character, the unit that holds ">" and, for the 32-bit layouts,
// which byte of a unit carries which weight (most significant first).
struct TDeclarationLayout {
  std::array<uint8_t, 4> Start;
  size_t UnitWidth;
  std::array<uint8_t, 4> End;
  TDecoding Decoding;
  std::array<uint8_t, 4> ByteOrder;
};

constexpr std::array<TDeclarationLayout, 8> kLayouts{{
    {{0x00, 0x00, 0x00, 0x3C}, 4, {0x00, 0x00, 0x00, 0x3E}, TDecoding::UCS4, {0, 1, 2, 3}},
    {{0x00, 0x00, 0x3C, 0x00}, 4, {0x00, 0x00, 0x3E, 0x00}, TDecoding::UCS4, {1, 0, 3, 2}},
    {{0x3C, 0x00, 0x00, 0x00}, 4, {0x3E, 0x00, 0x00, 0x00}, TDecoding::UCS4, {3, 2, 1, 0}},
    {{0x00, 0x3C, 0x00, 0x00}, 4, {0x00, 0x3E, 0x00, 0x00}, TDecoding::UCS4, {2, 3, 0, 1}},
    {{0x00, 0x3C, 0x00, 0x3F}, 2, {0x00, 0x3E}, TDecoding::UTF16BE, {}},
    {{0x3C, 0x00, 0x3F, 0x00}, 2, {0x3E, 0x00}, TDecoding::UTF16LE, {}},
    {{0x3C, 0x3F, 0x78, 0x6D}, 1, {0x3E}, TDecoding::UTF8, {}},
    {{0x4C, 0x6F, 0xA7, 0x94}, 1, {0x6E}, TDecoding::EBCDIC, {}},
}};

// The declaration's bytes from the start up to and including its end unit
// (or to the end of the stream).
TBytes ReadDeclaration(TStream& aStream, const TDeclarationLayout& aLayout) {
  aStream.SetPosition(0);
  TBytes bytes;
  std::array<uint8_t, 4> unit{};
  const auto width = static_cast<std::ptrdiff_t>(aLayout.UnitWidth);
  while (aStream.Read(unit.data(), width) == width) {
    bytes.insert(bytes.end(), unit.begin(), unit.begin() + width);
    if (std::equal(unit.begin(), unit.begin() + width, aLayout.End.begin())) break;
  }
  return bytes;
}

std::string DecodeUCS4(const TBytes& aBytes, const std::array<uint8_t, 4>& aByteOrder) {
  std::string text;
  for (size_t i = 0; i + 4 <= aBytes.size(); i += 4) {
    char32_t value = 0;
    for (uint8_t index : aByteOrder) value = value << 8 | aBytes[i + index];
    AppendUtf8(text, value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ? kReplacementChar : value);
  }
  return text;
}

std::string DecodeDeclaration(const TBytes& aBytes, const TDeclarationLayout& aLayout) {
  switch (aLayout.Decoding) {
    case TDecoding::UCS4:
      return DecodeUCS4(aBytes, aLayout.ByteOrder);
    case TDecoding::UTF16BE:
      return IdTextEncoding_UTF16BE()->GetString(aBytes);
    case TDecoding::UTF16LE:
      return IdTextEncoding_UTF16LE()->GetString(aBytes);
    case TDecoding::UTF8:
      return IdTextEncoding_UTF8()->GetString(aBytes);
    case TDecoding::EBCDIC:
      return EncodingForCodePage(kEBCDICCodePage)->GetString(aBytes);
  }
  return {};
}

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The quoted value after "encoding", blanks and "=" in a declaration, trimmed.
std::string DeclaredEncoding(std::string_view aDeclaration) {
  size_t pos = aDeclaration.find("encoding");
  if (pos == std::string_view::npos) return {};
  pos += 8;
  while (pos < aDeclaration.size() && IsBlank(aDeclaration[pos])) ++pos;
  if (pos >= aDeclaration.size() || aDeclaration[pos] != '=') return {};
  ++pos;
  while (pos < aDeclaration.size() && IsBlank(aDeclaration[pos])) ++pos;
  if (pos >= aDeclaration.size() || (aDeclaration[pos] != '"' && aDeclaration[pos] != '\'')) return {};
  const size_t close = aDeclaration.find(aDeclaration[pos], pos + 1);
  if (close == std::string_view::npos) return {};
  return Trim(aDeclaration.substr(pos + 1, close - pos - 1));
}

}  // namespace

std::string DetectXmlCharset(TStream& aStream) {
  std::array<uint8_t, 4> head{};
  aStream.SetPosition(0);
  const int64_t got = aStream.Read(head.data(), 4);
  for (const TByteOrderMark& mark : kMarks) {
    const auto length = static_cast<std::ptrdiff_t>(mark.Length);
    if (got >= length && std::equal(mark.Bytes.begin(), mark.Bytes.begin() + length, head.begin())) {
      return std::string(mark.Charset);
    }
  }
  if (got == 4) {
    for (const TDeclarationLayout& layout : kLayouts) {
      if (head != layout.Start) continue;
      const std::string declared = DeclaredEncoding(DecodeDeclaration(ReadDeclaration(aStream, layout), layout));
      if (!declared.empty()) return declared;
      break;
    }
  }
  return "UTF-8";
}

}  // namespace qtx
