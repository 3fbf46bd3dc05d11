#pragma once
// Turns the bytes of a text/event-stream body, in blocks split anywhere, into
// whole server-sent events by the HTML Living Standard's event-stream rules.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/qtxIdException.h"
#include "platform/qtxTypes.h"

namespace qtx {

// One dispatched event. Every text is valid UTF-8.
struct TqtxSSEEvent {
  std::string EventType;    // "message" unless an "event" field named another
  std::string Data;         // the event's "data" lines joined with LF
  std::string LastEventId;  // the last "id" the stream set, kept across events
  // The reconnection time in milliseconds set by the last valid "retry"
  // field of the stream, if any.
  std::optional<uint64_t> Retry;

  bool operator==(const TqtxSSEEvent&) const = default;
};

// An event (its unfinished line plus the data already collected) grew beyond
// the parser's MaxEventSize.
class EqtxSSEEventTooLarge : public EIdException { using EIdException::EIdException; };

class TqtxSSEParser {
public:
  static constexpr size_t DefaultMaxEventSize = 16 * 1024 * 1024;

  // Called for every whole event; setting aCancel stops the parse, and the
  // rest of the block is dropped.
  std::function<void(const TqtxSSEEvent& aEvent, bool& aCancel)> OnEvent;

  // Parses one block of the stream and calls OnEvent for each event it
  // completes. Returns false when a handler cancelled. Raises
  // EqtxSSEEventTooLarge (and starts afresh, as EndOfStream does) when an
  // event outgrows MaxEventSize. An exception from OnEvent also drops the
  // rest of the block.
  bool Feed(std::span<const uint8_t> aBlock);
  // The same for a block as raw text (one character per byte, as
  // OnSSEMessage hands it over); a character above U+00FF raises
  // EConvertError.
  bool FeedRawText(std::string_view aRawText);

  // The stream ended: an event without its closing blank line is dropped.
  // The last event id and the reconnection time stay, as for a reconnection.
  void EndOfStream();

  // The id of the last dispatched event (set at every blank line, also one
  // that dispatches nothing).
  const std::string& LastEventId() const noexcept { return FLastEventId; }
  const std::optional<uint64_t>& Retry() const noexcept { return FRetry; }

  size_t MaxEventSize() const noexcept { return FMaxEventSize; }
  void SetMaxEventSize(size_t aMaxEventSize) noexcept { FMaxEventSize = aMaxEventSize; }

private:
  void AppendToLine(std::span<const uint8_t> aBytes);
  // Interprets the finished line; returns false when a handler cancelled.
  bool ProcessLine();
  void ProcessField(std::string_view aName, std::string_view aValue);
  bool DispatchEvent();
  void CheckSize(size_t aPendingBytes) const;

  TBytes FLine;              // bytes of the unfinished line
  bool FAfterCR = false;     // the last line ended in CR: a leading LF belongs to it
  bool FAtStreamStart = true;  // the next line is the first (where a BOM may stand)
  std::string FData;
  std::string FEventType;
  std::string FIdBuffer;     // the "id" field's value, published at each blank line
  std::string FLastEventId;
  std::optional<uint64_t> FRetry;
  size_t FMaxEventSize = DefaultMaxEventSize;
  TBytes FRawBlock;          // reused by FeedRawText
};

}  // namespace qtx
