#pragma once
// What a document and an index read from one text hold, written out the same
// way (one line per member or element: depth, kind, name, value, and for a
// number its double), so that the two readers can be compared on any text.

#include <charconv>
#include <string>
#include <string_view>

#include "json/qtxJSON.h"
#include "json/qtxJSONIndex.h"
#include "platform/qtxSysUtils.h"

namespace qtx::test {

namespace shape {

inline void AppendLine(std::string& aOut, int aDepth, TqtxJSONtype aKind, std::string_view aName,
                       std::string_view aValue) {
  aOut.append(static_cast<size_t>(aDepth), ' ');
  aOut += std::to_string(static_cast<int>(aKind));
  aOut += " \"";
  aOut += aName;
  aOut += "\" ";
  aOut += aValue;
}

// A number's double, in the shortest text that reads back to it.
inline void AppendDouble(std::string& aOut, bool aConverted, double aValue) {
  char buffer[32] = "none";
  char* end = buffer + 4;
  if (aConverted) end = std::to_chars(buffer, buffer + sizeof buffer, aValue).ptr;
  aOut += " = ";
  aOut.append(buffer, end);
}

inline void DescribeNodes(std::string& aOut, const TqtxJSON& aDocument, int aDepth) {
  for (const IqtxObjectJSON& node : aDocument) {
    const TqtxJSONtype kind = node->JSONType();
    if (kind == qtxJSONObject || kind == qtxJSONList) {
      AppendLine(aOut, aDepth, kind, node->Name(), node->Value().Text());
      aOut += '\n';
      DescribeNodes(aOut, *node->JSONObject(), aDepth + 1);
      continue;
    }
    const std::string value = node->RawValue().Text();
    AppendLine(aOut, aDepth, kind, node->Name(), value);
    if (kind == qtxJSONNumber) {
      double number = 0;
      const bool converted = TryStrToFloat(value, number);
      AppendDouble(aOut, converted, number);
    }
    aOut += '\n';
  }
}

inline void DescribeEntries(std::string& aOut, const TqtxJSONIndex& aIndex, TqtxJSONIndex::TEntry aContainer,
                            int aDepth) {
  for (auto entry = aIndex.First(aContainer); entry != TqtxJSONIndex::kNone; entry = aIndex.Next(aContainer, entry)) {
    const TqtxJSONtype kind = aIndex.Kind(entry);
    if (aIndex.IsContainer(entry)) {
      AppendLine(aOut, aDepth, kind, aIndex.Name(entry), aIndex.ContainerText(entry));
      aOut += '\n';
      DescribeEntries(aOut, aIndex, entry, aDepth + 1);
      continue;
    }
    AppendLine(aOut, aDepth, kind, aIndex.Name(entry), aIndex.RawValue(entry));
    if (kind == qtxJSONNumber) {
      double number = 0;
      const bool converted = aIndex.ExactDouble(entry, number) || TryStrToFloat(aIndex.RawValue(entry), number);
      AppendDouble(aOut, converted, number);
    }
    aOut += '\n';
  }
}

}  // namespace shape

// The document's kind and text, then its nodes.
inline std::string Describe(const TqtxJSON& aDocument) {
  std::string out;
  shape::AppendLine(out, 0, aDocument.IsArray() ? qtxJSONList : qtxJSONObject, "", aDocument.Text());
  out += '\n';
  shape::DescribeNodes(out, aDocument, 1);
  return out;
}

// The same for an index, and its root's document.
inline std::string Describe(const TqtxJSONIndex& aIndex) {
  std::string out;
  shape::AppendLine(out, 0, aIndex.Kind(TqtxJSONIndex::kRoot), "", aIndex.ContainerText(TqtxJSONIndex::kRoot));
  out += '\n';
  shape::DescribeEntries(out, aIndex, TqtxJSONIndex::kRoot, 1);
  return out;
}

}  // namespace qtx::test
