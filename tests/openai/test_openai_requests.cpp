// Request objects: the exact JSON bodies they write.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "openai/qtxHTTP_API_OpenAI_Requests.h"
#include "support/qtxTestLocale.h"

namespace qtx {
namespace {

using TMessage = TqtxOpenAIClass_Request_Completion_Message;

void AddMessage(TqtxOpenAIClass_Request_ChatCompletion& aRequest, std::string aRole, std::string aContent) {
  aRequest.Messages().push_back(std::make_unique<TMessage>(std::move(aRole), std::move(aContent)));
}

// ---------------------------------------------------------------- chat completion

TEST(ChatCompletionRequest, TheDefaultRequestWritesModelMessagesAndTheNonEmptyDefaults) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("gpt-3.5-turbo");
  request.Messages().push_back(std::make_unique<TMessage>());
  request.Messages()[0]->SetContent("Hello!!!");
  EXPECT_EQ(request.AsString(),
            R"({"model":"gpt-3.5-turbo","messages":[{"role":"user","content":"Hello!!!"}],"n":1,"temperature":1,"top_p":1})");
}

TEST(ChatCompletionRequest, EveryFieldSetIsWrittenInTheServiceOrder) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetFrequency_penalty(0.5);
  request.SetLogit_bias(R"({"50256":-100})");
  request.SetMaxTokens(256);
  request.SetModel("gpt-4");
  AddMessage(request, "system", "Be brief.");
  AddMessage(request, "user", "Hi");
  request.SetN(2);
  request.SetPresence_penalty(-1.25);
  request.Stop() = {"\n", "END"};
  request.SetStream(true);
  request.SetTemperature(0.7);
  request.SetTop_p(0.9);
  request.SetUser("user-1");
  EXPECT_EQ(request.AsString(),
            R"({"frequency_penalty":0.5,"logit_bias":{"50256":-100},"max_tokens":256,"model":"gpt-4",)"
            R"("messages":[{"role":"system","content":"Be brief."},{"role":"user","content":"Hi"}],)"
            R"("n":2,"presence_penalty":-1.25,"stop":["\n","END"],"stream":true,"temperature":0.7,)"
            R"("top_p":0.9,"user":"user-1"})");
}

TEST(ChatCompletionRequest, ZeroTemperatureAndZeroNAreOmitted) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("m");
  request.SetTemperature(0);
  request.SetN(0);
  request.SetTop_p(0);
  EXPECT_EQ(request.AsString(), R"({"model":"m"})");
}

TEST(ChatCompletionRequest, TheModelIsWrittenEvenWhenEmpty) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  EXPECT_EQ(request.AsString(), R"({"model":"","n":1,"temperature":1,"top_p":1})");
}

TEST(ChatCompletionRequest, WritingAgainGivesTheSameTextAndOneElementPerMessage) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("m");
  AddMessage(request, "user", "one");
  AddMessage(request, "assistant", "two");
  const std::string first = request.AsString();
  EXPECT_EQ(request.AsString(), first);
  request.Messages().pop_back();
  request.Messages()[0]->SetContent("changed");
  request.SetTemperature(0.2);
  EXPECT_EQ(request.AsString(),
            R"({"model":"m","messages":[{"role":"user","content":"changed"}],"n":1,"temperature":0.2,"top_p":1})");
}

TEST(ChatCompletionRequest, AMemberOmittedOnALaterWriteKeepsItsEarlierValue) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("m");
  request.SetStream(true);
  request.AsString();
  request.SetStream(false);
  EXPECT_EQ(request.AsString(), R"({"model":"m","n":1,"stream":true,"temperature":1,"top_p":1})");
}

TEST(ChatCompletionRequest, EqualStopSequencesAreWrittenOnce) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.Stop() = {"a", "b", "a"};
  EXPECT_NE(request.AsString().find(R"("stop":["a","b"])"), std::string::npos);
}

