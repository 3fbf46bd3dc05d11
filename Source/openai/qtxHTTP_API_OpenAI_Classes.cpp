#include "openai/qtxHTTP_API_OpenAI_Classes.h"

#include <cmath>
#include <limits>

#include "json/qtxJSONNumber.h"
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

bool TextToBoolean(std::string_view aText) {
  if (SameText(aText, "true")) return true;
  if (SameText(aText, "false")) return false;
  double number;
  if (!TryJSONNumberToDouble(aText, number)) CastError(STypeBoolean);
  return number != 0;
}

int64_t TextToInteger(std::string_view aText, int64_t aMin, int64_t aMax, const char* aTarget) {
  int64_t value;
  if (TryStrToInt64(aText, value)) {
    if (value < aMin || value > aMax) CastError(aTarget);
    return value;
  }
  // A number with a fraction or an exponent rounds to the nearest integer.
  double number;
  if (!TryJSONNumberToDouble(aText, number) || !std::isfinite(number)) CastError(aTarget);
  number = std::nearbyint(number);
  constexpr double kInt64Bound = 9223372036854775808.0;  // 2^63
  if (!(number >= -kInt64Bound && number < kInt64Bound)) CastError(aTarget);
  const auto rounded = static_cast<int64_t>(number);
  if (rounded < aMin || rounded > aMax) CastError(aTarget);
  return rounded;
}

int32_t TextToInt32(std::string_view aText) {
  return static_cast<int32_t>(
      TextToInteger(aText, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), STypeInteger));
}

int64_t TextToInt64(std::string_view aText) {
  return TextToInteger(aText, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), STypeInt64);
}

double TextToDouble(std::string_view aText) {
  double number;
  if (!TryJSONNumberToDouble(aText, number)) CastError(STypeDouble);
  return number;
}

}  // namespace

// Both kinds of member give a conversion the same text: a string decoded, a
// number or Boolean as written, an object or list as its JSON text. Null
// reads as absent.
class TqtxOpenAIClass::TMember {
public:
  TMember() = default;
  explicit TMember(TqtxObjectJSON* aNode) : FNode(aNode) {}
  TMember(const std::shared_ptr<const TqtxJSONIndex>& aIndex, TqtxJSONIndex::TEntry aEntry)
      : FIndex(aEntry == TqtxJSONIndex::kNone ? nullptr : &aIndex), FEntry(aEntry) {}

  explicit operator bool() const noexcept { return FNode || FIndex; }
  TqtxObjectJSON* Node() const noexcept { return FNode; }
  const std::shared_ptr<const TqtxJSONIndex>* Index() const noexcept { return FIndex; }
  TqtxJSONIndex::TEntry Entry() const noexcept { return FEntry; }
  TqtxJSONtype Kind() const { return FNode ? FNode->JSONType() : (*FIndex)->Kind(FEntry); }
  int Count() const { return FNode ? FNode->Count() : (*FIndex)->Count(FEntry); }

  // Calls aRead for each element, in order.
  template <class F>
  void ForEachElement(F aRead) const {
    if (FNode) {
      const int count = FNode->Count();
      for (int i = 0; i < count; ++i) aRead(TMember(FNode->Item(i).get()));
      return;
    }
    const TqtxJSONIndex& index = **FIndex;
    for (auto entry = index.First(FEntry); entry != TqtxJSONIndex::kNone; entry = index.Next(FEntry, entry))
      aRead(TMember(*FIndex, entry));
  }

  // Passes the text to convert to aConvert, without a copy where it can.
  template <class F>
  auto WithText(F aConvert) const {
    const TqtxJSONtype kind = Kind();
    if (FNode) {
      const TqtxJSONValue& raw = FNode->RawValue();
      const std::string* text = raw.TextPtr();
      if (kind == qtxJSONNumber && text) return aConvert(std::string_view(*text));
      if (kind == qtxJSONString) return aConvert(std::string_view(UnescapeString(text ? *text : raw.Text())));
      return aConvert(std::string_view(FNode->Value().Text()));
    }
    const TqtxJSONIndex& index = **FIndex;
    if (index.IsContainer(FEntry)) return aConvert(std::string_view(index.ContainerText(FEntry)));
    if (kind == qtxJSONString) return aConvert(std::string_view(UnescapeString(index.RawValue(FEntry))));
    return aConvert(index.RawValue(FEntry));
  }

  bool ToBoolean() const { return Kind() == qtxJSONNull ? false : WithText(TextToBoolean); }
  int32_t ToInteger() const { return Kind() == qtxJSONNull ? 0 : WithText(TextToInt32); }
  int64_t ToInt64() const { return Kind() == qtxJSONNull ? 0 : WithText(TextToInt64); }
  double ToDouble() const {
    double value;
    if (!FNode && (*FIndex)->ExactDouble(FEntry, value)) return value;
    return Kind() == qtxJSONNull ? 0 : WithText(TextToDouble);
  }
  std::string ToString() const {
    return Kind() == qtxJSONNull ? std::string() : WithText([](std::string_view aText) { return std::string(aText); });
  }

private:
  TqtxObjectJSON* FNode = nullptr;  // owned by the document it was found in
  const std::shared_ptr<const TqtxJSONIndex>* FIndex = nullptr;
  TqtxJSONIndex::TEntry FEntry = TqtxJSONIndex::kNone;
};

