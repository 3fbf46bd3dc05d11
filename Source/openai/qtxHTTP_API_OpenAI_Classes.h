#pragma once
// The base of every OpenAI request and response object: it owns one JSON
// document, reads itself from JSON text and writes itself to JSON text.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/qtxJSON.h"
#include "json/qtxJSONIndex.h"

namespace qtx {

using TqtxArrayOfString = std::vector<std::string>;
using TqtxArrayOfDouble = std::vector<double>;

class TqtxOpenAIClass {
public:
  TqtxOpenAIClass() = default;
  // Reads the text (Read).
  explicit TqtxOpenAIClass(std::string_view aJSON) { Read(aJSON); }
  virtual ~TqtxOpenAIClass() = default;
  TqtxOpenAIClass(const TqtxOpenAIClass&) = delete;
  TqtxOpenAIClass& operator=(const TqtxOpenAIClass&) = delete;
  TqtxOpenAIClass(TqtxOpenAIClass&&) = default;
  TqtxOpenAIClass& operator=(TqtxOpenAIClass&&) = default;

  // The object's document, created on first use.
  TqtxJSON& JSON();
  const TqtxJSON& JSON() const;
  // Parses the text into JSON, then fills the fields (DoReadJSON).
  void Read(std::string_view aJSON);
  // Writes the fields into JSON (DoWriteJSON), then returns its text.
  std::string AsString();

  // Typed readers of a top-level member. An absent member, or one holding
  // JSON null, reads as false, 0, 0.0 or empty text; a value that cannot be
  // converted raises EVariantTypeCastError. Strings come back with their
  // JSON escapes decoded.
  bool GetJSONBoolean(std::string_view aKey) const;
  int32_t GetJSONInteger(std::string_view aKey) const;
  int64_t GetJSONInt64(std::string_view aKey) const;
  double GetJSONDouble(std::string_view aKey) const;
  std::string GetJSONString(std::string_view aKey) const;

  // The same conversions for one node's value.
  static bool NodeToBoolean(TqtxObjectJSON& aNode);
  static int32_t NodeToInteger(TqtxObjectJSON& aNode);
  static int64_t NodeToInt64(TqtxObjectJSON& aNode);
  static double NodeToDouble(TqtxObjectJSON& aNode);
  static std::string NodeToString(TqtxObjectJSON& aNode);

protected:
  virtual void DoReadJSON() {}
  virtual void DoWriteJSON() {}

  // Reading children: each child reads its own member of the text this
  // object read. A child made from an absent member is empty.
  template <class T>
  std::unique_ptr<T> ReadChild(std::string_view aKey) const {
    auto child = std::make_unique<T>();
    ReadMember(aKey, *child);
    return child;
  }
  // Fills the array with one child per element of the member (none when the
  // member is absent or empty).
  template <class T>
  void ReadArray(std::string_view aKey, std::vector<std::unique_ptr<T>>& aArray) const {
    aArray.clear();
    ReadElements(aKey, [&aArray](const TMember& aElement) {
      auto child = std::make_unique<T>();
      child->ReadFrom(aElement);
      aArray.push_back(std::move(child));
    });
  }
  void ReadDoubles(std::string_view aKey, TqtxArrayOfDouble& aArray) const;

private:
  // A member of this object's JSON: a node of its document, or an entry of
  // the index of the text it read.
  class TMember;

  TMember Find(std::string_view aKey) const;
  void ReadMember(std::string_view aKey, TqtxOpenAIClass& aChild) const;
  void ReadElements(std::string_view aKey, const std::function<void(const TMember&)>& aRead) const;
  // Takes the member's value as this object's JSON and fills the fields.
  void ReadFrom(const TMember& aMember);

  // Fields are read from an index of the text read, and the document is made
  // from it only when asked for (JSON), by a const getter: hence mutable. Once
  // made, the document is what this object reads, and the index is dropped.
  mutable IqtxJSON FJSON;
  mutable std::shared_ptr<const TqtxJSONIndex> FIndex;
  uint32_t FIndexEntry = 0;
};

// An object of class T read from JSON text. Reading follows construction
// because a constructor of the base cannot reach T's reader, which fills
// T's own fields.
template <class T>
T MakeResponse(std::string_view aJSON) {
  T object;
  object.Read(aJSON);
  return object;
}

}  // namespace qtx
