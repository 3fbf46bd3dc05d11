#include "json/qtxJSONStrict.h"

#include "platform/qtxUnicode.h"

namespace qtx {
namespace {

constexpr int kMaxDepth = 512;

class TStrictScanner {
public:
  explicit TStrictScanner(std::string_view aText) : FText(aText) {}

  bool WholeObject() {
    SkipWhitespace();
    if (!Object(0)) return false;
    SkipWhitespace();
    return FPos == FText.size();
  }

private:
  bool AtEnd() const { return FPos >= FText.size(); }
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }
  bool Take(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++FPos;
    return true;
  }
  void SkipWhitespace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++FPos;
  }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

  bool Value(int aDepth) {
    SkipWhitespace();
    switch (Peek()) {
      case '{': return Object(aDepth + 1);
      case '[': return Array(aDepth + 1);
      case '"': return String();
      case 't': return Word("true");
      case 'f': return Word("false");
      case 'n': return Word("null");
      default: return Number();
    }
  }

  bool Object(int aDepth) {
    if (aDepth > kMaxDepth || !Take('{')) return false;
    SkipWhitespace();
    if (Take('}')) return true;
    for (;;) {
      SkipWhitespace();
      if (!String()) return false;
      SkipWhitespace();
      if (!Take(':') || !Value(aDepth)) return false;
      SkipWhitespace();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Array(int aDepth) {
    if (aDepth > kMaxDepth || !Take('[')) return false;
    SkipWhitespace();
    if (Take(']')) return true;
    for (;;) {
      if (!Value(aDepth)) return false;
      SkipWhitespace();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool String() {
    const size_t start = FPos;
    if (!Take('"')) return false;
    while (!AtEnd()) {
      const auto c = static_cast<unsigned char>(FText[FPos]);
      if (c == '"') {
        ++FPos;
        return IsValidUtf8(FText.substr(start, FPos - start));
      }
      if (c < 0x20) return false;
      if (c != '\\') {
        ++FPos;
        continue;
      }
      ++FPos;
      const char e = Peek();
      if (e == 'u') {
        if (FPos + 5 > FText.size()) return false;
        for (size_t i = FPos + 1; i < FPos + 5; ++i)
          if (!IsHex(FText[i])) return false;
        FPos += 5;
      } else if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
        ++FPos;
      } else {
        return false;
      }
    }
    return false;
  }

  bool Digits() {
    const size_t start = FPos;
    while (IsDigit(Peek()) && !AtEnd()) ++FPos;
    return FPos > start;
  }

  bool Number() {
    Take('-');
    if (Peek() == '0' && !AtEnd()) {
      ++FPos;
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Peek() == 'e' || Peek() == 'E') {
      ++FPos;
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool Word(std::string_view aWord) {
    if (FText.substr(FPos, aWord.size()) != aWord) return false;
    FPos += aWord.size();
    return true;
  }

  std::string_view FText;
  size_t FPos = 0;
};

}  // namespace

bool IsJSONObjectText(std::string_view aText) noexcept { return TStrictScanner(aText).WholeObject(); }

}  // namespace qtx
