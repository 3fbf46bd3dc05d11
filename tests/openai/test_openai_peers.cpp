// The OpenAI component against peers that are not ours: an OpenAI-compatible
// server (npm @dwmkerr/mock-llm) behind nginx over verified TLS, and the
// official Node client, whose requests to the fake service ours must match.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>

#include "openai/qtxHTTP_API_OpenAI.h"
#include "support/qtxTestCertificates.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestMultipart.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestNode.h"
#include "support/qtxTestOpenAIService.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using nlohmann::json;
using test::TTestOpenAIService;

const std::string kKey(test::kOpenAITestApiKey);

// mock-llm behind nginx's TLS port, with the test CA; one location answers
// with nginx's number of the connection it came on.
class OpenAIOverTls : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    FMock = new test::TTestMockLlm();
    FNginx = new test::TTestNginx();
    FNginx->EnableTls();
    FNginx->AddConfig("location = /v1/models/connection {\n"
                      "  default_type application/json;\n"
                      "  return 200 '{\"id\": \"$connection\", \"object\": \"model\"}';\n"
                      "}\n");
    FNginx->AddProxy("/v1/", FMock->Port());
    FNginx->Start();
  }
  static void TearDownTestSuite() {
    delete FNginx;
    delete FMock;
  }

  OpenAIOverTls() : FBaseURL("OPENAI_BASE_URL", FNginx->TlsUrl("/v1").c_str()) {
    FOpenAI.TLSOptions().SetRootCertFile(test::TTestCertificates::Get().CAFile);
  }

  static inline test::TTestMockLlm* FMock = nullptr;
  static inline test::TTestNginx* FNginx = nullptr;
  test::ScopedEnvironment FBaseURL;
  TqtxHTTP_API_OpenAI FOpenAI;  // made after OPENAI_BASE_URL is set: its options read it
};

TEST_F(OpenAIOverTls, AChatWithNonASCIITextComesBackExactly) {
  const std::string message = "Grüße aus Köln, Ελλάδα, 日本 😀";
  FOpenAI.OpenAIOptions().SetApiKey("sk-any");
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("gpt-3.5-turbo");
  request.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", message));
  const auto response = FOpenAI.CreateChatCompletion(request);
  ASSERT_EQ(response->Choices().size(), 1u);
  EXPECT_EQ(response->Choices()[0]->_Message().Content(), message);
  // The mock counts UTF-16 code units.
  EXPECT_EQ(response->Usage().PromptTokens(), 29);
  EXPECT_EQ(response->Usage().CompletionTokens(), 29);
  EXPECT_EQ(response->Usage().TotalTokens(), 58);
}

TEST_F(OpenAIOverTls, AnInvalidKeyGetsTheServicesErrorBody) {
  FOpenAI.OpenAIOptions().SetApiKey("sk-invalid");
  FOpenAI.OpenAIOptions().SetMaxRetries(0);
  const auto e = test::Raised<EIdHTTPProtocolException>([&] { FOpenAI._CreateChatCompletion("gpt-3.5-turbo", "x"); });
  EXPECT_EQ(e.ErrorCode(), 401);
  EXPECT_NE(e.Message().find("invalid_api_key"), std::string::npos) << e.Message();
}

TEST_F(OpenAIOverTls, CallsShareAConnectionUntilTheTLSSettingsChange) {
  const auto connection = [&] { return FOpenAI.GetModel("connection")->Id(); };
  const std::string first = connection();
  FOpenAI._CreateChatCompletion("gpt-3.5-turbo", "between");  // a POST keeps it too
  EXPECT_EQ(connection(), first);
  FOpenAI.TLSOptions().SetVersion(tls1_3);
  const std::string renewed = connection();
  EXPECT_NE(renewed, first);
  FOpenAI.OpenAIOptions().SetReuseConnection(false);
  EXPECT_NE(connection(), renewed);
}

TEST_F(OpenAIOverTls, AServerThatIsNotTrustedIsRefused) {
  FOpenAI.TLSOptions().SetRootCertFile({});
  FOpenAI.OpenAIOptions().SetMaxRetries(0);
  EXPECT_THROW(FOpenAI._GetModels(), Exception);
}

// ---- the official client's requests ---------------------------------------------------------

// What a request says, in a form both clients can agree on: the method, the
// path with the upload's identifier replaced, the bearer line, and the body
// as a JSON value (multipart: field name to value or file name and bytes).
struct TWireCall {
  std::string Method;
  std::string Path;
  std::string Bearer;
  json Body;
};

