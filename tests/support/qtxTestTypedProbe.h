#pragma once
// An OpenAI object that reads every member of its text with every typed
// reader (object members as children, list members as arrays of children and
// of doubles) and writes down what each gave, a refused conversion included:
// two ways of reading one text must write down the same.

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/qtxJSON.h"
#include "openai/qtxHTTP_API_OpenAI_Classes.h"
#include "platform/qtxException.h"

namespace qtx::test {

class TTypedProbe : public TqtxOpenAIClass {
public:
  // Reads the members of aShape (a document of the same text, or of this
  // object's member) by name; a name is read once, as its first member.
  std::string Describe(const TqtxJSON& aShape) const {
    std::string out;
    std::vector<std::string_view> seen;
    for (const IqtxObjectJSON& node : aShape) {
      const std::string& name = node->Name();
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);
      DescribeMember(out, name, *node);
    }
    return out;
  }

private:
  template <class F>
  static void Append(std::string& aOut, F aRead) {
    try {
      aOut += aRead();
    } catch (const EVariantTypeCastError&) {
      aOut += '!';
    }
    aOut += '|';
  }
  static std::string Number(double aValue) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, aValue).ptr);
  }

  void DescribeMember(std::string& aOut, const std::string& aName, TqtxObjectJSON& aShape) const {
    aOut += aName + ": ";
    Append(aOut, [&] { return std::string(GetJSONBoolean(aName) ? "true" : "false"); });
    Append(aOut, [&] { return std::to_string(GetJSONInteger(aName)); });
    Append(aOut, [&] { return std::to_string(GetJSONInt64(aName)); });
    Append(aOut, [&] { return Number(GetJSONDouble(aName)); });
    Append(aOut, [&] { return GetJSONString(aName); });
    if (aShape.JSONType() == qtxJSONObject) {
      const auto child = ReadChild<TTypedProbe>(aName);
      aOut += "{" + child->Describe(*aShape.JSONObject()) + "}" + child->AsString();
    } else if (aShape.JSONType() == qtxJSONList) {
      Append(aOut, [&] {
        TqtxArrayOfDouble doubles;
        ReadDoubles(aName, doubles);
        std::string text;
        for (const double value : doubles) text += Number(value) + ",";
        return text;
      });
      std::vector<std::unique_ptr<TTypedProbe>> elements;
      ReadArray(aName, elements);
      const TqtxJSON& shapes = *aShape.JSONObject();
      for (size_t i = 0; i < elements.size(); ++i) {
        const IqtxObjectJSON shape = shapes.Item(static_cast<int>(i));
        if (shape && shape->JSONType() == qtxJSONObject)
          aOut += "{" + elements[i]->Describe(*shape->JSONObject()) + "}";
        aOut += elements[i]->AsString() + ";";
      }
    }
    aOut += '\n';
  }
};

}  // namespace qtx::test
