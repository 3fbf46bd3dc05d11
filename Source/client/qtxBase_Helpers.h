#pragma once
// Shared routines of the library's components.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/qtxIdSSLLibFolder.h"  // SetOpenSSLLibFolder: hands the folder to the OpenSSL loader
#include "core/qtxIdTextEncoding.h"

namespace qtx {

// Clears the owner's pointer first and then frees the object (none is
// allowed), so the object's destructor never sees itself still owned. An
// exception from a destructor declared noexcept(false) propagates with the
// pointer already cleared.
template <typename T>
void FreeAndClear(std::unique_ptr<T>& aRef) {
  T* object = aRef.release();
  delete object;
}

// FreeAndClear, swallowing any exception raised by the destruction.
template <typename T>
void TryFreeAndClear(std::unique_ptr<T>& aRef) noexcept {
  try {
    FreeAndClear(aRef);
  } catch (...) {
    // Teardown goes on whatever the object's destructor reported.
  }
}

// Every occurrence of aFrom, case-sensitive, left to right; replaced text is
// not scanned again. An empty aFrom replaces nothing.
std::string ReplaceAll(std::string_view aText, std::string_view aFrom, std::string_view aTo);

// Percent-encoding per UTF-16 code unit: A-Z, a-z, 0-9, "-", ".", "_" and
// "~" stay; every other code unit becomes "%" and its value in upper-case
// hexadecimal with at least two digits ("%20", "%E9", "%20AC").
std::string EncodeFormValue(std::string_view aText);

// Milliseconds of CLOCK_MONOTONIC.
uint64_t GetTicks();
// aNow - aStart, also across the wrap of the 64-bit range.
uint64_t GetTicksElapsed(uint64_t aStart, uint64_t aNow) noexcept;

// One character per byte, character code = byte value.
std::string BytesToRawText(const TIdBytes& aBytes);

// The folder of the running executable with a trailing "/" (from
// /proc/self/exe); empty when the system cannot tell.
std::string GetExecutableFolder();

// Undoes byte-for-byte decoding of UTF-8 bytes: each character below U+0100 is
// taken as the byte of the same value (ISO-8859-1 stands in for the system's
// single-byte code page) and the bytes are decoded as UTF-8, invalid sequences
// becoming U+FFFD. Text holding any character from U+0100 up cannot be such
// mojibake and comes back unchanged.
std::string RepairUTF8Text(std::string_view aText);

// A new random (version 4) GUID from the system's CSPRNG as 32 upper-case
// hexadecimal digits, without braces and hyphens.
std::string NewGuidText();

// The text's bytes (UTF-8, or Windows-1252 for the system's ANSI code page
// when aUTF8 is false) as one run of MIME Base64.
std::string EncodeBase64Text(std::string_view aText, bool aUTF8 = true);
// The inverse: the decoded bytes read as UTF-8 (invalid sequences become
// U+FFFD), or as Windows-1252 when aUTF8 is false.
std::string DecodeBase64Text(std::string_view aText, bool aUTF8 = true);

// Every pair of characters read as one hexadecimal byte; an odd trailing
// character is ignored. A pair that is not hexadecimal raises EConvertError.
TIdBytes HexToBytes(std::string_view aText);

}  // namespace qtx
