#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "client/qtxSSEParser.h"
#include "platform/qtxException.h"
#include "platform/qtxUnicode.h"

namespace qtx {
namespace {

std::span<const uint8_t> AsBytes(std::string_view aText) {
  return {reinterpret_cast<const uint8_t*>(aText.data()), aText.size()};
}

// Feeds the stream in blocks of the given sizes (the rest in one block) and
// collects the events.
std::vector<TqtxSSEEvent> ParseInBlocks(std::string_view aStream, const std::vector<size_t>& aBlockSizes) {
  std::vector<TqtxSSEEvent> events;
  TqtxSSEParser parser;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool&) { events.push_back(aEvent); };
  size_t pos = 0;
  for (size_t size : aBlockSizes) {
    parser.Feed(AsBytes(aStream.substr(pos, size)));
    pos += size;
  }
  parser.Feed(AsBytes(aStream.substr(pos)));
  parser.EndOfStream();
  return events;
}

std::vector<TqtxSSEEvent> ParseWhole(std::string_view aStream) { return ParseInBlocks(aStream, {}); }

std::vector<TqtxSSEEvent> ParseByteByByte(std::string_view aStream) {
  return ParseInBlocks(aStream, std::vector<size_t>(aStream.size(), 1));
}

}  // namespace

void PrintTo(const TqtxSSEEvent& aEvent, std::ostream* aOut) {
  *aOut << "{" << aEvent.EventType << ", \"" << aEvent.Data << "\", id \"" << aEvent.LastEventId << "\", retry "
        << (aEvent.Retry ? std::to_string(*aEvent.Retry) : "none") << "}";
}

namespace {

TqtxSSEEvent Message(std::string aData, std::string aId = "", std::optional<uint64_t> aRetry = {}) {
  return {"message", std::move(aData), std::move(aId), aRetry};
}

// A chat completion streamed by the service, as recorded: JSON chunks, a
// keep-alive comment, a Greek word and an emoji cut across any split, and
// the closing "[DONE]".
constexpr std::string_view kChatStream =
    "data: {\"id\":\"chatcmpl-7ZL2\",\"object\":\"chat.completion.chunk\",\"created\":1688741234,"
    "\"model\":\"gpt-3.5-turbo-0613\",\"choices\":[{\"index\":0,\"delta\":{\"role\":\"assistant\","
    "\"content\":\"\"},\"finish_reason\":null}]}\n\n"
    ": keep-alive\n\n"
    "data: {\"id\":\"chatcmpl-7ZL2\",\"object\":\"chat.completion.chunk\",\"created\":1688741234,"
    "\"model\":\"gpt-3.5-turbo-0613\",\"choices\":[{\"index\":0,\"delta\":{\"content\":\"Καλημέρα\"},"
    "\"finish_reason\":null}]}\n\n"
    "data: {\"id\":\"chatcmpl-7ZL2\",\"object\":\"chat.completion.chunk\",\"created\":1688741234,"
    "\"model\":\"gpt-3.5-turbo-0613\",\"choices\":[{\"index\":0,\"delta\":{\"content\":\" 👋\"},"
    "\"finish_reason\":null}]}\n\n"
    "data: {\"id\":\"chatcmpl-7ZL2\",\"object\":\"chat.completion.chunk\",\"created\":1688741234,"
    "\"model\":\"gpt-3.5-turbo-0613\",\"choices\":[{\"index\":0,\"delta\":{},\"finish_reason\":\"stop\"}]}\n\n"
    "data: [DONE]\n\n";

TEST(SSEParser, ChatStreamGivesTheSameEventsInEverySplit) {
  const std::vector<TqtxSSEEvent> events = ParseWhole(kChatStream);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_NE(events[1].Data.find("\"content\":\"Καλημέρα\""), std::string::npos);
  EXPECT_NE(events[2].Data.find("\"content\":\" 👋\""), std::string::npos);
  EXPECT_EQ(events[4], Message("[DONE]"));

  for (size_t split = 0; split <= kChatStream.size(); ++split)
    ASSERT_EQ(ParseInBlocks(kChatStream, {split}), events) << "split at " << split;
  EXPECT_EQ(ParseByteByByte(kChatStream), events);

  // The raw text that OnSSEMessage hands over goes back in as bytes.
  std::vector<TqtxSSEEvent> fromRawText;
  TqtxSSEParser parser;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool&) { fromRawText.push_back(aEvent); };
  for (size_t pos = 0; pos < kChatStream.size(); pos += 7) parser.FeedRawText(RawToText(AsBytes(kChatStream.substr(pos, 7))));
  EXPECT_EQ(fromRawText, events);
}

