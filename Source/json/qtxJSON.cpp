#include "json/qtxJSON.h"

#include <cmath>
#include <utility>

#include "json/qtxJSONReader.h"
#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
// ---------------------------------------------------------------- TqtxJSONValue

void TqtxJSONValue::AppendText(std::string& aOut) const {
  struct TAppender {
    std::string& Out;
    void operator()(std::monostate) const {}
    void operator()(const std::string& aText) const { Out += aText; }
    void operator()(int32_t aValue) const { Out += IntToStr(aValue); }
    void operator()(int64_t aValue) const { Out += IntToStr(aValue); }
    void operator()(double aValue) const { Out += FloatToStr(aValue); }
    void operator()(bool aValue) const { Out += aValue ? "true" : "false"; }
  };
  std::visit(TAppender{aOut}, FData);
}

std::string TqtxJSONValue::Text() const {
  if (const std::string* text = TextPtr()) return *text;
  std::string out;
  AppendText(out);
  return out;
}

// ---------------------------------------------------------- TqtxObjectJSONList

void TqtxObjectJSONList::CheckIndex(int aIndex) {
  if (aIndex < 0) throw EListError::IndexOutOfBounds(aIndex);
}

IqtxObjectJSON TqtxObjectJSONList::GetNode(std::string_view aName) const {
  for (const IqtxObjectJSON& node : FItems)
    if (node->Name() == aName) return node;
  return nullptr;
}

IqtxObjectJSON TqtxObjectJSONList::SetNode(std::string_view aName, IqtxObjectJSON aValue) {
  for (IqtxObjectJSON& node : FItems)
    if (node->Name() == aName) return std::exchange(node, std::move(aValue));
  return nullptr;
}

IqtxObjectJSON TqtxObjectJSONList::GetItem(int aIndex) const {
  CheckIndex(aIndex);
  return aIndex < Count() ? FItems[static_cast<size_t>(aIndex)] : nullptr;
}

IqtxObjectJSON TqtxObjectJSONList::SetItem(int aIndex, IqtxObjectJSON aValue) {
  CheckIndex(aIndex);
  if (aIndex >= Count()) return nullptr;
  return std::exchange(FItems[static_cast<size_t>(aIndex)], std::move(aValue));
}

bool TqtxObjectJSONList::Contains(const TqtxObjectJSON* aNode) const noexcept {
  for (const IqtxObjectJSON& node : FItems)
    if (node.get() == aNode) return true;
  return false;
}

// -------------------------------------------------------------- TqtxObjectJSON

TqtxObjectJSON::~TqtxObjectJSON() { ReleaseChild(); }

void TqtxObjectJSON::Changed() noexcept {
  if (FOwner) FOwner->Changed();
}

void TqtxObjectJSON::ReleaseChild() noexcept {
  if (FJSONObject && FJSONObject->FOwnerNode == this) FJSONObject->FOwnerNode = nullptr;
}

const IqtxJSON& TqtxObjectJSON::JSONObject() {
  if (!FJSONObject) {
    Changed();
    FJSONObject = std::make_shared<TqtxJSON>();
    FJSONObject->FOwnerNode = this;
    if (FJSONType != qtxJSONList) FJSONType = qtxJSONObject;
  }
  return FJSONObject;
}

void TqtxObjectJSON::SetJSONObject(IqtxJSON aValue) {
  Changed();
  ReleaseChild();
  FJSONObject = std::move(aValue);
}

void TqtxObjectJSON::SetJSONType(TqtxJSONtype aValue) {
  Changed();
  FJSONType = aValue;
}

IqtxObjectJSON TqtxObjectJSON::Node(std::string_view aName) { return JSONObject()->Node(aName); }

void TqtxObjectJSON::SetNode(std::string_view aName, IqtxObjectJSON aValue) {
  JSONObject()->SetNode(aName, std::move(aValue));
}

IqtxObjectJSON TqtxObjectJSON::Item(int aIndex) { return JSONObject()->Item(aIndex); }

void TqtxObjectJSON::SetItem(int aIndex, IqtxObjectJSON aValue) { JSONObject()->SetItem(aIndex, std::move(aValue)); }

TqtxJSONValue TqtxObjectJSON::Value() {
  if (FJSONType == qtxJSONObject) return JSONObject()->Text();
  if (FJSONType == qtxJSONList) {
    const IqtxJSON& child = JSONObject();
    child->SetIsArray(true);
    return child->Text();
  }
  return FValue;
}

void TqtxObjectJSON::SetValue(TqtxJSONValue aValue) {
  Changed();
  FValue = std::move(aValue);
}

