#include "openai/qtxHTTP_API_OpenAI_Stream.h"

#include <charconv>
#include <string_view>

#include "json/qtxJSON.h"
#include "json/qtxJSONStrict.h"
#include "openai/qtxHTTP_API_OpenAI.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

constexpr std::string_view kDoneMark = "[DONE]";
constexpr std::string_view kMessageEvent = "message";
constexpr std::string_view kErrorEvent = "error";
constexpr std::string_view kEventStreamAccept = "text/event-stream";
constexpr std::string_view kJSONContentTypeLine = "Content-Type: application/json";
constexpr size_t kExcerptBytes = 120;

constexpr std::string_view RSStreamWithoutDone = "The answer was cut short: the stream ended without [DONE].";
constexpr std::string_view RSStreamEventNotJSON = "The stream sent an event that is not a JSON object: %s";

// A member of an object node; none for any other node.
TqtxObjectJSON* Member(TqtxObjectJSON* aNode, std::string_view aName) {
  if (!aNode || aNode->JSONType() != qtxJSONObject) return nullptr;
  return aNode->Node(aName).get();
}

bool IsSet(const TqtxObjectJSON* aNode) { return aNode && aNode->JSONType() != qtxJSONNull; }

// The start of a text for a message, cut at a character boundary.
std::string Excerpt(std::string_view aText) {
  if (aText.size() <= kExcerptBytes) return std::string(aText);
  size_t end = kExcerptBytes;
  while (end > 0 && (static_cast<uint8_t>(aText[end]) & 0xC0) == 0x80) --end;
  return std::string(aText.substr(0, end)) + "...";
}

// Whether the raw (still escaped) string text ends in a "\uD800".."\uDBFF"
// escape: the first half of a character the next piece completes.
bool EndsInHighSurrogateEscape(std::string_view aRaw) {
  if (aRaw.size() < 6) return false;
  const size_t at = aRaw.size() - 6;
  if (aRaw[at] != '\\' || aRaw[at + 1] != 'u') return false;
  unsigned unit = 0;
  const auto [end, error] = std::from_chars(aRaw.data() + at + 2, aRaw.data() + aRaw.size(), unit, 16);
  if (error != std::errc() || end != aRaw.data() + aRaw.size() || unit < 0xD800 || unit > 0xDBFF) return false;
  // The backslash escapes the "u" only when the backslashes before it pair up.
  size_t backslashes = 0;
  for (size_t i = at; i > 0 && aRaw[i - 1] == '\\'; --i) ++backslashes;
  return backslashes % 2 == 0;
}

// The service's error text: error.message, else an error given as text, else
// a top-level message, else the event's data.
std::string ServiceErrorMessage(TqtxJSON& aChunk, const std::string& aData) {
  TqtxObjectJSON* error = aChunk.Node("error").get();
  if (TqtxObjectJSON* message = Member(error, "message"); IsSet(message)) {
    if (std::string text = TqtxOpenAIClass::NodeToString(*message); !text.empty()) return text;
  }
  if (error && error->JSONType() == qtxJSONString) return TqtxOpenAIClass::NodeToString(*error);
  if (const IqtxObjectJSON message = aChunk.Node("message"); IsSet(message.get())) {
    if (std::string text = TqtxOpenAIClass::NodeToString(*message); !text.empty()) return text;
  }
  return aData;
}

void AppendMember(std::string& aOut, std::string_view aName, std::string_view aText) {
  aOut += '"';
  aOut += aName;
  aOut += "\":\"";
  aOut += EscapeString(aText);
  aOut += '"';
}

}  // namespace

// ---- the reader ------------------------------------------------------------------------------

TqtxOpenAIStreamReader::TqtxOpenAIStreamReader(TKind aKind) : FKind(aKind) {
  FParser.OnEvent = [this](const TqtxSSEEvent& aEvent, bool& aCancel) { OnEvent(aEvent, aCancel); };
}

bool TqtxOpenAIStreamReader::Feed(std::span<const uint8_t> aBlock) { return FParser.Feed(aBlock); }

void TqtxOpenAIStreamReader::EndOfStream() {
  FParser.EndOfStream();
  if (!FDone) throw EqtxHTTPAPIStreamCut(std::string(RSStreamWithoutDone));
}

