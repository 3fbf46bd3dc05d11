// Response objects: realistic answers of the service read into typed fields.

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

#include "openai/qtxHTTP_API_OpenAI_Responses.h"
#include "platform/qtxException.h"

namespace qtx {
namespace {

// ---------------------------------------------------------------- chat completion

const char* const kChatAnswer = R"({
  "id": "chatcmpl-7QyqpwdfhqwajicIEznoc6Q47XAyW",
  "object": "chat.completion",
  "created": 1686676106,
  "model": "gpt-3.5-turbo-0613",
  "choices": [
    {
      "index": 0,
      "message": {
        "role": "assistant",
        "content": "\n\nHello! Caf\u00e9 \"quoted\" C:\\path \ud83d\ude00 — déjà vu"
      },
      "finish_reason": "stop"
    },
    {
      "index": 1,
      "message": {
        "role": "assistant",
        "content": null
      },
      "finish_reason": null
    }
  ],
  "usage": {
    "prompt_tokens": 13,
    "completion_tokens": 17,
    "total_tokens": 30
  }
})";

TEST(ChatCompletionResponse, ARealisticAnswerFillsEveryFieldWithDecodedText) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(kChatAnswer);
  EXPECT_EQ(answer.Id(), "chatcmpl-7QyqpwdfhqwajicIEznoc6Q47XAyW");
  EXPECT_EQ(answer._Object(), "chat.completion");
  EXPECT_EQ(answer.Created(), 1686676106);
  ASSERT_EQ(answer.Choices().size(), 2u);
  const auto& first = *answer.Choices()[0];
  EXPECT_EQ(first._Index(), 0);
  EXPECT_EQ(first.FinishReason(), "stop");
  EXPECT_EQ(first._Message().Role(), "assistant");
  EXPECT_EQ(first._Message().Content(),
            "\n\nHello! Caf\xC3\xA9 \"quoted\" C:\\path \xF0\x9F\x98\x80 \xE2\x80\x94 d\xC3\xA9j\xC3\xA0 vu");
  EXPECT_EQ(answer.Usage().PromptTokens(), 13);
  EXPECT_EQ(answer.Usage().CompletionTokens(), 17);
  EXPECT_EQ(answer.Usage().TotalTokens(), 30);
}

TEST(ChatCompletionResponse, NullMembersReadAsAbsent) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(kChatAnswer);
  const auto& second = *answer.Choices()[1];
  EXPECT_EQ(second._Index(), 1);
  EXPECT_EQ(second._Message().Content(), "");
  EXPECT_EQ(second.FinishReason(), "");
}

TEST(ChatCompletionResponse, TheDocumentKeepsTheRawTextAndMembersWithoutAField) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(kChatAnswer);
  EXPECT_EQ(answer.JSON().Node("model")->RawValue(), TqtxJSONValue("gpt-3.5-turbo-0613"));
  EXPECT_EQ(answer.Choices()[0]->_Message().JSON().Node("content")->RawValue().Text().substr(0, 8), R"(\n\nHell)");
}

TEST(ChatCompletionResponse, EmptyChoicesAndAMissingUsageGiveEmptyValues) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(R"({"id":"x","choices":[]})");
  EXPECT_TRUE(answer.Choices().empty());
  EXPECT_EQ(answer.Usage().PromptTokens(), 0);
  EXPECT_EQ(answer.Usage().CompletionTokens(), 0);
  EXPECT_EQ(answer.Usage().TotalTokens(), 0);
}

TEST(ChatCompletionResponse, AChoiceWithoutAMessageHasAnEmptyOne) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(R"({"choices":[{"index":0,"finish_reason":"length"}]})");
  ASSERT_EQ(answer.Choices().size(), 1u);
  EXPECT_EQ(answer.Choices()[0]->_Message().Role(), "");
  EXPECT_EQ(answer.Choices()[0]->FinishReason(), "length");
}

TEST(ChatCompletionResponse, EmptyOrNonJSONTextLeavesEveryFieldEmpty) {
  for (const char* text : {"", "<html>Bad Gateway</html>", "[1,2]", "{\"id\":"}) {
    const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(text);
    EXPECT_EQ(answer.Id(), "");
    EXPECT_TRUE(answer.Choices().empty());
    EXPECT_EQ(answer.Usage().TotalTokens(), 0);
  }
}

