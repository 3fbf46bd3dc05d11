#include "core/qtxIdCoderHeader.h"

#include <vector>

#include "core/qtxIdCoderMIME.h"
#include "core/qtxIdTextEncoding.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr size_t kMaxEncodedWordLength = 75;

bool IsHeaderBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool WordNeedsEncoding(const TIdBytes& aWord) {
  for (size_t i = 0; i < aWord.size(); ++i) {
    if (aWord[i] < 32 || aWord[i] > 126) return true;
    if (aWord[i] == '=' && i + 1 < aWord.size() && aWord[i + 1] == '?') return true;
  }
  return false;
}

bool QNeedsEscape(uint8_t c) {
  const bool plain = (c >= 33 && c <= 60) || c == 62 || (c >= 64 && c <= 94) || (c >= 96 && c <= 126);
  return !plain || c == '"' || c == '\\';
}

size_t Base64Length(size_t aCount) { return 4 * ((aCount + 2) / 3); }

// Writes text as encoded-words, each at most 75 characters, splitting only
// between characters so every word decodes on its own.
class TEncodedWordWriter {
public:
  TEncodedWordWriter(std::string& aOut, const std::string& aCharset, char aLetter, IIdTextEncoding aEncoding)
      : FOut(aOut), FPrefix("=?" + aCharset + "?" + aLetter + "?"), FLetter(aLetter), FEncoding(std::move(aEncoding)) {}

  void Write(std::string_view aText) {
    Open();
    size_t pos = 0;
    while (pos < aText.size()) {
      const size_t start = pos;
      NextCodePoint(aText, pos);
      AddCharacter(FEncoding->GetBytes(aText.substr(start, pos - start)));
    }
    FlushPending();
    FOut += "?=";
  }

private:
  void Open() {
    FOut += FPrefix;
    FWordLength = FPrefix.size();
  }

  size_t EncodedLength(const TIdBytes& aBytes) const {
    if (FLetter == 'B') return Base64Length(FPending.size() + aBytes.size());
    size_t length = 0;
    for (uint8_t c : aBytes) length += (c != ' ' && QNeedsEscape(c)) ? 3 : 1;
    return length;
  }

  void AddCharacter(const TIdBytes& aBytes) {
    const size_t pendingLength = FLetter == 'B' ? 0 : FPendingEncodedLength;
    if (FWordLength + pendingLength + EncodedLength(aBytes) + 2 > kMaxEncodedWordLength && !FPending.empty()) {
      FlushPending();
      FOut += "?=\r\n ";
      Open();
    }
    FPending.insert(FPending.end(), aBytes.begin(), aBytes.end());
    if (FLetter == 'Q') FPendingEncodedLength += EncodedLength(aBytes);
  }

  void FlushPending() {
    std::string encoded;
    if (FLetter == 'B') {
      encoded = TIdEncoderMIME::EncodeBytes(FPending);
    } else {
      for (uint8_t c : FPending) {
        if (c == ' ') {
          encoded.push_back('_');
        } else if (QNeedsEscape(c)) {
          encoded += '=' + IntToHex(c, 2);
        } else {
          encoded.push_back(static_cast<char>(c));
        }
      }
    }
    FOut += encoded;
    FWordLength += encoded.size();
    FPending.clear();
    FPendingEncodedLength = 0;
  }

  std::string& FOut;
  std::string FPrefix;
  char FLetter;
  IIdTextEncoding FEncoding;
  TIdBytes FPending;
  size_t FPendingEncodedLength = 0;
  size_t FWordLength = 0;
};

struct TTextToken {
  size_t Start;
  size_t End;
  bool Blank;
  bool Encode;
};

// Splits text at spaces, tabs, CR and LF into words and blank runs.
std::vector<TTextToken> Tokenize(std::string_view aText, const IIdTextEncoding& aEncoding) {
  std::vector<TTextToken> tokens;
  size_t pos = 0;
  while (pos < aText.size()) {
    const bool blank = IsHeaderBlank(static_cast<uint8_t>(aText[pos]));
    size_t end = pos;
    while (end < aText.size() && IsHeaderBlank(static_cast<uint8_t>(aText[end])) == blank) ++end;
    const bool encode = !blank && WordNeedsEncoding(aEncoding->GetBytes(aText.substr(pos, end - pos)));
    tokens.push_back({pos, end, blank, encode});
    pos = end;
  }
  return tokens;
}

}  // namespace

std::string EncodeHeaderWords(std::string_view aText, const std::string& aCharset, char aEncoding) {
  std::string out;
  TEncodedWordWriter(out, aCharset, aEncoding, CharsetToEncoding(aCharset)).Write(aText);
  return out;
}

std::string EncodeHeader(std::string_view aText, const std::string& aCharset, char aEncoding) {
  const IIdTextEncoding encoding = CharsetToEncoding(aCharset);
  const std::vector<TTextToken> tokens = Tokenize(aText, encoding);
  std::string out;
  for (size_t i = 0; i < tokens.size();) {
    if (!tokens[i].Encode) {
      out += aText.substr(tokens[i].Start, tokens[i].End - tokens[i].Start);
      ++i;
      continue;
    }
    // A run of words to encode, with the blanks between them.
    size_t last = i;
    for (size_t j = i + 1; j < tokens.size(); ++j) {
      if (tokens[j].Encode) {
        last = j;
      } else if (!tokens[j].Blank) {
        break;
      }
    }
    TEncodedWordWriter(out, aCharset, aEncoding, encoding)
        .Write(aText.substr(tokens[i].Start, tokens[last].End - tokens[i].Start));
    i = last + 1;
  }
  return out;
}

}  // namespace qtx
