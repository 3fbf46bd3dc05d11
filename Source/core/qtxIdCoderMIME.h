#pragma once
// The MIME Base64 coder (RFC 2045): the standard alphabet, the last group
// filled with "=", the whole output one run without line breaks
// (4 * ((n + 2) / 3) characters for n bytes).

#include <cstdint>
#include <string>
#include <string_view>

#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"

namespace qtx {

class TIdEncoderMIME {
public:
  static std::string EncodeBytes(const TIdBytes& aBytes);
  static std::string EncodeBytes(const uint8_t* aData, size_t aSize);
  // The text's bytes in aEncoding (UTF-8 when none is given), encoded.
  static std::string EncodeString(std::string_view aText, const IIdTextEncoding& aEncoding = nullptr);
  // Encodes aSize bytes from aSource's position (-1: up to its end) and
  // writes the Base64 characters to aDest. Returns the characters written.
  static int64_t EncodeStream(TStream& aSource, TStream& aDest, int64_t aSize = -1);
};

// Decoding skips every character outside the Base64 alphabet (line breaks,
// blanks and anything else, as RFC 2045 asks) and stops at the first "=".
// A last group of two or three characters gives one or two bytes; a single
// character left over carries no whole byte and is dropped.
class TIdDecoderMIME {
public:
  static TIdBytes DecodeBytes(std::string_view aText);
  // The decoded bytes as text in aEncoding (UTF-8 when none is given).
  static std::string DecodeString(std::string_view aText, const IIdTextEncoding& aEncoding = nullptr);
  // Writes the decoded bytes to aDest; returns their number.
  static int64_t DecodeStream(std::string_view aText, TStream& aDest);
};

}  // namespace qtx