TEST(ChatCompletionResponse, AValueThatCannotBeConvertedRaisesOutOfTheConstructor) {
  EXPECT_THROW(MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(R"({"created":"yesterday"})"), EVariantTypeCastError);
  EXPECT_THROW(MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(R"({"choices":[{"index":{"a":1}}]})"), EVariantTypeCastError);
  EXPECT_THROW(MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(R"({"created":4294967296})"), EVariantTypeCastError);
}

TEST(ChatCompletionResponse, AnOnDemandChildRaisesItsConversionErrorWhenRead) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(R"({"usage":{"total_tokens":"many"}})");
  EXPECT_THROW(answer.Usage(), EVariantTypeCastError);
}

TEST(ChatCompletionResponse, ReadingAgainReplacesChoicesAndUsage) {
  auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(kChatAnswer);
  EXPECT_EQ(answer.Usage().TotalTokens(), 30);
  answer.Read(R"({"choices":[{"index":5}],"usage":{"total_tokens":2}})");
  ASSERT_EQ(answer.Choices().size(), 1u);
  EXPECT_EQ(answer.Choices()[0]->_Index(), 5);
  EXPECT_EQ(answer.Usage().TotalTokens(), 2);
  EXPECT_EQ(answer.Id(), "");
}

// ---------------------------------------------------------------- completion and edit

TEST(CompletionResponse, ARealisticAnswer) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Completion>(R"({
    "id": "cmpl-uqkvlQyYK7bGYrRHQ0eXlWi7",
    "object": "text_completion",
    "created": 1589478378,
    "model": "text-davinci-003",
    "choices": [
      {"text": "\n\nThis is indeed a test\u2026", "index": 0, "logprobs": null, "finish_reason": "length"}
    ],
    "usage": {"prompt_tokens": 5, "completion_tokens": 7, "total_tokens": 12}
  })");
  EXPECT_EQ(answer.Id(), "cmpl-uqkvlQyYK7bGYrRHQ0eXlWi7");
  EXPECT_EQ(answer._Object(), "text_completion");
  EXPECT_EQ(answer.Created(), 1589478378);
  EXPECT_EQ(answer.Model(), "text-davinci-003");
  ASSERT_EQ(answer.Choices().size(), 1u);
  EXPECT_EQ(answer.Choices()[0]->Text(), "\n\nThis is indeed a test\xE2\x80\xA6");
  EXPECT_EQ(answer.Choices()[0]->FinishReason(), "length");
  EXPECT_EQ(answer.Usage().TotalTokens(), 12);
}

TEST(EditResponse, ARealisticAnswer) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Edit>(R"({
    "object": "edit",
    "created": 1589478378,
    "choices": [{"text": "What day of the week is it?\n", "index": 0}],
    "usage": {"prompt_tokens": 25, "completion_tokens": 32, "total_tokens": 57}
  })");
  EXPECT_EQ(answer._Object(), "edit");
  EXPECT_EQ(answer.Created(), 1589478378);
  ASSERT_EQ(answer.Choices().size(), 1u);
  EXPECT_EQ(answer.Choices()[0]->Text(), "What day of the week is it?\n");
  EXPECT_EQ(answer.Usage().CompletionTokens(), 32);
}

// ---------------------------------------------------------------- images

TEST(ImageResponse, ARealisticAnswerWithEscapedSlashes) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Image>(R"({
    "created": 9999999999,
    "data": [
      {"url": "https:\/\/oaidalleapiprodscus.blob.core.windows.net\/private\/img-1.png?st=2023&sig=a%2Bb"},
      {"b64_json": "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGNgYGD4DwABBAEAwS2OUAAAAABJRU5ErkJggg=="}
    ]
  })");
  EXPECT_EQ(answer.Created(), 9999999999);
  ASSERT_EQ(answer.Data().size(), 2u);
  EXPECT_EQ(answer.Data()[0]->Url(), "https://oaidalleapiprodscus.blob.core.windows.net/private/img-1.png?st=2023&sig=a%2Bb");
  EXPECT_EQ(answer.Data()[0]->B64_json(), "");
  EXPECT_EQ(answer.Data()[1]->B64_json().substr(0, 8), "iVBORw0K");
}

