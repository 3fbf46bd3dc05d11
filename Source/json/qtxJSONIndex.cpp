#include "json/qtxJSONIndex.h"

#include "json/qtxJSONGrammar.h"
#include "json/qtxJSONReader.h"

namespace qtx {

// Appends one record per member or element, in text order, so that a
// container's content is the records between it and its End.
class TqtxJSONIndexBuilder {
public:
  using TContainer = TqtxJSONIndex::TEntry;
  using TRecord = TqtxJSONIndex::TRecord;

  explicit TqtxJSONIndexBuilder(TqtxJSONIndex& aIndex) : FEntries(aIndex.FEntries), FText(*aIndex.FSource) {}

  void Scalar(TContainer aContainer, std::string_view aName, TqtxJSONtype aKind, std::string_view aValue) {
    TRecord& record = Add(aContainer, aName, aKind);
    if (aKind == qtxJSONString) {
      record.ValueOffset = Offset(aValue);
      record.Length = static_cast<uint32_t>(aValue.size());
    } else if (aKind == qtxJSONBoolean) {
      record.Length = aValue == "true";
    }
  }
  void Number(TContainer aContainer, std::string_view aName, std::string_view aValue, const TqtxJSONNumber& aNumber) {
    TRecord& record = Add(aContainer, aName, qtxJSONNumber);
    record.ValueOffset = Offset(aValue);
    record.Length = static_cast<uint32_t>(aValue.size());
    record.Exact = aNumber.ExactDouble(record.Number);
  }
  TContainer Open(TContainer aContainer, std::string_view aName, TqtxJSONtype aKind, int aDepth, size_t aPos) {
    TRecord& record = Add(aContainer, aName, aKind);
    record.ValueOffset = static_cast<uint32_t>(aPos);
    record.Depth = static_cast<uint16_t>(aDepth);
    return static_cast<TContainer>(FEntries.size() - 1);
  }
  void Close(TContainer aContainer) noexcept { FEntries[aContainer].End = static_cast<uint32_t>(FEntries.size()); }
  void Completed(TContainer, bool, size_t, size_t, bool) const noexcept {}

private:
  uint32_t Offset(std::string_view aPart) const noexcept {
    return aPart.empty() ? 0 : static_cast<uint32_t>(aPart.data() - FText.data());
  }
  TRecord& Add(TContainer aContainer, std::string_view aName, TqtxJSONtype aKind) {
    ++FEntries[aContainer].Length;
    TRecord& record = FEntries.emplace_back();
    record.NameOffset = Offset(aName);
    record.NameLength = static_cast<uint32_t>(aName.size());
    record.Kind = aKind;
    return record;
  }

  std::vector<TRecord>& FEntries;
  std::string_view FText;
};

TqtxJSONIndex::TqtxJSONIndex(std::string_view aText) : FSource(std::make_shared<const std::string>(aText)) {
  // A guess that spares most of the regrowth: values with their separators
  // take a few characters each.
  FEntries.reserve(aText.size() / 8 + 1);
  TqtxJSONIndexBuilder builder(*this);
  TqtxJSONGrammar<TqtxJSONIndexBuilder> grammar(builder, *FSource);
  const bool isArray = grammar.IsArrayText(*FSource);
  FEntries.emplace_back().Kind = isArray ? qtxJSONList : qtxJSONObject;
  if (isArray) grammar.ParseArray(kRoot);
  else grammar.ParseObject(kRoot);
  builder.Close(kRoot);
}

std::string_view TqtxJSONIndex::RawValue(TEntry aEntry) const noexcept {
  const TRecord& record = FEntries[aEntry];
  switch (record.Kind) {
    case qtxJSONString:
    case qtxJSONNumber:
      return Slice(record.ValueOffset, record.Length);
    case qtxJSONBoolean:
      return record.Length ? "true" : "false";
    case qtxJSONNull:
      return "null";
    default:
      return {};
  }
}

TqtxJSONIndex::TEntry TqtxJSONIndex::Find(TEntry aContainer, std::string_view aName) const noexcept {
  for (TEntry entry = First(aContainer); entry != kNone; entry = Next(aContainer, entry))
    if (Name(entry) == aName) return entry;
  return kNone;
}

IqtxJSON TqtxJSONIndex::Document(TEntry aEntry) const {
  auto document = std::make_shared<TqtxJSON>();
  TqtxJSONReader reader(FSource);
  if (aEntry == kRoot) {
    reader.ReadInto(*document);
  } else if (IsContainer(aEntry)) {
    const TRecord& record = FEntries[aEntry];
    reader.ReadContainerInto(*document, record.ValueOffset, record.Depth, record.Kind);
    if (record.Kind == qtxJSONList) document->SetIsArray(true);
  }
  return document;
}

std::string TqtxJSONIndex::ContainerText(TEntry aEntry) const { return Document(aEntry)->Text(); }

}  // namespace qtx