// Messages a user may type: each body must be JSON a standard parser accepts
// and must carry the text exactly.
TEST(ChatCompletionRequest, AnyMessageTextGivesValidAsciiJSONCarryingTheExactText) {
  const std::string texts[] = {
      R"(She said "hi")",
      R"(C:\Users\me\file.txt)",
      "first line\nsecond line\r\n\ttabbed",
      "emoji \xF0\x9F\x98\x80 and caf\xC3\xA9 and \xE2\x82\xAC",
      "[1, 2, 3] is a list",
      R"({"looks":"like json"})",
      std::string("control \x01 char and nul ") + '\0' + " byte",
      "slash / and </script>",
  };
  for (const std::string& text : texts) {
    TqtxOpenAIClass_Request_ChatCompletion request;
    request.SetModel("gpt-3.5-turbo");
    AddMessage(request, "user", text);
    request.Stop() = {text};
    request.SetUser(text);
    const std::string body = request.AsString();
    for (const char c : body) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << body;
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(body)) << body;
    EXPECT_EQ(parsed["messages"][0]["content"].get<std::string>(), text);
    EXPECT_EQ(parsed["stop"][0].get<std::string>(), text);
    EXPECT_EQ(parsed["user"].get<std::string>(), text);
  }
}

TEST(ChatCompletionRequest, LogitBiasIsEmbeddedOnlyWhenItIsAJSONObject) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetLogit_bias(R"( {"50256": -100, "15": 5} )");
  EXPECT_EQ(nlohmann::json::parse(request.AsString())["logit_bias"]["15"].get<int>(), 5);
  for (const std::string bad : {R"({"50256":-100)", "[1,2]", R"({'a':1})", "not json", R"({"a":1} x)"}) {
    request.SetLogit_bias(bad);
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(request.AsString())) << bad;
    EXPECT_EQ(parsed["logit_bias"].get<std::string>(), bad);
  }
}

TEST(ChatCompletionRequest, FloatsAreWrittenWithAPointUnderACommaLocale) {
  test::TCommaDecimalLocale locale;
  ASSERT_TRUE(locale.Active());
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("m");
  request.SetTemperature(0.7);
  request.SetTop_p(0.125);
  EXPECT_EQ(request.AsString(), R"({"model":"m","n":1,"temperature":0.7,"top_p":0.125})");
}

TEST(ChatCompletionRequest, AnUnsetMessageEntryIsSkipped) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("m");
  request.Messages().resize(2);
  request.Messages()[1] = std::make_unique<TMessage>("user", "x");
  EXPECT_EQ(request.AsString(), R"({"model":"m","messages":[{"role":"user","content":"x"}],"n":1,"temperature":1,"top_p":1})");
}

TEST(CompletionMessage, WrittenOnItsOwnItHoldsContentThenRole) {
  TMessage message;
  EXPECT_EQ(message.AsString(), R"({"role":"user"})");
  message.SetContent("a \"quoted\" word");
  message.SetRole("system");
  EXPECT_EQ(message.AsString(), R"({"role":"system","content":"a \"quoted\" word"})");
  TMessage fresh("assistant", "x");
  EXPECT_EQ(fresh.AsString(), R"({"content":"x","role":"assistant"})");
}

// ---------------------------------------------------------------- completion

TEST(CompletionRequest, TheDefaultRequestWritesTheNonEmptyDefaults) {
  TqtxOpenAIClass_Request_Completion request;
  request.SetModel("text-davinci-003");
  EXPECT_EQ(request.AsString(), R"({"best_of":1,"model":"text-davinci-003","n":1,"temperature":1,"top_p":1})");
}

TEST(CompletionRequest, EveryFieldSetIsWrittenInTheServiceOrder) {
  TqtxOpenAIClass_Request_Completion request;
  request.SetBestOf(3);
  request.SetFrequency_penalty(0.1);
  request.SetLogit_bias("not an object");
  request.SetMaxTokens(16);
  request.SetModel("text-davinci-003");
  request.SetPrompt("Say \"this is a test\"\n");
  request.SetN(2);
  request.SetPresence_penalty(0.2);
  request.Stop() = {"."};
  request.SetStream(true);
  request.SetTemperature(0.3);
  request.SetTop_p(0.4);
  request.SetUser("u");
  EXPECT_EQ(request.AsString(),
            R"({"best_of":3,"frequency_penalty":0.1,"logit_bias":"not an object","max_tokens":16,)"
            R"("model":"text-davinci-003","prompt":"Say \"this is a test\"\n","n":2,"presence_penalty":0.2,)"
            R"("stop":["."],"stream":true,"temperature":0.3,"top_p":0.4,"user":"u"})");
}

