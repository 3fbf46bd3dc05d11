#include "openai/qtxHTTP_API_OpenAI_Classes.h"

#include <cmath>
#include <limits>

#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

const char* const SVarTypeCouldNotConvert = "Could not convert variant of type (%s) into type (%s)";
const char* const STypeText = "UnicodeString";
const char* const STypeBoolean = "Boolean";
const char* const STypeInteger = "Integer";
const char* const STypeInt64 = "Int64";
const char* const STypeDouble = "Double";

[[noreturn]] void CastError(const char* aTarget) {
  throw EVariantTypeCastError(Format(SVarTypeCouldNotConvert, {STypeText, aTarget}));
}

// The text a conversion starts from: a string member decoded, a number or
// Boolean as written, an object or list as its JSON text.
std::string ConversionText(TqtxObjectJSON& aNode) {
  if (aNode.JSONType() == qtxJSONString) {
    const TqtxJSONValue& raw = aNode.RawValue();
    if (const std::string* text = raw.TextPtr()) return UnescapeString(*text);
    return raw.Text();
  }
  return aNode.Value().Text();
}

// A number's text as it stands in the node, without copying it where possible.
template <class F>
auto WithText(TqtxObjectJSON& aNode, F aConvert) {
  const TqtxJSONValue& raw = aNode.RawValue();
  if (aNode.JSONType() == qtxJSONNumber)
    if (const std::string* text = raw.TextPtr()) return aConvert(std::string_view(*text));
  const std::string text = ConversionText(aNode);
  return aConvert(std::string_view(text));
}

int64_t TextToInteger(std::string_view aText, int64_t aMin, int64_t aMax, const char* aTarget) {
  int64_t value;
  if (TryStrToInt64(aText, value)) {
    if (value < aMin || value > aMax) CastError(aTarget);
    return value;
  }
  // A number with a fraction or an exponent rounds to the nearest integer.
  double number;
  if (!TryStrToFloat(aText, number) || !std::isfinite(number)) CastError(aTarget);
  number = std::nearbyint(number);
  constexpr double kInt64Bound = 9223372036854775808.0;  // 2^63
  if (!(number >= -kInt64Bound && number < kInt64Bound)) CastError(aTarget);
  const auto rounded = static_cast<int64_t>(number);
  if (rounded < aMin || rounded > aMax) CastError(aTarget);
  return rounded;
}

}  // namespace

TqtxJSON& TqtxOpenAIClass::JSON() {
  if (!FJSON) FJSON = std::make_shared<TqtxJSON>();
  return *FJSON;
}

const TqtxJSON& TqtxOpenAIClass::JSON() const {
  if (!FJSON) FJSON = std::make_shared<TqtxJSON>();
  return *FJSON;
}

void TqtxOpenAIClass::Read(std::string_view aJSON) {
  JSON().Read(aJSON);
  DoReadJSON();
}

void TqtxOpenAIClass::ReadNode(TqtxObjectJSON& aNode) {
  switch (aNode.JSONType()) {
    case qtxJSONObject:
      FJSON = aNode.JSONObject();
      break;
    case qtxJSONList:
      FJSON = aNode.JSONObject();
      FJSON->SetIsArray(true);
      break;
    case qtxJSONNull:
      JSON().Read({});
      break;
    default:
      JSON().Read(aNode.Value().Text());
      break;
  }
  DoReadJSON();
}

std::string TqtxOpenAIClass::AsString() {
  DoWriteJSON();
  return JSON().Text();
}

bool TqtxOpenAIClass::NodeToBoolean(TqtxObjectJSON& aNode) {
  if (aNode.JSONType() == qtxJSONNull) return false;
  return WithText(aNode, [](std::string_view aText) {
    if (SameText(aText, "true")) return true;
    if (SameText(aText, "false")) return false;
    double number;
    if (!TryStrToFloat(aText, number)) CastError(STypeBoolean);
    return number != 0;
  });
}

int32_t TqtxOpenAIClass::NodeToInteger(TqtxObjectJSON& aNode) {
  if (aNode.JSONType() == qtxJSONNull) return 0;
  return static_cast<int32_t>(WithText(aNode, [](std::string_view aText) {
    return TextToInteger(aText, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                         STypeInteger);
  }));
}

int64_t TqtxOpenAIClass::NodeToInt64(TqtxObjectJSON& aNode) {
  if (aNode.JSONType() == qtxJSONNull) return 0;
  return WithText(aNode, [](std::string_view aText) {
    return TextToInteger(aText, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                         STypeInt64);
  });
}

double TqtxOpenAIClass::NodeToDouble(TqtxObjectJSON& aNode) {
  if (aNode.JSONType() == qtxJSONNull) return 0;
  return WithText(aNode, [](std::string_view aText) {
    double number;
    if (!TryStrToFloat(aText, number)) CastError(STypeDouble);
    return number;
  });
}

std::string TqtxOpenAIClass::NodeToString(TqtxObjectJSON& aNode) {
  if (aNode.JSONType() == qtxJSONNull) return {};
  return ConversionText(aNode);
}

bool TqtxOpenAIClass::GetJSONBoolean(std::string_view aKey) const {
  const IqtxObjectJSON node = JSON().Node(aKey);
  return node ? NodeToBoolean(*node) : false;
}

int32_t TqtxOpenAIClass::GetJSONInteger(std::string_view aKey) const {
  const IqtxObjectJSON node = JSON().Node(aKey);
  return node ? NodeToInteger(*node) : 0;
}

int64_t TqtxOpenAIClass::GetJSONInt64(std::string_view aKey) const {
  const IqtxObjectJSON node = JSON().Node(aKey);
  return node ? NodeToInt64(*node) : 0;
}

double TqtxOpenAIClass::GetJSONDouble(std::string_view aKey) const {
  const IqtxObjectJSON node = JSON().Node(aKey);
  return node ? NodeToDouble(*node) : 0;
}

std::string TqtxOpenAIClass::GetJSONString(std::string_view aKey) const {
  const IqtxObjectJSON node = JSON().Node(aKey);
  return node ? NodeToString(*node) : std::string();
}

void TqtxOpenAIClass::ReadDoubles(std::string_view aKey, TqtxArrayOfDouble& aArray) const {
  aArray.clear();
  const IqtxObjectJSON node = JSON().Node(aKey);
  if (!node || node->Count() == 0) return;
  const TqtxJSON& elements = *node->JSONObject();
  aArray.reserve(static_cast<size_t>(elements.Count()));
  for (const IqtxObjectJSON& element : elements) aArray.push_back(NodeToDouble(*element));
}

}  // namespace qtx
