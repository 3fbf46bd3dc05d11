#include "platform/qtxSysUtils.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "platform/qtxException.h"

namespace qtx {

namespace {
const char* const SInvalidInteger = "'%s' is not a valid integer value";
const char* const SInvalidFloat = "'%s' is not a valid floating point value";
}  // namespace

char AsciiLower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string LowerCase(std::string_view aText) {
  std::string result(aText);
  for (char& c : result) c = AsciiLower(c);
  return result;
}

std::string UpperCase(std::string_view aText) {
  std::string result(aText);
  for (char& c : result) c = AsciiUpper(c);
  return result;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

int CompareText(std::string_view a, std::string_view b) noexcept {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool StartsText(std::string_view aPrefix, std::string_view aText) noexcept {
  return aText.size() >= aPrefix.size() && SameText(aText.substr(0, aPrefix.size()), aPrefix);
}

bool EndsText(std::string_view aSuffix, std::string_view aText) noexcept {
  return aText.size() >= aSuffix.size() && SameText(aText.substr(aText.size() - aSuffix.size()), aSuffix);
}

size_t PosText(std::string_view aNeedle, std::string_view aText, size_t aFrom) noexcept {
  if (aNeedle.size() > aText.size()) return std::string_view::npos;
  for (size_t i = aFrom; i + aNeedle.size() <= aText.size(); ++i)
    if (SameText(aText.substr(i, aNeedle.size()), aNeedle)) return i;
  return std::string_view::npos;
}

std::string_view TrimView(std::string_view aText) noexcept {
  size_t first = 0;
  size_t last = aText.size();
  while (first < last && static_cast<unsigned char>(aText[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(aText[last - 1]) <= ' ') --last;
  return aText.substr(first, last - first);
}

std::string Trim(std::string_view aText) { return std::string(TrimView(aText)); }

std::string TrimLeft(std::string_view aText) {
  size_t first = 0;
  while (first < aText.size() && static_cast<unsigned char>(aText[first]) <= ' ') ++first;
  return std::string(aText.substr(first));
}

std::string TrimRight(std::string_view aText) {
  size_t last = aText.size();
  while (last > 0 && static_cast<unsigned char>(aText[last - 1]) <= ' ') --last;
  return std::string(aText.substr(0, last));
}

std::string IntToStr(int64_t aValue) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, aValue);
  return std::string(buffer, result.ptr);
}

std::string UIntToStr(uint64_t aValue) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, aValue);
  return std::string(buffer, result.ptr);
}

std::string IntToHex(uint64_t aValue, int aDigits) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, aValue, 16);
  std::string digits(buffer, result.ptr);
  for (char& c : digits) c = AsciiUpper(c);
  if (static_cast<int>(digits.size()) < aDigits) digits.insert(0, static_cast<size_t>(aDigits) - digits.size(), '0');
  return digits;
}

namespace {
template <typename T>
bool ParseInteger(std::string_view aText, T& aValue) noexcept {
  if (!aText.empty() && aText.front() == '+') {
    aText.remove_prefix(1);
    if (!aText.empty() && aText.front() == '-') return false;
  }
  if (aText.empty()) return false;
  const auto result = std::from_chars(aText.data(), aText.data() + aText.size(), aValue);
  return result.ec == std::errc() && result.ptr == aText.data() + aText.size();
}
}  // namespace

bool TryStrToInt(std::string_view aText, int32_t& aValue) noexcept { return ParseInteger(TrimView(aText), aValue); }
bool TryStrToInt64(std::string_view aText, int64_t& aValue) noexcept { return ParseInteger(TrimView(aText), aValue); }

int32_t StrToInt(std::string_view aText) {
  int32_t value = 0;
  if (!TryStrToInt(aText, value)) throw EConvertError(Format(SInvalidInteger, {aText}));
  return value;
}

int64_t StrToInt64(std::string_view aText) {
  int64_t value = 0;
  if (!TryStrToInt64(aText, value)) throw EConvertError(Format(SInvalidInteger, {aText}));
  return value;
}