void TqtxOpenAIStreamReader::OnEvent(const TqtxSSEEvent& aEvent, bool& aCancel) {
  if (FDone) return;  // what follows the end mark is drained unread
  if (aEvent.Data == kDoneMark) {
    FDone = true;
    FlushPending(aCancel);
    return;
  }
  if (!IsJSONObjectText(aEvent.Data)) {
    throw EqtxOpenAIStreamMalformed(Format(RSStreamEventNotJSON, {Excerpt(aEvent.Data)}));
  }
  TqtxJSON chunk;
  chunk.Read(aEvent.Data);
  if (aEvent.EventType == kErrorEvent || IsSet(chunk.Node("error").get())) {
    throw EqtxOpenAIStreamError(ServiceErrorMessage(chunk, aEvent.Data));
  }
  // Events of other kinds carry nothing of the answer.
  if (aEvent.EventType == kMessageEvent) ReadChunk(chunk, aCancel);
}

void TqtxOpenAIStreamReader::ReadChunk(TqtxJSON& aChunk, bool& aCancel) {
  FStarted = true;
  if (const IqtxObjectJSON id = aChunk.Node("id"); FId.empty() && IsSet(id.get())) {
    FId = TqtxOpenAIClass::NodeToString(*id);
  }
  if (const IqtxObjectJSON model = aChunk.Node("model"); FModel.empty() && IsSet(model.get())) {
    FModel = TqtxOpenAIClass::NodeToString(*model);
  }
  if (const IqtxObjectJSON created = aChunk.Node("created"); FCreated == 0 && IsSet(created.get())) {
    FCreated = TqtxOpenAIClass::NodeToInt64(*created);
  }
  if (const IqtxObjectJSON usage = aChunk.Node("usage"); usage && usage->JSONType() == qtxJSONObject) {
    FUsage = usage->JSONObject()->Text();
  }
  const IqtxObjectJSON choices = aChunk.Node("choices");
  if (!choices || choices->JSONType() != qtxJSONList) return;
  for (int i = 0; i < choices->Count() && !aCancel; ++i) {
    const IqtxObjectJSON choice = choices->Item(i);
    if (choice->JSONType() == qtxJSONObject) ReadChoice(*choice, aCancel);
  }
}

void TqtxOpenAIStreamReader::ReadChoice(TqtxObjectJSON& aChoice, bool& aCancel) {
  TqtxObjectJSON* indexNode = Member(&aChoice, "index");
  const int32_t index = IsSet(indexNode) ? TqtxOpenAIClass::NodeToInteger(*indexNode) : 0;
  TChoice& choice = FChoices[index];
  if (TqtxObjectJSON* finish = Member(&aChoice, "finish_reason"); IsSet(finish)) {
    choice.FinishReason = TqtxOpenAIClass::NodeToString(*finish);
  }
  TqtxObjectJSON* text = nullptr;
  if (FKind == TKind::Chat) {
    TqtxObjectJSON* delta = Member(&aChoice, "delta");
    if (!delta) return;  // a choice without a delta brings no piece
    if (TqtxObjectJSON* role = Member(delta, "role"); IsSet(role)) choice.Role = TqtxOpenAIClass::NodeToString(*role);
    text = Member(delta, "content");
  } else {
    text = Member(&aChoice, "text");
  }
  const std::string piece = Decode(choice, text);
  choice.Text += piece;
  if (OnDelta) OnDelta(index, choice.Role, piece, aCancel);
}

std::string TqtxOpenAIStreamReader::Decode(TChoice& aChoice, TqtxObjectJSON* aText) {
  std::string raw = std::move(aChoice.PendingEscape);
  aChoice.PendingEscape.clear();
  if (IsSet(aText)) {
    const std::string* escaped = aText->JSONType() == qtxJSONString ? aText->RawValue().TextPtr() : nullptr;
    // A value that is no string is taken as its text, escaped as a string holds it.
    raw += escaped ? *escaped : EscapeString(TqtxOpenAIClass::NodeToString(*aText));
  }
  // Some servers cut a character beyond U+FFFF between two pieces, as two
  // surrogate escapes; its first half waits for the second.
  if (EndsInHighSurrogateEscape(raw)) {
    aChoice.PendingEscape = raw.substr(raw.size() - 6);
    raw.resize(raw.size() - 6);
  }
  return UnescapeString(raw);
}

