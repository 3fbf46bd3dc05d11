// The JSON document reader over any text: reading never throws; every node
// of what it read can be asked for its value (which writes nested documents
// back to text); the text written reads back to the same text; and the
// strict object check agrees with nlohmann::json.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "json/qtxJSON.h"
#include "json/qtxJSONStrict.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

// Asks every node for its kind, name, count and value, depth first.
void Walk(const TqtxJSON& aDocument) {
  for (const IqtxObjectJSON& node : aDocument) {
    (void)node->Name();
    (void)node->Value().Text();
    if (node->JSONType() == qtxJSONObject || node->JSONType() == qtxJSONList) {
      QTX_FUZZ_CHECK(node->Item(node->Count()) == nullptr);
      Walk(*node->JSONObject());
    }
  }
}

// Whether the text holds at most aLimit opening brackets and braces, so its
// nesting is within what the strict check allows.
bool ShallowEnough(std::string_view aText, size_t aLimit) {
  size_t openings = 0;
  for (const char c : aText) openings += c == '{' || c == '[';
  return openings <= aLimit;
}

// nlohmann::json's verdict: true when the text is one JSON object. Lone
// surrogate escapes and numbers beyond a double are valid JSON text that it
// refuses, and it takes a NUL for the end of the text, so these count as
// undecided (nullopt).
std::optional<bool> ReferenceIsObject(std::string_view aText) {
  if (aText.find('\0') != std::string_view::npos) return std::nullopt;
  try {
    return nlohmann::json::parse(aText).is_object();
  } catch (const nlohmann::json::exception& e) {
    const std::string_view what = e.what();
    if (what.find("surrogate") != std::string_view::npos || what.find("number overflow") != std::string_view::npos)
      return std::nullopt;
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string text = fuzz::Text(fuzz::Chars(aData, aSize));

  TqtxJSON document;
  document.Read(text);
  Walk(document);
  const std::string written = document.Text();

  TqtxJSON reread;
  reread.Read(written);
  QTX_FUZZ_CHECK(reread.Text() == written);

  if (ShallowEnough(text, 500))
    if (const std::optional<bool> isObject = ReferenceIsObject(text))
      QTX_FUZZ_CHECK(IsJSONObjectText(text) == *isObject);
  return 0;
}
