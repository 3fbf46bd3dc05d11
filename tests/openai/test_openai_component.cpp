// The OpenAI component against the fake OpenAI service of tests/support:
// what goes on the wire for every endpoint, what comes back typed, the
// error road, retries, the kept connection and the options.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>

#include "core/qtxIdException.h"
#include "http/qtxIdHTTP.h"
#include "openai/qtxHTTP_API_OpenAI.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestMultipart.h"
#include "support/qtxTestOpenAIService.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using nlohmann::json;
using test::TTestOpenAIService;

const std::string kKey(test::kOpenAITestApiKey);

// A file of the test's own, removed at the end of the test.
class TempFile {
public:
  TempFile(const std::string& aName, std::string_view aContent)
      : FPath((std::filesystem::temp_directory_path() / ("qtx_openai_" + std::to_string(getpid()) + "_" + aName))
                  .string()) {
    std::ofstream(FPath, std::ios::binary) << aContent;
  }
  ~TempFile() { std::filesystem::remove(FPath); }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

// The lines of a request that the component sets, in order.
std::vector<std::string> ComponentHeaders(const test::TTestHttpRequest& aRequest) {
  std::vector<std::string> lines;
  for (const std::string& line : aRequest.HeaderLines) {
    for (const std::string_view name : {"Authorization:", "OpenAI-Organization:", "Content-Type:"}) {
      if (line.starts_with(name)) lines.push_back(line.starts_with("Content-Type: multipart") ? "multipart" : line);
    }
  }
  return lines;
}

// A multipart body as "name=value" and "name<file name>=bytes" entries, in order.
std::vector<std::string> FormFields(const test::TTestHttpRequest& aRequest) {
  std::vector<std::string> fields;
  for (const test::TMultipartPart& part : test::ParseMultipart(*aRequest.Header("Content-Type"), aRequest.Body)) {
    fields.push_back(part.Name + (part.FileName ? "<" + *part.FileName + ">" : "") + "=" + part.Text());
  }
  return fields;
}

class OpenAIComponent : public ::testing::Test {
protected:
  OpenAIComponent() {
    FOpenAI.OpenAIOptions().SetApiKey(kKey);
    FOpenAI.OpenAIOptions().SetBaseURL(FService.Url(""));
    FOpenAI.OpenAIOptions().SetOrganization({});
  }

  test::TTestHttpRequest OnlyRequest() const {
    const auto requests = FService.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? test::TTestHttpRequest{} : requests.back();
  }

