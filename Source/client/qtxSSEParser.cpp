#include "client/qtxSSEParser.h"

#include <algorithm>
#include <charconv>

#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {
const char* const SEventTooLarge = "Server-sent event larger than %u bytes.";
const char* const SNotRawText = "Raw text holds a character above U+00FF.";

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsLineEnd(uint8_t aByte) noexcept { return aByte == '\r' || aByte == '\n'; }

bool IsAllDigits(std::string_view aText) noexcept {
  return !aText.empty() && std::all_of(aText.begin(), aText.end(), [](char c) { return c >= '0' && c <= '9'; });
}
}  // namespace

bool TqtxSSEParser::Feed(std::span<const uint8_t> aBlock) {
  try {
    size_t pos = 0;
    while (pos < aBlock.size()) {
      if (FAfterCR) {
        FAfterCR = false;
        if (aBlock[pos] == '\n') {
          ++pos;
          continue;
        }
      }
      const std::span<const uint8_t> rest = aBlock.subspan(pos);
      const auto lineEnd = std::find_if(rest.begin(), rest.end(), IsLineEnd);
      const auto length = static_cast<size_t>(lineEnd - rest.begin());
      AppendToLine(rest.first(length));
      if (lineEnd == rest.end()) break;
      FAfterCR = *lineEnd == '\r';
      pos += length + 1;
      if (!ProcessLine()) return false;
    }
    return true;
  } catch (const EqtxSSEEventTooLarge&) {
    EndOfStream();
    throw;
  }
}

bool TqtxSSEParser::FeedRawText(std::string_view aRawText) {
  if (!TextToRaw(aRawText, FRawBlock)) throw EConvertError(SNotRawText);
  return Feed(FRawBlock);
}

void TqtxSSEParser::EndOfStream() {
  FLine.clear();
  FAfterCR = false;
  FAtStreamStart = true;
  FData.clear();
  FEventType.clear();
  FIdBuffer = FLastEventId;
}

void TqtxSSEParser::CheckSize(size_t aPendingBytes) const {
  if (aPendingBytes > FMaxEventSize) throw EqtxSSEEventTooLarge(Format(SEventTooLarge, {FMaxEventSize}));
}

void TqtxSSEParser::AppendToLine(std::span<const uint8_t> aBytes) {
  // Checked before growing, so a flood without line ends never outgrows the bound.
  CheckSize(FData.size() + FLine.size() + aBytes.size());
  FLine.insert(FLine.end(), aBytes.begin(), aBytes.end());
}

bool TqtxSSEParser::ProcessLine() {
  std::string_view line(reinterpret_cast<const char*>(FLine.data()), FLine.size());
  if (FAtStreamStart) {
    FAtStreamStart = false;
    if (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
  }
  if (line.empty()) {
    FLine.clear();
    return DispatchEvent();
  }
  if (line.front() != ':') {  // a colon first marks a comment
    const size_t colon = line.find(':');
    std::string_view value;
    if (colon != std::string_view::npos) {
      value = line.substr(colon + 1);
      if (value.starts_with(' ')) value.remove_prefix(1);
    }
    ProcessField(line.substr(0, colon), value);
  }
  FLine.clear();
  return true;
}

// Field names are matched byte for byte. A line is decoded as a whole, and
// since the colon and the space are ASCII, decoding the value alone gives the
// same text.
void TqtxSSEParser::ProcessField(std::string_view aName, std::string_view aValue) {
  if (aName == "event") {
    FEventType = SanitizeUtf8(aValue);
  } else if (aName == "data") {
    FData += SanitizeUtf8(aValue);
    FData += '\n';
    CheckSize(FData.size());
  } else if (aName == "id") {
    if (aValue.find('\0') == std::string_view::npos) FIdBuffer = SanitizeUtf8(aValue);
  } else if (aName == "retry") {
    uint64_t milliseconds = 0;
    const auto [end, error] = std::from_chars(aValue.data(), aValue.data() + aValue.size(), milliseconds);
    // A value beyond the 64-bit range is ignored like any other invalid one.
    if (IsAllDigits(aValue) && error == std::errc() && end == aValue.data() + aValue.size()) FRetry = milliseconds;
  }
}

bool TqtxSSEParser::DispatchEvent() {
  FLastEventId = FIdBuffer;
  if (FData.empty()) {
    FEventType.clear();
    return true;
  }
  FData.pop_back();  // the LF after the last data line
  TqtxSSEEvent event{FEventType.empty() ? std::string("message") : std::move(FEventType), std::move(FData),
                     FLastEventId, FRetry};
  FData.clear();
  FEventType.clear();
  bool cancel = false;
  if (OnEvent) OnEvent(event, cancel);
  return !cancel;
}

}  // namespace qtx
