// Streamed answers and conversations: the stream reader on its own, the
// component's streamed calls against the fake service (slow writes cut at odd
// places and inside a character, usage, an error event, cuts), the official
// Node client reading the same stream, and mock-llm end to end.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <functional>
#include <map>

#include "core/qtxIdException.h"
#include "http/qtxIdHTTP.h"
#include "openai/qtxHTTP_API_OpenAI.h"
#include "openai/qtxHTTP_API_OpenAI_Conversation.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestHttpServer.h"
#include "support/qtxTestNode.h"
#include "support/qtxTestOpenAIService.h"

namespace qtx {
namespace {

using nlohmann::json;
using test::TStreamEnd;
using test::TTestOpenAIService;

const std::string kKey(test::kOpenAITestApiKey);
// Non-ASCII text (the service's writes cut inside its first character), a
// quote and a line break, which the pieces carry as escapes.
const std::string kMessage = "Grüße 😀 \"quoted\"\nnext line";

// What the delta handler saw: each choice's pieces and the last role.
struct TPieces {
  std::map<int32_t, std::vector<std::string>> Pieces;
  std::map<int32_t, std::string> Role;

  std::string Text(int32_t aIndex = 0) const {
    std::string text;
    for (const std::string& piece : Pieces.at(aIndex)) text += piece;
    return text;
  }
  // The pieces that hold text.
  size_t Filled(int32_t aIndex = 0) const {
    return static_cast<size_t>(std::count_if(Pieces.at(aIndex).begin(), Pieces.at(aIndex).end(),
                                             [](const std::string& aPiece) { return !aPiece.empty(); }));
  }
  TqtxOpenAIStreamDeltaEvent Handler(std::function<bool(const TPieces&)> aCancelWhen = {}) {
    return [this, aCancelWhen](int32_t aIndex, const std::string& aRole, const std::string& aPiece, bool& aCancel) {
      Pieces[aIndex].push_back(aPiece);
      Role[aIndex] = aRole;
      if (aCancelWhen) aCancel = aCancelWhen(*this);
    };
  }
};

void AddUserMessage(TqtxOpenAIClass_Request_ChatCompletion& aRequest, const std::string& aText) {
  aRequest.SetModel("gpt-3.5-turbo");
  aRequest.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", aText));
}

class OpenAIStream : public ::testing::Test {
protected:
  OpenAIStream() : FService({.StreamPauseMs = 5, .Reply = {}}) {
    FOpenAI.OpenAIOptions().SetApiKey(kKey);
    FOpenAI.OpenAIOptions().SetBaseURL(FService.Url(""));
    AddUserMessage(FRequest, kMessage);
  }