  TTestOpenAIService FService;
  TqtxHTTP_API_OpenAI FOpenAI;
  TempFile FImage{"image.png", "\x89PNG\r\n\x1a\nimage bytes"};
  TempFile FAudio{"audio.wav", std::string_view("RIFF\x24\0\0\0WAVEaudio bytes", 23)};
  TempFile FTraining{"training.jsonl", "{\"prompt\": \"a\", \"completion\": \"b\"}\n"};
};

// ---- every endpoint on the wire ------------------------------------------------------------

enum class TBody { None, JSON, Multipart };

struct TEndpointCase {
  std::string Name;
  std::function<void(OpenAIComponent&, TqtxHTTP_API_OpenAI&)> Call;  // makes the call, checks the typed result
  std::string Method;
  std::string Target;
  TBody Body;
  std::string Expected;  // JSON: the body as a JSON value ("<empty>": none); multipart: the field names joined by "|"
};

std::string Joined(const std::vector<std::string>& aItems) {
  std::string text;
  for (const std::string& item : aItems) text += (text.empty() ? "" : "|") + item;
  return text;
}

void PrintTo(const TEndpointCase& aCase, std::ostream* aOut) { *aOut << aCase.Name; }

class OpenAIEndpoints : public OpenAIComponent, public ::testing::WithParamInterface<TEndpointCase> {
public:
  // The fixture's files, for the table.
  const TempFile& Image() const { return FImage; }
  const TempFile& Audio() const { return FAudio; }
  const TempFile& Training() const { return FTraining; }
};

const std::string kFile(TTestOpenAIService::kSampleFileId);
const std::string kFineTune(TTestOpenAIService::kSampleFineTuneId);
const std::string kFineTunedModel(TTestOpenAIService::kSampleFineTunedModel);

const TEndpointCase kEndpointCases[] = {
    {"GetModels", [](auto&, auto& api) { EXPECT_FALSE(api.GetModels()->Data().empty()); }, "GET", "/v1/models",
     TBody::None, ""},
    {"GetModel", [](auto&, auto& api) { EXPECT_EQ(api.GetModel("gpt-3.5-turbo")->Id(), "gpt-3.5-turbo"); }, "GET",
     "/v1/models/gpt-3.5-turbo", TBody::None, ""},
    {"CreateCompletion",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_Completion request;
       request.SetModel("text-davinci-003");
       request.SetPrompt("Say this is a test");
       EXPECT_EQ(api.CreateCompletion(request)->Choices().size(), 1u);
     },
     "POST", "/v1/completions", TBody::JSON,
     R"({"model":"text-davinci-003","prompt":"Say this is a test","best_of":1,"n":1,"temperature":1,"top_p":1})"},
    {"CreateChatCompletion",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_ChatCompletion request;
       request.SetModel("gpt-3.5-turbo");
       request.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", "Γειά 😀"));
       const auto response = api.CreateChatCompletion(request);
       ASSERT_EQ(response->Choices().size(), 1u);
       EXPECT_EQ(response->Choices()[0]->_Message().Content(), "You said: Γειά 😀");
       EXPECT_EQ(response->Usage().CompletionTokens(), TTestOpenAIService::CountTokens("You said: Γειά 😀"));
     },
     "POST", "/v1/chat/completions", TBody::JSON,
     R"({"model":"gpt-3.5-turbo","messages":[{"role":"user","content":"Γειά 😀"}],"n":1,"temperature":1,"top_p":1})"},
    {"CreateEdit",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_Edit request;
       request.SetModel("text-davinci-edit-001");
       request.SetInput("What day of the wek is it?");
       request.SetInstruction("Fix the spelling mistakes");
       EXPECT_FALSE(api.CreateEdit(request)->Choices().empty());
     },
     "POST", "/v1/edits", TBody::JSON,
     R"({"model":"text-davinci-edit-001","input":"What day of the wek is it?","instruction":"Fix the spelling mistakes","n":1,"temperature":1,"top_p":1})"},
    {"CreateImage",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_Image request;
       request.SetPrompt("A cute baby sea otter");
       EXPECT_FALSE(api.CreateImage(request)->Data().empty());
     },
     "POST", "/v1/images/generations", TBody::JSON, R"({"prompt":"A cute baby sea otter","n":1,"response_format":"url"})"},
    {"CreateImageEdit",
     [](auto& fixture, auto& api) {
       TqtxOpenAIClass_Request_Image_Edit request;
       request.SetImage(static_cast<OpenAIEndpoints&>(fixture).Image().Path());
       request.SetPrompt("A cute baby sea otter wearing a beret");
       EXPECT_FALSE(api.CreateImageEdit(request)->Data().empty());
     },
     "POST", "/v1/images/edits", TBody::Multipart, "n|response_format|prompt|image"},
    {"CreateImageVariation",
     [](auto& fixture, auto& api) {
       TqtxOpenAIClass_Request_Image_Variation request;
       request.SetImage(static_cast<OpenAIEndpoints&>(fixture).Image().Path());
       EXPECT_FALSE(api.CreateImageVariation(request)->Data().empty());
     },
     "POST", "/v1/images/variations", TBody::Multipart, "n|response_format|image"},
    {"CreateEmbeddings",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_Embeddings request;
       request.SetModel("text-embedding-ada-002");
       request.SetInput("The food was delicious");
       const auto response = api.CreateEmbeddings(request);
       ASSERT_EQ(response->Data().size(), 1u);
       EXPECT_EQ(response->Data()[0]->Embedding().size(), size_t{TTestOpenAIService::kEmbeddingDimensions});
     },
     "POST", "/v1/embeddings", TBody::JSON, R"({"model":"text-embedding-ada-002","input":"The food was delicious"})"},
    {"CreateTranscriptionFromFile",
     [](auto& fixture, auto& api) {
       TqtxOpenAIClass_Request_Transcription request;
       request.SetFilename(static_cast<OpenAIEndpoints&>(fixture).Audio().Path());
       request.SetModel("whisper-1");
       request.SetPrompt("hello world");
       EXPECT_FALSE(api.CreateTranscriptionFromFile(request)->Text().empty());
     },
     "POST", "/v1/audio/transcriptions", TBody::Multipart, "model|prompt|file"},
    {"CreateTranslationFromFile",
     [](auto& fixture, auto& api) {
       TqtxOpenAIClass_Request_Translation request;
       request.SetFilename(static_cast<OpenAIEndpoints&>(fixture).Audio().Path());
       request.SetModel("whisper-1");
       EXPECT_FALSE(api.CreateTranslationFromFile(request)->Text().empty());
     },
     "POST", "/v1/audio/translations", TBody::Multipart, "model|file"},
    {"ListFiles", [](auto&, auto& api) { EXPECT_EQ(api.ListFiles()->Data().size(), 1u); }, "GET", "/v1/files",
     TBody::None, ""},
    {"UploadFile",
     [](auto& fixture, auto& api) {
       TqtxOpenAIClass_Request_UploadFile request;
       request.SetFilename(static_cast<OpenAIEndpoints&>(fixture).Training().Path());
       request.SetPurpose("fine-tune");
       EXPECT_EQ(api.UploadFile(request)->Purpose(), "fine-tune");
     },
     "POST", "/v1/files", TBody::Multipart, "file|purpose"},
    {"DeleteFile", [](auto&, auto& api) { EXPECT_EQ(api.DeleteFile(kFile)->Id(), kFile); }, "DELETE",
     "/v1/files/" + kFile, TBody::None, ""},
    {"RetrieveFile", [](auto&, auto& api) { EXPECT_EQ(api.RetrieveFile(kFile)->Id(), kFile); }, "GET",
     "/v1/files/" + kFile, TBody::None, ""},
    {"RetrieveFileContent",
     [](auto&, auto& api) { EXPECT_EQ(api.RetrieveFileContent(kFile).front(), '{'); },  // the JSONL text, unparsed
     "GET", "/v1/files/" + kFile + "/content", TBody::None, ""},
    {"CreateFineTune",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_FineTune request;
       request.SetTrainingFile(kFile);
       EXPECT_FALSE(api.CreateFineTune(request)->Id().empty());
     },
     "POST", "/v1/fine-tunes", TBody::JSON,
     R"({"compute_classification_metrics":false,"n_epochs":4,"prompt_loss_weight":0.01,"training_file":")" + kFile + "\"}"},
    {"ListFineTunes", [](auto&, auto& api) { EXPECT_EQ(api.ListFineTunes()->Data().size(), 1u); }, "GET",
     "/v1/fine-tunes", TBody::None, ""},
    {"RetrieveFineTune", [](auto&, auto& api) { EXPECT_EQ(api.RetrieveFineTune(kFineTune)->Id(), kFineTune); },
     "GET", "/v1/fine-tunes/" + kFineTune, TBody::None, ""},
    {"CancelFineTune",
     [](auto&, auto& api) { EXPECT_EQ(api.CancelFineTune(kFineTune)->Status(), "cancelled"); }, "POST",
     "/v1/fine-tunes/" + kFineTune + "/cancel", TBody::JSON, "<empty>"},
    {"ListFineTuneEvents",
     [](auto&, auto& api) { EXPECT_FALSE(api.ListFineTuneEvents(kFineTune)->Data().empty()); }, "GET",
     "/v1/fine-tunes/" + kFineTune + "/events", TBody::None, ""},
    {"DeleteFineTuneModel",
     [](auto&, auto& api) { EXPECT_EQ(api.DeleteFineTuneModel(kFineTunedModel)->Id(), kFineTunedModel); },
     "DELETE", "/v1/models/" + kFineTunedModel, TBody::None, ""},
    {"CreateModeration",
     [](auto&, auto& api) {
       TqtxOpenAIClass_Request_Moderation request;
       request.SetInput("I want to kill them.");
       EXPECT_EQ(api.CreateModeration(request)->Results().size(), 1u);
     },
     "POST", "/v1/moderations", TBody::JSON, R"({"input":"I want to kill them."})"},
};

