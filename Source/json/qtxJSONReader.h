#pragma once
// The document reader behind TqtxJSON::Read (internal to the json layer): the
// lenient grammar building the node tree of a document. It never throws for
// bad input and never decodes escapes: strings and numbers are stored exactly
// as they stand between their delimiters.

#include <memory>
#include <string>
#include <string_view>

#include "json/qtxJSON.h"
#include "json/qtxJSONNumber.h"

namespace qtx {

class TqtxJSONReader {
public:
  // Reads from a copy of the text.
  explicit TqtxJSONReader(std::string_view aText);
  // Reads from a text others keep too; the documents share it.
  explicit TqtxJSONReader(std::shared_ptr<const std::string> aSource);

  // Reads the text into the (cleared) document: an array when the very first
  // character is "[", otherwise an object. A syntax error ends the reading
  // and leaves the nodes completed before it.
  void ReadInto(TqtxJSON& aDocument);
  // Reads the object or list whose opening bracket stands at aPos, nested
  // aDepth levels deep, into the (cleared) document: the same nodes that
  // reading the whole text gives that container's child document.
  void ReadContainerInto(TqtxJSON& aDocument, size_t aPos, int aDepth, TqtxJSONtype aKind);

  // What the grammar reports (qtxJSONGrammar.h).
  using TContainer = TqtxJSON*;
  void Scalar(TqtxJSON* aDocument, std::string_view aName, TqtxJSONtype aKind, std::string_view aValue);
  void Number(TqtxJSON* aDocument, std::string_view aName, std::string_view aValue, const TqtxJSONNumber&) {
    Scalar(aDocument, aName, qtxJSONNumber, aValue);
  }
  TqtxJSON* Open(TqtxJSON* aDocument, std::string_view aName, TqtxJSONtype aKind, int aDepth, size_t aPos);
  void Close(TqtxJSON*) noexcept {}
  void Completed(TqtxJSON* aDocument, bool aIsArray, size_t aFirst, size_t aLast, bool aRegular) const;

private:
  std::shared_ptr<const std::string> FSource;
};

}  // namespace qtx