TEST(ImageResponse, EditAndVariationAnswersReadTheSameWay) {
  const char* const text = R"({"created":1,"data":[{"url":"u"}]})";
  const auto edit = MakeResponse<TqtxOpenAIClass_Response_Image_Edit>(text);
  const auto variation = MakeResponse<TqtxOpenAIClass_Response_Image_Variation>(text);
  EXPECT_EQ(edit.Data()[0]->Url(), "u");
  EXPECT_EQ(variation.Created(), 1);
}

// ---------------------------------------------------------------- embeddings

std::string EmbeddingsAnswer(const std::vector<double>& aVector) {
  std::string text = "{\n  \"object\": \"list\",\n  \"data\": [\n    {\n      \"object\": \"embedding\",\n"
                     "      \"index\": 0,\n      \"embedding\": [\n";
  char buffer[32];
  for (size_t i = 0; i < aVector.size(); ++i) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, aVector[i]);
    text += "        ";
    text.append(buffer, result.ptr);
    text += i + 1 < aVector.size() ? ",\n" : "\n";
  }
  text += "      ]\n    }\n  ],\n  \"model\": \"text-embedding-ada-002-v2\",\n"
          "  \"usage\": {\n    \"prompt_tokens\": 8,\n    \"total_tokens\": 8\n  }\n}\n";
  return text;
}

TEST(EmbeddingsResponse, AFullVectorIsReadInOrderAndExactly) {
  std::vector<double> vector(1536);
  for (size_t i = 0; i < vector.size(); ++i)
    vector[i] = (static_cast<double>((i * 7919) % 2001) - 1000.0) / 37813.0 * (i % 97 == 0 ? 1e-4 : 1.0);
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Embeddings>(EmbeddingsAnswer(vector));
  EXPECT_EQ(answer._Object(), "list");
  EXPECT_EQ(answer.Model(), "text-embedding-ada-002-v2");
  ASSERT_EQ(answer.Data().size(), 1u);
  EXPECT_EQ(answer.Data()[0]->_Object(), "embedding");
  EXPECT_EQ(answer.Data()[0]->_Index(), 0);
  EXPECT_EQ(answer.Data()[0]->Embedding(), vector);
  EXPECT_EQ(answer.Usage().PromptTokens(), 8);
  EXPECT_EQ(answer.Usage().TotalTokens(), 8);
}

TEST(EmbeddingsResponse, AnElementThatIsNotANumberIsAConversionErrorAndNullIsZero) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Embeddings>(R"({"data":[{"embedding":[1,null,-2.5e-3]}]})");
  EXPECT_EQ(answer.Data()[0]->Embedding(), (std::vector<double>{1, 0, -2.5e-3}));
  EXPECT_THROW(MakeResponse<TqtxOpenAIClass_Response_Embeddings>(R"({"data":[{"embedding":[1,"x"]}]})"), EVariantTypeCastError);
}

// ---------------------------------------------------------------- models

const char* const kModel = R"({
  "id": "gpt-3.5-turbo",
  "object": "model",
  "created": 1677610602,
  "owned_by": "openai",
  "permission": [
    {
      "id": "modelperm-YgVBRUqXvSaJrKDIPLP1Ag0h",
      "object": "model_permission",
      "created": 1686935002,
      "allow_create_engine": false,
      "allow_sampling": true,
      "allow_logprobs": true,
      "allow_search_indices": false,
      "allow_view": true,
      "allow_fine_tuning": false,
      "organization": "*",
      "group": null,
      "is_blocking": false
    }
  ],
  "root": "gpt-3.5-turbo",
  "parent": null
})";

TEST(ModelResponse, ARealisticAnswerWithPermissions) {
  const auto model = MakeResponse<TqtxOpenAI_Response_Model_Class>(kModel);
  EXPECT_EQ(model.Id(), "gpt-3.5-turbo");
  EXPECT_EQ(model._Object(), "model");
  EXPECT_EQ(model.Created(), 1677610602);
  EXPECT_EQ(model.OwnedBy(), "openai");
  EXPECT_EQ(model.Root(), "gpt-3.5-turbo");
  ASSERT_EQ(model.Permission().size(), 1u);
  const auto& permission = *model.Permission()[0];
  EXPECT_EQ(permission.Id(), "modelperm-YgVBRUqXvSaJrKDIPLP1Ag0h");
  EXPECT_EQ(permission._Object(), "model_permission");
  EXPECT_EQ(permission.Created(), 1686935002);
  EXPECT_FALSE(permission.AllowCreateEngine());
  EXPECT_TRUE(permission.AllowSampling());
  EXPECT_TRUE(permission.AllowLogprobs());
  EXPECT_FALSE(permission.AllowSearchIndices());
  EXPECT_TRUE(permission.AllowView());
  EXPECT_FALSE(permission.AllowFineTuning());
  EXPECT_EQ(permission.Organization(), "*");
  EXPECT_FALSE(permission.IsBlocking());
}