TEST_P(OpenAIEndpoints, SendsTheEndpointsRequestAndReadsItsAnswer) {
  const TEndpointCase& row = GetParam();
  row.Call(*this, FOpenAI);
  const test::TTestHttpRequest request = OnlyRequest();
  EXPECT_EQ(request.Method, row.Method);
  EXPECT_EQ(request.Target, row.Target);
  std::vector<std::string> headers{"Authorization: Bearer " + kKey};
  if (row.Body == TBody::JSON) headers.push_back("Content-Type: application/json");
  if (row.Body == TBody::Multipart) headers.insert(headers.begin(), "multipart");
  EXPECT_EQ(ComponentHeaders(request), headers);
  switch (row.Body) {
    case TBody::None: EXPECT_TRUE(request.Body.empty()); break;
    case TBody::JSON:
      if (row.Expected == "<empty>") {
        EXPECT_TRUE(request.Body.empty());
      } else {
        EXPECT_EQ(json::parse(request.BodyText()), json::parse(row.Expected));
      }
      break;
    case TBody::Multipart: {
      std::vector<std::string> names;
      for (const auto& part : test::ParseMultipart(*request.Header("Content-Type"), request.Body)) {
        names.push_back(part.Name);
      }
      EXPECT_EQ(Joined(names), row.Expected);
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, OpenAIEndpoints, ::testing::ValuesIn(kEndpointCases),
                         [](const auto& aInfo) { return aInfo.param.Name; });

// ---- raw-text methods: their bodies, exactly ----------------------------------------------

struct TRawCase {
  std::string Name;
  std::function<std::string(TqtxHTTP_API_OpenAI&, const std::string& aFile)> Call;
  std::string Body;  // the JSON text, or the multipart fields
};

void PrintTo(const TRawCase& aCase, std::ostream* aOut) { *aOut << aCase.Name; }

class OpenAIRawText : public OpenAIComponent, public ::testing::WithParamInterface<TRawCase> {};

const TRawCase kRawCases[] = {
    {"Completion", [](auto& api, auto&) { return api._CreateCompletion("m", "say \"hi\""); },
     R"({"model":"m","prompt":"say \"hi\""})"},
    {"ChatCompletion", [](auto& api, auto&) { return api._CreateChatCompletion("m", "a\\b\nc", "system"); },
     R"({"model":"m","messages":[{"role":"system","content":"a\\b\nc"}]})"},
    {"EditWithoutInput", [](auto& api, auto&) { return api._CreateEdit("m", "fix", ""); },
     R"({"model":"m","instruction":"fix"})"},
    {"EditWithInput", [](auto& api, auto&) { return api._CreateEdit("m", "fix", "teh"); },
     R"({"model":"m","instruction":"fix","input":"teh"})"},
    {"Image", [](auto& api, auto&) { return api._CreateImage("otter"); }, R"({"prompt":"otter"})"},
    {"Embeddings", [](auto& api, auto&) { return api._CreateEmbeddings("m", "food"); },
     R"({"model":"m","input":"food"})"},
    {"FineTune", [](auto& api, auto&) { return api._CreateFineTune(kFile); },
     "{\"training_file\":\"" + kFile + "\"}"},
    {"Moderation", [](auto& api, auto&) { return api._CreateModeration("Grüße"); }, R"({"input":"Gr\u00FC\u00DFe"})"},
    {"ImageEdit", [](auto& api, auto& file) { return api._CreateImageEdit(file, "a b"); },
     "image<file>=bytes|prompt=a b"},
    {"ImageVariations", [](auto& api, auto& file) { return api._CreateImageVariations(file); }, "image<file>=bytes"},
    {"TranscriptionFromFile", [](auto& api, auto& file) { return api._CreateTranscriptionFromFile("whisper-1", file); },
     "file<file>=bytes|model=whisper-1"},
    {"TranslationFromFile", [](auto& api, auto& file) { return api._CreateTranslationFromFile("whisper-1", file); },
     "file<file>=bytes|model=whisper-1"},
    {"UploadFile", [](auto& api, auto& file) { return api._UploadFile(file, "fine-tune"); },
     "file<file>=bytes|purpose=fine-tune"},
};

TEST_P(OpenAIRawText, WritesItsMembersInOrderEscaped) {
  const TRawCase& row = GetParam();
  const TempFile file("file", "bytes");
  FService.Program({.Status = 200, .Body = "{\"raw\": true}", .Headers = {"Content-Type: application/json"}});
  EXPECT_EQ(row.Call(FOpenAI, file.Path()), "{\"raw\": true}");
  const test::TTestHttpRequest request = OnlyRequest();
  if (request.Header("Content-Type")->starts_with("multipart/")) {
    std::string fields = Joined(FormFields(request));
    for (size_t at; (at = fields.find(std::filesystem::path(file.Path()).filename().string())) != std::string::npos;) {
      fields.replace(at, std::filesystem::path(file.Path()).filename().string().size(), "file");
    }
    EXPECT_EQ(fields, row.Body);
  } else {
    EXPECT_EQ(request.BodyText(), row.Body);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, OpenAIRawText, ::testing::ValuesIn(kRawCases),
                         [](const auto& aInfo) { return aInfo.param.Name; });

TEST_F(OpenAIComponent, MultipartTextFieldsCarryTheirExactUTF8Value) {
  TqtxOpenAIClass_Request_Transcription request;
  request.SetFilename(FAudio.Path());
  request.SetModel("whisper-1");
  request.SetPrompt("hello world, Grüße 😀 100%");
  FOpenAI.CreateTranscriptionFromFile(request);
  const test::TTestHttpRequest sent = OnlyRequest();
  const auto parts = test::ParseMultipart(*sent.Header("Content-Type"), sent.Body);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[1].Name, "prompt");
  EXPECT_EQ(parts[1].Text(), "hello world, Grüße 😀 100%");
  EXPECT_EQ(parts[2].Name, "file");
  EXPECT_EQ(parts[2].Data, test::Bytes(std::string_view("RIFF\x24\0\0\0WAVEaudio bytes", 23)));
}

TEST_F(OpenAIComponent, AMissingFilePartFailsBeforeAnythingIsSent) {
  EXPECT_THROW(FOpenAI._CreateTranscriptionFromFile("whisper-1", "/nonexistent/audio.wav"), Exception);
  EXPECT_TRUE(FService.Requests().empty());
}

TEST_F(OpenAIComponent, IdentifiersGoIntoThePathAsOneEncodedSegment) {
  const std::pair<std::string, std::string> cases[] = {
      {"a/b?c#d e", "/v1/files/a%2Fb%3Fc%23d%20e"},
      {"ft:gpt-3.5-turbo:org:custom:id", "/v1/files/ft:gpt-3.5-turbo:org:custom:id"},
      {"..", "/v1/files/%2E%2E"},
      {"50%", "/v1/files/50%25"},
  };
  for (const auto& [identifier, target] : cases) {
    FService.Program({.Status = 200, .Body = "{}"});
    FOpenAI._RetrieveFile(identifier);
    EXPECT_EQ(FService.Requests().back().Target, target) << identifier;
  }
}

TEST_F(OpenAIComponent, OrganizationLineFollowsTheBearerLineOnlyWhenSet) {
  FOpenAI.OpenAIOptions().SetApiKey("");
  FService.Program({.Status = 200, .Body = "{}"});
  FOpenAI._ListFiles();
  FOpenAI.OpenAIOptions().SetOrganization("org-qtx");
  FService.Program({.Status = 200, .Body = "{}"});
  FOpenAI._ListFiles();
  const auto requests = FService.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(ComponentHeaders(requests[0]), std::vector<std::string>{"Authorization: Bearer "});
  EXPECT_EQ(ComponentHeaders(requests[1]),
            (std::vector<std::string>{"Authorization: Bearer ", "OpenAI-Organization: org-qtx"}));
}

// ---- the error road ------------------------------------------------------------------------

TEST_F(OpenAIComponent, AnErrorStatusRaisesWithTheStatusTextAndTheServicesBody) {
  FOpenAI.OpenAIOptions().SetApiKey("sk-wrong");
  const auto e = test::Raised<EIdHTTPProtocolException>([&] { FOpenAI._GetModels(); });
  EXPECT_EQ(e.ErrorCode(), 401);
  ASSERT_TRUE(e.Message().starts_with("HTTP/1.1 401 Unauthorized. {")) << e.Message();
  EXPECT_EQ(json::parse(e.Message().substr(27))["error"]["code"], "invalid_api_key");
  EXPECT_EQ(FService.Requests().size(), 1u);  // 401 is never retried
}

TEST_F(OpenAIComponent, AHandlerTakesTheFailureAndTheTypedResultIsEmpty) {
  std::vector<std::string> reported;
  FOpenAI.OnHTTPAPIException = [&](TqtxHTTPAPI_client&, Exception& aE) { reported.push_back(aE.Message()); };
  FOpenAI.OpenAIOptions().SetApiKey("sk-wrong");
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("gpt-3.5-turbo");
  const auto response = FOpenAI.CreateChatCompletion(request);
  EXPECT_TRUE(response->Choices().empty());
  EXPECT_EQ(response->Usage().TotalTokens(), 0);
  // A connection that cannot be made reaches the handler as it was raised.
  FOpenAI.OpenAIOptions().SetBaseURL("http://127.0.0.1:1");
  FOpenAI.OpenAIOptions().SetMaxRetries(0);
  EXPECT_EQ(FOpenAI._GetModels(), "");
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_TRUE(reported[0].starts_with("HTTP/1.1 401 Unauthorized. {"));
  EXPECT_TRUE(reported[1].starts_with("Socket Error # 10061")) << reported[1];
}

TEST_F(OpenAIComponent, ASuccessStatusAlwaysGoesToTheResponseClass) {
  FService.Program({.Status = 200, .Body = "not json"});
  EXPECT_TRUE(FOpenAI.GetModels()->Data().empty());
}

// ---- retries and time-outs -----------------------------------------------------------------

TEST_F(OpenAIComponent, A429IsRetriedAfterTheWaitTheServerAsksFor) {
  FService.Program({.Status = 429, .Headers = {"Retry-After: 1"}});
  const auto start = test::TClock::now();
  EXPECT_FALSE(FOpenAI.GetModels()->Data().empty());
  EXPECT_GE(test::ElapsedMs(start), 950);
  EXPECT_EQ(FService.Requests().size(), 2u);
}

TEST_F(OpenAIComponent, OnlyTheLastOfThreeServerErrorsReachesTheCaller) {
  for (int i = 0; i < 3; ++i) FService.Program({.Status = 500, .Headers = {"retry-after-ms: 10"}});
  const auto e = test::Raised<EIdHTTPProtocolException>([&] { FOpenAI._GetModels(); });
  EXPECT_EQ(e.ErrorCode(), 500);
  EXPECT_TRUE(e.Message().starts_with("HTTP/1.1 500 Internal Server Error. {")) << e.Message();
  EXPECT_EQ(FService.Requests().size(), 3u);
}

TEST_F(OpenAIComponent, NoRetriesGiveOneAttempt) {
  FOpenAI.OpenAIOptions().SetMaxRetries(0);
  FService.Program({.Status = 503});
  EXPECT_THROW(FOpenAI._GetModels(), EIdHTTPProtocolException);
  EXPECT_EQ(FService.Requests().size(), 1u);
}

TEST_F(OpenAIComponent, AFilePartIsReadAgainForARetry) {
  FService.Program({.Status = 500, .Headers = {"retry-after-ms: 10"}});
  FOpenAI._CreateTranscriptionFromFile("whisper-1", FAudio.Path());
  const auto requests = FService.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Body, requests[0].Body);
}

