#include "http/qtxIdHeaderItems.h"

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
bool IsControl(char c) noexcept {
  const auto b = static_cast<unsigned char>(c);
  return b <= 32 || b == 127;
}

bool IsBlank(char c) noexcept { return static_cast<unsigned char>(c) <= 32; }

bool NeedsQuotes(std::string_view aValue, TIdHeaderQuotingType aQuoteType) noexcept {
  for (char c : aValue)
    if (IsControl(c) || c == ';' || c == '"' || IsHeaderSpecialChar(c, aQuoteType)) return true;
  return false;
}

std::string QuoteValue(std::string_view aValue, TIdHeaderQuotingType aQuoteType) {
  const bool escapeCR = aQuoteType == QuoteRFC822 || aQuoteType == QuoteMIME;
  std::string result = "\"";
  for (char c : aValue) {
    if (c == '"' || c == '\\' || (c == '\r' && escapeCR)) result += '\\';
    result += c;
  }
  return result + "\"";
}

std::string BuildHeader(std::string_view aMainItem, const std::vector<TIdHeaderParam>& aParams,
                        TIdHeaderQuotingType aQuoteType) {
  std::string result(aMainItem);
  for (const auto& param : aParams) {
    result += "; " + param.Name + "=";
    if (param.Quoted || NeedsQuotes(param.Value, aQuoteType)) {
      result += QuoteValue(param.Value, aQuoteType);
    } else {
      result += param.Value;
    }
  }
  return result;
}
}  // namespace

bool HasHeaderControlChar(std::string_view aText) noexcept {
  for (const char c : aText) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t') || u == 0x7F) return true;
  }
  return false;
}

bool IsHeaderSpecialChar(char c, TIdHeaderQuotingType aQuoteType) noexcept {
  switch (aQuoteType) {
    case QuotePlain:
      return false;
    case QuoteRFC822:
      return std::string_view("()<>@,;:\\\"./").find(c) != std::string_view::npos;
    case QuoteMIME:
      return std::string_view("()<>@,;:\\\"/[]?=").find(c) != std::string_view::npos;
    case QuoteHTTP:
      return std::string_view("()<>@,;:\\\"/[]?={} \t").find(c) != std::string_view::npos;
  }
  return false;
}

std::string ExtractHeaderItem(std::string_view aHeaderLine) {
  return Trim(aHeaderLine.substr(0, aHeaderLine.find(';')));
}

std::vector<TIdHeaderParam> ParseHeaderParams(std::string_view aHeaderLine, TIdHeaderQuotingType aQuoteType) {
  std::vector<TIdHeaderParam> params;
  const size_t n = aHeaderLine.size();
  size_t pos = aHeaderLine.find(';');
  if (pos == std::string_view::npos) return params;
  ++pos;
  while (pos < n) {
    while (pos < n && IsBlank(aHeaderLine[pos])) ++pos;
    const size_t nameEnd = aHeaderLine.find_first_of("=;", pos);
    TIdHeaderParam param;
    param.Name = Trim(aHeaderLine.substr(pos, nameEnd - pos));
    if (nameEnd == std::string_view::npos) break;  // a name without value counts for nothing
    pos = nameEnd + 1;
    if (aHeaderLine[nameEnd] == ';') continue;
    while (pos < n && IsBlank(aHeaderLine[pos])) ++pos;
    if (pos < n && aHeaderLine[pos] == '"') {
      param.Quoted = true;
      ++pos;
      while (pos < n && aHeaderLine[pos] != '"') {
        if (aHeaderLine[pos] == '\\' && pos + 1 < n) ++pos;
        param.Value += aHeaderLine[pos++];
      }
      // Whatever follows the closing quote up to the next ";" is ignored.
      pos = aHeaderLine.find(';', pos);
      pos = pos == std::string_view::npos ? n : pos + 1;
    } else {
      const size_t start = pos;
      while (pos < n && aHeaderLine[pos] != ';' && !IsControl(aHeaderLine[pos]) &&
             !IsHeaderSpecialChar(aHeaderLine[pos], aQuoteType))
        ++pos;
      param.Value = std::string(aHeaderLine.substr(start, pos - start));
      if (pos < n && aHeaderLine[pos] == ';') ++pos;
    }
    if (!param.Name.empty() && (!param.Value.empty() || param.Quoted)) params.push_back(std::move(param));
  }
  return params;
}

std::string ExtractHeaderSubItem(std::string_view aHeaderLine, std::string_view aSubItem,
                                 TIdHeaderQuotingType aQuoteType) {
  for (auto& param : ParseHeaderParams(aHeaderLine, aQuoteType))
    if (SameText(param.Name, aSubItem)) return std::move(param.Value);
  return std::string();
}

std::string ReplaceHeaderSubItem(std::string_view aHeaderLine, std::string_view aSubItem, std::string_view aValue,
                                 TIdHeaderQuotingType aQuoteType) {
  std::vector<TIdHeaderParam> params = ParseHeaderParams(aHeaderLine, aQuoteType);
  const std::string value = Trim(aValue);
  auto found = params.begin();
  while (found != params.end() && !SameText(found->Name, aSubItem)) ++found;
  if (value.empty()) {
    if (found == params.end()) return std::string(aHeaderLine);
    // Every occurrence goes, so that the parameter no longer reads back.
    std::erase_if(params, [&](const TIdHeaderParam& aParam) { return SameText(aParam.Name, aSubItem); });
  } else if (found != params.end()) {
    found->Value = value;
  } else {
    params.push_back({std::string(aSubItem), value, false});
  }
  return BuildHeader(ExtractHeaderItem(aHeaderLine), params, aQuoteType);
}

bool IsHeaderMediaType(std::string_view aHeaderLine, std::string_view aMediaType) {
  const std::string mainItem = ExtractHeaderItem(aHeaderLine);
  if (aMediaType.find('/') == std::string_view::npos)
    return StartsText(std::string(aMediaType) + "/", mainItem);
  return SameText(mainItem, aMediaType);
}

bool IsHeaderMediaTypes(std::string_view aHeaderLine, std::initializer_list<std::string_view> aMediaTypes) {
  for (std::string_view mediaType : aMediaTypes)
    if (IsHeaderMediaType(aHeaderLine, mediaType)) return true;
  return false;
}

std::string ExtractHeaderMediaSubType(std::string_view aHeaderLine) {
  const std::string mainItem = ExtractHeaderItem(aHeaderLine);
  const size_t slash = mainItem.find('/');
  return slash == std::string::npos ? std::string() : mainItem.substr(slash + 1);
}

bool IsHTMLMediaType(std::string_view aHeaderLine) {
  return IsHeaderMediaTypes(aHeaderLine, {"text/html", "text/html-sandboxed", "application/xhtml+xml"});
}

}  // namespace qtx