// ---------------------------------------------------------------- edit

TEST(EditRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_Edit request;
  EXPECT_EQ(request.AsString(), R"({"n":1,"temperature":1,"top_p":1})");
  TqtxOpenAIClass_Request_Edit full;
  full.SetModel("text-davinci-edit-001");
  full.SetInput("What day of the wek is it?");
  full.SetInstruction("Fix the spelling mistakes");
  full.SetN(2);
  full.SetTemperature(0.5);
  full.SetTopP(0.25);
  EXPECT_EQ(full.AsString(),
            R"({"model":"text-davinci-edit-001","input":"What day of the wek is it?",)"
            R"("instruction":"Fix the spelling mistakes","n":2,"temperature":0.5,"top_p":0.25})");
}

// ---------------------------------------------------------------- images

TEST(ImageRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_Image request;
  EXPECT_EQ(request.AsString(), R"({"n":1,"response_format":"url"})");
  TqtxOpenAIClass_Request_Image full;
  full.SetN(3);
  full.SetResponseFormat("b64_json");
  full.SetSize("512x512");
  full.SetUser("u");
  full.SetPrompt("A cute baby sea otter");
  EXPECT_EQ(full.AsString(),
            R"({"n":3,"response_format":"b64_json","size":"512x512","user":"u","prompt":"A cute baby sea otter"})");
}

TEST(ImageEditRequest, BaseMembersComeFirstThenPromptImageAndMask) {
  TqtxOpenAIClass_Request_Image_Edit request;
  request.SetSize("256x256");
  request.SetPrompt("add a hat");
  request.SetImage("/tmp/otter.png");
  request.SetMask("/tmp/mask.png");
  EXPECT_EQ(request.AsString(),
            R"({"n":1,"response_format":"url","size":"256x256","prompt":"add a hat",)"
            R"("image":"\/tmp\/otter.png","mask":"\/tmp\/mask.png"})");
  TqtxOpenAIClass_Request_Image_Edit defaults;
  EXPECT_EQ(defaults.AsString(), R"({"n":1,"response_format":"url"})");
}

TEST(ImageVariationRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_Image_Variation request;
  EXPECT_EQ(request.AsString(), R"({"n":1,"response_format":"url"})");
  request.SetN(2);
  request.SetUser("u");
  request.SetImage("C:\\img.png");
  EXPECT_EQ(request.AsString(), R"({"n":2,"response_format":"url","user":"u","image":"C:\\img.png"})");
}

// ---------------------------------------------------------------- embeddings

TEST(EmbeddingsRequest, TheBodyHoldsOnlyModelInputAndUser) {
  TqtxOpenAIClass_Request_Embeddings request;
  EXPECT_EQ(request.AsString(), "{}");
  TqtxOpenAIClass_Request_Embeddings full;
  full.SetModel("text-embedding-ada-002");
  full.SetInput("The food was delicious and the waiter...");
  full.SetUser("u");
  full.SetPrompt("inherited, not written");
  full.SetSize("1024x1024");
  EXPECT_EQ(full.AsString(),
            R"({"model":"text-embedding-ada-002","input":"The food was delicious and the waiter...","user":"u"})");
}

TEST(EmbeddingsRequest, KeepsItsPlaceInTheImageRequestHierarchy) {
  TqtxOpenAIClass_Request_Embeddings request;
  TqtxOpenAIClass_Request_Image& asImage = request;
  EXPECT_EQ(asImage.N(), 1);
  EXPECT_EQ(asImage.ResponseFormat(), "url");
}

// ---------------------------------------------------------------- audio, files, moderation

