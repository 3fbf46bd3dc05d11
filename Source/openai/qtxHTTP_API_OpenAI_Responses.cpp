#include "openai/qtxHTTP_API_OpenAI_Responses.h"

#include <algorithm>

#include "client/qtxBase_Helpers.h"
#include "platform/qtxUnicode.h"

namespace qtx {

std::string RepairedUTF8Text(const std::string& aText) {
  TBytes bytes;
  if (!TextToRaw(aText, bytes)) return aText;
  const bool multiByte = std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });
  if (!multiByte || !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
    return aText;
  return RepairUTF8Text(aText);
}

void TqtxOpenAIClass_Response_TokenUsage::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FCompletion_tokens = GetJSONInteger("completion_tokens");
  FPrompt_tokens = GetJSONInteger("prompt_tokens");
  FTotal_tokens = GetJSONInteger("total_tokens");
}

// ---------------------------------------------------------------- chat completion

void TqtxOpenAIClass_Response_ChatCompletion_Choices_Message::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FRole = GetJSONString("role");
  FContent = GetJSONString("content");
}

void TqtxOpenAIClass_Response_ChatCompletion_Choices::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FIndex = GetJSONInteger("index");
  FFinish_reason = GetJSONString("finish_reason");
  FMessage = ReadChild<TqtxOpenAIClass_Response_ChatCompletion_Choices_Message>("message");
}

void TqtxOpenAIClass_Response_ChatCompletion::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("choices", FChoices);
  FCreated = GetJSONInteger("created");
  FId = GetJSONString("id");
  FObject = GetJSONString("object");
  FUsage.reset();
}

const TqtxOpenAIClass_Response_ChatCompletion_Usage& TqtxOpenAIClass_Response_ChatCompletion::Usage() const {
  if (!FUsage) FUsage = ReadChild<TqtxOpenAIClass_Response_ChatCompletion_Usage>("usage");
  return *FUsage;
}

// ---------------------------------------------------------------- completion

void TqtxOpenAIClass_Response_Completion_Choices::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FFinish_reason = GetJSONString("finish_reason");
  FIndex = GetJSONInteger("index");
  FText = GetJSONString("text");
}

void TqtxOpenAIClass_Response_Completion::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("choices", FChoices);
  FCreated = GetJSONInteger("created");
  FId = GetJSONString("id");
  FObject = GetJSONString("object");
  FModel = GetJSONString("model");
  FUsage.reset();
}

const TqtxOpenAIClass_Response_Completion_Usage& TqtxOpenAIClass_Response_Completion::Usage() const {
  if (!FUsage) FUsage = ReadChild<TqtxOpenAIClass_Response_Completion_Usage>("usage");
  return *FUsage;
}

// ---------------------------------------------------------------- edit

void TqtxOpenAIClass_Response_Edit_Choices::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FIndex = GetJSONInteger("index");
  FText = GetJSONString("text");
}

void TqtxOpenAIClass_Response_Edit::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("choices", FChoices);
  FCreated = GetJSONInteger("created");
  FObject = GetJSONString("object");
  FUsage.reset();
}

const TqtxOpenAIClass_Response_Edit_Usage& TqtxOpenAIClass_Response_Edit::Usage() const {
  if (!FUsage) FUsage = ReadChild<TqtxOpenAIClass_Response_Edit_Usage>("usage");
  return *FUsage;
}

// ---------------------------------------------------------------- images

void TqtxOpenAIClass_Response_Image_Data::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FUrl = GetJSONString("url");
  FB64_json = GetJSONString("b64_json");
}

void TqtxOpenAIClass_Response_Image::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("data", FData);
  FCreated = GetJSONInt64("created");
}

// ---------------------------------------------------------------- embeddings

void TqtxOpenAIClass_Response_Embeddings_Usage::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FPrompt_tokens = GetJSONInteger("prompt_tokens");
  FTotal_tokens = GetJSONInteger("total_tokens");
}

void TqtxOpenAIClass_Response_Embeddings_Data::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadDoubles("embedding", FEmbedding);
  FIndex = GetJSONInteger("index");
  FObject = GetJSONString("object");
}

void TqtxOpenAIClass_Response_Embeddings::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("data", FData);
  FModel = GetJSONString("model");
  FObject = GetJSONString("object");
  FUsage.reset();
}

const TqtxOpenAIClass_Response_Embeddings_Usage& TqtxOpenAIClass_Response_Embeddings::Usage() const {
  if (!FUsage) FUsage = ReadChild<TqtxOpenAIClass_Response_Embeddings_Usage>("usage");
  return *FUsage;
}

// ---------------------------------------------------------------- models

void TqtxOpenAIClass_Response_Model_Permission::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FAllow_Create_Engine = GetJSONBoolean("allow_create_engine");
  FAllow_Fine_Tuning = GetJSONBoolean("allow_fine_tuning");
  FAllow_Logprobs = GetJSONBoolean("allow_logprobs");
  FAllow_Sampling = GetJSONBoolean("allow_sampling");
  FAllow_Search_Indices = GetJSONBoolean("allow_search_indices");
  FAllow_View = GetJSONBoolean("allow_view");
  FCreated = GetJSONInteger("created");
  FId = GetJSONString("id");
  FIs_Blocking = GetJSONBoolean("is_blocking");
  FObject = GetJSONString("object");
  FOrganization = GetJSONString("organization");
}

