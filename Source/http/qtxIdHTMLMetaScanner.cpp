#include "http/qtxIdHTMLMetaScanner.h"

#include <cctype>

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
bool IsTokenChar(char c) noexcept {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':' || c == '.';
}

bool IsSpace(char c) noexcept { return static_cast<unsigned char>(c) <= ' '; }

class THTMLScanner {
public:
  explicit THTMLScanner(std::string_view aText) : FText(aText) {}

  // Moves to the next tag and reads its name; false at the end of the text.
  bool NextTag(std::string& aName, bool& aClosing) {
    while (true) {
      const size_t open = FText.find('<', FPos);
      if (open == std::string_view::npos) return false;
      FPos = open + 1;
      if (FText.substr(FPos, 3) == "!--") {
        const size_t end = FText.find("-->", FPos + 3);
        FPos = end == std::string_view::npos ? FText.size() : end + 3;
        continue;
      }
      aClosing = FPos < FText.size() && FText[FPos] == '/';
      if (aClosing) ++FPos;
      const size_t start = FPos;
      while (FPos < FText.size() && (std::isalnum(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '!'))
        ++FPos;
      aName = UpperCase(FText.substr(start, FPos - start));
      return true;
    }
  }

  // Reads the next attribute of the current tag; false at its end.
  bool NextAttribute(std::string& aName, std::string& aValue, bool& aQuoted) {
    SkipSpaces();
    if (FPos >= FText.size() || FText[FPos] == '>') return false;
    if (FText[FPos] == '/') {
      ++FPos;
      return NextAttribute(aName, aValue, aQuoted);
    }
    const size_t start = FPos;
    while (FPos < FText.size() && !IsSpace(FText[FPos]) && FText[FPos] != '=' && FText[FPos] != '>' &&
           FText[FPos] != '/')
      ++FPos;
    aName = UpperCase(FText.substr(start, FPos - start));
    aValue.clear();
    aQuoted = false;
    if (aName.empty()) {  // a stray character: step over it
      ++FPos;
      return FPos < FText.size();
    }
    SkipSpaces();
    if (FPos >= FText.size() || FText[FPos] != '=') return true;
    ++FPos;
    SkipSpaces();
    if (FPos < FText.size() && (FText[FPos] == '"' || FText[FPos] == '\'')) {
      const char quote = FText[FPos++];
      const size_t end = FText.find(quote, FPos);
      aValue = std::string(FText.substr(FPos, end - FPos));
      FPos = end == std::string_view::npos ? FText.size() : end + 1;
      aQuoted = true;
    } else {
      const size_t valueStart = FPos;
      while (FPos < FText.size() && !IsSpace(FText[FPos]) && FText[FPos] != '>') ++FPos;
      aValue = std::string(FText.substr(valueStart, FPos - valueStart));
    }
    return true;
  }

  // Past the ">" of the current tag, quoted attribute values included.
  void SkipTag() {
    std::string name, value;
    bool quoted = false;
    while (NextAttribute(name, value, quoted)) {
    }
    if (FPos < FText.size()) ++FPos;
  }

  // Past the end tag of the element aName (its content is not markup).
  void SkipElement(std::string_view aName) {
    SkipTag();
    const size_t end = PosText("</" + std::string(aName), FText, FPos);
    FPos = end == std::string_view::npos ? FText.size() : end;
  }

private:
  void SkipSpaces() noexcept {
    while (FPos < FText.size() && IsSpace(FText[FPos])) ++FPos;
  }

  std::string_view FText;
  size_t FPos = 0;
};

void ReadMeta(THTMLScanner& aScanner, TIdHTMLMetaInfo& aInfo) {
  std::string name, value, header, content;
  bool quoted = false, hasContent = false;
  while (aScanner.NextAttribute(name, value, quoted)) {
    if (name == "HTTP-EQUIV") {
      if (quoted) {
        header = Trim(value);
      } else {
        size_t length = 0;
        while (length < value.size() && IsTokenChar(value[length])) ++length;
        header = value.substr(0, length);
      }
    } else if (name == "CONTENT") {
      content = value;
      hasContent = true;
    } else if (name == "CHARSET") {
      aInfo.CharSet = Trim(value);
    }
  }
  aScanner.SkipTag();
  if (!header.empty() && hasContent) aInfo.Headers.emplace_back(header, content);
}
}  // namespace

TIdHTMLMetaInfo ScanHTMLMeta(std::string_view aHTML) {
  TIdHTMLMetaInfo info;
  THTMLScanner scanner(aHTML);
  enum { sBeforeHTML, sBeforeHead, sInHead } state = sBeforeHTML;
  std::string tag;
  bool closing = false;
  while (scanner.NextTag(tag, closing)) {
    if (tag.empty()) continue;  // a "<" that opens no tag
    if (closing) {
      if (state == sInHead && tag == "HEAD") break;
      scanner.SkipTag();
      continue;
    }
    switch (state) {
      case sBeforeHTML:
        if (tag == "HTML") state = sBeforeHead;
        scanner.SkipTag();
        break;
      case sBeforeHead:
        if (tag == "TITLE" || tag == "BODY") return info;
        if (tag == "HEAD") state = sInHead;
        scanner.SkipTag();
        break;
      case sInHead:
        if (tag == "BODY") return info;
        if (tag == "TITLE" || tag == "SCRIPT") {
          scanner.SkipElement(tag);
        } else if (tag == "META") {
          ReadMeta(scanner, info);
        } else {
          scanner.SkipTag();
        }
        break;
    }
  }
  return info;
}

}  // namespace qtx