TEST(ModelsResponse, ARealisticListOfModels) {
  const auto models = MakeResponse<TqtxOpenAIClass_Response_Models>(std::string(R"({"object":"list","data":[)") + kModel +
                                               R"(,{"id":"whisper-1","object":"model","created":1677532384,)"
                                               R"("owned_by":"openai-internal","permission":[],"root":"whisper-1"}]})");
  EXPECT_EQ(models._Object(), "list");
  ASSERT_EQ(models.Data().size(), 2u);
  EXPECT_EQ(models.Data()[0]->Permission().size(), 1u);
  EXPECT_EQ(models.Data()[1]->Id(), "whisper-1");
  EXPECT_EQ(models.Data()[1]->OwnedBy(), "openai-internal");
  EXPECT_TRUE(models.Data()[1]->Permission().empty());
}

// ---------------------------------------------------------------- files

const char* const kFile = R"({
  "id": "file-XjGxS3KTG0uNmNOK362iJua3",
  "object": "file",
  "bytes": 140,
  "created_at": 1613779121,
  "filename": "my training data \u00e9.jsonl",
  "purpose": "fine-tune",
  "status": "uploaded",
  "status_details": null
})";

TEST(FileResponse, ARealisticAnswer) {
  const auto file = MakeResponse<TqtxOpenAIClass_Response_File>(kFile);
  EXPECT_EQ(file.Id(), "file-XjGxS3KTG0uNmNOK362iJua3");
  EXPECT_EQ(file._Object(), "file");
  EXPECT_EQ(file.Bytes(), 140);
  EXPECT_EQ(file.CreatedAt(), 1613779121);
  EXPECT_EQ(file.Filename(), "my training data \xC3\xA9.jsonl");
  EXPECT_EQ(file.Purpose(), "fine-tune");
}

TEST(FilesResponse, ARealisticList) {
  const auto files = MakeResponse<TqtxOpenAIClass_Response_Files>(std::string(R"({"data":[)") + kFile + "," + kFile +
                                             R"(],"object":"list"})");
  EXPECT_EQ(files._Object(), "list");
  ASSERT_EQ(files.Data().size(), 2u);
  EXPECT_EQ(files.Data()[1]->Bytes(), 140);
}

TEST(DeleteResponse, ARealisticAnswer) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Delete>(R"({"id": "file-abc123", "object": "file", "deleted": true})");
  EXPECT_EQ(answer.Id(), "file-abc123");
  EXPECT_EQ(answer._Object(), "file");
  EXPECT_TRUE(answer.Deleted());
}

// ---------------------------------------------------------------- fine-tunes

const char* const kFineTune = R"({
  "id": "ft-AF1WoRqd3aJAHsqc9NY7iL8F",
  "object": "fine-tune",
  "model": "curie",
  "created_at": 1614807352,
  "events": [
    {"object": "fine-tune-event", "created_at": 1614807352, "level": "info",
     "message": "Job enqueued. Waiting for jobs ahead to complete. Queue number: 0."},
    {"object": "fine-tune-event", "created_at": 1614807356, "level": "info", "message": "Job started.\n"}
  ],
  "fine_tuned_model": null,
  "hyperparams": {"batch_size": 4, "learning_rate_multiplier": 0.1, "n_epochs": 4, "prompt_loss_weight": 0.1},
  "organization_id": "org-...",
  "result_files": [],
  "status": "pending",
  "validation_files": [],
  "training_files": [
    {"id": "file-XGinujblHPwGLSztz8cPS8XY", "object": "file", "bytes": 1547276, "created_at": 1610062281,
     "filename": "my-data-train.jsonl", "purpose": "fine-tune-train"}
  ],
  "updated_at": 1614807352
})";

