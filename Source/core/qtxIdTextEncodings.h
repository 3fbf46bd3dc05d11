#pragma once
// The concrete text encodings. Most callers take the shared instances from
// EncodingForType / EncodingForCodePage / CharsetToEncoding
// (core/qtxIdTextEncoding.h) instead of creating these.

#include <cstdint>
#include <string>

#include "core/qtxIdTextEncoding.h"

namespace qtx {

// US-ASCII (20127): code units below 128 as they are, anything else "?" (63);
// bytes below 128 as they are, anything else U+FFFD.
class TIdASCIIEncoding : public TIdTextEncodingBase {
public:
  TIdASCIIEncoding();
  int GetMaxByteCount(int aCharCount) const override;
  int GetMaxCharCount(int aByteCount) const override;

protected:
  int DoGetByteCount(const char16_t* aChars, int aCharCount) const override;
  int DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const override;
  int DoGetCharCount(const uint8_t* aBytes, int aByteCount) const override;
  int DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const override;
  TIdBytes DoGetBytesOfText(std::string_view aText) const override;
  std::string DoGetString(const uint8_t* aBytes, int aByteCount) const override;
};

// Byte for byte: code units below 256 as they are, anything else "?" (63);
// each byte becomes the character of the same code.
class TId8BitEncoding : public TIdTextEncodingBase {
public:
  TId8BitEncoding();
  int GetMaxByteCount(int aCharCount) const override;
  int GetMaxCharCount(int aByteCount) const override;

protected:
  int DoGetByteCount(const char16_t* aChars, int aCharCount) const override;
  int DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const override;
  int DoGetCharCount(const uint8_t* aBytes, int aByteCount) const override;
  int DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const override;
  TIdBytes DoGetBytesOfText(std::string_view aText) const override;
  std::string DoGetString(const uint8_t* aBytes, int aByteCount) const override;
};

// UTF-16 code units, low byte first (1200); an odd last byte is ignored.
class TIdUTF16LittleEndianEncoding : public TIdTextEncodingBase {
public:
  TIdUTF16LittleEndianEncoding();
  int GetMaxByteCount(int aCharCount) const override;
  int GetMaxCharCount(int aByteCount) const override;
  TIdBytes GetPreamble() const override;

protected:
  explicit TIdUTF16LittleEndianEncoding(bool aBigEndian);
  int DoGetByteCount(const char16_t* aChars, int aCharCount) const override;
  int DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const override;
  int DoGetCharCount(const uint8_t* aBytes, int aByteCount) const override;
  int DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const override;

private:
  bool FBigEndian;
};

// UTF-16 code units, high byte first (1201).
class TIdUTF16BigEndianEncoding : public TIdUTF16LittleEndianEncoding {
public:
  TIdUTF16BigEndianEncoding();
};

// Windows code-page flags that the conversions honour.
constexpr uint32_t MB_ERR_INVALID_CHARS = 0x00000008;  // bytes to characters
constexpr uint32_t WC_ERR_INVALID_CHARS = 0x00000080;  // characters to bytes

// A Windows code page, converted through iconv. Code page 0 (and 3) is the
// system's ANSI code page, for which Windows-1252 stands in; 1 (OEM) is 437
// and 2 (Macintosh) is 10000. Characters the code page lacks become its
// default character ("?"); bytes that are not valid in it become U+FFFD.
// With MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS in the flags, such input
// instead makes the whole conversion yield nothing. Creating one for a code
// page that cannot be converted raises EIdException "Invalid codepage (%d)";
// for 20127 a missing code page falls back to 1252 and then to 437.
class TIdMBCSEncoding : public TIdTextEncodingBase {
public:
  explicit TIdMBCSEncoding(uint16_t aCodePage = 0, uint32_t aMBToWCharFlags = 0, uint32_t aWCharToMBFlags = 0);

  uint16_t CodePage() const noexcept { return FCodePage; }
  uint32_t MBToWCharFlags() const noexcept { return FMBToWCharFlags; }
  uint32_t WCharToMBFlags() const noexcept { return FWCharToMBFlags; }

  int GetMaxByteCount(int aCharCount) const override;
  int GetMaxCharCount(int aByteCount) const override;
  // FF FE for 1200, FE FF for 1201, FF FE 00 00 for 12000, 00 00 FE FF for
  // 12001, EF BB BF for 65001, none for the others.
  TIdBytes GetPreamble() const override;

protected:
  // For the Unicode code pages that descendants convert themselves.
  struct TNativeCodePage {};
  TIdMBCSEncoding(TNativeCodePage, uint16_t aCodePage, int aMaxCharSize);

  int DoGetByteCount(const char16_t* aChars, int aCharCount) const override;
  int DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const override;
  int DoGetCharCount(const uint8_t* aBytes, int aByteCount) const override;
  int DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const override;
  TIdBytes DoGetBytesOfChars(const char16_t* aChars, int aCharCount) const override;
  std::u16string DoGetCharsOfBytes(const uint8_t* aBytes, int aByteCount) const override;

  // The conversion every form above goes through: iconv here, replaced by
  // the Unicode code pages converted without it (UTF-8, UTF-7).
  virtual TIdBytes Encode(const char16_t* aChars, size_t aCharCount) const;
  virtual std::u16string Decode(const uint8_t* aBytes, size_t aByteCount) const;

private:
  uint16_t FCodePage;
  uint32_t FMBToWCharFlags = 0;
  uint32_t FWCharToMBFlags = 0;
  const char* FIconvName = nullptr;
  TIdBytes FDefaultChar;  // what a character the code page lacks becomes
};

// UTF-8 (65001). Invalid byte sequences become U+FFFD (one per maximal
// invalid subpart); unpaired surrogates become U+FFFD's bytes.
class TIdUTF8Encoding : public TIdMBCSEncoding {
public:
  TIdUTF8Encoding();
  int GetMaxByteCount(int aCharCount) const override;
  int GetMaxCharCount(int aByteCount) const override;

protected:
  TIdBytes Encode(const char16_t* aChars, size_t aCharCount) const override;
  std::u16string Decode(const uint8_t* aBytes, size_t aByteCount) const override;
  TIdBytes DoGetBytesOfText(std::string_view aText) const override;
  std::string DoGetString(const uint8_t* aBytes, int aByteCount) const override;
};

// UTF-7 (65000, RFC 2152). The letters, digits, the characters ' ( ) , - . / : ?
// and blank, tab, CR and LF are written directly; "+" as "+-"; every other
// run of code units in modified Base64 between "+" and an explicit "-".
// Reading accepts any RFC 2152 text; a byte above 127 becomes U+FFFD.
class TIdUTF7Encoding : public TIdMBCSEncoding {
public:
  TIdUTF7Encoding();
  int GetMaxByteCount(int aCharCount) const override;
  int GetMaxCharCount(int aByteCount) const override;

protected:
  TIdBytes Encode(const char16_t* aChars, size_t aCharCount) const override;
  std::u16string Decode(const uint8_t* aBytes, size_t aByteCount) const override;
};

}  // namespace qtx
