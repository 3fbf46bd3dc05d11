#pragma once
// Streamed chat and completion answers: the reader that turns the service's
// event stream into text pieces as they arrive and into the whole answer at
// the end. The component's CreateChatCompletionStream and
// CreateCompletionStream (qtxHTTP_API_OpenAI.h) feed it the body.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "client/qtxSSEParser.h"
#include "platform/qtxException.h"

namespace qtx {

class TqtxJSON;
class TqtxObjectJSON;

// One piece of one choice's answer, in order: aRole is the choice's role as
// far as the stream has told it ("" for completions), aTextPiece decoded text
// (possibly empty, as in the delta that only names the role). Setting aCancel
// ends the stream: the connection is closed and the call returns what
// arrived, without an error.
using TqtxOpenAIStreamDeltaEvent =
    std::function<void(int32_t aChoiceIndex, const std::string& aRole, const std::string& aTextPiece, bool& aCancel)>;

// The service sent an error object inside the stream; the message is its.
class EqtxOpenAIStreamError : public Exception { using Exception::Exception; };
// An event of the stream is not a JSON object.
class EqtxOpenAIStreamMalformed : public Exception { using Exception::Exception; };

class TqtxOpenAIStreamReader {
public:
  enum class TKind { Chat, Completion };

  explicit TqtxOpenAIStreamReader(TKind aKind);

  // Called for every choice of every chunk, in the stream's order.
  TqtxOpenAIStreamDeltaEvent OnDelta;

  // Reads one block of the body, cut anywhere. Returns false when OnDelta
  // cancelled. Raises EqtxOpenAIStreamError for the service's error object,
  // EqtxOpenAIStreamMalformed for an event that is not JSON, and
  // EqtxSSEEventTooLarge for an event beyond the parser's limit. Whatever
  // follows "data: [DONE]" is read and ignored.
  bool Feed(std::span<const uint8_t> aBlock);
  // The body ended: raises EqtxHTTPAPIStreamCut when "[DONE]" never came.
  void EndOfStream();
  bool Done() const noexcept { return FDone; }

  // The answer so far as the service's JSON text of an unstreamed answer
  // ("chat.completion" or "text_completion": id, created, model, each
  // choice's role and content or text and finish_reason, and usage when the
  // stream carried it); "" before the first chunk.
  std::string AnswerJSON() const;

private:
  struct TChoice {
    std::string Role;
    std::string Text;
    std::optional<std::string> FinishReason;
    // A high surrogate escape ending the last piece, waiting for its low half.
    std::string PendingEscape;
  };

  void OnEvent(const TqtxSSEEvent& aEvent, bool& aCancel);
  void ReadChunk(TqtxJSON& aChunk, bool& aCancel);
  void ReadChoice(TqtxObjectJSON& aChoice, bool& aCancel);
  // Ends every choice's pending half character (as U+FFFD).
  void FlushPending(bool& aCancel);
  std::string Decode(TChoice& aChoice, TqtxObjectJSON* aText);

  TKind FKind;
  TqtxSSEParser FParser;
  bool FDone = false;
  bool FStarted = false;
  std::string FId;
  std::string FModel;
  int64_t FCreated = 0;
  std::string FUsage;  // the usage object's JSON text
  std::map<int32_t, TChoice> FChoices;
};

}  // namespace qtx
