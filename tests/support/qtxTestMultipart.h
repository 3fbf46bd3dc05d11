#pragma once
// Reading a multipart/form-data body the way a web service's form parser
// does: the parts, their header lines, the field name and file name of the
// Content-Disposition line, and the data exactly as sent (a part's
// Content-Transfer-Encoding is not applied, as services ignore it).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qtxTypes.h"

namespace qtx::test {

struct TMultipartPart {
  std::vector<std::string> HeaderLines;  // in order, without CR LF
  std::string Name;                      // the field name
  std::optional<std::string> FileName;   // present on file parts
  std::string ContentType;               // "" when the part has none
  TBytes Data;

  std::string Text() const { return std::string(Data.begin(), Data.end()); }
};

// The parts of aBody, a body of the content type aContentType
// ("multipart/form-data; boundary=..."). Throws std::invalid_argument when
// the content type has no boundary or the body is not well formed.
std::vector<TMultipartPart> ParseMultipart(std::string_view aContentType, const TBytes& aBody);

}  // namespace qtx::test
