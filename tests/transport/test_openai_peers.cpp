// The OpenAI-side peers that the OpenAI tests run: the fake service of
// tests/support (checked here against the official Node client, directly
// over loopback sockets, and behind nginx with TLS), the demo server program
// built from it, and the OpenAI-compatible mock from npm.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <charconv>
#include <thread>

#include "support/qtxSocketIOHandler.h"
#include "support/qtxTestCertificates.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestMultipart.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestNode.h"
#include "support/qtxTestOpenAIService.h"
#include "support/qtxTestShell.h"
#include "support/qtxTestSockets.h"

namespace qtx {
namespace {

using nlohmann::json;
using test::TStreamEnd;
using test::TTestOpenAIService;

const std::string kKey(test::kOpenAITestApiKey);
// The message of tests/node/wire_calls.mjs.
const std::string kNodeMessage = "Grüße aus Köln 😀\nZweite Zeile mit \"Anführungszeichen\"";

// An answer as it came off the wire: the head, the body without its
// framing, and the chunks of a chunked body.
struct TWireAnswer {
  std::string Head;
  std::string Body;
  std::vector<std::string> Chunks;
  bool Terminated = false;  // a chunked body ended by its last chunk

  int Status() const { return std::stoi(Head.substr(9, 3)); }
  bool HasHeader(const std::string& aLine) const { return Head.find("\r\n" + aLine + "\r\n") != std::string::npos; }
};

TWireAnswer Parse(const std::string& aBytes) {
  TWireAnswer answer;
  const size_t end = aBytes.find("\r\n\r\n");
  if (end == std::string::npos) return answer;
  answer.Head = aBytes.substr(0, end + 2);
  const std::string rest = aBytes.substr(end + 4);
  if (!answer.HasHeader("Transfer-Encoding: chunked")) {
    answer.Body = rest;
    return answer;
  }
  for (size_t at = 0; at < rest.size();) {
    const size_t line = rest.find("\r\n", at);
    if (line == std::string::npos) break;
    const size_t size = std::stoul(rest.substr(at, line - at), nullptr, 16);
    if (size == 0) {
      answer.Terminated = true;
      break;
    }
    answer.Chunks.push_back(rest.substr(line + 2, size));
    answer.Body += answer.Chunks.back();
    at = line + 2 + size + 2;
  }
  return answer;
}

// What the server answers to aRequest on a connection of its own, read to its close.
std::string Exchange(uint16_t aPort, const std::string& aRequest) {
  test::TTestPeer peer(test::ConnectLoopback(aPort));
  peer.Write(aRequest);
  return test::Text(peer.ReadToEnd());
}

std::string Post(const std::string& aPath, const std::string& aJson, const std::string& aKey = kKey) {
  return "POST " + aPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + aKey +
         "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " + std::to_string(aJson.size()) +
         "\r\n\r\n" + aJson;
}

std::string Get(const std::string& aPath) {
  return "GET " + aPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kKey +
         "\r\nConnection: close\r\n\r\n";
}

std::string ChatJson(const std::string& aMessage, bool aStream) {
  json body = {{"model", "gpt-3.5-turbo"}, {"messages", json::array({{{"role", "user"}, {"content", aMessage}}})}};
  if (aStream) {
    body["stream"] = true;
    body["stream_options"] = {{"include_usage", true}};
  }
  return body.dump();
}

// The JSON objects of a stream's data events; "[DONE]" as a string.
std::vector<json> Events(const std::string& aBody) {
  std::vector<json> events;
  for (size_t at = 0; (at = aBody.find("data: ", at)) != std::string::npos;) {
    const size_t end = aBody.find("\n\n", at);
    const std::string data = aBody.substr(at + 6, end - at - 6);
    events.push_back(data == "[DONE]" ? json(data) : json::parse(data));
    at = end;
  }
  return events;
}

TEST(TTestOpenAIService, TheOfficialClientMakesEveryCallItOffers) {
  TTestOpenAIService service;
  const test::TNodeRun run = test::RunNode("wire_calls.mjs", {service.Url("/v1"), kKey});
  ASSERT_EQ(run.ExitCode, 0) << run.Describe();
  const json result = json::parse(run.Output);
  const std::string file = "/v1/files/" + result.at("file_id").get<std::string>();

  const struct {
    std::string Method;
    std::string Path;
    std::string Body;  // "json", "multipart" or "" for none
  } expected[] = {
      {"GET", "/v1/models", ""},
      {"GET", "/v1/models/gpt-3.5-turbo", ""},
      {"DELETE", "/v1/models/curie:ft-qtx-2023-03-01-12-00-00", ""},
      {"POST", "/v1/completions", "json"},
      {"POST", "/v1/chat/completions", "json"},
      {"POST", "/v1/chat/completions", "json"},
      {"POST", "/v1/images/generations", "json"},
      {"POST", "/v1/images/edits", "multipart"},
      {"POST", "/v1/images/variations", "multipart"},
      {"POST", "/v1/embeddings", "json"},
      {"POST", "/v1/audio/transcriptions", "multipart"},
      {"POST", "/v1/audio/translations", "multipart"},
      {"POST", "/v1/files", "multipart"},
      {"GET", "/v1/files", ""},
      {"GET", file, ""},
      {"GET", file + "/content", ""},
      {"DELETE", file, ""},
      {"POST", "/v1/moderations", "json"},
  };
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), std::size(expected));
  for (size_t index = 0; index < requests.size(); ++index) {
    const auto& request = requests[index];
    const auto& want = expected[index];
    SCOPED_TRACE(want.Method + " " + want.Path);
    EXPECT_EQ(request.Method, want.Method);
    EXPECT_EQ(request.Target, want.Path);
    EXPECT_EQ(request.Header("Authorization"), "Bearer " + kKey);
    const std::string type = request.Header("Content-Type").value_or("");
    if (want.Body == "json") {
      EXPECT_EQ(type, "application/json");
    } else if (want.Body == "multipart") {
      EXPECT_EQ(type.rfind("multipart/form-data; boundary=", 0), 0u) << type;
    }
  }
  // The client keeps its connection for the next call.
  EXPECT_EQ(requests[0].Connection, requests[1].Connection);

