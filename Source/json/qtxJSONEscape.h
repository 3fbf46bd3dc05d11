#pragma once
// JSON string escapes: writing text as a valid, ASCII-only JSON string body,
// and decoding the escapes of a string body as the reader stored it.

#include <string>
#include <string_view>

namespace qtx {

// Escapes every character a JSON string cannot hold as it is, and every
// character from U+0080 up (each UTF-16 code unit as "\uXXXX", upper-case),
// so the result is ASCII: control characters become \b \t \n \f \r or
// "\u00XX", and '"', '/' and '\' get a backslash.
std::string EscapeString(std::string_view aText);

// Decodes \" \\ \/ \b \f \n \r \t and \uXXXX (a surrogate pair joined into one
// code point) into UTF-8. The result is always valid UTF-8: a lone surrogate
// escape and every invalid byte sequence become U+FFFD. Any other escape that
// is not one of these stays as written. "\u0000" gives a NUL character, which
// the text then holds like any other.
std::string UnescapeString(std::string_view aText);

}  // namespace qtx
