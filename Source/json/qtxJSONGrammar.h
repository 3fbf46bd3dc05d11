#pragma once
// The lenient JSON grammar (internal to the json layer): one single-pass
// scanner that reports what it reads to a builder, so that every reader of
// JSON text (the document reader, the index of the typed reader) accepts
// exactly the same texts and stops at exactly the same place. It never throws
// for bad input and never decodes escapes: strings and numbers are reported
// exactly as they stand between their delimiters.
//
// A builder provides:
//   TContainer                  a handle of a container being filled;
//   Scalar(container, name, kind, value)
//                               a string, Boolean or null member or element
//                               (names are empty inside arrays; the value of
//                               a word is "true", "false" or "null");
//   Number(container, name, value, number)
//                               a number member or element, with its text
//                               and what scanning it found (qtxJSONNumber.h);
//   Open(container, name, kind, depth, position) -> TContainer
//                               an object or list member or element, whose
//                               content follows from its opening bracket at
//                               the text position, nested depth levels deep;
//   Close(container)            the end of an opened container, read or not;
//   Completed(container, isArray, first, last, regular)
//                               a container read to its closing bracket, from
//                               text position first up to last; regular when
//                               writing it compactly gives back that text.

#include <cstddef>
#include <string_view>

#include "json/qtxJSON.h"
#include "json/qtxJSONNumber.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

template <class TBuilder>
class TqtxJSONGrammar {
public:
  using TContainer = typename TBuilder::TContainer;

  // Deeper nesting ends the reading like a syntax error, so hostile input
  // cannot exhaust the stack.
  static constexpr int kMaxDepth = 512;

  // Reads from aPos, inside aDepth enclosing containers.
  TqtxJSONGrammar(TBuilder& aBuilder, std::string_view aText, size_t aPos = 0, int aDepth = 0) noexcept
      : FBuilder(aBuilder), FText(aText), FPos(aPos), FDepth(aDepth) {}

  // Whether a document read from the text is an array: only when its very
  // first character is "[" (no whitespace is skipped for this test).
  static bool IsArrayText(std::string_view aText) noexcept { return !aText.empty() && aText.front() == '['; }