  // The image edit's form: the prompt field and the file's bytes, in the client's order.
  const auto edit = test::ParseMultipart(*requests[7].Header("Content-Type"), requests[7].Body);
  ASSERT_EQ(edit.size(), 2u);
  EXPECT_EQ(edit[0].Name, "prompt");
  EXPECT_EQ(edit[0].Text(), "A cute baby sea otter wearing a beret");
  EXPECT_EQ(edit[1].Name, "image");
  EXPECT_EQ(edit[1].FileName, "image.png");
  EXPECT_EQ(edit[1].Data, test::ReadFileBytes(test::NodeFolder() + "/files/image.png"));

  const std::string reply = service.Reply(kNodeMessage);
  EXPECT_EQ(result.at("chat"), reply);
  EXPECT_EQ(result.at("stream"), reply);
  const int prompt = TTestOpenAIService::CountTokens(kNodeMessage) + TTestOpenAIService::kTokensPerMessage;
  const int completion = TTestOpenAIService::CountTokens(reply);
  EXPECT_EQ(
      result.at("stream_usage"),
      json({{"prompt_tokens", prompt}, {"completion_tokens", completion}, {"total_tokens", prompt + completion}}));
  EXPECT_EQ(result.at("embedding").size(), size_t{TTestOpenAIService::kEmbeddingDimensions});
}

TEST(TTestOpenAIService, TheOfficialClientReachesItThroughNginxWithTls) {
  TTestOpenAIService service;
  test::TTestNginx nginx;
  nginx.EnableTls();
  nginx.AddProxy("/v1/", service.Port());
  nginx.Start();
  const test::TNodeRun run = test::RunNode("wire_calls.mjs", {nginx.TlsUrl("/v1"), kKey},
                                           {"NODE_EXTRA_CA_CERTS=" + test::TTestCertificates::Get().CAFile});
  ASSERT_EQ(run.ExitCode, 0) << run.Describe() << "\n--- nginx:\n" << nginx.Output();
  const json result = json::parse(run.Output);
  EXPECT_EQ(result.at("stream"), service.Reply(kNodeMessage));
  EXPECT_EQ(service.Requests().size(), result.at("calls").size());
}

TEST(TTestOpenAIService, StreamsChatAnswersAsTheServiceDoes) {
  TTestOpenAIService service;
  const std::string message = "Grüße 😀";
  const TWireAnswer answer = Parse(Exchange(service.Port(), Post("/v1/chat/completions", ChatJson(message, true))));
  EXPECT_EQ(answer.Status(), 200);
  EXPECT_TRUE(answer.HasHeader("Content-Type: text/event-stream; charset=utf-8")) << answer.Head;
  EXPECT_TRUE(answer.Terminated);
  // Some write ends inside a multi-byte character.
  EXPECT_TRUE(std::any_of(answer.Chunks.begin(), answer.Chunks.end(),
                          [](const std::string& c) { return static_cast<uint8_t>(c.back()) >= 0xC0; }));

  const std::vector<json> events = Events(answer.Body);
  const std::vector<std::string> pieces = TTestOpenAIService::Pieces(service.Reply(message));
  ASSERT_EQ(events.size(), pieces.size() + 4);  // role, pieces, finish, usage, [DONE]
  EXPECT_EQ(events.front().at("choices")[0].at("delta"), json({{"role", "assistant"}, {"content", ""}}));
  for (size_t index = 0; index < pieces.size(); ++index) {
    const json& event = events[index + 1];
    EXPECT_EQ(event.at("object"), "chat.completion.chunk");
    EXPECT_EQ(event.at("id"), events.front().at("id"));
    EXPECT_EQ(event.at("choices")[0].at("delta").at("content"), pieces[index]);
    EXPECT_TRUE(event.at("usage").is_null());
  }
  const json& finish = events[pieces.size() + 1];
  EXPECT_EQ(finish.at("choices")[0].at("finish_reason"), "stop");
  EXPECT_EQ(finish.at("choices")[0].at("delta"), json::object());
  const json& usage = events[pieces.size() + 2];
  EXPECT_EQ(usage.at("choices"), json::array());
  EXPECT_EQ(usage.at("usage").at("completion_tokens"), pieces.size());
  EXPECT_EQ(events.back(), "[DONE]");
}

