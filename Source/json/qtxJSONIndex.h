#pragma once
// A read-only index of a JSON text, for readers that take values out of the
// text rather than keep a document: the lenient grammar of the document
// reader records, in one pass and in one flat table, every member and element
// with its name, kind and the place of its value in the text. It holds
// exactly what a document read from the same text holds (the same members,
// the same partial content after a syntax error), so that what is taken out
// of it is what a document would give; and it makes that document on request.
// It keeps the text, and costs no allocation per value.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/qtxJSON.h"

namespace qtx {

class TqtxJSONIndex {
public:
  // An entry of the index: the document of the whole text, or one member or
  // element (of any depth) read from it.
  using TEntry = uint32_t;
  static constexpr TEntry kNone = UINT32_MAX;
  // The document of the whole text.
  static constexpr TEntry kRoot = 0;

  // Whether a text is short enough to be indexed (positions are 32-bit).
  static bool Fits(std::string_view aText) noexcept { return aText.size() < kNone; }
  // Indexes a copy of the text, read as TqtxJSON::Read reads it.
  explicit TqtxJSONIndex(std::string_view aText);
  TqtxJSONIndex(const TqtxJSONIndex&) = delete;
  TqtxJSONIndex& operator=(const TqtxJSONIndex&) = delete;

  // The kind of a member; the root is an object, or a list for a text whose
  // very first character is "[".
  TqtxJSONtype Kind(TEntry aEntry) const noexcept { return FEntries[aEntry].Kind; }
  bool IsContainer(TEntry aEntry) const noexcept { return IsContainerKind(Kind(aEntry)); }
  std::string_view Name(TEntry aEntry) const noexcept {
    const TRecord& record = FEntries[aEntry];
    return Slice(record.NameOffset, record.NameLength);
  }
  // The value of a string, number, Boolean or null as a parsed node stores it
  // (a string's characters between the quotes, escapes untouched).
  std::string_view RawValue(TEntry aEntry) const noexcept;
  // The double of a number whose text converts exactly the quick way
  // (TqtxJSONNumber::ExactDouble); false for any other entry.
  bool ExactDouble(TEntry aEntry, double& aValue) const noexcept {
    const TRecord& record = FEntries[aEntry];
    if (!record.Exact) return false;
    aValue = record.Number;
    return true;
  }
  // The JSON text of an object or list as its node writes it (compact).
  std::string ContainerText(TEntry aEntry) const;

  // The members or elements of an object or list, in order; none for others.
  int Count(TEntry aEntry) const noexcept { return IsContainer(aEntry) ? static_cast<int>(FEntries[aEntry].Length) : 0; }
  TEntry First(TEntry aEntry) const noexcept { return Count(aEntry) ? aEntry + 1 : kNone; }
  // The next member or element of the same container after aEntry, or kNone.
  TEntry Next(TEntry aContainer, TEntry aEntry) const noexcept {
    const TEntry next = IsContainer(aEntry) ? FEntries[aEntry].End : aEntry + 1;
    return next < FEntries[aContainer].End ? next : kNone;
  }
  // The first member of the container named aName exactly, or kNone.
  TEntry Find(TEntry aContainer, std::string_view aName) const noexcept;

  // A new document holding what the entry's node holds, as a typed reader
  // reads a member: the document of the whole text for the root; a copy of
  // the child document of an object; the child document of a list, as an
  // array.
  IqtxJSON Document(TEntry aEntry) const;

private:
  friend class TqtxJSONIndexBuilder;

  // Names and values are places in the text; a container's value is the
  // place of its opening bracket.
  struct TRecord {
    uint32_t NameOffset = 0;
    uint32_t NameLength = 0;
    uint32_t ValueOffset = 0;
    uint32_t Length = 0;  // a scalar's value length; a container's member count
    uint32_t End = 0;     // a container's first entry after its content
    uint16_t Depth = 0;   // a container's nesting depth
    TqtxJSONtype Kind = qtxJSONUndefined;
    bool Exact = false;   // a number whose double is Number
    double Number = 0;
  };

  static bool IsContainerKind(TqtxJSONtype aKind) noexcept { return aKind == qtxJSONObject || aKind == qtxJSONList; }
  std::string_view Slice(uint32_t aOffset, uint32_t aLength) const noexcept {
    return std::string_view(*FSource).substr(aOffset, aLength);
  }

  std::shared_ptr<const std::string> FSource;
  std::vector<TRecord> FEntries;
};

}  // namespace qtx
