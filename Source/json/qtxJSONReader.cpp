#include "json/qtxJSONReader.h"

#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {
namespace {

// Deeper nesting ends the reading like a syntax error, so hostile input
// cannot exhaust the stack.
constexpr int kMaxDepth = 512;

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

}  // namespace

TqtxJSONReader::TqtxJSONReader(std::string_view aText)
    : FSource(std::make_shared<const std::string>(aText)), FText(*FSource) {}

void TqtxJSONReader::ReadInto(TqtxJSON& aDocument) {
  if (!FText.empty() && FText.front() == '[') {
    aDocument.FIsArray = true;
    ParseArray(aDocument);
  } else {
    ParseObject(aDocument);
  }
}

void TqtxJSONReader::SkipBlanks() noexcept {
  const size_t start = FPos;
  while (!AtEnd()) {
    const char c = Current();
    if (c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ') {
      ++FPos;
    } else if (c == '#') {
      const size_t lineEnd = FText.find('\n', FPos);
      FPos = lineEnd == std::string_view::npos ? FText.size() : lineEnd;
    } else {
      break;
    }
  }
  if (FPos != start) ++FIrregular;
}

void TqtxJSONReader::KeepSlice(TqtxJSON& aDocument, size_t aStart, size_t aIrregularBefore, bool aIsArray) const {
  if (FIrregular != aIrregularBefore) return;
  aDocument.FSource = FSource;
  aDocument.FSlice = FText.substr(aStart, FPos - aStart);
  aDocument.FSliceIsArray = aIsArray;
}

bool TqtxJSONReader::ParseObject(TqtxJSON& aDocument) {
  const size_t entry = FPos;
  SkipWhitespace();
  if (AtEnd() || Current() != '{') return false;
  const size_t start = FPos;
  const size_t irregularBefore = FIrregular;
  ++FPos;
  bool afterMember = false, sawComma = false;
  while (!AtEnd()) {
    SkipWhitespace();
    if (AtEnd()) break;
    if (Current() == '}') {
      if (sawComma) ++FIrregular;  // a comma before the closing brace
      ++FPos;
      KeepSlice(aDocument, start, irregularBefore, false);
      return true;
    }
    if (afterMember && !sawComma) ++FIrregular;  // members without a comma between them
    const size_t keyStart = FPos;
    if (!ScanString()) break;
    FJSONName = FText.substr(keyStart + 1, FPos - keyStart - 2);
    FJSONType = qtxJSONUndefined;
    FJSONValue = {};
    SkipWhitespace();
    if (AtEnd() || Current() != ':') break;
    ++FPos;
    SkipWhitespace();
    if (!ParseValue(aDocument)) break;
    if (FJSONType != qtxJSONObject && FJSONType != qtxJSONList) {
      IqtxObjectJSON node = aDocument.NewNode(std::string(FJSONName), FJSONType);
      node->FValue = std::string(FJSONValue);
      aDocument.Append(std::move(node));
      FJSONName = {};
    }
    SkipWhitespace();
    afterMember = true;
    sawComma = !AtEnd() && Current() == ',';
    if (sawComma) ++FPos;
  }
  FPos = entry;
  return false;
}

bool TqtxJSONReader::ParseArray(TqtxJSON& aDocument) {
  const size_t entry = FPos;
  SkipWhitespace();
  if (AtEnd() || Current() != '[') return false;
  const size_t start = FPos;
  const size_t irregularBefore = FIrregular;
  ++FPos;
  bool afterElement = false, sawComma = false;
  while (!AtEnd()) {
    SkipWhitespace();
    if (AtEnd()) break;
    if (Current() == ']') {
      if (sawComma) ++FIrregular;
      ++FPos;
      KeepSlice(aDocument, start, irregularBefore, true);
      return true;
    }
    if (afterElement && !sawComma) ++FIrregular;
    FJSONName = {};
    if (!ParseValue(aDocument)) break;
    if (FJSONType != qtxJSONObject && FJSONType != qtxJSONList) {
      IqtxObjectJSON node = aDocument.NewNode(std::string(), FJSONType);
      node->FValue = std::string(FJSONValue);
      aDocument.Append(std::move(node));
    }
    SkipWhitespace();
    afterElement = true;
    sawComma = !AtEnd() && Current() == ',';
    if (sawComma) ++FPos;
  }
  FPos = entry;
  return false;
}