  TTestOpenAIService FService;
  TqtxHTTP_API_OpenAI FOpenAI;
  TqtxOpenAIClass_Request_ChatCompletion FRequest;
};

TEST_F(OpenAIStream, TheOfficialClientReadsTheSameAnswerFromTheSameStream) {
  FRequest.SetStreamIncludeUsage(true);
  TPieces pieces;
  const auto answer = FOpenAI.CreateChatCompletionStream(FRequest, pieces.Handler());
  const test::TNodeRun node = test::RunNode("chat.mjs", {FService.Url("/v1"), kKey, kMessage, "--stream"});
  ASSERT_EQ(node.ExitCode, 0) << node.Describe();
  const json their = json::parse(node.Output);

  const std::string reply = FService.Reply(kMessage);
  EXPECT_EQ(pieces.Text(), reply);
  EXPECT_EQ(their["text"], reply);
  EXPECT_EQ(pieces.Filled(), their["pieces"].get<size_t>());
  EXPECT_EQ(pieces.Role[0], "assistant");
  ASSERT_EQ(answer->Choices().size(), 1u);
  const auto& choice = *answer->Choices()[0];
  EXPECT_EQ(choice._Message().Content(), reply);
  EXPECT_EQ(choice._Message().Role(), "assistant");
  EXPECT_EQ(choice.FinishReason(), their["finish_reason"]);
  EXPECT_EQ(answer->Usage().PromptTokens(), their["usage"]["prompt_tokens"]);
  EXPECT_EQ(answer->Usage().CompletionTokens(), their["usage"]["completion_tokens"]);
  EXPECT_EQ(answer->Usage().TotalTokens(), their["usage"]["total_tokens"]);
  EXPECT_EQ(answer->_Object(), "chat.completion");
  EXPECT_TRUE(answer->Id().starts_with("chatcmpl-"));
  EXPECT_NE(answer->Created(), 0);
  EXPECT_EQ(answer->GetJSONString("model"), "gpt-3.5-turbo");

  const test::TTestHttpRequest request = FService.Requests().front();
  EXPECT_EQ(request.Header("Accept"), "text/event-stream");
  const json body = json::parse(request.BodyText());
  EXPECT_EQ(body["stream"], true);
  EXPECT_EQ(body["stream_options"], json({{"include_usage", true}}));
}

TEST_F(OpenAIStream, CompletionsStreamEveryChoiceWithoutUsageUnlessAsked) {
  TqtxOpenAIClass_Request_Completion request;
  request.SetModel("gpt-3.5-turbo-instruct");
  request.SetPrompt("Zwei Wörter");
  request.SetN(2);
  TPieces pieces;
  const auto answer = FOpenAI.CreateCompletionStream(request, pieces.Handler());
  const std::string reply = FService.Reply("Zwei Wörter");
  ASSERT_EQ(answer->Choices().size(), 2u);
  for (int32_t index : {0, 1}) {
    EXPECT_EQ(pieces.Text(index), reply);
    EXPECT_EQ(pieces.Role[index], "");
    EXPECT_EQ(answer->Choices()[index]->_Index(), index);
    EXPECT_EQ(answer->Choices()[index]->Text(), reply);
    EXPECT_EQ(answer->Choices()[index]->FinishReason(), "stop");
  }
  EXPECT_EQ(answer->Model(), "gpt-3.5-turbo-instruct");
  EXPECT_EQ(answer->Usage().TotalTokens(), 0);
  EXPECT_FALSE(json::parse(FService.Requests().front().BodyText()).contains("stream_options"));
}

// How a stream that does not end with [DONE] ends the call.
struct TEndCase {
  const char* Name;
  TStreamEnd End;
  bool (*IsExpected)(const Exception&);
  std::string Message;  // the start of the message
};

const TEndCase kEndCases[] = {
    {"ErrorEvent", TStreamEnd::ErrorEvent,
     [](const Exception& aE) { return dynamic_cast<const EqtxOpenAIStreamError*>(&aE) != nullptr; },
     "The server had an error while processing your request. Sorry about that!"},
    {"CutOff", TStreamEnd::CutOff,
     [](const Exception& aE) { return dynamic_cast<const EqtxHTTPAPIStreamCut*>(&aE) != nullptr; },
     "The answer was cut short: the stream ended without [DONE]."},
    {"Dropped", TStreamEnd::Dropped,
     [](const Exception& aE) { return dynamic_cast<const EqtxHTTPAPIStreamCut*>(&aE) != nullptr; },
     "The response stream broke off: "},
};

void PrintTo(const TEndCase& aCase, std::ostream* aOut) { *aOut << aCase.Name; }

class OpenAIStreamEnds : public OpenAIStream, public ::testing::WithParamInterface<TEndCase> {};

TEST_P(OpenAIStreamEnds, RaiseAfterThePiecesThatCameAndAreNeverRetried) {
  FRequest.Messages().front()->SetContent("one two three four five six");
  FService.Program({.StreamEnd = GetParam().End});
  TPieces pieces;
  try {
    FOpenAI.CreateChatCompletionStream(FRequest, pieces.Handler());
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_TRUE(GetParam().IsExpected(e)) << typeid(e).name() << ": " << e.Message();
    EXPECT_TRUE(e.Message().starts_with(GetParam().Message)) << e.Message();
  }
  EXPECT_TRUE(FService.Reply("one two three four five six").starts_with(pieces.Text()));
  EXPECT_GE(pieces.Filled(), 1u);
  EXPECT_EQ(FService.Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, OpenAIStreamEnds, ::testing::ValuesIn(kEndCases),
                         [](const auto& aInfo) { return std::string(aInfo.param.Name); });

TEST_F(OpenAIStream, TheOfficialClientReportsTheSameErrorEvent) {
  FService.Program({.StreamEnd = TStreamEnd::ErrorEvent});
  const test::TNodeRun node = test::RunNode("chat.mjs", {FService.Url("/v1"), kKey, kMessage, "--stream"});
  FService.Program({.StreamEnd = TStreamEnd::ErrorEvent});
  const auto e = test::Raised<EqtxOpenAIStreamError>([&] { FOpenAI.CreateChatCompletionStream(FRequest, {}); });
  EXPECT_EQ(node.ExitCode, 1) << node.Describe();
  EXPECT_NE(node.Errors.find("chat.mjs: chat: " + e.Message()), std::string::npos) << node.Describe();
}

TEST_F(OpenAIStream, AnErrorStatusBeforeTheStreamTakesThePlainCallsRoad) {
  FService.Program({.Status = 500, .Headers = {"retry-after-ms: 10"}});
  TPieces pieces;
  EXPECT_EQ(FOpenAI.CreateChatCompletionStream(FRequest, pieces.Handler())->Choices().size(), 1u);
  EXPECT_EQ(FService.Requests().size(), 2u);
  EXPECT_EQ(pieces.Text(), FService.Reply(kMessage));

  FOpenAI.OpenAIOptions().SetMaxRetries(0);
  FService.Program({.Status = 429});
  const auto e = test::Raised<EIdHTTPProtocolException>([&] { FOpenAI.CreateChatCompletionStream(FRequest, {}); });
  EXPECT_EQ(e.ErrorCode(), 429);
  EXPECT_TRUE(e.Message().starts_with("HTTP/1.1 429 Too Many Requests. {")) << e.Message();

  std::vector<std::string> reported;
  FOpenAI.OnHTTPAPIException = [&](TqtxHTTPAPI_client&, Exception& aE) { reported.push_back(aE.Message()); };
  FOpenAI.OpenAIOptions().SetApiKey("sk-wrong");
  TPieces none;
  EXPECT_TRUE(FOpenAI.CreateChatCompletionStream(FRequest, none.Handler())->Choices().empty());
  EXPECT_TRUE(none.Pieces.empty());
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_TRUE(reported[0].starts_with("HTTP/1.1 401 Unauthorized. {")) << reported[0];
}

TEST_F(OpenAIStream, ACancelClosesTheConnectionAndKeepsWhatArrived) {
  FRequest.Messages().front()->SetContent("one two three four five six");
  TPieces pieces;
  const auto answer = FOpenAI.CreateChatCompletionStream(
      FRequest, pieces.Handler([](const TPieces& aSeen) { return aSeen.Filled() == 2; }));
  EXPECT_EQ(pieces.Filled(), 2u);
  ASSERT_EQ(answer->Choices().size(), 1u);
  EXPECT_EQ(answer->Choices()[0]->_Message().Content(), pieces.Text());
  EXPECT_EQ(answer->Choices()[0]->FinishReason(), "");
  // The next call makes a new connection and gets the whole answer.
  TPieces next;
  FOpenAI.CreateChatCompletionStream(FRequest, next.Handler());
  EXPECT_EQ(next.Text(), FService.Reply("one two three four five six"));
  EXPECT_EQ(FService.Connections(), 2);
}

TEST(OpenAIStreamArrival, PiecesReachTheHandlerWhileTheServerIsStillWriting) {
  std::atomic<bool> firstPieceSeen{false};
  bool seenBeforeTheRest = false;
  test::TTestHttpServer server([&](const test::TTestHttpRequest&, test::TTestHttpExchange& aExchange) {
    aExchange.BeginStream(200, {"Content-Type: text/event-stream"});
    aExchange.Write(R"(data: {"id":"c1","choices":[{"index":0,"delta":{"role":"assistant","content":"Hel"}}]})"
                    "\n\n");
    // The rest waits for the client to have the first piece (at most 30 s).
    for (int waited = 0; !firstPieceSeen && waited < 30000 && aExchange.Pause(10); waited += 10) {
    }
    seenBeforeTheRest = firstPieceSeen;
    aExchange.Write(R"(data: {"id":"c1","choices":[{"index":0,"delta":{"content":"lo"},"finish_reason":"stop"}]})"
                    "\n\ndata: [DONE]\n\n");
    aExchange.EndStream();
  });
  TqtxHTTP_API_OpenAI openai;
  openai.OpenAIOptions().SetBaseURL(server.Url(""));
  TqtxOpenAIClass_Request_ChatCompletion request;
  AddUserMessage(request, "hi");
  const auto answer = openai.CreateChatCompletionStream(
      request, [&](int32_t, const std::string&, const std::string& aPiece, bool&) {
        if (!aPiece.empty()) firstPieceSeen = true;
      });
  EXPECT_TRUE(seenBeforeTheRest);
  EXPECT_EQ(answer->Choices()[0]->_Message().Content(), "Hello");
}

// ---- the reader, fed one byte at a time ------------------------------------------------------

struct TReaderCase {
  const char* Name;
  std::string Stream;
  std::string Text;      // choice 0's text, when the stream reads to its end
  std::string Raised{};  // else the start of the message raised
};

const TReaderCase kReaderCases[] = {
    {"SurrogateHalvesInTwoChunksJoin",
     "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"a\\ud83d\"}}]}\n\n"
     "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"\\ude00b\"}}]}\n\ndata: [DONE]\n\n",
     "a\xF0\x9F\x98\x80" "b"},
    {"ALoneHalfAtTheEndIsReplaced",
     "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"a\\\\\\ud83d\"}}]}\n\ndata: [DONE]\n\n",
     "a\\\xEF\xBF\xBD"},
    {"OtherEventsCommentsAndWhatFollowsDoneAreIgnored",
     ": keep-alive\r\nevent: ping\r\ndata: {}\r\n\r\n"
     "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"x\"}}],\"usage\":null}\r\n\r\n"
     "data: [DONE]\r\n\r\ndata: not json\r\n\r\n",
     "x"},
    {"AnEventThatIsNotJSON", "data: {\"choices\":[]}\n\ndata: oops\n\n", "",
     "The stream sent an event that is not a JSON object: oops"},
    {"AnErrorEvent", "event: error\ndata: {\"message\":\"Overloaded\"}\n\n", "", "Overloaded"},
    {"NoDone", "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"x\"}}]}\n\n", "",
     "The answer was cut short"},
};

void PrintTo(const TReaderCase& aCase, std::ostream* aOut) { *aOut << aCase.Name; }

class OpenAIStreamReader : public ::testing::TestWithParam<TReaderCase> {};

TEST_P(OpenAIStreamReader, ReadsTheStream) {
  TqtxOpenAIStreamReader reader(TqtxOpenAIStreamReader::TKind::Chat);
  std::string pieces;
  reader.OnDelta = [&](int32_t, const std::string&, const std::string& aPiece, bool&) { pieces += aPiece; };
  try {
    for (const char c : GetParam().Stream) reader.Feed(std::span(reinterpret_cast<const uint8_t*>(&c), 1));
    reader.EndOfStream();
    EXPECT_EQ(GetParam().Raised, "") << "nothing raised";
  } catch (const Exception& e) {
    EXPECT_FALSE(GetParam().Raised.empty()) << e.Message();
    EXPECT_TRUE(e.Message().starts_with(GetParam().Raised)) << e.Message();
    return;
  }
  EXPECT_EQ(pieces, GetParam().Text);
  TqtxOpenAIClass_Response_ChatCompletion answer;
  answer.Read(reader.AnswerJSON());
  ASSERT_EQ(answer.Choices().size(), 1u);
  EXPECT_EQ(answer.Choices()[0]->_Message().Content(), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Table, OpenAIStreamReader, ::testing::ValuesIn(kReaderCases),
                         [](const auto& aInfo) { return std::string(aInfo.param.Name); });

// ---- conversations ----------------------------------------------------------------------------

using TMessages = std::vector<TqtxOpenAIConversationMessage>;

TEST(OpenAIConversation, TheBudgetDropsTheOldestExchangesAndKeepsTheSystemMessage) {
  TqtxOpenAIConversation conversation;
  conversation.SetSystemMessage("Sei kurz.");  // 9 characters
  conversation.AddUserMessage("ääää");          // characters, not bytes, count
  conversation.AddAssistantMessage("bbbb");
  conversation.AddAssistantMessage("bb");
  conversation.AddUserMessage("cccc");
  conversation.AddAssistantMessage("dddd");
  EXPECT_EQ(conversation.Characters(), 27u);
  conversation.SetCharacterBudget(20);
  EXPECT_EQ(conversation.Messages(), (TMessages{{"user", "cccc"}, {"assistant", "dddd"}}));
  EXPECT_EQ(conversation.Characters(), 17u);
  // The newest exchange stays even when it alone is over the budget.
  conversation.AddUserMessage(std::string(30, 'e'));
  EXPECT_EQ(conversation.Messages(), (TMessages{{"user", std::string(30, 'e')}}));
  EXPECT_EQ(conversation.SystemMessage(), "Sei kurz.");
}

TEST_F(OpenAIStream, EachRequestOfAConversationCarriesTheExchangesSoFar) {
  TqtxOpenAIConversation conversation;
  conversation.SetSystemMessage("Be brief.");
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("gpt-3.5-turbo");
  for (const std::string text : {"first question", "second question"}) {
    conversation.AddUserMessage(text);
    conversation.FillRequest(request);
    conversation.AddAnswer(*FOpenAI.CreateChatCompletionStream(request, {}));
  }
  EXPECT_EQ(conversation.Messages(), (TMessages{{"user", "first question"},
                                                {"assistant", FService.Reply("first question")},
                                                {"user", "second question"},
                                                {"assistant", FService.Reply("second question")}}));
  const json second = json::parse(FService.Requests().at(1).BodyText());
  EXPECT_EQ(second["messages"], json::parse(R"([{"role":"system","content":"Be brief."},
      {"role":"user","content":"first question"},
      {"role":"assistant","content":"You said: first question"},
      {"role":"user","content":"second question"}])"));
}

// ---- mock-llm, a server that is not ours ------------------------------------------------------

TEST(OpenAIStreamMockLlm, BothClientsReadTheSameTextAcrossACharacterCutInHalves) {
  // The mock cuts every 8 UTF-16 code units: the emoji's halves land in two chunks.
  const std::string message = "Grüße aus Köln 😀 und 日本";
  test::TTestMockLlm mock;
  TqtxHTTP_API_OpenAI openai;
  openai.OpenAIOptions().SetBaseURL(mock.Url(""));
  TqtxOpenAIClass_Request_ChatCompletion request;
  AddUserMessage(request, message);
  TPieces pieces;
  const auto answer = openai.CreateChatCompletionStream(request, pieces.Handler());
  EXPECT_EQ(pieces.Text(), message);
  EXPECT_EQ(answer->Choices()[0]->_Message().Content(), message);
  EXPECT_EQ(answer->Choices()[0]->FinishReason(), "stop");
  const test::TNodeRun node = test::RunNode("chat.mjs", {mock.Url("/v1"), "sk-any", message, "--stream"});
  ASSERT_EQ(node.ExitCode, 0) << node.Describe();
  EXPECT_EQ(json::parse(node.Output)["text"], message);
}

}  // namespace
}  // namespace qtx