TEST(TTestOpenAIService, EndsStreamsAsProgrammed) {
  const struct {
    TStreamEnd End;
    bool Terminated;
    std::string LastEvent;  // what the last event holds
  } cases[] = {
      {TStreamEnd::ErrorEvent, true, "\"error\":{\"message\":\"The server had an error"},
      {TStreamEnd::CutOff, true, "\"delta\":{\"content\":"},
      {TStreamEnd::Dropped, false, "\"delta\":{\"content\":"},
  };
  for (const auto& c : cases) {
    TTestOpenAIService service;
    service.Program({.Content = "one two three four", .StreamEnd = c.End});
    const TWireAnswer answer = Parse(Exchange(service.Port(), Post("/v1/chat/completions", ChatJson("hi", true))));
    SCOPED_TRACE(answer.Body);
    EXPECT_EQ(answer.Terminated, c.Terminated);
    EXPECT_EQ(answer.Body.find("[DONE]"), std::string::npos);
    EXPECT_EQ(answer.Body.find("finish_reason\":\"stop"), std::string::npos);
    const std::string last = answer.Body.substr(answer.Body.rfind("data: "));
    EXPECT_NE(last.find(c.LastEvent), std::string::npos);
  }

  // The official client takes the error event for the service's error.
  TTestOpenAIService service;
  service.Program({.StreamEnd = TStreamEnd::ErrorEvent});
  const test::TNodeRun run = test::RunNode("chat.mjs", {service.Url("/v1"), kKey, "hi", "--stream"});
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  EXPECT_EQ(run.Errors, "chat.mjs: chat: The server had an error while processing your request. Sorry about that!\n");
}

TEST(TTestOpenAIService, AnswersAsTheServiceOrAsProgrammed) {
  TTestOpenAIService service;
  const std::string chat = ChatJson("hello", false);
  service.Program({.Status = 429, .Headers = {"Retry-After: 1", "retry-after-ms: 20"}});
  service.Program({.Status = 503, .Body = "{\"error\": \"overloaded\"}"});
  const struct {
    std::string Request;
    int Status;
    std::string Contains;
  } cases[] = {
      {Post("/v1/chat/completions", chat), 429, "Retry-After: 1\r\nretry-after-ms: 20\r\n"},
      {Post("/v1/chat/completions", chat), 503, "\r\n\r\n{\"error\": \"overloaded\"}"},
      {Post("/v1/chat/completions", chat, "sk-wrong-key-0123456789"), 401,
       "{\"error\":{\"message\":\"Incorrect API key provided: sk-wrong***********6789. You can find your API key at "
       "https://platform.openai.com/account/api-keys.\",\"type\":\"invalid_request_error\",\"param\":null,"
       "\"code\":\"invalid_api_key\"}}"},
      {Post("/v1/chat/completions", chat, ""), 401, "\"message\":\"You didn't provide an API key."},
      {Post("/v1/chat/completions", "{\"model\": \"gpt-3.5-turbo\", \"messages\": [\"say \"hi\"\"]}"), 400,
       "\"message\":\"We could not parse the JSON body of your request."},
      {Post("/v1/chat/completions", "{\"model\": \"gpt-3.5-turbo\"}"), 400,
       "\"message\":\"Missing required parameter: 'messages'.\",\"type\":\"invalid_request_error\","
       "\"param\":\"messages\",\"code\":\"missing_required_parameter\""},
      {Post("/v1/images/edits", "{\"prompt\": \"x\"}"), 400, "expected multipart/form-data"},
      {Post("/v1/fine-tunes/ft-unknown/cancel", ""), 404, "No fine-tune job: ft-unknown"},
      {Post("/v1/chat/completion", chat), 404, "Invalid URL (POST /v1/chat/completion)"},
      {Post("/v1/chat/completions", chat), 200, "\"content\":\"You said: hello\""},
  };
  for (const auto& c : cases) {
    const TWireAnswer answer = Parse(Exchange(service.Port(), c.Request));
    SCOPED_TRACE(c.Request);
    EXPECT_EQ(answer.Status(), c.Status);
    EXPECT_NE((answer.Head + "\r\n" + answer.Body).find(c.Contains), std::string::npos) << answer.Head << answer.Body;
  }
}