void TqtxOpenAIClass_Response_Model_Data::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FCreated = GetJSONInteger("created");
  FId = GetJSONString("id");
  FObject = GetJSONString("object");
  FOwned_By = GetJSONString("owned_by");
  ReadArray("permission", FPermission);
  FRoot = GetJSONString("root");
}

void TqtxOpenAIClass_Response_Models::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("data", FData);
  FObject = GetJSONString("object");
}

// ---------------------------------------------------------------- files

void TqtxOpenAIClass_Response_File::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FBytes = GetJSONInteger("bytes");
  FCreated_at = GetJSONInteger("created_at");
  FFilename = GetJSONString("filename");
  FId = GetJSONString("id");
  FObject = GetJSONString("object");
  FPurpose = GetJSONString("purpose");
}

void TqtxOpenAIClass_Response_Files::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("data", FData);
  FObject = GetJSONString("object");
}

void TqtxOpenAIClass_Response_Delete::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FId = GetJSONString("id");
  FObject = GetJSONString("object");
  FDeleted = GetJSONBoolean("deleted");
}

// ---------------------------------------------------------------- fine-tunes

void TqtxOpenAIClass_Response_FineTune_Event::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FCreated_at = GetJSONInteger("created_at");
  FLevel = GetJSONString("level");
  FMessage = GetJSONString("message");
  FObject = GetJSONString("object");
}

void TqtxOpenAIClass_Response_FineTune_HyperParams::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FBatch_size = GetJSONInteger("batch_size");
  FLearning_rate_multiplier = GetJSONDouble("learning_rate_multiplier");
  FN_epochs = GetJSONInteger("n_epochs");
  FPrompt_loss_weight = GetJSONDouble("prompt_loss_weight");
}

void TqtxOpenAIClass_Response_FineTune::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FCreated_at = GetJSONInt64("created_at");
  ReadArray("events", FEvents);
  FHyperparams.reset();
  FId = GetJSONString("id");
  FModel = GetJSONString("model");
  FObject = GetJSONString("object");
  FOrganization_id = GetJSONString("organization_id");
  ReadArray("result_files", FResult_files);
  FStatus = GetJSONString("status");
  ReadArray("training_files", FTraining_files);
  FUpdated_at = GetJSONInteger("updated_at");
  ReadArray("validation_files", FValidation_files);
}

const TqtxOpenAIClass_Response_FineTune_HyperParams& TqtxOpenAIClass_Response_FineTune::Hyperparams() const {
  if (!FHyperparams) FHyperparams = ReadChild<TqtxOpenAIClass_Response_FineTune_HyperParams>("hyperparams");
  return *FHyperparams;
}

void TqtxOpenAIClass_Response_FineTunes::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("data", FData);
  FObject = GetJSONString("object");
}

void TqtxOpenAIClass_Response_FineTune_Events::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  ReadArray("data", FData);
  FObject = GetJSONString("object");
}

// ---------------------------------------------------------------- moderation

void TqtxOpenAIClass_Response_Moderation_Results_Categories::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FHate = GetJSONBoolean("hate");
  FHateThreatening = GetJSONBoolean("hate/threatening");
  FSelfHarm = GetJSONBoolean("self-harm");
  FSexual = GetJSONBoolean("sexual");
  FSexualMinors = GetJSONBoolean("sexual/minors");
  FViolence = GetJSONBoolean("violence");
  FViolenceGraphic = GetJSONBoolean("violence/graphic");
}

void TqtxOpenAIClass_Response_Moderation_Results_CategoryScores::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FHate = GetJSONDouble("hate");
  FHateThreatening = GetJSONDouble("hate/threatening");
  FSelfHarm = GetJSONDouble("self-harm");
  FSexual = GetJSONDouble("sexual");
  FSexualMinors = GetJSONDouble("sexual/minors");
  FViolence = GetJSONDouble("violence");
  FViolenceGraphic = GetJSONDouble("violence/graphic");
}

void TqtxOpenAIClass_Response_Moderation_Results::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FCategories.reset();
  FCategoryScores.reset();
  FFlagged = GetJSONBoolean("flagged");
}

const TqtxOpenAIClass_Response_Moderation_Results_Categories&
TqtxOpenAIClass_Response_Moderation_Results::Categories() const {
  if (!FCategories) FCategories = ReadChild<TqtxOpenAIClass_Response_Moderation_Results_Categories>("categories");
  return *FCategories;
}

const TqtxOpenAIClass_Response_Moderation_Results_CategoryScores&
TqtxOpenAIClass_Response_Moderation_Results::CategoryScores() const {
  if (!FCategoryScores)
    FCategoryScores = ReadChild<TqtxOpenAIClass_Response_Moderation_Results_CategoryScores>("category_scores");
  return *FCategoryScores;
}

void TqtxOpenAIClass_Response_Moderation::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FId = GetJSONString("id");
  FModel = GetJSONString("model");
  ReadArray("results", FResults);
}

// ---------------------------------------------------------------- audio

void TqtxOpenAIClass_Response_Transcription::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FText = GetJSONString("text");
}

std::string TqtxOpenAIClass_Response_Transcription::Text() const { return RepairedUTF8Text(FText); }

void TqtxOpenAIClass_Response_Translation::DoReadJSON() {
  TqtxOpenAIClass::DoReadJSON();
  FText = GetJSONString("text");
}

std::string TqtxOpenAIClass_Response_Translation::Text() const { return RepairedUTF8Text(FText); }

}  // namespace qtx