bool TqtxJSONReader::ParseContainer(TqtxJSON& aDocument, TqtxJSONtype aKind) {
  if (FDepth >= kMaxDepth) return false;
  IqtxObjectJSON node = aDocument.NewNode(std::string(FJSONName), aKind);
  const IqtxJSON& child = node->JSONObject();
  ++FDepth;
  const bool ok = aKind == qtxJSONList ? ParseArray(*child) : ParseObject(*child);
  --FDepth;
  aDocument.Append(std::move(node));
  FJSONName = {};
  FJSONType = aKind;
  return ok;
}

bool TqtxJSONReader::ParseValue(TqtxJSON& aDocument) {
  SkipWhitespace();
  if (AtEnd()) return false;
  const size_t start = FPos;
  const char c = Current();
  switch (c) {
    case '"':
      FJSONType = qtxJSONString;
      if (!ScanString()) return false;
      FJSONValue = FText.substr(start + 1, FPos - start - 2);
      return true;
    case 'f': case 'F':
      FJSONType = qtxJSONBoolean;
      FJSONValue = "false";
      return MatchWord("false");
    case 'n': case 'N':
      FJSONType = qtxJSONNull;
      FJSONValue = "null";
      return MatchWord("null");
    case 't': case 'T':
      FJSONType = qtxJSONBoolean;
      FJSONValue = "true";
      return MatchWord("true");
    case '[':
      return ParseContainer(aDocument, qtxJSONList);
    case '{':
      return ParseContainer(aDocument, qtxJSONObject);
    default:
      if (c == '+' || c == '-' || IsDigit(c)) {
        FJSONType = qtxJSONNumber;
        if (!ScanNumber()) return false;
        FJSONValue = FText.substr(start, FPos - start);
        return true;
      }
      return false;
  }
}

// Compares the word without regard to case and advances by its length
// whether or not it matched.
bool TqtxJSONReader::MatchWord(std::string_view aWord) noexcept {
  const std::string_view found = FText.substr(FPos, aWord.size());
  FPos += aWord.size();
  if (!SameText(found, aWord)) return false;
  if (found != aWord) ++FIrregular;
  return true;
}

bool TqtxJSONReader::ScanString() noexcept {
  const size_t entry = FPos;
  SkipWhitespace();
  if (AtEnd() || Current() != '"') return false;
  ++FPos;
  while (!AtEnd()) {
    if (Current() != '"') {
      if (!AdvanceChar()) break;
      continue;
    }
    // After an escaped backslash a quote closes the string only when "}",
    // "]" or "," follows it at once.
    const bool afterBackslash = FText[FPos - 1] == '\\';
    const char next = FPos + 1 < FText.size() ? FText[FPos + 1] : '\0';
    const bool closerFollows = next == '}' || next == ']' || next == ',';
    ++FPos;
    if (!afterBackslash || closerFollows) return true;
    if (AtEnd() || !AdvanceChar()) break;
  }
  FPos = entry;
  return false;
}

bool TqtxJSONReader::AdvanceChar() noexcept {
  if (Current() != '\\') {
    ++FPos;
    return true;
  }
  const size_t entry = FPos;
  ++FPos;
  if (AtEnd()) {
    FPos = entry;
    return false;
  }
  if (Current() == 'u') {
    ++FPos;
    if (!SkipUtf16Units(4)) {
      FPos = entry;
      return false;
    }
    return true;
  }
  ++FPos;
  return true;
}

// Advances past aCount UTF-16 code units of text (a character from U+10000
// up counts two); false when the text ends before.
bool TqtxJSONReader::SkipUtf16Units(size_t aCount) noexcept {
  size_t units = 0;
  while (units < aCount) {
    if (AtEnd()) return false;
    const char32_t cp = NextCodePoint(FText, FPos);
    units += cp >= 0x10000 ? 2 : 1;
  }
  return true;
}

bool TqtxJSONReader::ScanNumber() noexcept {
  const size_t entry = FPos;
  SkipWhitespace();
  if (AtEnd()) return false;
  const auto digits = [this] {
    const size_t start = FPos;
    while (!AtEnd() && IsDigit(Current())) ++FPos;
    return FPos > start;
  };
  if (Current() == '+' || Current() == '-') ++FPos;
  if (!digits()) {
    FPos = entry;
    return false;
  }
  if (!AtEnd() && Current() == '.') {
    ++FPos;
    if (!digits()) {
      FPos = entry;
      return false;
    }
  }
  if (!AtEnd() && (Current() == 'e' || Current() == 'E')) {
    ++FPos;
    if (!AtEnd() && (Current() == '+' || Current() == '-')) ++FPos;
    if (!digits()) {
      FPos = entry;
      return false;
    }
  }
  return true;
}

}  // namespace qtx