TEST(TTestOpenAIService, DelaysOrClosesAsProgrammed) {
  TTestOpenAIService service;
  service.Program({.DelayMs = 300});
  service.Program({.Close = true});
  const auto start = test::TClock::now();
  EXPECT_EQ(Parse(Exchange(service.Port(), Get("/v1/models"))).Status(), 200);
  EXPECT_GE(test::ElapsedMs(start), 300);
  EXPECT_EQ(Exchange(service.Port(), Get("/v1/models")), "");
  EXPECT_EQ(service.Requests().size(), 2u);
}

TEST(TTestOpenAIService, ReadsChunkedBodiesAndKeepsConnectionsAsAsked) {
  TTestOpenAIService service;
  const std::string chat = ChatJson("chunked", false);
  const std::string rest = chat.substr(5);
  char size[16];
  const std::string restSize(size, std::to_chars(size, size + sizeof size, rest.size(), 16).ptr);
  const std::string request = "POST /v1/chat/completions HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kKey +
                              "\r\nTransfer-Encoding: chunked\r\nExpect: 100-continue\r\n\r\n5\r\n" +
                              chat.substr(0, 5) + "\r\n" + restSize + ";name=value\r\n" + rest +
                              "\r\n0\r\nX-Trailer: 1\r\n\r\n";
  // HTTP/1.0 without keep-alive: the stream is ended by the close.
  const std::string stream = ChatJson("old", true);
  const std::string close = "POST /v1/chat/completions HTTP/1.0\r\nAuthorization: Bearer " + kKey +
                            "\r\nContent-Length: " + std::to_string(stream.size()) + "\r\n\r\n" + stream;
  const std::string answers = Exchange(service.Port(), request + close);

  EXPECT_EQ(answers.rfind("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n", 0), 0u) << answers;
  EXPECT_NE(answers.find("\"content\":\"You said: chunked\""), std::string::npos);
  const TWireAnswer streamed = Parse(answers.substr(answers.rfind("HTTP/1.1 200 OK")));
  EXPECT_TRUE(streamed.HasHeader("Connection: close")) << streamed.Head;
  EXPECT_FALSE(streamed.HasHeader("Transfer-Encoding: chunked"));
  EXPECT_TRUE(streamed.Body.ends_with("data: [DONE]\n\n")) << streamed.Body;
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].Chunked);
  EXPECT_EQ(requests[0].BodyText(), chat);
  EXPECT_EQ(requests[1].Connection, requests[0].Connection);
}

TEST(TDemoServer, PrintsItsUrlAndAnswersWithoutAKey) {
  const uint16_t port = test::FreeLoopbackPort();
  test::TTestDaemon demo(QTX_DEMO_SERVER);
  demo.Start({"--port", std::to_string(port)}, port);
  // It listens a moment before it prints.
  const auto start = test::TClock::now();
  while (demo.Output().find('\n') == std::string::npos && test::ElapsedMs(start) < test::kPeerWaitMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(demo.Output(), "http://127.0.0.1:" + std::to_string(port) + "/v1\n");
  const std::string request =
      "POST /v1/chat/completions HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
      "Content-Length: " +
      std::to_string(ChatJson("Hi there", false).size()) + "\r\n\r\n" + ChatJson("Hi there", false);
  const TWireAnswer answer = Parse(Exchange(port, request));
  EXPECT_EQ(answer.Status(), 200);
  const json reply = json::parse(answer.Body);
  const std::string content = reply.at("choices")[0].at("message").at("content");
  EXPECT_NE(content.find("\"Hi there\""), std::string::npos) << content;
}

TEST(TTestMockLlm, EchoesTheLastMessageWithUsage) {
  test::TTestMockLlm mock;
  const TWireAnswer answer = Parse(Exchange(mock.Port(), Post("/v1/chat/completions", ChatJson("Grüße 😀", false))));
  ASSERT_EQ(answer.Status(), 200) << answer.Body << mock.Output();
  const json reply = json::parse(answer.Body);
  EXPECT_EQ(reply.at("choices")[0].at("message"), json({{"role", "assistant"}, {"content", "Grüße 😀"}}));
  // Counted in UTF-16 code units: the emoji is two.
  EXPECT_EQ(reply.at("usage"), json({{"prompt_tokens", 8}, {"completion_tokens", 8}, {"total_tokens", 16}}));
}

}  // namespace
}  // namespace qtx