TEST(FineTuneResponse, ARealisticAnswerWithEventsFilesAndHyperparameters) {
  const auto job = MakeResponse<TqtxOpenAIClass_Response_FineTune>(kFineTune);
  EXPECT_EQ(job.Id(), "ft-AF1WoRqd3aJAHsqc9NY7iL8F");
  EXPECT_EQ(job._Object(), "fine-tune");
  EXPECT_EQ(job.Model(), "curie");
  EXPECT_EQ(job.CreatedAt(), 1614807352);
  ASSERT_EQ(job.Events().size(), 2u);
  EXPECT_EQ(job.Events()[1]->_Message(), "Job started.\n");
  EXPECT_EQ(job.Events()[1]->Level(), "info");
  EXPECT_EQ(job.Events()[1]->CreatedAt(), 1614807356);
  EXPECT_EQ(job.Events()[1]->_Object(), "fine-tune-event");
  EXPECT_EQ(job.Hyperparams().BatchSize(), 4);
  EXPECT_DOUBLE_EQ(job.Hyperparams().LearningRateMultiplier(), 0.1);
  EXPECT_EQ(job.Hyperparams().NEpochs(), 4);
  EXPECT_DOUBLE_EQ(job.Hyperparams().PromptLossWeight(), 0.1);
  EXPECT_EQ(job.OrganizationId(), "org-...");
  EXPECT_TRUE(job.ResultFiles().empty());
  EXPECT_EQ(job.Status(), "pending");
  EXPECT_TRUE(job.ValidationFiles().empty());
  ASSERT_EQ(job.TrainingFiles().size(), 1u);
  EXPECT_EQ(job.TrainingFiles()[0]->Bytes(), 1547276);
  EXPECT_EQ(job.UpdatedAt(), 1614807352);
}

TEST(FineTuneResponse, MissingHyperparametersReadAsZero) {
  const auto job = MakeResponse<TqtxOpenAIClass_Response_FineTune>(R"({"id":"ft-1"})");
  EXPECT_EQ(job.Hyperparams().NEpochs(), 0);
  EXPECT_EQ(job.Hyperparams().PromptLossWeight(), 0);
}

TEST(FineTunesResponse, ARealisticList) {
  const auto jobs = MakeResponse<TqtxOpenAIClass_Response_FineTunes>(std::string(R"({"object":"list","data":[)") + kFineTune + "]}");
  EXPECT_EQ(jobs._Object(), "list");
  ASSERT_EQ(jobs.Data().size(), 1u);
  EXPECT_EQ(jobs.Data()[0]->Hyperparams().BatchSize(), 4);
}

TEST(FineTuneEventsResponse, ARealisticList) {
  const auto events = MakeResponse<TqtxOpenAIClass_Response_FineTune_Events>(R"({
    "object": "list",
    "data": [
      {"object": "fine-tune-event", "created_at": 1614807352, "level": "info", "message": "Job enqueued."},
      {"object": "fine-tune-event", "created_at": 1614807395, "level": "warning", "message": "\u26a0 slow"}
    ]
  })");
  EXPECT_EQ(events._Object(), "list");
  ASSERT_EQ(events.Data().size(), 2u);
  EXPECT_EQ(events.Data()[1]->Level(), "warning");
  EXPECT_EQ(events.Data()[1]->_Message(), "\xE2\x9A\xA0 slow");
}

// ---------------------------------------------------------------- moderation

