#include "qtxTestMultipart.h"

#include <algorithm>
#include <stdexcept>

namespace qtx::test {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view aText) {
  std::string lower(aText);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

std::string_view Trim(std::string_view aText) {
  while (!aText.empty() && (aText.front() == ' ' || aText.front() == '\t')) aText.remove_prefix(1);
  while (!aText.empty() && (aText.back() == ' ' || aText.back() == '\t')) aText.remove_suffix(1);
  return aText;
}

// The parameter aName of a header value such as
// `form-data; name="file"; filename="a.png"`: a quoted string (with its
// backslash escapes undone) or a token; nothing when absent.
std::optional<std::string> Parameter(std::string_view aValue, std::string_view aName) {
  size_t at = aValue.find(';');
  while (at != std::string_view::npos) {
    ++at;
    const size_t equals = aValue.find('=', at);
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string key = Lower(Trim(aValue.substr(at, equals - at)));
    std::string value;
    size_t next = equals + 1;
    while (next < aValue.size() && aValue[next] == ' ') ++next;
    if (next < aValue.size() && aValue[next] == '"') {
      for (++next; next < aValue.size() && aValue[next] != '"'; ++next) {
        if (aValue[next] == '\\' && next + 1 < aValue.size()) ++next;
        value += aValue[next];
      }
      at = aValue.find(';', next);
    } else {
      at = aValue.find(';', next);
      value = std::string(Trim(aValue.substr(next, at == std::string_view::npos ? at : at - next)));
    }
    if (key == aName) return value;
  }
  return std::nullopt;
}

[[noreturn]] void Malformed(const std::string& aWhy) { throw std::invalid_argument("multipart body: " + aWhy); }

}  // namespace

std::vector<TMultipartPart> ParseMultipart(std::string_view aContentType, const TBytes& aBody) {
  const auto boundary = Parameter(aContentType, "boundary");
  if (Lower(Trim(aContentType.substr(0, aContentType.find(';')))) != "multipart/form-data" || !boundary ||
      boundary->empty()) {
    Malformed("content type \"" + std::string(aContentType) + "\" has no boundary");
  }
  const std::string_view body(reinterpret_cast<const char*>(aBody.data()), aBody.size());
  const std::string delimiter = "--" + *boundary;
  size_t at = body.starts_with(delimiter) ? 0 : body.find("\r\n" + delimiter);
  if (at == std::string::npos) Malformed("no first delimiter");
  at = body.find(delimiter, at) + delimiter.size();

  std::vector<TMultipartPart> parts;
  while (true) {
    if (body.substr(at, 2) == "--") return parts;  // the closing delimiter
    at = body.find("\r\n", at);                    // blanks may follow a delimiter
    if (at == std::string::npos) Malformed("delimiter line not ended");
    at += 2;
    TMultipartPart part;
    while (true) {
      const size_t end = body.find("\r\n", at);
      if (end == std::string::npos) Malformed("part headers not ended");
      if (end == at) break;
      part.HeaderLines.emplace_back(body.substr(at, end - at));
      at = end + 2;
    }
    at += 2;
    const size_t end = body.find("\r\n" + delimiter, at);
    if (end == std::string::npos) Malformed("part not ended by a delimiter");
    part.Data.assign(aBody.begin() + static_cast<std::ptrdiff_t>(at), aBody.begin() + static_cast<std::ptrdiff_t>(end));
    at = end + 2 + delimiter.size();

    for (const std::string& line : part.HeaderLines) {
      const size_t colon = line.find(':');
      if (colon == std::string::npos) Malformed("bad part header \"" + line + "\"");
      const std::string name = Lower(Trim(std::string_view(line).substr(0, colon)));
      const std::string_view value = Trim(std::string_view(line).substr(colon + 1));
      if (name == "content-disposition") {
        part.Name = Parameter(value, "name").value_or("");
        part.FileName = Parameter(value, "filename");
      } else if (name == "content-type") {
        part.ContentType = std::string(value);
      }
    }
    parts.push_back(std::move(part));
  }
}

}  // namespace qtx::test