TEST_F(OpenAIComponent, AStalledServerEndsInAReadTimeout) {
  FOpenAI.OpenAIOptions().SetReadTimeout(300);
  FOpenAI.OpenAIOptions().SetMaxRetries(0);
  FService.Program({.DelayMs = 3000});
  EXPECT_THROW(FOpenAI._GetModels(), EIdReadTimeout);
}

// ---- connection, options -------------------------------------------------------------------

TEST_F(OpenAIComponent, ReuseOffGivesEveryCallAConnectionOfItsOwn) {
  FOpenAI.OpenAIOptions().SetReuseConnection(false);
  FOpenAI._GetModels();
  FOpenAI._CreateModeration("x");
  FOpenAI._GetModels();
  EXPECT_EQ(FService.Connections(), 3);
}

TEST_F(OpenAIComponent, LogSettingsArePickedUpWhenEnabledFlips) {
  const TempFile first("first.log", ""), second("second.log", "");
  TqtxHTTPOpenAILog_Options log;
  log.SetEnabled(true);
  log.SetFileName(first.Path());
  FOpenAI.OpenAIOptions().SetLogOptions(log);
  FOpenAI._GetModels();
  FOpenAI.OpenAIOptions().LogOptions().SetFileName(second.Path());
  FOpenAI._ListFiles();
  const auto size = [](const TempFile& aFile) { return std::filesystem::file_size(aFile.Path()); };
  EXPECT_GT(size(first), 0u);
  EXPECT_EQ(size(second), 0u);
  std::ifstream in(first.Path());
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("GET /v1/files HTTP/1.1"), std::string::npos);
}

