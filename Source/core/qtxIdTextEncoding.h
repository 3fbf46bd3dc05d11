#pragma once
// Text encodings: the objects through which the transport and the HTTP engine
// turn text (UTF-8 std::string) into bytes and back. Shared instances are
// immutable and may be used from any thread.
//
// Where a rule counts characters, a character is a UTF-16 code unit of the
// text: a character outside the BMP counts as two. The character-side forms
// exist for UTF-8 text (std::string_view) and for UTF-16 code units
// (std::u16string_view); indexes and counts of both count code units.
//
// The concrete classes are declared in core/qtxIdTextEncodings.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/qtxTypes.h"

namespace qtx {

using TIdBytes = TBytes;

class TIdTextEncodingBase;
// The shared, immutable encoding object.
using IIdTextEncoding = std::shared_ptr<const TIdTextEncodingBase>;

// Every checked form below raises a plain Exception with one of the texts
// "Invalid source array", "Invalid count (%d)", "Character index out of
// bounds (%d)", "Invalid destination index (%d)" or "Invalid destination
// array". A zero count returns 0 (or nothing) without touching a destination.
class TIdTextEncodingBase {
public:
  virtual ~TIdTextEncodingBase() = default;

  // ---- characters to bytes
  int GetByteCount(std::string_view aText) const;
  int GetByteCount(std::string_view aText, int aCharIndex, int aCharCount) const;
  int GetByteCount(std::u16string_view aChars) const;
  int GetByteCount(std::u16string_view aChars, int aCharIndex, int aCharCount) const;
  int GetByteCount(const char16_t* aChars, int aCharCount) const;

  TIdBytes GetBytes(std::string_view aText) const;
  TIdBytes GetBytes(std::string_view aText, int aCharIndex, int aCharCount) const;
  TIdBytes GetBytes(std::u16string_view aChars) const;
  TIdBytes GetBytes(std::u16string_view aChars, int aCharIndex, int aCharCount) const;
  // Into aBytes at aByteIndex (aBytes is not resized); returns the bytes written.
  int GetBytes(std::string_view aText, int aCharIndex, int aCharCount, TIdBytes& aBytes, int aByteIndex) const;
  int GetBytes(std::u16string_view aChars, int aCharIndex, int aCharCount, TIdBytes& aBytes, int aByteIndex) const;
  // Into aByteCount bytes at aBytes; returns the bytes written.
  int GetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const;