TEST(ModerationResponse, CategoriesAndScoresAreReadFromKeysWithSlashesAndDashes) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Moderation>(R"({
    "id": "modr-XXXXX",
    "model": "text-moderation-005",
    "results": [
      {
        "flagged": true,
        "categories": {
          "sexual": false, "hate": false, "harassment": false, "self-harm": true,
          "sexual/minors": false, "hate/threatening": true, "violence/graphic": false, "violence": true
        },
        "category_scores": {
          "sexual": 1.2282071e-06, "hate": 0.010696256, "harassment": 0.29842457,
          "self-harm": 0.5, "sexual/minors": 1.0, "hate/threatening": 0.0061025,
          "violence/graphic": 1.2e-05, "violence": 0.99011636
        }
      }
    ]
  })");
  EXPECT_EQ(answer.Id(), "modr-XXXXX");
  EXPECT_EQ(answer.Model(), "text-moderation-005");
  ASSERT_EQ(answer.Results().size(), 1u);
  const auto& result = *answer.Results()[0];
  EXPECT_TRUE(result.Flagged());
  EXPECT_FALSE(result.Categories().Hate());
  EXPECT_TRUE(result.Categories().HateThreatening());
  EXPECT_TRUE(result.Categories().SelfHarm());
  EXPECT_FALSE(result.Categories().Sexual());
  EXPECT_FALSE(result.Categories().SexualMinors());
  EXPECT_TRUE(result.Categories().Violence());
  EXPECT_FALSE(result.Categories().ViolenceGraphic());
  EXPECT_DOUBLE_EQ(result.CategoryScores().Hate(), 0.010696256);
  EXPECT_DOUBLE_EQ(result.CategoryScores().HateThreatening(), 0.0061025);
  EXPECT_DOUBLE_EQ(result.CategoryScores().SelfHarm(), 0.5);
  EXPECT_DOUBLE_EQ(result.CategoryScores().Sexual(), 1.2282071e-06);
  EXPECT_DOUBLE_EQ(result.CategoryScores().SexualMinors(), 1.0);
  EXPECT_DOUBLE_EQ(result.CategoryScores().Violence(), 0.99011636);
  EXPECT_DOUBLE_EQ(result.CategoryScores().ViolenceGraphic(), 1.2e-05);
}

TEST(ModerationResponse, MissingCategoriesReadAsEmpty) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Moderation>(R"({"results":[{"flagged":false}]})");
  EXPECT_FALSE(answer.Results()[0]->Categories().Violence());
  EXPECT_EQ(answer.Results()[0]->CategoryScores().Violence(), 0);
}

// ---------------------------------------------------------------- audio

TEST(TranscriptionResponse, EscapedTextIsDecodedAndCorrectTextStaysUnchanged) {
  // "é" arrives escaped and also as UTF-8: both are correct text already.
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Transcription>(R"({"text":"Caf\u00e9 und Caf)" "\xC3\xA9" R"(\n"})");
  EXPECT_EQ(answer.Text(), "Caf\xC3\xA9 und Caf\xC3\xA9\n");
}

TEST(TranscriptionResponse, UTF8DecodedOneCharacterPerByteIsRepaired) {
  // "Grüße" whose UTF-8 bytes were each taken as one character: "GrÃ¼ÃŸe"
  // (0xC3 0xBC 0xC3 0x9F, the last one a C1 control as ISO-8859-1).
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Transcription>("{\"text\":\"Gr\xC3\x83\xC2\xBC\xC3\x83\xC2\x9F" "e\"}");
  EXPECT_EQ(answer.Text(), "Gr\xC3\xBC\xC3\x9F" "e");
}

TEST(TranscriptionResponse, TextWithCharactersFromU0100UpIsNotRepaired) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Transcription>("{\"text\":\"\xC3\x83\xC2\xA9 \xE2\x82\xAC\"}");
  EXPECT_EQ(answer.Text(), "\xC3\x83\xC2\xA9 \xE2\x82\xAC");
}

TEST(TranscriptionResponse, PlainAsciiAndEmptyTextComeBackUnchanged) {
  EXPECT_EQ(MakeResponse<TqtxOpenAIClass_Response_Transcription>(R"({"text":"Hello."})").Text(), "Hello.");
  EXPECT_EQ(MakeResponse<TqtxOpenAIClass_Response_Transcription>(R"({"text":null})").Text(), "");
  EXPECT_EQ(MakeResponse<TqtxOpenAIClass_Response_Transcription>("{}").Text(), "");
}

TEST(TranslationResponse, RepairsOnlyMojibake) {
  EXPECT_EQ(MakeResponse<TqtxOpenAIClass_Response_Translation>("{\"text\":\"Fran\xC3\xA7" "ais\"}").Text(), "Fran\xC3\xA7" "ais");
  EXPECT_EQ(MakeResponse<TqtxOpenAIClass_Response_Translation>("{\"text\":\"Fran\xC3\x83\xC2\xA7" "ais\"}").Text(),
            "Fran\xC3\xA7" "ais");
}

}  // namespace
}  // namespace qtx