TEST(OpenAIOptions, ComeFromTheEnvironmentWhereTheOfficialClientsLook) {
  const test::ScopedEnvironment url("OPENAI_BASE_URL", "http://127.0.0.1:9/v1/");
  const test::ScopedEnvironment org("OPENAI_ORG_ID", "org-env");
  const test::ScopedEnvironment key("OPENAI_API_KEY", "sk-env");
  TqtxHTTPOpenAI_Options options;
  EXPECT_EQ(options.BaseURL(), "http://127.0.0.1:9/v1/");
  EXPECT_EQ(options.Organization(), "org-env");
  EXPECT_EQ(options.ApiKey(), "");
  EXPECT_EQ(options.MaxRetries(), 2);
  EXPECT_EQ(options.ReadTimeout(), 600000);
}

TEST(OpenAIComponentDefaults, TLS12AndTheServiceAddress) {
  const test::ScopedEnvironment url("OPENAI_BASE_URL", nullptr);
  struct TProbe : TqtxHTTP_API_OpenAI {
    using TqtxHTTP_API_OpenAI::GetBaseURL;
  } probe;
  EXPECT_EQ(probe.TLSOptions().Version(), tls1_2);
  EXPECT_TRUE(probe.TLSOptions().VerifyCertificate());
  EXPECT_EQ(probe.GetBaseURL(), "https://api.openai.com/v1");
  probe.OpenAIOptions().SetBaseURL("http://host:1/v1");
  EXPECT_EQ(probe.GetBaseURL(), "http://host:1/v1");
}