int TqtxObjectJSON::Count() const noexcept { return FJSONObject ? FJSONObject->Count() : 0; }

void TqtxObjectJSON::SetName(std::string aValue) {
  Changed();
  FName = std::move(aValue);
}

void TqtxObjectJSON::SetQuoted(bool aValue) {
  Changed();
  FQuoted = aValue;
}

void TqtxObjectJSON::Clear() {
  Changed();
  ReleaseChild();
  FJSONObject.reset();
}

// -------------------------------------------------------------------- TqtxJSON

TqtxJSON::~TqtxJSON() { ReleaseNodes(); }

// Lets go of every node in one pass; a node a caller still holds stays
// valid, detached from this document.
void TqtxJSON::ReleaseNodes() noexcept {
  TqtxObjectJSONList::TItems nodes = FData.Take();
  for (IqtxObjectJSON& node : nodes) {
    if (node->FOwner == this) node->FOwner = nullptr;
    node.reset();
  }
}

// A node that left the list no longer changes this document's text.
void TqtxJSON::Released(const IqtxObjectJSON& aNode) noexcept {
  if (aNode && aNode->FOwner == this && !FData.Contains(aNode.get())) aNode->FOwner = nullptr;
}

// Parsed text is kept only while the document and everything below it are
// unchanged. A document without kept text never has an ancestor with kept
// text, so the walk stops at the first one that has none.
void TqtxJSON::Changed() noexcept {
  for (TqtxJSON* doc = this; doc && doc->FSource;) {
    doc->FSource.reset();
    doc->FSlice = {};
    doc = doc->FOwnerNode ? doc->FOwnerNode->FOwner : nullptr;
  }
}

void TqtxJSON::SetNode(std::string_view aName, IqtxObjectJSON aValue) {
  Changed();
  Released(FData.SetNode(aName, std::move(aValue)));
}

void TqtxJSON::SetItem(int aIndex, IqtxObjectJSON aValue) {
  Changed();
  Released(FData.SetItem(aIndex, std::move(aValue)));
}

void TqtxJSON::SetIsArray(bool aValue) {
  if (aValue == FIsArray) return;
  FIsArray = aValue;
  // An object node writes this document's own text; a list node writes the
  // elements whatever the flag, so only the former changes.
  if (FOwnerNode && FOwnerNode->FJSONType == qtxJSONObject) FOwnerNode->Changed();
}

IqtxObjectJSON TqtxJSON::NewNode(std::string aName, TqtxJSONtype aKind) {
  auto node = std::make_shared<TqtxObjectJSON>();
  node->FName = std::move(aName);
  node->FJSONType = aKind;
  node->FOwner = this;
  return node;
}

IqtxObjectJSON TqtxJSON::AddNode(std::string_view aName, TqtxJSONValue aValue, TqtxJSONtype aKind) {
  if (IqtxObjectJSON found = FData.GetNode(aName)) {
    Changed();
    found->SetValue(std::move(aValue));
    return found;
  }
  Changed();
  IqtxObjectJSON node = NewNode(FEscapeStrings ? EscapeString(aName) : std::string(aName), aKind);
  switch (aKind) {
    case qtxJSONObject:
    case qtxJSONList:
      node->JSONObject()->Read(aValue.Text());
      break;
    case qtxJSONString: {
      const std::string* text = aValue.TextPtr();
      if (text && !text->empty() && (text->front() == '{' || text->front() == '[')) node->FQuoted = false;
      node->FValue = FEscapeStrings && text ? TqtxJSONValue(EscapeString(*text)) : std::move(aValue);
      break;
    }
    case qtxJSONBoolean:
      node->FValue = aValue.Text();
      break;
    case qtxJSONNull:
      node->FValue = std::string();
      break;
    default:
      node->FValue = std::move(aValue);
      break;
  }
  Append(node);
  return node;
}

IqtxObjectJSON TqtxJSON::AddPair(std::string_view aName, std::string_view aValue) {
  return AddNode(aName, TqtxJSONValue(aValue), qtxJSONString);
}

IqtxObjectJSON TqtxJSON::AddPair(std::string_view aName, int32_t aValue) {
  return AddNode(aName, aValue, qtxJSONNumber);
}

IqtxObjectJSON TqtxJSON::AddPair(std::string_view aName, int64_t aValue) {
  return AddNode(aName, aValue, qtxJSONNumber);
}

IqtxObjectJSON TqtxJSON::AddPair(std::string_view aName, double aValue) {
  return AddNode(aName, aValue, qtxJSONNumber);
}

IqtxObjectJSON TqtxJSON::AddPair(std::string_view aName, bool aValue) {
  return AddNode(aName, aValue, qtxJSONBoolean);
}

