#include "client/qtxBase_Helpers.h"

#include <time.h>

#include <filesystem>

#include "core/qtxIdCoderMIME.h"
#include "platform/qtxException.h"
#include "platform/qtxRandom.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr std::string_view kNotAHexByte = "'%s' is not a valid hexadecimal byte";
constexpr std::string_view kFormSafe = "-._~";

bool IsFormSafe(char16_t aUnit) {
  return (aUnit >= u'A' && aUnit <= u'Z') || (aUnit >= u'a' && aUnit <= u'z') || (aUnit >= u'0' && aUnit <= u'9') ||
         (aUnit < 0x80 && kFormSafe.find(static_cast<char>(aUnit)) != std::string_view::npos);
}

IIdTextEncoding TextEncoding(bool aUTF8) { return EncodingForType(aUTF8 ? encUTF8 : encOSDefault); }

}  // namespace

std::string ReplaceAll(std::string_view aText, std::string_view aFrom, std::string_view aTo) {
  if (aFrom.empty()) return std::string(aText);
  std::string result;
  result.reserve(aText.size());
  size_t start = 0;
  for (size_t found; (found = aText.find(aFrom, start)) != std::string_view::npos; start = found + aFrom.size()) {
    result.append(aText.substr(start, found - start));
    result.append(aTo);
  }
  result.append(aText.substr(start));
  return result;
}

std::string EncodeFormValue(std::string_view aText) {
  std::string result;
  result.reserve(aText.size());
  for (const char16_t unit : Utf8ToUtf16(aText)) {
    if (IsFormSafe(unit)) {
      result += static_cast<char>(unit);
    } else {
      result += '%';
      result += IntToHex(unit, 2);
    }
  }
  return result;
}

uint64_t GetTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint64_t GetTicksElapsed(uint64_t aStart, uint64_t aNow) noexcept {
  // Unsigned subtraction gives now - start, and across the wrap of the
  // 64-bit range 2^64 - start + now.
  return aNow - aStart;
}

std::string BytesToRawText(const TIdBytes& aBytes) { return RawToText(aBytes); }

std::string GetExecutableFolder() {
  const std::filesystem::path executable = ExecutableFileName();
  if (!executable.has_parent_path()) return {};
  std::string folder = executable.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string RepairUTF8Text(std::string_view aText) {
  TBytes bytes;
  if (!TextToRaw(aText, bytes)) return std::string(aText);
  return SanitizeUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string NewGuidText() {
  uint8_t guid[16];
  FillRandom(guid);
  guid[6] = static_cast<uint8_t>((guid[6] & 0x0F) | 0x40);  // version 4: random
  guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  std::string text;
  for (const uint8_t b : guid) text += IntToHex(b, 2);
  return text;
}

std::string EncodeBase64Text(std::string_view aText, bool aUTF8) {
  return TIdEncoderMIME::EncodeString(aText, TextEncoding(aUTF8));
}

std::string DecodeBase64Text(std::string_view aText, bool aUTF8) {
  return TIdDecoderMIME::DecodeString(aText, TextEncoding(aUTF8));
}

TIdBytes HexToBytes(std::string_view aText) {
  const std::u16string units = Utf8ToUtf16(aText);
  TIdBytes bytes;
  bytes.reserve(units.size() / 2);
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    const int high = HexDigitValue(units[i]), low = HexDigitValue(units[i + 1]);
    if (high < 0 || low < 0) throw EConvertError(Format(kNotAHexByte, {Utf16ToUtf8(units.substr(i, 2))}));
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}

}  // namespace qtx