// ---- recording -----------------------------------------------------------------------------

TEST(OpenAIRecording, TheNullDeviceGivesAWaveFileOfTheRequestedLength) {
  const test::ScopedEnvironment device("QTX_AUDIO_DEVICE", "null");
  const test::TTempFolder folder;
  const test::ScopedEnvironment temp("TEMP", folder.Path().c_str());
  TTestOpenAIService service;
  TqtxHTTP_API_OpenAI openai;
  openai.OpenAIOptions().SetApiKey(kKey);
  openai.OpenAIOptions().SetBaseURL(service.Url(""));
  TqtxOpenAIClass_Request_Transcription request;
  request.SetModel("whisper-1");
  EXPECT_FALSE(openai.CreateTranscription(request, 250)->Text().empty());
  EXPECT_EQ(request.Filename(), folder.File("qtxTranscription.wav"));
  const TBytes seconds = test::RunShell(
      "python3 -c 'import wave; w = wave.open(\"qtxTranscription.wav\"); print(w.getnframes() / w.getframerate())'",
      folder.Path());
  EXPECT_EQ(test::Text(seconds), "0.25\n");
}

TEST(OpenAIRecording, ADeviceThatCannotBeOpenedGivesMCIError) {
  const test::ScopedEnvironment device("QTX_AUDIO_DEVICE", "hw:qtx-no-such-card");
  TqtxHTTP_API_OpenAI openai;
  const auto e = test::Raised<Exception>([&] { openai._CreateTranslation("whisper-1", 100); });
  EXPECT_EQ(e.Message(), "MCI error");
}

TEST(OpenAIRecording, TheFileGoesToTEMPElseTMPDIRElseTmp) {
  const test::ScopedEnvironment temp("TEMP", nullptr);
  {
    const test::ScopedEnvironment tmpdir("TMPDIR", "/var/tmp");
    EXPECT_EQ(RecordingFileName("a.wav"), "/var/tmp/a.wav");
  }
  const test::ScopedEnvironment tmpdir("TMPDIR", nullptr);
  EXPECT_EQ(RecordingFileName("a.wav"), "/tmp/a.wav");
}

}  // namespace
}  // namespace qtx
