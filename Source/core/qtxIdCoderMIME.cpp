#include "core/qtxIdCoderMIME.h"

#include <algorithm>
#include <array>
#include <vector>

namespace qtx {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr int64_t kStreamChunk = 3 * 16384;  // whole groups, so chunks join without padding

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& value : table) value = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}
constexpr std::array<int8_t, 256> kDecodeTable = MakeDecodeTable();

void AppendBase64(std::string& aOut, const uint8_t* aData, size_t aSize) {
  aOut.reserve(aOut.size() + 4 * ((aSize + 2) / 3));
  size_t i = 0;
  for (; i + 3 <= aSize; i += 3) {
    const uint32_t group = (aData[i] << 16) | (aData[i + 1] << 8) | aData[i + 2];
    aOut += kAlphabet[group >> 18];
    aOut += kAlphabet[(group >> 12) & 0x3F];
    aOut += kAlphabet[(group >> 6) & 0x3F];
    aOut += kAlphabet[group & 0x3F];
  }
  if (i < aSize) {
    const bool two = i + 1 < aSize;
    const uint32_t group = (aData[i] << 16) | (two ? aData[i + 1] << 8 : 0);
    aOut += kAlphabet[group >> 18];
    aOut += kAlphabet[(group >> 12) & 0x3F];
    aOut += two ? kAlphabet[(group >> 6) & 0x3F] : kPad;
    aOut += kPad;
  }
}

}  // namespace

std::string TIdEncoderMIME::EncodeBytes(const TIdBytes& aBytes) { return EncodeBytes(aBytes.data(), aBytes.size()); }

std::string TIdEncoderMIME::EncodeBytes(const uint8_t* aData, size_t aSize) {
  std::string out;
  AppendBase64(out, aData, aSize);
  return out;
}

std::string TIdEncoderMIME::EncodeString(std::string_view aText, const IIdTextEncoding& aEncoding) {
  return EncodeBytes((aEncoding ? aEncoding : IdTextEncoding_UTF8())->GetBytes(aText));
}

int64_t TIdEncoderMIME::EncodeStream(TStream& aSource, TStream& aDest, int64_t aSize) {
  int64_t left = aSize < 0 ? aSource.Size() - aSource.Position() : aSize;
  std::vector<uint8_t> chunk(static_cast<size_t>(kStreamChunk));
  std::string text;
  int64_t written = 0;
  while (left > 0) {
    // Only the last chunk may end in a partial group: fill each one fully.
    const int64_t wanted = std::min(left, kStreamChunk);
    int64_t filled = 0;
    for (int64_t read; filled < wanted && (read = aSource.Read(chunk.data() + filled, wanted - filled)) > 0;)
      filled += read;
    left -= filled;
    text.clear();
    AppendBase64(text, chunk.data(), static_cast<size_t>(filled));
    aDest.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    written += static_cast<int64_t>(text.size());
    if (filled < wanted) break;  // the source ended early
  }
  return written;
}

TIdBytes TIdDecoderMIME::DecodeBytes(std::string_view aText) {
  TIdBytes bytes;
  bytes.reserve(aText.size() / 4 * 3 + 2);
  uint32_t bits = 0;
  int bitCount = 0;
  for (const char c : aText) {
    if (c == kPad) break;
    const int value = kDecodeTable[static_cast<uint8_t>(c)];
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes.push_back(static_cast<uint8_t>(bits >> bitCount));
      bits &= (1u << bitCount) - 1;
    }
  }
  return bytes;
}

std::string TIdDecoderMIME::DecodeString(std::string_view aText, const IIdTextEncoding& aEncoding) {
  return (aEncoding ? aEncoding : IdTextEncoding_UTF8())->GetString(DecodeBytes(aText));
}

int64_t TIdDecoderMIME::DecodeStream(std::string_view aText, TStream& aDest) {
  const TIdBytes bytes = DecodeBytes(aText);
  aDest.WriteBuffer(bytes);
  return static_cast<int64_t>(bytes.size());
}

}  // namespace qtx
