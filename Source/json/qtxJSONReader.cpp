#include "json/qtxJSONReader.h"

#include "json/qtxJSONGrammar.h"

namespace qtx {

TqtxJSONReader::TqtxJSONReader(std::string_view aText) : FSource(std::make_shared<const std::string>(aText)) {}

TqtxJSONReader::TqtxJSONReader(std::shared_ptr<const std::string> aSource) : FSource(std::move(aSource)) {}

void TqtxJSONReader::ReadInto(TqtxJSON& aDocument) {
  TqtxJSONGrammar<TqtxJSONReader> grammar(*this, *FSource);
  if (grammar.IsArrayText(*FSource)) {
    aDocument.FIsArray = true;
    grammar.ParseArray(&aDocument);
  } else {
    grammar.ParseObject(&aDocument);
  }
}

void TqtxJSONReader::ReadContainerInto(TqtxJSON& aDocument, size_t aPos, int aDepth, TqtxJSONtype aKind) {
  TqtxJSONGrammar<TqtxJSONReader> grammar(*this, *FSource, aPos, aDepth);
  if (aKind == qtxJSONList) grammar.ParseArray(&aDocument);
  else grammar.ParseObject(&aDocument);
}

void TqtxJSONReader::Scalar(TqtxJSON* aDocument, std::string_view aName, TqtxJSONtype aKind, std::string_view aValue) {
  IqtxObjectJSON node = aDocument->NewNode(std::string(aName), aKind);
  node->FValue = std::string(aValue);
  aDocument->Append(std::move(node));
}

TqtxJSON* TqtxJSONReader::Open(TqtxJSON* aDocument, std::string_view aName, TqtxJSONtype aKind, int, size_t) {
  IqtxObjectJSON node = aDocument->NewNode(std::string(aName), aKind);
  TqtxJSON* child = node->JSONObject().get();
  aDocument->Append(std::move(node));
  return child;
}

// A container whose text the writer would give back as read keeps that text,
// so that its text costs a copy rather than a walk of its subtree.
void TqtxJSONReader::Completed(TqtxJSON* aDocument, bool aIsArray, size_t aFirst, size_t aLast, bool aRegular) const {
  if (!aRegular) return;
  aDocument->FSource = FSource;
  aDocument->FSlice = std::string_view(*FSource).substr(aFirst, aLast - aFirst);
  aDocument->FSliceIsArray = aIsArray;
}

}  // namespace qtx
