#pragma once
// A fake OpenAI service on a loopback port, in process: it answers every
// endpoint of the version-1 REST API the library covers the way the service
// does (realistic JSON bodies, its error bodies and statuses, server-sent
// events for streamed chat and completion answers), records every request,
// and lets a test program the answers to the next requests.
//
//   test::TTestOpenAIService service;                 // key: kOpenAITestApiKey
//   client.SetBaseURL(service.Url(""));                // or Url("/v1") for the Node client
//   service.Program({.Status = 429, .Headers = {"Retry-After: 1"}});   // the next request
//   service.Program({.DelayMs = 5000});                // the one after: the usual answer, late
//   ... calls ...
//   auto requests = service.Requests();                // method, target, header lines, body, connection
//
// Answers:
//   - A request without "Authorization: Bearer <key>" gets 401 with the
//     service's error body (an empty key in the options accepts any key).
//   - Chat completions answer the reply to the last user message (by default
//     "You said: " and its text) as the assistant; completions the same for
//     the prompt. "n" gives that many choices, "max_tokens" cuts the reply
//     (finish_reason "length"). Usage counts pieces (CountTokens): completion
//     tokens are the reply's pieces, prompt tokens the pieces of every
//     message's text plus kTokensPerMessage per message.
//   - With "stream": true they stream server-sent events as the service does:
//     a chunk with the role, one chunk per piece, one with finish_reason, a
//     usage chunk when "stream_options": {"include_usage": true}, then
//     "data: [DONE]". Every event goes out in two writes cut at an odd place
//     (inside the first multi-byte UTF-8 character where the event has one),
//     StreamPauseMs apart.
//   - Files and fine-tunes are kept: an upload appears in the list and can be
//     retrieved, read and deleted. The service starts with one file
//     (kSampleFileId, purpose "fine-tune") and one running fine-tune
//     (kSampleFineTuneId) trained on it.
//   - A missing required member gives 400 "Missing required parameter: 'x'.",
//     a body that is not JSON the service's parse error, an unknown path 404
//     "Invalid URL (METHOD /path)".

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qtxTestHttpServer.h"

namespace qtx::test {

inline constexpr std::string_view kOpenAITestApiKey = "sk-qtxtest0123456789abcdefghijklmnopqrstuvwxyzABCD";

// How a streamed answer ends.
enum class TStreamEnd {
  Done,        // finish_reason, usage when asked, "data: [DONE]"
  ErrorEvent,  // after the first piece, an "error" object as an event; the body then ends
  CutOff,      // after half the pieces the body ends properly, without [DONE]
  Dropped,     // after half the pieces the connection closes inside the body
};

// The answer to one request, programmed by a test. Left at its defaults it
// is the endpoint's usual answer.
struct TOpenAIAnswer {
  int Status = 0;                        // not 0: this status instead of the endpoint's answer
  std::string Body{};                    // with Status: this body ("": the service's error body for it)
  std::vector<std::string> Headers{};    // extra header lines ("Retry-After: 1", "retry-after-ms: 20")
  int DelayMs = 0;                       // wait before answering
  bool Close = false;                    // read the request, then close without an answer
  std::optional<std::string> Content{};  // the assistant's text in place of the reply
  TStreamEnd StreamEnd = TStreamEnd::Done;
};

struct TOpenAIServiceOptions {
  uint16_t Port = 0;                      // 0: a free port
  std::string ApiKey{kOpenAITestApiKey};  // "": any key, or none, is accepted
  int StreamPauseMs = 2;                  // between the writes of a stream
  bool Record = true;                     // keep every request (off for a long-running server)
  // The assistant's reply to the user's text; empty: "You said: " and the text.
  std::function<std::string(std::string_view aUserText)> Reply;
};

class TTestOpenAIService {
public:
  static constexpr std::string_view kSampleFileId = "file-XjGxS3KTG0uNmNOK362iJua3";
  static constexpr std::string_view kSampleFineTuneId = "ft-AF1WoRqd3aJAHsqc9NY7iL8F";
  static constexpr std::string_view kSampleFineTunedModel = "curie:ft-qtx-2023-03-01-12-00-00";
  static constexpr int kTokensPerMessage = 4;
  static constexpr int kEmbeddingDimensions = 8;

  explicit TTestOpenAIService(TOpenAIServiceOptions aOptions = {});
  ~TTestOpenAIService();
  TTestOpenAIService(const TTestOpenAIService&) = delete;
  TTestOpenAIService& operator=(const TTestOpenAIService&) = delete;

  uint16_t Port() const noexcept { return FServer->Port(); }
  // "http://127.0.0.1:<port>" followed by aPath.
  std::string Url(std::string_view aPath) const { return FServer->Url(aPath); }

  // The answer to the next request not yet answered; several queue up in order.
  void Program(TOpenAIAnswer aAnswer);

  std::vector<TTestHttpRequest> Requests() const { return FServer->Requests(); }
  bool WaitForRequests(size_t aCount, int aTimeoutMs) const { return FServer->WaitForRequests(aCount, aTimeoutMs); }
  int Connections() const noexcept { return FServer->Connections(); }

  // The reply to a user's text ("You said: <text>" unless the options say otherwise).
  std::string Reply(std::string_view aUserText) const;
  // How the service cuts text into tokens: a word with the blanks before it,
  // at most six characters; a line break or a punctuation mark alone.
  static std::vector<std::string> Pieces(std::string_view aText);
  static int CountTokens(std::string_view aText) { return static_cast<int>(Pieces(aText).size()); }

private:
  struct TFile;
  struct TFineTune;
  struct TState;
  class TCall;

  void Handle(const TTestHttpRequest& aRequest, TTestHttpExchange& aExchange);
  std::optional<TOpenAIAnswer> NextProgrammed();

  TOpenAIServiceOptions FOptions;
  std::mutex FLock;
  std::deque<TOpenAIAnswer> FProgrammed;
  std::unique_ptr<TState> FState;
  std::unique_ptr<TTestHttpServer> FServer;  // last: it stops before the state goes
};

}  // namespace qtx::test