int32_t StrToIntDef(std::string_view aText, int32_t aDefault) noexcept {
  int32_t value = 0;
  return TryStrToInt(aText, value) ? value : aDefault;
}

int64_t StrToInt64Def(std::string_view aText, int64_t aDefault) noexcept {
  int64_t value = 0;
  return TryStrToInt64(aText, value) ? value : aDefault;
}

std::string FloatToStr(double aValue, int aPrecision) {
  if (std::isnan(aValue)) return "NAN";
  if (std::isinf(aValue)) return aValue > 0 ? "INF" : "-INF";
  if (aValue == 0) return "0";
  // Round to the precision first, in scientific form, to learn the exponent.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, aValue, std::chars_format::scientific, aPrecision - 1);
  std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t ePos = sci.find('e');
  int exponent = 0;
  std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
  const bool negative = sci.front() == '-';
  std::string digits;
  for (char c : sci.substr(0, ePos))
    if (c >= '0' && c <= '9') digits += c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  const int count = static_cast<int>(digits.size());
  if (exponent >= aPrecision || exponent < -5) {
    out += digits[0];
    if (count > 1) out.append(".").append(digits, 1);
    out.append("E").append(IntToStr(exponent));
  } else if (exponent < 0) {
    out.append("0.").append(static_cast<size_t>(-exponent - 1), '0').append(digits);
  } else if (count <= exponent + 1) {
    out.append(digits).append(static_cast<size_t>(exponent + 1 - count), '0');
  } else {
    const auto whole = static_cast<size_t>(exponent + 1);
    out.append(digits, 0, whole).append(".").append(digits, whole);
  }
  return out;
}

bool TryStrToFloat(std::string_view aText, double& aValue) noexcept {
  aText = TrimView(aText);
  if (!aText.empty() && aText.front() == '+') aText.remove_prefix(1);
  if (aText.empty()) return false;
  const auto result = std::from_chars(aText.data(), aText.data() + aText.size(), aValue);
  return result.ec == std::errc() && result.ptr == aText.data() + aText.size();
}

double StrToFloat(std::string_view aText) {
  double value = 0;
  if (!TryStrToFloat(aText, value)) throw EConvertError(Format(SInvalidFloat, {aText}));
  return value;
}

std::string Format(std::string_view aFormat, std::initializer_list<FormatArg> aArgs) {
  std::string out;
  out.reserve(aFormat.size() + 16);
  auto arg = aArgs.begin();
  for (size_t i = 0; i < aFormat.size(); ++i) {
    const char c = aFormat[i];
    if (c != '%' || i + 1 >= aFormat.size()) {
      out += c;
      continue;
    }
    const char conversion = aFormat[++i];
    if (conversion == '%') {
      out += '%';
      continue;
    }
    if (arg == aArgs.end()) {
      out += '%';
      out += conversion;
      continue;
    }
    const TFormatArg& value = *arg++;
    if (const auto* text = std::get_if<std::string_view>(&value)) {
      out += *text;
    } else {
      const int64_t number = std::get<int64_t>(value);
      switch (conversion) {
        case 'x': out += LowerCase(IntToHex(static_cast<uint64_t>(number), 1)); break;
        case 'X': out += IntToHex(static_cast<uint64_t>(number), 1); break;
        case 'u': out += UIntToStr(static_cast<uint64_t>(number)); break;
        default: out += IntToStr(number); break;
      }
    }
  }
  return out;
}

std::string ExecutableFileName() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : executable.string();
}

std::string ChangeFileExt(std::string_view aFileName, std::string_view aExtension) {
  const size_t nameStart = aFileName.rfind('/') + 1;  // 0 without a folder
  const size_t dot = aFileName.rfind('.');
  const size_t end = (dot != std::string_view::npos && dot >= nameStart) ? dot : aFileName.size();
  std::string result(aFileName.substr(0, end));
  result += aExtension;
  return result;
}

}  // namespace qtx