void TqtxOpenAIStreamReader::FlushPending(bool& aCancel) {
  for (auto& [index, choice] : FChoices) {
    if (choice.PendingEscape.empty() || aCancel) continue;
    const std::string piece = UnescapeString(std::exchange(choice.PendingEscape, {}));
    choice.Text += piece;
    if (OnDelta) OnDelta(index, choice.Role, piece, aCancel);
  }
}

std::string TqtxOpenAIStreamReader::AnswerJSON() const {
  if (!FStarted) return {};
  const bool chat = FKind == TKind::Chat;
  std::string json = "{";
  AppendMember(json, "id", FId);
  json += ',';
  AppendMember(json, "object", chat ? "chat.completion" : "text_completion");
  json += ",\"created\":" + std::to_string(FCreated) + ',';
  AppendMember(json, "model", FModel);
  json += ",\"choices\":[";
  bool first = true;
  for (const auto& [index, choice] : FChoices) {
    if (!std::exchange(first, false)) json += ',';
    json += "{\"index\":" + std::to_string(index) + ',';
    if (chat) {
      json += "\"message\":{";
      AppendMember(json, "role", choice.Role);
      json += ',';
      AppendMember(json, "content", choice.Text);
      json += '}';
    } else {
      AppendMember(json, "text", choice.Text);
    }
    json += ',';
    if (choice.FinishReason) {
      AppendMember(json, "finish_reason", *choice.FinishReason);
    } else {
      json += "\"finish_reason\":null";
    }
    json += '}';
  }
  json += ']';
  if (!FUsage.empty()) json += ",\"usage\":" + FUsage;
  json += '}';
  return json;
}

// ---- the component's streamed calls -----------------------------------------------------------

void TqtxHTTP_API_OpenAI_Base::DoOpenAIPostStreamed(const std::string& aPath, const std::string& aBody,
                                                    const TqtxHTTPAPIBodyBlockEvent& aOnBlock,
                                                    const std::function<void()>& aOnEnd) {
  PrepareCall();
  const std::string url = URL(aPath, {});
  const std::unique_ptr<TStringList> headers = Headers();
  headers->Add(std::string(kJSONContentTypeLine));
  PostStreamed(url, aBody, headers.get(), std::string(kEventStreamAccept), aOnBlock, aOnEnd);
}

template <class TResponse>
std::unique_ptr<TResponse> TqtxHTTP_API_OpenAI::StreamedAnswer(const std::string& aPath, const std::string& aBody,
                                                               TqtxOpenAIStreamReader::TKind aKind,
                                                               const TqtxOpenAIStreamDeltaEvent& aOnDelta) {
  TqtxOpenAIStreamReader reader(aKind);
  reader.OnDelta = aOnDelta;
  DoOpenAIPostStreamed(
      aPath, aBody, [&](std::span<const uint8_t> aBlock, bool& aCancel) { aCancel = !reader.Feed(aBlock); },
      [&] { reader.EndOfStream(); });
  auto response = std::make_unique<TResponse>();
  response->Read(reader.AnswerJSON());
  return response;
}

std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> TqtxHTTP_API_OpenAI::CreateChatCompletionStream(
    TqtxOpenAIClass_Request_ChatCompletion& aRequest, const TqtxOpenAIStreamDeltaEvent& aOnDelta) {
  aRequest.SetStream(true);
  return StreamedAnswer<TqtxOpenAIClass_Response_ChatCompletion>("/chat/completions", aRequest.AsString(),
                                                                  TqtxOpenAIStreamReader::TKind::Chat, aOnDelta);
}

std::unique_ptr<TqtxOpenAIClass_Response_Completion> TqtxHTTP_API_OpenAI::CreateCompletionStream(
    TqtxOpenAIClass_Request_Completion& aRequest, const TqtxOpenAIStreamDeltaEvent& aOnDelta) {
  aRequest.SetStream(true);
  return StreamedAnswer<TqtxOpenAIClass_Response_Completion>("/completions", aRequest.AsString(),
                                                              TqtxOpenAIStreamReader::TKind::Completion, aOnDelta);
}

}  // namespace qtx
