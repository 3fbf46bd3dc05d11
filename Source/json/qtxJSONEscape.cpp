#include "json/qtxJSONEscape.h"

#include <cstdint>

#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendUnicodeEscape(std::string& aOut, uint32_t aUnit) {
  const char escape[6] = {'\\', 'u', kHexDigits[(aUnit >> 12) & 0xF], kHexDigits[(aUnit >> 8) & 0xF],
                          kHexDigits[(aUnit >> 4) & 0xF], kHexDigits[aUnit & 0xF]};
  aOut.append(escape, sizeof escape);
}

// The short escape of a character below 128, or 0 when it has none.
char ShortEscape(unsigned char c) {
  switch (c) {
    case 8: return 'b';
    case 9: return 't';
    case 10: return 'n';
    case 12: return 'f';
    case 13: return 'r';
    case '"': return '"';
    case '/': return '/';
    case '\\': return '\\';
    default: return 0;
  }
}

bool NeedsEscape(unsigned char c) { return c < 32 || c >= 128 || c == '"' || c == '/' || c == '\\'; }

// Reads four hexadecimal digits at aPos; false when they are not there.
bool ReadHex4(std::string_view aText, size_t aPos, uint32_t& aUnit) {
  if (aPos + 4 > aText.size()) return false;
  aUnit = 0;
  for (size_t i = aPos; i < aPos + 4; ++i) {
    const int digit = HexDigitValue(static_cast<unsigned char>(aText[i]));
    if (digit < 0) return false;
    aUnit = aUnit << 4 | static_cast<uint32_t>(digit);
  }
  return true;
}

// Decodes the \u escape at aPos (the backslash). Returns the number of input
// bytes it took, or 0 when it has no four hexadecimal digits. A surrogate
// without its other half decodes to U+FFFD.
size_t DecodeUnicodeEscape(std::string_view aText, size_t aPos, std::string& aOut) {
  uint32_t unit;
  if (!ReadHex4(aText, aPos + 2, unit)) return 0;
  uint32_t low;
  if (IsHighSurrogate(unit) && aPos + 12 <= aText.size() && aText[aPos + 6] == '\\' && aText[aPos + 7] == 'u' &&
      ReadHex4(aText, aPos + 8, low) && IsLowSurrogate(low)) {
    AppendUtf8(aOut, JoinSurrogates(unit, low));
    return 12;
  }
  AppendUtf8(aOut, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacementChar : unit);
  return 6;
}

}  // namespace

std::string EscapeString(std::string_view aText) {
  std::string out;
  out.reserve(aText.size() + aText.size() / 8 + 8);
  size_t pos = 0;
  while (pos < aText.size()) {
    size_t run = pos;
    while (run < aText.size() && !NeedsEscape(static_cast<unsigned char>(aText[run]))) ++run;
    out.append(aText.data() + pos, run - pos);
    pos = run;
    if (pos >= aText.size()) break;
    const auto c = static_cast<unsigned char>(aText[pos]);
    if (c < 128) {
      if (const char e = ShortEscape(c)) {
        out += '\\';
        out += e;
      } else {
        AppendUnicodeEscape(out, c);
      }
      ++pos;
      continue;
    }
    const char32_t cp = NextCodePoint(aText, pos);
    if (cp >= 0x10000) {
      AppendUnicodeEscape(out, HighSurrogateOf(cp));
      AppendUnicodeEscape(out, LowSurrogateOf(cp));
    } else {
      AppendUnicodeEscape(out, cp);
    }
  }
  return out;
}

std::string UnescapeString(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    const size_t slash = aText.find('\\', pos);
    if (slash == std::string_view::npos) {
      out.append(aText.data() + pos, aText.size() - pos);
      break;
    }
    out.append(aText.data() + pos, slash - pos);
    pos = slash;
    if (pos + 1 >= aText.size()) {  // a lone backslash at the end
      out += '\\';
      break;
    }
    const char e = aText[pos + 1];
    char decoded = 0;
    switch (e) {
      case '"': case '\\': case '/': decoded = e; break;
      case 'b': decoded = '\b'; break;
      case 'f': decoded = '\f'; break;
      case 'n': decoded = '\n'; break;
      case 'r': decoded = '\r'; break;
      case 't': decoded = '\t'; break;
      case 'u':
        if (const size_t taken = DecodeUnicodeEscape(aText, pos, out)) {
          pos += taken;
          continue;
        }
        break;
      default: break;
    }
    if (decoded) {
      out += decoded;
      pos += 2;
    } else {  // not an escape we know: keep the backslash, read on after it
      out += '\\';
      ++pos;
    }
  }
  // Escapes always decode to whole characters, so only raw bytes of the
  // input can leave a sequence invalid.
  if (!IsValidUtf8(out)) out = SanitizeUtf8(out);
  return out;
}

}  // namespace qtx