TEST(SSEParser, EventStreamRules) {
  struct TCase {
    const char* Rule;
    std::string Stream;
    std::vector<TqtxSSEEvent> Events;
  };
  using namespace std::string_literals;
  const TCase cases[] = {
      {"a leading BOM is ignored", "\xEF\xBB\xBF" "data: a\n\n", {Message("a")}},
      {"only one BOM is ignored", "\xEF\xBB\xBF\xEF\xBB\xBF" "data: a\n\n", {}},
      {"LF line ends, data lines joined with LF", "data: a\ndata: b\n\n", {Message("a\nb")}},
      {"CR line ends", "data: a\rdata: b\r\r", {Message("a\nb")}},
      {"CR LF line ends", "data: a\r\ndata: b\r\n\r\n", {Message("a\nb")}},
      {"CR then LF is one line end, CR CR two", "data: a\r\n\r\rdata: b\n\r\n", {Message("a"), Message("b")}},
      {"comment lines are skipped", ":comment\ndata: a\n:another\n\n", {Message("a")}},
      {"a field without a colon has an empty value", "data\ndata\n\n", {Message("\n")}},
      {"one space after the colon is dropped, no more", "data:  two\ndata:none\n\n", {Message(" two\nnone")}},
      {"field names are case-sensitive", "Data: a\n\n", {}},
      {"unknown fields are ignored", "foo: bar\ndata: a\n\n", {Message("a")}},
      {"the event field names the type", "event: add\ndata: 1\n\n", {{"add", "1", "", {}}}},
      {"an empty data buffer dispatches nothing and resets the type", "event: add\n\ndata: 2\n\n", {Message("2")}},
      {"extra blank lines dispatch nothing", "data: a\n\n\n\n", {Message("a")}},
      {"the last event id is kept across events", "id: 7\ndata: a\n\ndata: b\n\nid\ndata: c\n\n",
       {Message("a", "7"), Message("b", "7"), Message("c", "")}},
      {"an id holding NUL is ignored", "id: 1\n\nid: 2\0\ndata: a\n\n"s, {Message("a", "1")}},
      {"retry is taken when all digits", "retry: 1500\ndata: a\n\n", {Message("a", "", 1500)}},
      {"retry otherwise ignored", "retry: 15x\nretry: -1\nretry:\nretry: 1 \nretry: 99999999999999999999\ndata: a\n\n",
       {Message("a")}},
      {"a final event without a blank line is dropped", "data: a\n\ndata: b\n", {Message("a")}},
      {"invalid UTF-8 becomes U+FFFD", "event: \xC3\ndata: a\xFF" "b\xE2\x82\n\n",
       {{"\xEF\xBF\xBD", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD", "", {}}}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ParseWhole(c.Stream), c.Events) << c.Rule;
    EXPECT_EQ(ParseByteByByte(c.Stream), c.Events) << c.Rule << " (byte by byte)";
  }
}

TEST(SSEParser, EndOfStreamDropsThePendingEventAndKeepsThePublishedId) {
  std::vector<TqtxSSEEvent> events;
  TqtxSSEParser parser;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool&) { events.push_back(aEvent); };
  parser.Feed(AsBytes("id: 3\nretry: 10\ndata: a\n\nid: 4\ndata: lost"));
  parser.EndOfStream();
  // A reconnection's stream: its own BOM, then a blank line that would have
  // dispatched the dropped event.
  parser.Feed(AsBytes("\xEF\xBB\xBF\ndata: b\n\n"));
  EXPECT_EQ(events, (std::vector{Message("a", "3", 10), Message("b", "3", 10)}));
  EXPECT_EQ(parser.LastEventId(), "3");
}

TEST(SSEParser, CancelStopsBetweenEventsAndDropsTheRestOfTheBlock) {
  std::vector<std::string> data;
  TqtxSSEParser parser;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool& aCancel) {
    data.push_back(aEvent.Data);
    aCancel = aEvent.Data == "[DONE]";
  };
  EXPECT_TRUE(parser.Feed(AsBytes("data: a\n\n")));
  EXPECT_FALSE(parser.Feed(AsBytes("data: [DONE]\n\ndata: after\n\n")));
  EXPECT_EQ(data, (std::vector<std::string>{"a", "[DONE]"}));
}

TEST(SSEParser, AnEventBeyondTheBoundRaisesAndTheParserStartsAfresh) {
  TqtxSSEParser parser;
  parser.SetMaxEventSize(64);
  std::vector<std::string> data;
  parser.OnEvent = [&](const TqtxSSEEvent& aEvent, bool&) { data.push_back(aEvent.Data); };

  const std::string flood(65, 'x');  // one line without an end
  EXPECT_THROW(parser.Feed(AsBytes(flood)), EqtxSSEEventTooLarge);
  std::string manyLines;
  for (int i = 0; i < 20; ++i) manyLines += "data: 12345\n";  // each line fits, the event does not
  EXPECT_THROW(parser.Feed(AsBytes(manyLines)), EqtxSSEEventTooLarge);

  parser.Feed(AsBytes("data: " + std::string(56, 'y') + "\n\n"));
  EXPECT_EQ(data, std::vector<std::string>{std::string(56, 'y')});
}

TEST(SSEParser, RawTextAboveU00FFIsRefused) {
  TqtxSSEParser parser;
  EXPECT_THROW(parser.FeedRawText("data: \xE2\x82\xAC\n\n"), EConvertError);
}

}  // namespace
}  // namespace qtx
