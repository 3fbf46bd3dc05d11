#pragma once
// The JSON document model: a document (TqtxJSON) holds an ordered list of
// nodes (TqtxObjectJSON); an object or array node holds a child document.
// Values are kept as text where they were parsed, exactly as they stood, so
// writing a parsed document gives back what was read (compact). Documents and
// nodes are shared: a node a caller still holds outlives Clear and its document.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "json/qtxJSONEscape.h"

namespace qtx {

enum TqtxJSONtype : uint8_t {
  qtxJSONUndefined = 0,  // no kind yet; writes nothing
  qtxJSONObject = 1,     // the child document, in braces
  qtxJSONList = 2,       // the child document, in square brackets
  qtxJSONString = 3,     // text, quoted unless the node is unquoted
  qtxJSONNumber = 4,     // a native number when added, the number's text when parsed
  qtxJSONBoolean = 5,    // "true" or "false"
  qtxJSONNull = 6,
};

class TqtxJSON;
class TqtxObjectJSON;
class TqtxJSONReader;
using IqtxJSON = std::shared_ptr<TqtxJSON>;
using IqtxObjectJSON = std::shared_ptr<TqtxObjectJSON>;

// The tagged scalar value of a node: empty, text, 32-bit or 64-bit integer,
// double or Boolean.
class TqtxJSONValue {
public:
  using TStorage = std::variant<std::monostate, std::string, int32_t, int64_t, double, bool>;

  TqtxJSONValue() = default;
  TqtxJSONValue(std::string aText) : FData(std::move(aText)) {}
  TqtxJSONValue(std::string_view aText) : FData(std::string(aText)) {}
  TqtxJSONValue(const char* aText) : FData(std::string(aText)) {}
  TqtxJSONValue(int32_t aValue) : FData(aValue) {}
  TqtxJSONValue(int64_t aValue) : FData(aValue) {}
  TqtxJSONValue(double aValue) : FData(aValue) {}
  TqtxJSONValue(bool aValue) : FData(aValue) {}

  bool IsEmpty() const noexcept { return std::holds_alternative<std::monostate>(FData); }
  // The stored text, or nullptr when the value is not text.
  const std::string* TextPtr() const noexcept { return std::get_if<std::string>(&FData); }
  // The text form: text as is, integers in decimal, a double in the general
  // format (15 significant digits, "." as separator), Booleans as "true" or
  // "false", empty text for an empty value.
  std::string Text() const;
  void AppendText(std::string& aOut) const;
  const TStorage& Data() const noexcept { return FData; }

  friend bool operator==(const TqtxJSONValue&, const TqtxJSONValue&) = default;

private:
  TStorage FData;
};

// The ordered node list of a document. Lookups by name are exact and
// case-sensitive; the first match wins.
class TqtxObjectJSONList {
public:
  using TItems = std::vector<IqtxObjectJSON>;

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  IqtxObjectJSON GetNode(std::string_view aName) const;
  // Replaces the first node of that name; returns the replaced one, or nullptr.
  IqtxObjectJSON SetNode(std::string_view aName, IqtxObjectJSON aValue);
  // nullptr at or past Count; EListError for a negative index.
  IqtxObjectJSON GetItem(int aIndex) const;
  // Replaces the entry when aIndex < Count; returns the replaced one, or nullptr.
  IqtxObjectJSON SetItem(int aIndex, IqtxObjectJSON aValue);
  void Add(IqtxObjectJSON aNode) { FItems.push_back(std::move(aNode)); }
  bool Contains(const TqtxObjectJSON* aNode) const noexcept;
  // Moves the nodes out, leaving the list empty.
  TItems Take() noexcept { return std::exchange(FItems, {}); }

  TItems::const_iterator begin() const noexcept { return FItems.begin(); }
  TItems::const_iterator end() const noexcept { return FItems.end(); }

private:
  static void CheckIndex(int aIndex);
  TItems FItems;
};

// A node: a member of an object document or an element of an array document.
class TqtxObjectJSON {
public:
  TqtxObjectJSON() = default;
  ~TqtxObjectJSON();
  TqtxObjectJSON(const TqtxObjectJSON&) = delete;
  TqtxObjectJSON& operator=(const TqtxObjectJSON&) = delete;

  // The child document, created on first call; creating it makes a node that
  // is not a list an object node.
  const IqtxJSON& JSONObject();
  void SetJSONObject(IqtxJSON aValue);
  TqtxJSONtype JSONType() const noexcept { return FJSONType; }
  void SetJSONType(TqtxJSONtype aValue);
  // Forwarded to the child document, which is created if missing.
  IqtxObjectJSON Node(std::string_view aName);
  void SetNode(std::string_view aName, IqtxObjectJSON aValue);
  IqtxObjectJSON Item(int aIndex);
  void SetItem(int aIndex, IqtxObjectJSON aValue);
  // Object: the child's text; List: the child's text as an array (the child's
  // IsArray is set for good); any other kind: the stored value.
  TqtxJSONValue Value();
  void SetValue(TqtxJSONValue aValue);
  // The stored scalar value, whatever the kind.
  const TqtxJSONValue& RawValue() const noexcept { return FValue; }
  int Count() const noexcept;
  const std::string& Name() const noexcept { return FName; }
  void SetName(std::string aValue);
  // False when a string value is written as it is, without quotes.
  bool Quoted() const noexcept { return FQuoted; }
  void SetQuoted(bool aValue);
  // Drops the reference to the child document.
  void Clear();

private:
  friend class TqtxJSON;
  friend class TqtxJSONReader;
  void Changed() noexcept;
  void ReleaseChild() noexcept;

