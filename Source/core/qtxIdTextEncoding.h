#pragma once
// Text encodings: the objects through which the transport and the HTTP engine
// turn text (UTF-8 std::string) into bytes and back. Shared instances are
// immutable and may be used from any thread.
//
// Where a rule counts characters, a character is a UTF-16 code unit of the
// text: a character outside the BMP counts as two.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/qtxTypes.h"

namespace qtx {

using TIdBytes = TBytes;

class TIdTextEncodingBase;
// The shared, immutable encoding object.
using IIdTextEncoding = std::shared_ptr<const TIdTextEncodingBase>;

class TIdTextEncodingBase {
public:
  virtual ~TIdTextEncodingBase() = default;

  // Text to bytes.
  int GetByteCount(std::string_view aText) const;
  // A slice of the text's UTF-16 code units (aCharIndex, aCharCount).
  int GetByteCount(std::string_view aText, int aCharIndex, int aCharCount) const;
  TIdBytes GetBytes(std::string_view aText) const;
  TIdBytes GetBytes(std::string_view aText, int aCharIndex, int aCharCount) const;
  // Into aBytes at aByteIndex; returns the number of bytes written.
  int GetBytes(std::string_view aText, int aCharIndex, int aCharCount, TIdBytes& aBytes, int aByteIndex) const;

  // Bytes to text.
  int GetCharCount(const TIdBytes& aBytes) const;
  int GetCharCount(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const;
  std::string GetString(const TIdBytes& aBytes) const;
  std::string GetString(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const;

  virtual int GetMaxByteCount(int aCharCount) const = 0;
  virtual int GetMaxCharCount(int aByteCount) const = 0;
  virtual TIdBytes GetPreamble() const;
  bool GetIsSingleByte() const noexcept { return FIsSingleByte; }
  int MaxCharSize() const noexcept { return FMaxCharSize; }

protected:
  // The primitives over UTF-16 code units and raw bytes that every array form
  // above is built on, after its argument checks.
  virtual int GetByteCount(const char16_t* aChars, int aCharCount) const = 0;
  virtual int GetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const = 0;
  virtual int GetCharCount(const uint8_t* aBytes, int aByteCount) const = 0;
  virtual int GetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const = 0;

  bool FIsSingleByte = false;
  int FMaxCharSize = 1;
};

// Encoding types used by the transport's defaults.
enum IdTextEncodingType : int {
  encIndyDefault = 0,
  encOSDefault = 1,  // Windows-1252 stands in for the system's ANSI code page
  enc8Bit = 2,
  encASCII = 3,
  encUTF16BE = 4,
  encUTF16LE = 5,
  encUTF7 = 6,
  encUTF8 = 7,
};

// The shared instance for a type; type 0 follows ProcessDefaultEncodingType.
IIdTextEncoding EncodingForType(IdTextEncodingType aType);
// 1200/1201 UTF-16, 20127 ASCII, 65000 UTF-7, 65001 UTF-8, otherwise a new
// code-page encoding ("Invalid codepage (%d)" when it cannot be converted).
IIdTextEncoding EncodingForCodePage(uint16_t aCodePage);
// The encoding for a MIME charset name; empty or unknown names give the 8-bit
// encoding, so bytes convert one to one.
IIdTextEncoding CharsetToEncoding(std::string_view aCharset);

// The process default encoding type (0 means ASCII).
IdTextEncodingType ProcessDefaultEncodingType();
void SetProcessDefaultEncodingType(IdTextEncodingType aType);

// Short names for the shared instances.
inline IIdTextEncoding IndyTextEncoding_Default() { return EncodingForType(encIndyDefault); }
inline IIdTextEncoding IndyTextEncoding_OSDefault() { return EncodingForType(encOSDefault); }
inline IIdTextEncoding IndyTextEncoding_8Bit() { return EncodingForType(enc8Bit); }
inline IIdTextEncoding IndyTextEncoding_ASCII() { return EncodingForType(encASCII); }
inline IIdTextEncoding IndyTextEncoding_UTF16BE() { return EncodingForType(encUTF16BE); }
inline IIdTextEncoding IndyTextEncoding_UTF16LE() { return EncodingForType(encUTF16LE); }
inline IIdTextEncoding IndyTextEncoding_UTF7() { return EncodingForType(encUTF7); }
inline IIdTextEncoding IndyTextEncoding_UTF8() { return EncodingForType(encUTF8); }

}  // namespace qtx