  // Each restores the position it started from when it fails; the members
  // and elements reported before the failure stay reported.
  bool ParseObject(TContainer aContainer);
  bool ParseArray(TContainer aContainer);

private:
  bool AtEnd() const noexcept { return FPos >= FText.size(); }
  char Current() const noexcept { return FText[FPos]; }
  // Most calls stand on a token already: that case stays inline.
  void SkipWhitespace() noexcept {
    if (AtEnd()) return;
    const char c = Current();
    if (c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ' || c == '#') SkipBlanks();
  }
  void SkipBlanks() noexcept;
  bool ParseValue(TContainer aContainer, bool aInObject);
  bool ParseContainer(TContainer aContainer, TqtxJSONtype aKind);
  bool ScanString() noexcept;
  bool AdvanceChar() noexcept;
  bool SkipUtf16Units(size_t aCount) noexcept;
  bool ScanNumber() noexcept;
  bool MatchWord(std::string_view aWord) noexcept;
  void Completed(TContainer aContainer, bool aIsArray, size_t aFirst, size_t aIrregularBefore) {
    FBuilder.Completed(aContainer, aIsArray, aFirst, FPos, FIrregular == aIrregularBefore);
  }
  static bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

  TBuilder& FBuilder;
  std::string_view FText;
  size_t FPos;
  int FDepth;
  // Counts what the writer would not give back as read (whitespace, comments,
  // missing or trailing commas, upper-case words), so a container whose text
  // holds none of these is known to be regular.
  size_t FIrregular = 0;
  // The name of the pending member, between the key and the value scanner,
  // which reports the member.
  std::string_view FJSONName;
  TqtxJSONNumber FJSONNumber;
};

template <class TBuilder>
void TqtxJSONGrammar<TBuilder>::SkipBlanks() noexcept {
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

template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::ParseObject(TContainer aContainer) {
  const size_t entry = FPos;
  SkipWhitespace();
  if (AtEnd() || Current() != '{') return false;
  const size_t first = FPos;
  const size_t irregularBefore = FIrregular;
  ++FPos;
  bool afterMember = false, sawComma = false;
  while (!AtEnd()) {
    SkipWhitespace();
    if (AtEnd()) break;
    if (Current() == '}') {
      if (sawComma) ++FIrregular;  // a comma before the closing brace
      ++FPos;
      Completed(aContainer, false, first, irregularBefore);
      return true;
    }
    if (afterMember && !sawComma) ++FIrregular;  // members without a comma between them
    const size_t keyStart = FPos;
    if (!ScanString()) break;
    FJSONName = FText.substr(keyStart + 1, FPos - keyStart - 2);
    SkipWhitespace();
    if (AtEnd() || Current() != ':') break;
    ++FPos;
    SkipWhitespace();
    if (!ParseValue(aContainer, true)) break;
    FJSONName = {};
    SkipWhitespace();
    afterMember = true;
    sawComma = !AtEnd() && Current() == ',';
    if (sawComma) ++FPos;
  }
  FPos = entry;
  return false;
}

template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::ParseArray(TContainer aContainer) {
  const size_t entry = FPos;
  SkipWhitespace();
  if (AtEnd() || Current() != '[') return false;
  const size_t first = FPos;
  const size_t irregularBefore = FIrregular;
  ++FPos;
  bool afterElement = false, sawComma = false;
  while (!AtEnd()) {
    SkipWhitespace();
    if (AtEnd()) break;
    if (Current() == ']') {
      if (sawComma) ++FIrregular;
      ++FPos;
      Completed(aContainer, true, first, irregularBefore);
      return true;
    }
    if (afterElement && !sawComma) ++FIrregular;
    FJSONName = {};
    if (!ParseValue(aContainer, false)) break;
    SkipWhitespace();
    afterElement = true;
    sawComma = !AtEnd() && Current() == ',';
    if (sawComma) ++FPos;
  }
  FPos = entry;
  return false;
}

template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::ParseContainer(TContainer aContainer, TqtxJSONtype aKind) {
  if (FDepth >= kMaxDepth) return false;
  ++FDepth;
  const TContainer child = FBuilder.Open(aContainer, FJSONName, aKind, FDepth, FPos);
  const bool ok = aKind == qtxJSONList ? ParseArray(child) : ParseObject(child);
  FBuilder.Close(child);
  --FDepth;
  return ok;
}

// Reads one value and reports it, named FJSONName, to the builder: a scalar
// once it is read whole, a container before its content.
template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::ParseValue(TContainer aContainer, bool aInObject) {
  SkipWhitespace();
  if (AtEnd()) return false;
  const size_t start = FPos;
  const char c = Current();
  if (c == '-' || IsDigit(c) || c == '+') {
    if (!ScanNumber()) return false;
    FBuilder.Number(aContainer, FJSONName, FText.substr(start, FPos - start), FJSONNumber);
    return true;
  }
  const auto word = [&](std::string_view aWord, TqtxJSONtype aKind) {
    if (!MatchWord(aWord)) return false;
    FBuilder.Scalar(aContainer, FJSONName, aKind, aWord);
    return true;
  };
  switch (c) {
    case '"':
      if (!ScanString()) return false;
      FBuilder.Scalar(aContainer, FJSONName, qtxJSONString, FText.substr(start + 1, FPos - start - 2));
      return true;
    case 'f': case 'F':
      return word("false", qtxJSONBoolean);
    case 'n': case 'N':
      return word("null", qtxJSONNull);
    case 't': case 'T':
      return word("true", qtxJSONBoolean);
    case '[':
      // A list member without a name is written without its name.
      if (aInObject && FJSONName.empty()) ++FIrregular;
      return ParseContainer(aContainer, qtxJSONList);
    case '{':
      return ParseContainer(aContainer, qtxJSONObject);
    default:
      return false;
  }
}

// Compares the word without regard to case and advances by its length
// whether or not it matched.
template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::MatchWord(std::string_view aWord) noexcept {
  const std::string_view found = FText.substr(FPos, aWord.size());
  FPos += aWord.size();
  if (!SameText(found, aWord)) return false;
  if (found != aWord) ++FIrregular;
  return true;
}

template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::ScanString() noexcept {
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

template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::AdvanceChar() noexcept {
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
template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::SkipUtf16Units(size_t aCount) noexcept {
  size_t units = 0;
  while (units < aCount) {
    if (AtEnd()) return false;
    const char32_t cp = NextCodePoint(FText, FPos);
    units += cp >= 0x10000 ? 2 : 1;
  }
  return true;
}

template <class TBuilder>
bool TqtxJSONGrammar<TBuilder>::ScanNumber() noexcept {
  const size_t entry = FPos;
  SkipWhitespace();
  const char* const text = FText.data();
  const char* const end = TqtxJSONNumber::Scan(text + FPos, text + FText.size(), FJSONNumber);
  FPos = end ? static_cast<size_t>(end - text) : entry;
  return end;
}

}  // namespace qtx