TWireCall WireCall(const test::TTestHttpRequest& aRequest, const std::string& aUploadId) {
  TWireCall call{aRequest.Method, aRequest.Path(), aRequest.Header("Authorization").value_or(""), json()};
  if (const size_t at = call.Path.find(aUploadId); !aUploadId.empty() && at != std::string::npos) {
    call.Path.replace(at, aUploadId.size(), "<upload>");
  }
  const std::string type = aRequest.Header("Content-Type").value_or("");
  if (type.starts_with("multipart/form-data")) {
    call.Body = json::object();
    for (const test::TMultipartPart& part : test::ParseMultipart(type, aRequest.Body)) {
      call.Body[part.Name] = part.FileName ? json{*part.FileName, part.Text()} : json(part.Text());
    }
  } else if (!aRequest.Body.empty()) {
    call.Body = json::parse(aRequest.BodyText());
    // Members that only one side writes: our request classes send the
    // service's defaults, the official client asks for base64 embeddings.
    for (const char* name : {"n", "temperature", "top_p", "best_of", "response_format", "encoding_format"}) {
      call.Body.erase(name);
    }
  }
  return call;
}

TEST(OpenAIWire, EveryCallMatchesTheOfficialClientsRequest) {
  const std::string files = test::NodeFolder() + "/files/";
  TTestOpenAIService theirs, ours;
  const test::TNodeRun run = test::RunNode("wire_calls.mjs", {theirs.Url("/v1"), kKey});
  ASSERT_EQ(run.ExitCode, 0) << run.Describe();
  const std::string message = "Grüße aus Köln 😀\nZweite Zeile mit \"Anführungszeichen\"";

  TqtxHTTP_API_OpenAI openai;
  openai.OpenAIOptions().SetApiKey(kKey);
  openai.OpenAIOptions().SetBaseURL(ours.Url(""));
  openai.GetModels();
  openai.GetModel("gpt-3.5-turbo");
  openai.DeleteFineTuneModel(std::string(TTestOpenAIService::kSampleFineTunedModel));
  openai._CreateCompletion("text-davinci-003", "Say this is a test");
  openai._CreateChatCompletion("gpt-3.5-turbo", message, "user");
  TqtxOpenAIClass_Request_ChatCompletion streamed;
  streamed.SetModel("gpt-3.5-turbo");
  streamed.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", message));
  streamed.SetStreamIncludeUsage(true);
  const auto streamedAnswer = openai.CreateChatCompletionStream(streamed, {});
  openai._CreateImage("A cute baby sea otter");
  openai._CreateImageEdit(files + "image.png", "A cute baby sea otter wearing a beret");
  openai._CreateImageVariations(files + "image.png");
  openai._CreateEmbeddings("text-embedding-ada-002", "The food was delicious and the waiter...");
  openai._CreateTranscriptionFromFile("whisper-1", files + "audio.wav");
  openai._CreateTranslationFromFile("whisper-1", files + "audio.wav");
  TqtxOpenAIClass_Request_UploadFile upload;
  upload.SetFilename(files + "training.jsonl");
  upload.SetPurpose("fine-tune");
  const std::string ourId = openai.UploadFile(upload)->Id();
  openai.ListFiles();
  openai.RetrieveFile(ourId);
  EXPECT_EQ(openai.RetrieveFileContent(ourId), test::Text(test::ReadFileBytes(files + "training.jsonl")));
  openai.DeleteFile(ourId);
  TqtxOpenAIClass_Request_Moderation moderation;
  moderation.SetInput("I want to kill them.");
  openai.CreateModeration(moderation);

  const json their = json::parse(run.Output);
  EXPECT_EQ(streamedAnswer->Choices().at(0)->_Message().Content(), their["stream"]);
  EXPECT_EQ(streamedAnswer->Usage().TotalTokens(), their["stream_usage"]["total_tokens"]);
  const std::string theirId = their["file_id"];
  const auto theirRequests = theirs.Requests();
  ASSERT_EQ(theirRequests.size(), 18u);
  const auto ourRequests = ours.Requests();
  ASSERT_EQ(ourRequests.size(), theirRequests.size());
  for (size_t i = 0; i < ourRequests.size(); ++i) {
    const TWireCall our = WireCall(ourRequests[i], ourId);
    const TWireCall their = WireCall(theirRequests[i], theirId);
    SCOPED_TRACE(their.Method + " " + their.Path);
    EXPECT_EQ(our.Method, their.Method);
    EXPECT_EQ(our.Path, their.Path);
    EXPECT_EQ(our.Bearer, their.Bearer);
    EXPECT_EQ(our.Body, their.Body);
  }
}

}  // namespace
}  // namespace qtx