TqtxJSON& TqtxOpenAIClass::JSON() {
  return const_cast<TqtxJSON&>(std::as_const(*this).JSON());
}

const TqtxJSON& TqtxOpenAIClass::JSON() const {
  if (!FJSON) {
    FJSON = FIndex ? FIndex->Document(FIndexEntry) : std::make_shared<TqtxJSON>();
    FIndex.reset();
  }
  return *FJSON;
}

// A document already made is read into, as it may be in use; otherwise the
// text is indexed and its document made on first use.
void TqtxOpenAIClass::Read(std::string_view aJSON) {
  if (FJSON || !TqtxJSONIndex::Fits(aJSON)) {
    JSON().Read(aJSON);
  } else {
    FIndex = std::make_shared<const TqtxJSONIndex>(aJSON);
    FIndexEntry = TqtxJSONIndex::kRoot;
  }
  DoReadJSON();
}

void TqtxOpenAIClass::ReadFrom(const TMember& aMember) {
  if (TqtxObjectJSON* node = aMember.Node()) {
    switch (node->JSONType()) {
      case qtxJSONObject:
        FJSON = node->JSONObject();
        break;
      case qtxJSONList:
        FJSON = node->JSONObject();
        FJSON->SetIsArray(true);
        break;
      case qtxJSONNull:
        JSON().Read({});
        break;
      default:
        JSON().Read(node->Value().Text());
        break;
    }
  } else {
    const std::shared_ptr<const TqtxJSONIndex>& index = *aMember.Index();
    FJSON.reset();
    FIndex.reset();
    FIndexEntry = TqtxJSONIndex::kRoot;
    switch (index->Kind(aMember.Entry())) {
      case qtxJSONObject:
      case qtxJSONList:
        FIndex = index;
        FIndexEntry = aMember.Entry();
        break;
      case qtxJSONNull:
        break;
      default:  // a scalar's text, read as a text of its own
        FIndex = std::make_shared<const TqtxJSONIndex>(index->RawValue(aMember.Entry()));
        break;
    }
  }
  DoReadJSON();
}

TqtxOpenAIClass::TMember TqtxOpenAIClass::Find(std::string_view aKey) const {
  if (FJSON) return TMember(FJSON->Node(aKey).get());
  if (FIndex) return TMember(FIndex, FIndex->Find(FIndexEntry, aKey));
  return {};
}

void TqtxOpenAIClass::ReadMember(std::string_view aKey, TqtxOpenAIClass& aChild) const {
  if (const TMember member = Find(aKey)) aChild.ReadFrom(member);
}

void TqtxOpenAIClass::ReadElements(std::string_view aKey, const std::function<void(const TMember&)>& aRead) const {
  if (const TMember member = Find(aKey)) member.ForEachElement(aRead);
}

void TqtxOpenAIClass::ReadDoubles(std::string_view aKey, TqtxArrayOfDouble& aArray) const {
  aArray.clear();
  const TMember member = Find(aKey);
  if (!member || member.Count() == 0) return;
  aArray.reserve(static_cast<size_t>(member.Count()));
  member.ForEachElement([&aArray](const TMember& aElement) { aArray.push_back(aElement.ToDouble()); });
}

std::string TqtxOpenAIClass::AsString() {
  DoWriteJSON();
  return JSON().Text();
}

bool TqtxOpenAIClass::NodeToBoolean(TqtxObjectJSON& aNode) { return TMember(&aNode).ToBoolean(); }
int32_t TqtxOpenAIClass::NodeToInteger(TqtxObjectJSON& aNode) { return TMember(&aNode).ToInteger(); }
int64_t TqtxOpenAIClass::NodeToInt64(TqtxObjectJSON& aNode) { return TMember(&aNode).ToInt64(); }
double TqtxOpenAIClass::NodeToDouble(TqtxObjectJSON& aNode) { return TMember(&aNode).ToDouble(); }
std::string TqtxOpenAIClass::NodeToString(TqtxObjectJSON& aNode) { return TMember(&aNode).ToString(); }

bool TqtxOpenAIClass::GetJSONBoolean(std::string_view aKey) const {
  const TMember member = Find(aKey);
  return member && member.ToBoolean();
}

int32_t TqtxOpenAIClass::GetJSONInteger(std::string_view aKey) const {
  const TMember member = Find(aKey);
  return member ? member.ToInteger() : 0;
}

int64_t TqtxOpenAIClass::GetJSONInt64(std::string_view aKey) const {
  const TMember member = Find(aKey);
  return member ? member.ToInt64() : 0;
}

double TqtxOpenAIClass::GetJSONDouble(std::string_view aKey) const {
  const TMember member = Find(aKey);
  return member ? member.ToDouble() : 0;
}

std::string TqtxOpenAIClass::GetJSONString(std::string_view aKey) const {
  const TMember member = Find(aKey);
  return member ? member.ToString() : std::string();
}

}  // namespace qtx
