// The server-sent-event parser over arbitrary bytes. Oracle: the events do not
// depend on how the stream is split into blocks, nor on whether a block
// arrives as bytes or as raw text, and every text handed out is valid UTF-8.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "client/qtxSSEParser.h"
#include "platform/qtxUnicode.h"

namespace {

struct TOutcome {
  std::vector<qtx::TqtxSSEEvent> Events;
  bool TooLarge = false;
  bool operator==(const TOutcome&) const = default;
};

// A small bound, so that inputs reach it.
constexpr size_t kMaxEventSize = 512;

template <typename FeedAll>
TOutcome Parse(FeedAll aFeedAll) {
  TOutcome outcome;
  qtx::TqtxSSEParser parser;
  parser.SetMaxEventSize(kMaxEventSize);
  parser.OnEvent = [&](const qtx::TqtxSSEEvent& aEvent, bool&) { outcome.Events.push_back(aEvent); };
  try {
    aFeedAll(parser);
  } catch (const qtx::EqtxSSEEventTooLarge&) {
    outcome.TooLarge = true;
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::span<const uint8_t> input(aData, aSize);

  const TOutcome whole = Parse([&](qtx::TqtxSSEParser& aParser) { aParser.Feed(input); });

  // Pieces of 1 to 16 bytes, each piece's length taken from its first byte;
  // every other piece goes in as raw text.
  const TOutcome pieces = Parse([&](qtx::TqtxSSEParser& aParser) {
    bool asRawText = false;
    for (size_t pos = 0; pos < input.size();) {
      const size_t length = std::min<size_t>(1 + input[pos] % 16, input.size() - pos);
      const std::span<const uint8_t> piece = input.subspan(pos, length);
      if (asRawText) {
        aParser.FeedRawText(qtx::RawToText(piece));
      } else {
        aParser.Feed(piece);
      }
      asRawText = !asRawText;
      pos += length;
    }
  });

  if (!(whole == pieces)) std::abort();
  for (const qtx::TqtxSSEEvent& event : whole.Events)
    if (!qtx::IsValidUtf8(event.EventType) || !qtx::IsValidUtf8(event.Data) || !qtx::IsValidUtf8(event.LastEventId))
      std::abort();
  return 0;
}