TEST(TranscriptionRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_Transcription request;
  EXPECT_EQ(request.AsString(), "{}");
  request.SetFilename("/tmp/qtxTranscription.wav");
  request.SetLanguage("de");
  request.SetModel("whisper-1");
  request.SetPrompt("Gr\xC3\xBC\xC3\x9F" "e");
  request.SetResponseFormat("json");
  request.SetTemperature("0.2");
  EXPECT_EQ(request.AsString(),
            R"({"model":"whisper-1","prompt":"Gr\u00FC\u00DFe","file":"\/tmp\/qtxTranscription.wav",)"
            R"("language":"de","temperature":"0.2","response_format":"json"})");
}

TEST(TranslationRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_Translation request;
  EXPECT_EQ(request.AsString(), "{}");
  request.SetFilename("a.wav");
  request.SetModel("whisper-1");
  request.SetPrompt("p");
  request.SetResponseFormat("text");
  request.SetTemperature("0");
  EXPECT_EQ(request.AsString(),
            R"({"model":"whisper-1","prompt":"p","file":"a.wav","temperature":"0","response_format":"text"})");
}

TEST(UploadFileRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_UploadFile request;
  EXPECT_EQ(request.AsString(), "{}");
  request.SetFilename("data.jsonl");
  request.SetPurpose("fine-tune");
  EXPECT_EQ(request.AsString(), R"({"file":"data.jsonl","purpose":"fine-tune"})");
}

TEST(ModerationRequest, DefaultsAndEveryField) {
  TqtxOpenAIClass_Request_Moderation request;
  EXPECT_EQ(request.AsString(), "{}");
  request.SetInput("I want to kill them.");
  request.SetModel("text-moderation-latest");
  EXPECT_EQ(request.AsString(), R"({"model":"text-moderation-latest","input":"I want to kill them."})");
}

TEST(FineTuneRequest, TheDefaultRequestAlwaysCarriesTheMetricsFlag) {
  TqtxOpenAIClass_Request_FineTune request;
  request.SetTrainingFile("file-abc123");
  EXPECT_EQ(request.AsString(),
            R"({"compute_classification_metrics":false,"n_epochs":4,"prompt_loss_weight":0.01,"training_file":"file-abc123"})");
}

TEST(FineTuneRequest, EveryFieldSetIsWrittenInOrder) {
  TqtxOpenAIClass_Request_FineTune request;
  request.SetBatchSize(8);
  request.ClassificationBetas() = {0.5, 1, 0.5, 2.25};
  request.SetClassificationPositiveClass(" yes");
  request.SetClassificationNClasses(2);
  request.SetComputeClassificationMetrics(true);
  request.SetLearningRateMultiplier(0.1);
  request.SetModel("curie");
  request.SetNEpochs(2);
  request.SetPromptLossWeight(0.05);
  request.SetSuffix("custom-model-name");
  request.SetTrainingFile("file-train");
  request.SetValidationFile("file-valid");
  EXPECT_EQ(request.AsString(),
            R"({"batch_size":8,"classification_betas":[0.5,1,0.5,2.25],"classification_positive_class":" yes",)"
            R"("classification_n_classes":2,"compute_classification_metrics":true,"learning_rate_multiplier":0.1,)"
            R"("model":"curie","n_epochs":2,"prompt_loss_weight":0.05,"suffix":"custom-model-name",)"
            R"("training_file":"file-train","validation_file":"file-valid"})");
  request.ClassificationBetas() = {3};
  EXPECT_NE(request.AsString().find(R"("classification_betas":[3],)"), std::string::npos);
}

// A later multipart path reads request bodies back member by member.
TEST(RequestReadBack, AFilePathComesBackUnchangedThroughTheDecodingReader) {
  const std::string path = "/tmp/my file \xC3\xA9.wav";
  TqtxOpenAIClass_Request_Transcription request;
  request.SetFilename(path);
  request.SetModel("whisper-1");
  const TqtxOpenAIClass readBack(request.AsString());
  EXPECT_EQ(readBack.GetJSONString("file"), path);
  EXPECT_EQ(readBack.GetJSONString("model"), "whisper-1");
  TqtxOpenAIClass_Request_Image_Edit edit;
  edit.SetImage("C:\\Users\\me\\\"quoted\".png");
  EXPECT_EQ(TqtxOpenAIClass(edit.AsString()).GetJSONString("image"), "C:\\Users\\me\\\"quoted\".png");
}

}  // namespace
}  // namespace qtx