  bool FQuoted = true;
  TqtxJSONValue FValue;
  std::string FName;
  IqtxJSON FJSONObject;
  TqtxJSONtype FJSONType = qtxJSONUndefined;
  TqtxJSON* FOwner = nullptr;  // the document that created the node, while it lists it
};

// A document: an object (or, with IsArray, an array) of nodes.
class TqtxJSON {
public:
  TqtxJSON() = default;
  ~TqtxJSON();
  TqtxJSON(const TqtxJSON&) = delete;
  TqtxJSON& operator=(const TqtxJSON&) = delete;

  int Count() const noexcept { return FData.Count(); }
  // The first node whose name equals aName exactly, or nullptr.
  IqtxObjectJSON Node(std::string_view aName) const { return FData.GetNode(aName); }
  void SetNode(std::string_view aName, IqtxObjectJSON aValue);
  // nullptr at or past Count; EListError for a negative index.
  IqtxObjectJSON Item(int aIndex) const { return FData.GetItem(aIndex); }
  void SetItem(int aIndex, IqtxObjectJSON aValue);
  bool IsArray() const noexcept { return FIsArray; }
  void SetIsArray(bool aValue);
  // When true, names and string values are escaped as they are added.
  bool EscapeStrings() const noexcept { return FEscapeStrings; }
  void SetEscapeStrings(bool aValue) noexcept { FEscapeStrings = aValue; }

  // Find-or-add by name: an existing node of that name only takes the new
  // value (kind and quoting unchanged); otherwise a node is appended. A text
  // starting with "{" or "[" is written unquoted, as ready-made JSON.
  IqtxObjectJSON AddPair(std::string_view aName, std::string_view aValue);
  IqtxObjectJSON AddPair(std::string_view aName, const char* aValue) { return AddPair(aName, std::string_view(aValue)); }
  IqtxObjectJSON AddPair(std::string_view aName, int32_t aValue);
  IqtxObjectJSON AddPair(std::string_view aName, int64_t aValue);
  IqtxObjectJSON AddPair(std::string_view aName, double aValue);
  IqtxObjectJSON AddPair(std::string_view aName, bool aValue);
  IqtxObjectJSON AddPair(std::string_view aName);  // null
  // The child document of a new node reads aValue (empty text: no members).
  IqtxObjectJSON AddObject(std::string_view aName, std::string_view aValue = {});
  IqtxObjectJSON AddArray(std::string_view aName, std::string_view aValue = {});
  // Appends without looking the name up, so several unnamed elements (array
  // elements) can be added: an empty object node, and a number node.
  IqtxObjectJSON AppendObject(std::string_view aName = {});
  IqtxObjectJSON AppendPair(std::string_view aName, double aValue);

  void Clear();
  // Replaces the content with the parsed text. Lenient, never throws: a
  // malformed text leaves the nodes completed before the error.
  void Read(std::string_view aText);
  // The document as compact JSON text.
  std::string Text() const;
  void AppendText(std::string& aOut) const;
  // The JSON text of one node; with aInArray the member name is left out.
  std::string WriteNode(const TqtxObjectJSON& aNode, bool aInArray) const;

  TqtxObjectJSONList::TItems::const_iterator begin() const noexcept { return FData.begin(); }
  TqtxObjectJSONList::TItems::const_iterator end() const noexcept { return FData.end(); }

private:
  friend class TqtxObjectJSON;
  friend class TqtxJSONReader;

  IqtxObjectJSON AddNode(std::string_view aName, TqtxJSONValue aValue, TqtxJSONtype aKind);
  IqtxObjectJSON NewNode(std::string aName, TqtxJSONtype aKind);
  void Append(IqtxObjectJSON aNode) { FData.Add(std::move(aNode)); }
  void Released(const IqtxObjectJSON& aNode) noexcept;
  void ReleaseNodes() noexcept;
  // Drops the parsed text kept for this document and its ancestors.
  void Changed() noexcept;
  bool HasSliceFor(bool aIsArray) const noexcept { return FSource && FSliceIsArray == aIsArray; }
  static void AppendNode(std::string& aOut, const TqtxObjectJSON& aNode, bool aInArray);
  // The document's nodes, separated by commas.
  static void AppendNodes(std::string& aOut, const TqtxJSON& aDocument, bool aInArray);

  bool FIsArray = false;
  bool FEscapeStrings = false;
  bool FSliceIsArray = false;
  TqtxObjectJSONList FData;
  TqtxObjectJSON* FOwnerNode = nullptr;  // the node whose child this is, while it holds it
  // The exact text this document was parsed from, kept while nothing below it
  // changed and only when writing would give back the same text, so that the
  // text of a parsed child costs a copy rather than a walk of its subtree.
  std::shared_ptr<const std::string> FSource;
  std::string_view FSlice;
};

}  // namespace qtx
