#pragma once
// The lenient single-pass reader behind TqtxJSON::Read (internal to the json
// layer). It never throws for bad input and never decodes escapes: strings and
// numbers are stored exactly as they stand between their delimiters.

#include <memory>
#include <string>
#include <string_view>

#include "json/qtxJSON.h"

namespace qtx {

class TqtxJSONReader {
public:
  explicit TqtxJSONReader(std::string_view aText);
  // Reads the text into the (cleared) document: an array when the very first
  // character is "[", otherwise an object. A syntax error ends the reading
  // and leaves the nodes completed before it.
  void ReadInto(TqtxJSON& aDocument);

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
  bool ParseObject(TqtxJSON& aDocument);
  bool ParseArray(TqtxJSON& aDocument);
  bool ParseValue(TqtxJSON& aDocument);
  bool ParseContainer(TqtxJSON& aDocument, TqtxJSONtype aKind);
  bool ScanString() noexcept;
  bool AdvanceChar() noexcept;
  bool SkipUtf16Units(size_t aCount) noexcept;
  bool ScanNumber() noexcept;
  bool MatchWord(std::string_view aWord) noexcept;
  void KeepSlice(TqtxJSON& aDocument, size_t aStart, size_t aIrregularBefore, bool aIsArray) const;

  std::shared_ptr<const std::string> FSource;
  std::string_view FText;
  size_t FPos = 0;
  int FDepth = 0;
  // Counts what the writer would not give back as read (whitespace, comments,
  // missing or trailing commas, upper-case words), so a container whose text
  // holds none of these keeps its source text.
  size_t FIrregular = 0;
  // The pending member, between the value scanner and the step creating its node.
  std::string_view FJSONName;
  TqtxJSONtype FJSONType = qtxJSONUndefined;
  std::string_view FJSONValue;
};

}  // namespace qtx
