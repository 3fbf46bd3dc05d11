#pragma once
// Shared routines of the library's components.

#include <string>
#include <string_view>

namespace qtx {

// Undoes byte-for-byte decoding of UTF-8 bytes: each character below U+0100 is
// taken as the byte of the same value (ISO-8859-1 stands in for the system's
// single-byte code page) and the bytes are decoded as UTF-8, invalid sequences
// becoming U+FFFD. Text holding any character from U+0100 up cannot be such
// mojibake and comes back unchanged.
std::string RepairUTF8Text(std::string_view aText);

}  // namespace qtx
