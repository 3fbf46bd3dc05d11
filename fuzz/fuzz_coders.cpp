// Base64 and quoted-printable over any bytes. Base64: any text decodes as a
// plain reference decoder does (characters outside the alphabet skipped,
// the first "=" ends the data, a last group of two or three characters
// gives one or two bytes), and any bytes encode to 4 * ceil(n / 3)
// characters that decode back to them, by string and by stream alike.
// Quoted-printable: any bytes encode to lines of at most 76 characters of
// printable ASCII with well-formed escapes, which decode back to the bytes
// and the line break the encoder ends with.

#include <string_view>

#include "core/qtxIdCoderMIME.h"
#include "core/qtxIdCoderQuotedPrintable.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

TIdBytes ReferenceBase64Decode(std::string_view aText) {
  TIdBytes out;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : aText) {
    if (c == '=') break;
    const size_t value = kAlphabet.find(c);
    if (value == std::string_view::npos) continue;
    bits = bits << 6 | static_cast<uint32_t>(value);
    if (++count == 4) {
      for (const int shift : {16, 8, 0}) out.push_back(static_cast<uint8_t>(bits >> shift));
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) out.push_back(static_cast<uint8_t>(bits >> 4));
  if (count == 3) out.insert(out.end(), {static_cast<uint8_t>(bits >> 10), static_cast<uint8_t>(bits >> 2)});
  return out;
}

void Base64(const TIdBytes& aBytes) {
  const std::string_view asText(reinterpret_cast<const char*>(aBytes.data()), aBytes.size());
  QTX_FUZZ_CHECK(TIdDecoderMIME::DecodeBytes(asText) == ReferenceBase64Decode(asText));
  QTX_FUZZ_CHECK(IsValidUtf8(TIdDecoderMIME::DecodeString(asText)));

  const std::string encoded = TIdEncoderMIME::EncodeBytes(aBytes);
  QTX_FUZZ_CHECK(encoded.size() == 4 * ((aBytes.size() + 2) / 3));
  QTX_FUZZ_CHECK(TIdDecoderMIME::DecodeBytes(encoded) == aBytes);

  TMemoryStream source(aBytes);
  TMemoryStream encodedStream;
  TIdEncoderMIME::EncodeStream(source, encodedStream);
  QTX_FUZZ_CHECK(encodedStream.Bytes() == fuzz::Bytes(encoded));
  TMemoryStream decodedStream;
  TIdDecoderMIME::DecodeStream(encoded, decodedStream);
  QTX_FUZZ_CHECK(decodedStream.Bytes() == aBytes);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes quoted-printable, checking that every line and escape is well formed.
TIdBytes CheckedQuotedPrintableDecode(std::string_view aText) {
  TIdBytes out;
  size_t lineStart = 0;
  for (size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '\r') {
      QTX_FUZZ_CHECK(aText.substr(i, 2) == "\r\n");
      QTX_FUZZ_CHECK(i - lineStart <= 76);
      QTX_FUZZ_CHECK(i == lineStart || (aText[i - 1] != ' ' && aText[i - 1] != '\t'));
      out.insert(out.end(), {'\r', '\n'});
      lineStart = ++i + 1;
    } else if (c == '=') {
      if (aText.substr(i + 1, 2) == "\r\n") {  // a soft line break
        QTX_FUZZ_CHECK(i + 1 - lineStart <= 76);
        lineStart = (i += 2) + 1;
        continue;
      }
      QTX_FUZZ_CHECK(i + 2 < aText.size());
      const int high = HexValue(aText[i + 1]);
      const int low = HexValue(aText[i + 2]);
      QTX_FUZZ_CHECK(high >= 0 && low >= 0);
      out.push_back(static_cast<uint8_t>(high << 4 | low));
      i += 2;
    } else {
      QTX_FUZZ_CHECK((c >= '!' && c <= '~') || c == ' ' || c == '\t');
      out.push_back(static_cast<uint8_t>(c));
    }
  }
  QTX_FUZZ_CHECK(lineStart == aText.size());  // ends with a line break
  return out;
}

void QuotedPrintable(const TIdBytes& aBytes) {
  TIdBytes expected = aBytes;
  expected.insert(expected.end(), {'\r', '\n'});
  QTX_FUZZ_CHECK(CheckedQuotedPrintableDecode(TIdEncoderQuotedPrintable::EncodeBytes(aBytes)) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const TIdBytes bytes(aData + 1, aData + aSize);
  if (aData[0] & 1) QuotedPrintable(bytes);
  else Base64(bytes);
  return 0;
}
