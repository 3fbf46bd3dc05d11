#pragma once
// A strict check of JSON text by RFC 8259, for callers that must embed
// caller-given text in a body only when it is well-formed JSON. The document
// reader (qtxJSON) is lenient on purpose; this is its strict counterpart.

#include <string_view>

namespace qtx {

// True when aText is exactly one JSON object, optionally surrounded by JSON
// whitespace. Nesting deeper than a few hundred levels counts as malformed.
bool IsJSONObjectText(std::string_view aText) noexcept;

}  // namespace qtx
