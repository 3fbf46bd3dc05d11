// The settings file reader over arbitrary text, and a write-then-read round
// trip. The input is a section, a key, a value and another name, separated by
// NUL, then the file's bytes. Oracle: reading never fails and gives valid
// UTF-8; a value the writer accepts reads back exactly; the write changes no
// other key.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/qtxException.h"
#include "platform/qtxIniFiles.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace {

// The next NUL-terminated piece of aInput as text, or the empty text when
// no NUL is left.
std::string TakePiece(std::string_view& aInput) {
  const size_t nul = aInput.find('\0');
  if (nul == std::string_view::npos) return {};
  std::string piece = qtx::SanitizeUtf8(aInput.substr(0, nul));
  aInput.remove_prefix(nul + 1);
  return piece;
}

bool SameName(std::string_view a, std::string_view b) { return qtx::UnicodeSameText(qtx::Trim(a), qtx::Trim(b)); }

void Check(bool aHolds) {
  if (!aHolds) std::abort();
}

void CheckValid(const std::optional<std::string>& aValue) { Check(!aValue || qtx::IsValidUtf8(*aValue)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  std::string_view input(reinterpret_cast<const char*>(aData), aSize);
  const std::string section = TakePiece(input);
  const std::string key = TakePiece(input);
  const std::string value = TakePiece(input);
  const std::string other = TakePiece(input);

  qtx::TIniContent content(qtx::TBytes(input.begin(), input.end()));
  const std::optional<std::string> otherKeyBefore = content.Value(section, other);
  const std::optional<std::string> otherSectionBefore = content.Value(other, key);
  CheckValid(content.Value(section, key));
  CheckValid(otherKeyBefore);
  CheckValid(otherSectionBefore);

  try {
    content.SetValue(section, key, value);
  } catch (const qtx::EArgumentException&) {
    return 0;
  }
  Check(content.Value(section, key) == value);
  if (!SameName(other, key)) Check(content.Value(section, other) == otherKeyBefore);
  if (!SameName(other, section)) Check(content.Value(other, key) == otherSectionBefore);
  return 0;
}