  // ---- bytes to characters
  int GetCharCount(const TIdBytes& aBytes) const;
  int GetCharCount(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const;
  int GetCharCount(const uint8_t* aBytes, int aByteCount) const;

  std::u16string GetChars(const TIdBytes& aBytes) const;
  std::u16string GetChars(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const;
  // Into aChars at aCharIndex (aChars is not resized); returns the code units written.
  int GetChars(const TIdBytes& aBytes, int aByteIndex, int aByteCount, std::u16string& aChars, int aCharIndex) const;
  int GetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const;

  std::string GetString(const TIdBytes& aBytes) const;
  std::string GetString(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const;
  std::string GetString(const uint8_t* aBytes, int aByteCount) const;

  // Upper bounds for buffers; a negative count raises "Invalid count (%d)".
  virtual int GetMaxByteCount(int aCharCount) const = 0;
  virtual int GetMaxCharCount(int aByteCount) const = 0;
  // The byte-order mark written before text in this encoding (may be empty).
  virtual TIdBytes GetPreamble() const;
  bool GetIsSingleByte() const noexcept { return FIsSingleByte; }
  int MaxCharSize() const noexcept { return FMaxCharSize; }

protected:
  // The primitives over UTF-16 code units and raw bytes that every form
  // above is built on, after its argument checks. Counts are >= 0, pointers
  // valid for their counts, and a destination has the room that the count
  // primitive asked for.
  virtual int DoGetByteCount(const char16_t* aChars, int aCharCount) const = 0;
  virtual int DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const = 0;
  virtual int DoGetCharCount(const uint8_t* aBytes, int aByteCount) const = 0;
  virtual int DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const = 0;

  // Whole conversions into new buffers, which the forms that return a new
  // buffer use. They must give the same result as the primitives. The
  // defaults size the buffer with the count primitive and then fill it;
  // descendants that can only convert whole (through iconv, UTF-7) override
  // the first two so that nothing is converted twice, and those whose bytes
  // map straight onto UTF-8 override the last two to skip the UTF-16 round
  // trip (the defaults of the last two go through the first two).
  virtual TIdBytes DoGetBytesOfChars(const char16_t* aChars, int aCharCount) const;
  virtual std::u16string DoGetCharsOfBytes(const uint8_t* aBytes, int aByteCount) const;
  virtual TIdBytes DoGetBytesOfText(std::string_view aText) const;
  virtual std::string DoGetString(const uint8_t* aBytes, int aByteCount) const;

  // For GetMaxByteCount / GetMaxCharCount: the count checked and the result
  // checked to fit an int.
  static int CheckedMaxCount(int aCount, int64_t aResult);

  bool FIsSingleByte = false;
  int FMaxCharSize = 1;
};

// Encoding types used by the transport's defaults.
enum IdTextEncodingType : int {
  encDefault = 0,
  encOSDefault = 1,  // Windows-1252 stands in for the system's ANSI code page
  enc8Bit = 2,
  encASCII = 3,
  encUTF16BE = 4,
  encUTF16LE = 5,
  encUTF7 = 6,
  encUTF8 = 7,
};

// The shared instance for a type, created once; type 0 follows
// ProcessDefaultEncodingType, and ASCII when that is 0 too.
IIdTextEncoding EncodingForType(IdTextEncodingType aType);
// 1200/1201 UTF-16, 20127 ASCII, 65000 UTF-7, 65001 UTF-8 (shared instances);
// any other code page a new TIdMBCSEncoding, which raises EIdException
// "Invalid codepage (%d)" when the code page cannot be converted.
IIdTextEncoding EncodingForCodePage(uint16_t aCodePage);

// The code page of a MIME charset name (IANA names and common aliases,
// without regard to case), or 0 when the name is not known.
uint16_t CharsetToCodePage(std::string_view aCharset);
// The encoding for a MIME charset name. Empty names, unknown names and
// failures give the 8-bit encoding, so bytes convert one to one. When a
// lookup hook is installed, its non-null answer wins over the table.
IIdTextEncoding CharsetToEncoding(std::string_view aCharset);

// The process-wide charset lookup hook (empty by default). The hook is
// called without any lock held, so it may itself call CharsetToEncoding.
using TIdEncodingNeededEvent = std::function<IIdTextEncoding(const std::string& aCharset)>;
void SetEncodingNeededHook(TIdEncodingNeededEvent aHook);
TIdEncodingNeededEvent EncodingNeededHook();

// The process default encoding type (0 means ASCII).
IdTextEncodingType ProcessDefaultEncodingType() noexcept;
void SetProcessDefaultEncodingType(IdTextEncodingType aType) noexcept;

// Short names for the shared instances.
inline IIdTextEncoding IdTextEncoding_Default() { return EncodingForType(encDefault); }
inline IIdTextEncoding IdTextEncoding_OSDefault() { return EncodingForType(encOSDefault); }
inline IIdTextEncoding IdTextEncoding_8Bit() { return EncodingForType(enc8Bit); }
inline IIdTextEncoding IdTextEncoding_ASCII() { return EncodingForType(encASCII); }
inline IIdTextEncoding IdTextEncoding_UTF16BE() { return EncodingForType(encUTF16BE); }
inline IIdTextEncoding IdTextEncoding_UTF16LE() { return EncodingForType(encUTF16LE); }
inline IIdTextEncoding IdTextEncoding_UTF7() { return EncodingForType(encUTF7); }
inline IIdTextEncoding IdTextEncoding_UTF8() { return EncodingForType(encUTF8); }

}  // namespace qtx
