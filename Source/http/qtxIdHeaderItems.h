#pragma once
// The grammar of header values: a main item followed by ";"-separated
// name=value parameters, quoted by the rules of a quoting type, and the
// media-type tests on a Content-Type value.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qtx {

// Each type has its own set of characters that end an unquoted parameter
// value and force quoting when one is written; control characters (0-32, 127)
// count for all of them.
enum TIdHeaderQuotingType { QuotePlain, QuoteRFC822, QuoteMIME, QuoteHTTP };

struct TIdHeaderParam {
  std::string Name;
  std::string Value;
  bool Quoted = false;  // the value was written in double quotes
};

bool IsHeaderSpecialChar(char c, TIdHeaderQuotingType aQuoteType) noexcept;
// True when aText holds a control character other than tab: none may stand
// raw in a header value (a bare CR or LF would end the line), nor be written
// in a quoted-string.
bool HasHeaderControlChar(std::string_view aText) noexcept;

// The text before the first ";", trimmed.
std::string ExtractHeaderItem(std::string_view aHeaderLine);
// The parameters after the main item, in order; an item counts when it has a
// name and a value (an empty value counts when it was quoted).
std::vector<TIdHeaderParam> ParseHeaderParams(std::string_view aHeaderLine, TIdHeaderQuotingType aQuoteType);
// The value of one parameter (names compared without regard to case), or empty.
std::string ExtractHeaderSubItem(std::string_view aHeaderLine, std::string_view aSubItem,
                                 TIdHeaderQuotingType aQuoteType);
// The header value with one parameter replaced or appended, or removed
// (every occurrence of it) when aValue is empty (blank). A missing parameter
// to remove leaves the text as it was.
std::string ReplaceHeaderSubItem(std::string_view aHeaderLine, std::string_view aSubItem, std::string_view aValue,
                                 TIdHeaderQuotingType aQuoteType);

// A type without subtype ("text") matches every subtype of it; a full type
// matches exactly. Both without regard to case, on the main item.
bool IsHeaderMediaType(std::string_view aHeaderLine, std::string_view aMediaType);
bool IsHeaderMediaTypes(std::string_view aHeaderLine, std::initializer_list<std::string_view> aMediaTypes);
// The text after "/" of the main item.
std::string ExtractHeaderMediaSubType(std::string_view aHeaderLine);
// An HTML page: "text/html", "text/html-sandboxed" or "application/xhtml+xml".
bool IsHTMLMediaType(std::string_view aHeaderLine);

}  // namespace qtx
