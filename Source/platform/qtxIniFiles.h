#pragma once
// Settings files in INI form, read and written as the Windows profile
// functions treat them, with everything a write does not touch (other
// sections, keys, comments, blank lines, order, line ends) kept as it was.

#include <optional>
#include <string>
#include <string_view>

#include "platform/qtxException.h"
#include "platform/qtxTypes.h"

namespace qtx {

// A settings file that could not be written.
class EIniFileException : public Exception { using Exception::Exception; };

// The bytes of an INI file (UTF-8 text) and the edits made to them.
//
// Reading: a line "[name]" starts a section (the name runs to the line's last
// "]"); "key=value" is a key of the section above it; lines starting with ";"
// are comments, other lines are ignored. Section and key names are compared
// with their surrounding blanks removed and without regard to letter case.
// A value is the text after the first "=", its surrounding blanks removed
// and then one pair of matching quotes (" or ') around it, as the profile
// functions return it. The first section of a name counts, and in it the
// first key of a name.
class TIniContent {
public:
  TIniContent() = default;
  explicit TIniContent(TBytes aBytes) : FBytes(std::move(aBytes)) {}

  const TBytes& Bytes() const noexcept { return FBytes; }

  // The value, or nothing when the section or the key is missing.
  std::optional<std::string> Value(std::string_view aSection, std::string_view aIdent) const;

  // Sets the value: in place on the key's line, else as a new line after the
  // section's last line, else in a new section at the end. A value that the
  // reading would change (surrounding blanks, surrounding quotes) is written
  // in quotes, so every value reads back exactly. Raises EArgumentException
  // for a name or value that no line can hold (line breaks or NUL anywhere,
  // an empty key, "=" in a key, a key starting with ";" or "[").
  void SetValue(std::string_view aSection, std::string_view aIdent, std::string_view aValue);

private:
  TBytes FBytes;
};

// An INI file on disk. Every call reads the file afresh, as the profile
// functions do; a missing or unreadable file reads as defaults.
class TIniFile {
public:
  explicit TIniFile(std::string aFileName) : FFileName(std::move(aFileName)) {}

  const std::string& FileName() const noexcept { return FFileName; }

  std::string ReadString(std::string_view aSection, std::string_view aIdent, std::string_view aDefault) const;

  // Writes the value, creating the file and the section when missing. The
  // file is replaced atomically (a temporary file in its folder, renamed over
  // it); a new file is readable and writable by its owner only, an existing
  // one keeps its permissions unless OwnerOnly is set. A symbolic link is
  // followed and kept. Raises EIniFileException when the file cannot be read
  // or written, leaving it as it was.
  void WriteString(std::string_view aSection, std::string_view aIdent, std::string_view aValue);

  // On: every write leaves the file readable and writable by its owner only
  // (mode 0600), also an existing file, for files that hold secrets.
  bool OwnerOnly() const noexcept { return FOwnerOnly; }
  void SetOwnerOnly(bool aOwnerOnly) noexcept { FOwnerOnly = aOwnerOnly; }

private:
  std::string FFileName;
  bool FOwnerOnly = false;
};

}  // namespace qtx
