#pragma once
// RFC 2047 encoded-words for text in header lines: "=?" charset "?" letter "?"
// encoded-text "?=", with the letter "B" (base64) or "Q" (quoted-printable
// with "_" for a space). No encoded-word exceeds 75 characters; a longer text
// goes out as several, joined by CR LF and a space, split only between
// characters so that each word decodes on its own.

#include <string>
#include <string_view>

namespace qtx {

// The whole text as encoded-words in aCharset.
std::string EncodeHeaderWords(std::string_view aText, const std::string& aCharset, char aEncoding);

// The text split into words at spaces, tabs, CR and LF; each run of words
// that need encoding (a byte outside 32-126 in aCharset, or "=?", which a
// decoder would take for an encoded-word), with the blanks inside the run,
// becomes encoded-words. Other words and blanks stay as they are.
std::string EncodeHeader(std::string_view aText, const std::string& aCharset, char aEncoding);

}  // namespace qtx
