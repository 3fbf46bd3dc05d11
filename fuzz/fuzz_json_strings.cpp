// JSON string escapes against nlohmann::json. Any text, escaped, is ASCII
// that nlohmann::json reads back as the same text, and our own unescaping
// gives it back too. And the input as the body of a string member: where
// nlohmann::json reads it as one string, the typed string reader of the
// OpenAI objects reads the same text; whatever it reads is UTF-8.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "json/qtxJSONEscape.h"
#include "openai/qtxHTTP_API_OpenAI_Classes.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

bool IsAscii(std::string_view aText) {
  for (const char c : aText)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

void CheckEscape(const std::string& aText) {
  const std::string escaped = EscapeString(aText);
  QTX_FUZZ_CHECK(IsAscii(escaped));
  QTX_FUZZ_CHECK(nlohmann::json::parse('"' + escaped + '"').get<std::string>() == aText);
  QTX_FUZZ_CHECK(UnescapeString(escaped) == aText);
}

// nlohmann::json's reading of a string body, or nullopt when it is not one
// string (or holds a NUL, which nlohmann::json takes for the end of the text).
std::optional<std::string> ReferenceString(const std::string& aBody) {
  if (aBody.find('\0') != std::string::npos) return std::nullopt;
  try {
    return nlohmann::json::parse('"' + aBody + '"').get<std::string>();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

void CheckTypedReader(const std::string& aBody) {
  const TqtxOpenAIClass object("{\"k\":\"" + aBody + "\"}");
  const std::string read = object.GetJSONString("k");
  QTX_FUZZ_CHECK(IsValidUtf8(read));
  if (const std::optional<std::string> reference = ReferenceString(aBody)) QTX_FUZZ_CHECK(read == *reference);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string text = fuzz::Text(fuzz::Chars(aData, aSize));
  CheckEscape(text);
  CheckTypedReader(text);
  return 0;
}
