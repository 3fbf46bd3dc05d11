#pragma once
// Text and number routines shared by every layer. Numbers go to and from text
// with std::to_chars / std::from_chars, so the process locale never matters.
// Case rules are ASCII: header names, schemes and keywords are ASCII words.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace qtx {

char AsciiLower(char c) noexcept;
char AsciiUpper(char c) noexcept;
std::string LowerCase(std::string_view aText);
std::string UpperCase(std::string_view aText);
bool SameText(std::string_view a, std::string_view b) noexcept;
// <0, 0, >0 comparing without regard to ASCII letter case.
int CompareText(std::string_view a, std::string_view b) noexcept;
bool StartsText(std::string_view aPrefix, std::string_view aText) noexcept;
bool EndsText(std::string_view aSuffix, std::string_view aText) noexcept;
// Position of aNeedle in aText without regard to case, or npos.
size_t PosText(std::string_view aNeedle, std::string_view aText, size_t aFrom = 0) noexcept;

// Trimming removes characters up to and including the blank (codes 0..32).
std::string_view TrimView(std::string_view aText) noexcept;
std::string Trim(std::string_view aText);
std::string TrimLeft(std::string_view aText);
std::string TrimRight(std::string_view aText);

std::string IntToStr(int64_t aValue);
std::string UIntToStr(uint64_t aValue);
// Upper-case hexadecimal with at least aDigits digits.
std::string IntToHex(uint64_t aValue, int aDigits);
// The value of a hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char32_t c) noexcept {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}
// Decimal integers with an optional sign, nothing else (EConvertError otherwise).
int32_t StrToInt(std::string_view aText);
int64_t StrToInt64(std::string_view aText);
int32_t StrToIntDef(std::string_view aText, int32_t aDefault) noexcept;
int64_t StrToInt64Def(std::string_view aText, int64_t aDefault) noexcept;
bool TryStrToInt(std::string_view aText, int32_t& aValue) noexcept;
bool TryStrToInt64(std::string_view aText, int64_t& aValue) noexcept;

// The general float format: at most aPrecision significant digits, no
// trailing zeros, "." as separator, exponent form only where plain would be
// longer than the precision ("1E20", "1.5E-7").
std::string FloatToStr(double aValue, int aPrecision = 15);
double StrToFloat(std::string_view aText);
bool TryStrToFloat(std::string_view aText, double& aValue) noexcept;

// Printf-style formatting of the library's message texts: %s, %d, %u, %x, %X
// and %% (no widths); an argument is either text or an integer.
using TFormatArg = std::variant<std::string_view, int64_t>;
struct FormatArg : TFormatArg {
  FormatArg(std::string_view s) : TFormatArg(s) {}
  FormatArg(const std::string& s) : TFormatArg(std::string_view(s)) {}
  FormatArg(const char* s) : TFormatArg(std::string_view(s)) {}
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
  FormatArg(T v) : TFormatArg(static_cast<int64_t>(v)) {}
};
std::string Format(std::string_view aFormat, std::initializer_list<FormatArg> aArgs);

// The running executable's full path (from /proc/self/exe); empty when the
// system cannot tell.
std::string ExecutableFileName();
// aFileName with the part from the last dot of its name on replaced by
// aExtension ("a/b.exe", ".ini" gives "a/b.ini"); a name without a dot gets
// aExtension appended. Dots in folder names do not count.
std::string ChangeFileExt(std::string_view aFileName, std::string_view aExtension);

}  // namespace qtx