IqtxObjectJSON TqtxJSON::AddPair(std::string_view aName) { return AddNode(aName, TqtxJSONValue(), qtxJSONNull); }

IqtxObjectJSON TqtxJSON::AddObject(std::string_view aName, std::string_view aValue) {
  return AddNode(aName, TqtxJSONValue(aValue), qtxJSONObject);
}

IqtxObjectJSON TqtxJSON::AddArray(std::string_view aName, std::string_view aValue) {
  return AddNode(aName, TqtxJSONValue(aValue), qtxJSONList);
}

IqtxObjectJSON TqtxJSON::AppendObject(std::string_view aName) {
  Changed();
  IqtxObjectJSON node = NewNode(FEscapeStrings ? EscapeString(aName) : std::string(aName), qtxJSONObject);
  node->JSONObject();
  Append(node);
  return node;
}

IqtxObjectJSON TqtxJSON::AppendPair(std::string_view aName, double aValue) {
  Changed();
  IqtxObjectJSON node = NewNode(FEscapeStrings ? EscapeString(aName) : std::string(aName), qtxJSONNumber);
  node->FValue = aValue;
  Append(node);
  return node;
}

void TqtxJSON::Clear() {
  Changed();
  ReleaseNodes();
}

void TqtxJSON::Read(std::string_view aText) {
  Clear();
  FIsArray = false;
  TqtxJSONReader(aText).ReadInto(*this);
}

std::string TqtxJSON::Text() const {
  std::string out;
  AppendText(out);
  return out;
}

void TqtxJSON::AppendText(std::string& aOut) const {
  if (HasSliceFor(FIsArray)) {
    aOut += FSlice;
    return;
  }
  if (FData.Count() == 0) {
    aOut += FIsArray ? "[]" : "{}";
    return;
  }
  aOut += FIsArray ? '[' : '{';
  AppendNodes(aOut, *this, FIsArray);
  aOut += FIsArray ? ']' : '}';
}

void TqtxJSON::AppendNodes(std::string& aOut, const TqtxJSON& aDocument, bool aInArray) {
  bool first = true;
  for (const IqtxObjectJSON& node : aDocument) {
    const size_t beforeComma = aOut.size();
    if (!first) aOut += ',';
    const size_t start = aOut.size();
    AppendNode(aOut, *node, aInArray);
    // A node of no kind writes nothing, and takes its comma back with it.
    if (aOut.size() == start) {
      aOut.resize(beforeComma);
    } else {
      first = false;
    }
  }
}

std::string TqtxJSON::WriteNode(const TqtxObjectJSON& aNode, bool aInArray) const {
  std::string out;
  AppendNode(out, aNode, aInArray);
  return out;
}

void TqtxJSON::AppendNode(std::string& aOut, const TqtxObjectJSON& aNode, bool aInArray) {
  const auto prefix = [&] {
    aOut += '"';
    aOut += aNode.FName;
    aOut += "\":";
  };
  const TqtxJSON* child = aNode.FJSONObject.get();
  switch (aNode.FJSONType) {
    case qtxJSONUndefined:
      return;
    case qtxJSONObject:
      if (!aInArray) prefix();
      if (child) child->AppendText(aOut);
      else aOut += "{}";
      return;
    case qtxJSONList: {
      if (!aInArray) prefix();
      if (child && child->HasSliceFor(true)) {
        aOut += child->FSlice;
        return;
      }
      aOut += '[';
      if (child) AppendNodes(aOut, *child, true);
      aOut += ']';
      return;
    }
    case qtxJSONString: {
      if (!aInArray) prefix();
      const std::string* text = aNode.FValue.TextPtr();
      const bool enclose = aNode.FQuoted && !(text && !text->empty() && text->front() == '"');
      if (enclose) aOut += '"';
      aNode.FValue.AppendText(aOut);
      if (enclose) aOut += '"';
      return;
    }
    case qtxJSONNumber: {
      if (!aInArray) prefix();
      // A number that JSON cannot hold (NaN, infinity) is written as null,
      // so the text stays JSON.
      if (const double* value = std::get_if<double>(&aNode.FValue.Data()); value && !std::isfinite(*value)) {
        aOut += "null";
        return;
      }
      aNode.FValue.AppendText(aOut);
      return;
    }
    case qtxJSONBoolean:
      if (!aInArray) prefix();
      aNode.FValue.AppendText(aOut);
      return;
    case qtxJSONNull:
      if (aInArray) {
        aNode.FValue.AppendText(aOut);
      } else {
        prefix();
        aOut += "null";
      }
      return;
  }
}

}  // namespace qtx
