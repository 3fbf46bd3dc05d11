#pragma once
// OpenAI response objects: the service's JSON answer read into typed fields.
// Nested objects and arrays become child objects owned by their parent; each
// child reads its own member of the parent's parsed document. String fields
// hold the text with its JSON escapes decoded; a null member reads as absent.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "openai/qtxHTTP_API_OpenAI_Classes.h"

namespace qtx {

template <class T>
using TqtxOpenAIArray = std::vector<std::unique_ptr<T>>;

// The token counts shared by the chat, completion and edit answers.
class TqtxOpenAIClass_Response_TokenUsage : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_TokenUsage() = default;
  explicit TqtxOpenAIClass_Response_TokenUsage(std::string_view aJSON) { Read(aJSON); }
  int32_t CompletionTokens() const { return FCompletion_tokens; }
  int32_t PromptTokens() const { return FPrompt_tokens; }
  int32_t TotalTokens() const { return FTotal_tokens; }

protected:
  void DoReadJSON() override;

private:
  int32_t FCompletion_tokens = 0;
  int32_t FPrompt_tokens = 0;
  int32_t FTotal_tokens = 0;
};

// ---------------------------------------------------------------- chat completion

class TqtxOpenAIClass_Response_ChatCompletion_Choices_Message : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_ChatCompletion_Choices_Message() = default;
  explicit TqtxOpenAIClass_Response_ChatCompletion_Choices_Message(std::string_view aJSON) { Read(aJSON); }
  const std::string& Content() const { return FContent; }
  const std::string& Role() const { return FRole; }

protected:
  void DoReadJSON() override;

private:
  std::string FContent;
  std::string FRole;
};

class TqtxOpenAIClass_Response_ChatCompletion_Choices : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_ChatCompletion_Choices() = default;
  explicit TqtxOpenAIClass_Response_ChatCompletion_Choices(std::string_view aJSON) { Read(aJSON); }
  const std::string& FinishReason() const { return FFinish_reason; }
  int32_t _Index() const { return FIndex; }
  // Empty when the answer has no "message".
  const TqtxOpenAIClass_Response_ChatCompletion_Choices_Message& _Message() const { return *FMessage; }

protected:
  void DoReadJSON() override;

private:
  std::string FFinish_reason;
  int32_t FIndex = 0;
  std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion_Choices_Message> FMessage =
      std::make_unique<TqtxOpenAIClass_Response_ChatCompletion_Choices_Message>();
};

class TqtxOpenAIClass_Response_ChatCompletion_Usage : public TqtxOpenAIClass_Response_TokenUsage {
public:
  using TqtxOpenAIClass_Response_TokenUsage::TqtxOpenAIClass_Response_TokenUsage;
};

using TqtxOpenAIArray_Response_ChatCompletion_Choices = TqtxOpenAIArray<TqtxOpenAIClass_Response_ChatCompletion_Choices>;

class TqtxOpenAIClass_Response_ChatCompletion : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_ChatCompletion() = default;
  explicit TqtxOpenAIClass_Response_ChatCompletion(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray_Response_ChatCompletion_Choices& Choices() const { return FChoices; }
  int32_t Created() const { return FCreated; }
  const std::string& Id() const { return FId; }
  const std::string& _Object() const { return FObject; }
  // Read on first use; all counts 0 when the answer has no "usage".
  const TqtxOpenAIClass_Response_ChatCompletion_Usage& Usage() const;

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray_Response_ChatCompletion_Choices FChoices;
  int32_t FCreated = 0;
  std::string FId;
  std::string FObject;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion_Usage> FUsage;
};

// ---------------------------------------------------------------- completion

class TqtxOpenAIClass_Response_Completion_Choices : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Completion_Choices() = default;
  explicit TqtxOpenAIClass_Response_Completion_Choices(std::string_view aJSON) { Read(aJSON); }
  const std::string& FinishReason() const { return FFinish_reason; }
  int32_t _Index() const { return FIndex; }
  const std::string& Text() const { return FText; }

protected:
  void DoReadJSON() override;

private:
  std::string FFinish_reason;
  int32_t FIndex = 0;
  std::string FText;
};

class TqtxOpenAIClass_Response_Completion_Usage : public TqtxOpenAIClass_Response_TokenUsage {
public:
  using TqtxOpenAIClass_Response_TokenUsage::TqtxOpenAIClass_Response_TokenUsage;
};

class TqtxOpenAIClass_Response_Completion : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Completion() = default;
  explicit TqtxOpenAIClass_Response_Completion(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Completion_Choices>& Choices() const { return FChoices; }
  int32_t Created() const { return FCreated; }
  const std::string& Id() const { return FId; }
  const std::string& Model() const { return FModel; }
  const std::string& _Object() const { return FObject; }
  const TqtxOpenAIClass_Response_Completion_Usage& Usage() const;

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Completion_Choices> FChoices;
  int32_t FCreated = 0;
  std::string FId;
  std::string FModel;
  std::string FObject;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Completion_Usage> FUsage;
};

// ---------------------------------------------------------------- edit

class TqtxOpenAIClass_Response_Edit_Choices : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Edit_Choices() = default;
  explicit TqtxOpenAIClass_Response_Edit_Choices(std::string_view aJSON) { Read(aJSON); }
  int32_t _Index() const { return FIndex; }
  const std::string& Text() const { return FText; }

protected:
  void DoReadJSON() override;

private:
  int32_t FIndex = 0;
  std::string FText;
};

class TqtxOpenAIClass_Response_Edit_Usage : public TqtxOpenAIClass_Response_TokenUsage {
public:
  using TqtxOpenAIClass_Response_TokenUsage::TqtxOpenAIClass_Response_TokenUsage;
};

class TqtxOpenAIClass_Response_Edit : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Edit() = default;
  explicit TqtxOpenAIClass_Response_Edit(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Edit_Choices>& Choices() const { return FChoices; }
  int32_t Created() const { return FCreated; }
  const std::string& _Object() const { return FObject; }
  const TqtxOpenAIClass_Response_Edit_Usage& Usage() const;

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Edit_Choices> FChoices;
  int32_t FCreated = 0;
  std::string FObject;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Edit_Usage> FUsage;
};

// ---------------------------------------------------------------- images

class TqtxOpenAIClass_Response_Image_Data : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Image_Data() = default;
  explicit TqtxOpenAIClass_Response_Image_Data(std::string_view aJSON) { Read(aJSON); }
  const std::string& B64_json() const { return FB64_json; }
  const std::string& Url() const { return FUrl; }

protected:
  void DoReadJSON() override;

private:
  std::string FB64_json;
  std::string FUrl;
};

class TqtxOpenAIClass_Response_Image : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Image() = default;
  explicit TqtxOpenAIClass_Response_Image(std::string_view aJSON) { Read(aJSON); }
  int64_t Created() const { return FCreated; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Image_Data>& Data() const { return FData; }

protected:
  void DoReadJSON() override;

private:
  int64_t FCreated = 0;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Image_Data> FData;
};

class TqtxOpenAIClass_Response_Image_Edit : public TqtxOpenAIClass_Response_Image {
public:
  using TqtxOpenAIClass_Response_Image::TqtxOpenAIClass_Response_Image;
};

class TqtxOpenAIClass_Response_Image_Variation : public TqtxOpenAIClass_Response_Image {
public:
  using TqtxOpenAIClass_Response_Image::TqtxOpenAIClass_Response_Image;
};

// ---------------------------------------------------------------- embeddings

class TqtxOpenAIClass_Response_Embeddings_Usage : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Embeddings_Usage() = default;
  explicit TqtxOpenAIClass_Response_Embeddings_Usage(std::string_view aJSON) { Read(aJSON); }
  int32_t PromptTokens() const { return FPrompt_tokens; }
  int32_t TotalTokens() const { return FTotal_tokens; }

protected:
  void DoReadJSON() override;

private:
  int32_t FPrompt_tokens = 0;
  int32_t FTotal_tokens = 0;
};

class TqtxOpenAIClass_Response_Embeddings_Data : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Embeddings_Data() = default;
  explicit TqtxOpenAIClass_Response_Embeddings_Data(std::string_view aJSON) { Read(aJSON); }
  const TqtxArrayOfDouble& Embedding() const { return FEmbedding; }
  int32_t _Index() const { return FIndex; }
  const std::string& _Object() const { return FObject; }

protected:
  void DoReadJSON() override;

private:
  TqtxArrayOfDouble FEmbedding;
  int32_t FIndex = 0;
  std::string FObject;
};

class TqtxOpenAIClass_Response_Embeddings : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Embeddings() = default;
  explicit TqtxOpenAIClass_Response_Embeddings(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Embeddings_Data>& Data() const { return FData; }
  const std::string& Model() const { return FModel; }
  const std::string& _Object() const { return FObject; }
  const TqtxOpenAIClass_Response_Embeddings_Usage& Usage() const;

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Embeddings_Data> FData;
  std::string FModel;
  std::string FObject;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Embeddings_Usage> FUsage;
};

// ---------------------------------------------------------------- models

class TqtxOpenAIClass_Response_Model_Permission : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Model_Permission() = default;
  explicit TqtxOpenAIClass_Response_Model_Permission(std::string_view aJSON) { Read(aJSON); }
  bool AllowCreateEngine() const { return FAllow_Create_Engine; }
  bool AllowFineTuning() const { return FAllow_Fine_Tuning; }
  bool AllowLogprobs() const { return FAllow_Logprobs; }
  bool AllowSampling() const { return FAllow_Sampling; }
  bool AllowSearchIndices() const { return FAllow_Search_Indices; }
  bool AllowView() const { return FAllow_View; }
  int32_t Created() const { return FCreated; }
  const std::string& Id() const { return FId; }
  bool IsBlocking() const { return FIs_Blocking; }
  const std::string& _Object() const { return FObject; }
  const std::string& Organization() const { return FOrganization; }

protected:
  void DoReadJSON() override;

private:
  bool FAllow_Create_Engine = false;
  bool FAllow_Fine_Tuning = false;
  bool FAllow_Logprobs = false;
  bool FAllow_Sampling = false;
  bool FAllow_Search_Indices = false;
  bool FAllow_View = false;
  int32_t FCreated = 0;
  std::string FId;
  bool FIs_Blocking = false;
  std::string FObject;
  std::string FOrganization;
};

class TqtxOpenAIClass_Response_Model_Data : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Model_Data() = default;
  explicit TqtxOpenAIClass_Response_Model_Data(std::string_view aJSON) { Read(aJSON); }
  int32_t Created() const { return FCreated; }
  const std::string& Id() const { return FId; }
  const std::string& _Object() const { return FObject; }
  const std::string& OwnedBy() const { return FOwned_By; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Model_Permission>& Permission() const { return FPermission; }
  const std::string& Root() const { return FRoot; }

protected:
  void DoReadJSON() override;

private:
  int32_t FCreated = 0;
  std::string FId;
  std::string FObject;
  std::string FOwned_By;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Model_Permission> FPermission;
  std::string FRoot;
};

// What a single-model query returns.
class TqtxOpenAI_Response_Model_Class : public TqtxOpenAIClass_Response_Model_Data {
public:
  using TqtxOpenAIClass_Response_Model_Data::TqtxOpenAIClass_Response_Model_Data;
};

class TqtxOpenAIClass_Response_Models : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Models() = default;
  explicit TqtxOpenAIClass_Response_Models(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Model_Data>& Data() const { return FData; }
  const std::string& _Object() const { return FObject; }

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Model_Data> FData;
  std::string FObject;
};

// ---------------------------------------------------------------- files

class TqtxOpenAIClass_Response_File : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_File() = default;
  explicit TqtxOpenAIClass_Response_File(std::string_view aJSON) { Read(aJSON); }
  int32_t Bytes() const { return FBytes; }
  int32_t CreatedAt() const { return FCreated_at; }
  const std::string& Filename() const { return FFilename; }
  const std::string& Id() const { return FId; }
  const std::string& _Object() const { return FObject; }
  const std::string& Purpose() const { return FPurpose; }

protected:
  void DoReadJSON() override;

private:
  int32_t FBytes = 0;
  int32_t FCreated_at = 0;
  std::string FFilename;
  std::string FId;
  std::string FObject;
  std::string FPurpose;
};

class TqtxOpenAIClass_Response_Files : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Files() = default;
  explicit TqtxOpenAIClass_Response_Files(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_File>& Data() const { return FData; }
  const std::string& _Object() const { return FObject; }

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_File> FData;
  std::string FObject;
};

class TqtxOpenAIClass_Response_Delete : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Delete() = default;
  explicit TqtxOpenAIClass_Response_Delete(std::string_view aJSON) { Read(aJSON); }
  const std::string& _Object() const { return FObject; }
  bool Deleted() const { return FDeleted; }
  const std::string& Id() const { return FId; }

protected:
  void DoReadJSON() override;

private:
  std::string FObject;
  bool FDeleted = false;
  std::string FId;
};

// ---------------------------------------------------------------- fine-tunes

class TqtxOpenAIClass_Response_FineTune_Event : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_FineTune_Event() = default;
  explicit TqtxOpenAIClass_Response_FineTune_Event(std::string_view aJSON) { Read(aJSON); }
  int32_t CreatedAt() const { return FCreated_at; }
  const std::string& Level() const { return FLevel; }
  const std::string& _Message() const { return FMessage; }
  const std::string& _Object() const { return FObject; }

protected:
  void DoReadJSON() override;

private:
  int32_t FCreated_at = 0;
  std::string FLevel;
  std::string FMessage;
  std::string FObject;
};

class TqtxOpenAIClass_Response_FineTune_HyperParams : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_FineTune_HyperParams() = default;
  explicit TqtxOpenAIClass_Response_FineTune_HyperParams(std::string_view aJSON) { Read(aJSON); }
  int32_t BatchSize() const { return FBatch_size; }
  double LearningRateMultiplier() const { return FLearning_rate_multiplier; }
  int32_t NEpochs() const { return FN_epochs; }
  double PromptLossWeight() const { return FPrompt_loss_weight; }

protected:
  void DoReadJSON() override;

private:
  int32_t FBatch_size = 0;
  double FLearning_rate_multiplier = 0;
  int32_t FN_epochs = 0;
  double FPrompt_loss_weight = 0;
};

class TqtxOpenAIClass_Response_FineTune : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_FineTune() = default;
  explicit TqtxOpenAIClass_Response_FineTune(std::string_view aJSON) { Read(aJSON); }
  int64_t CreatedAt() const { return FCreated_at; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_FineTune_Event>& Events() const { return FEvents; }
  // Read on first use; empty when the answer has no "hyperparams".
  const TqtxOpenAIClass_Response_FineTune_HyperParams& Hyperparams() const;
  const std::string& Id() const { return FId; }
  const std::string& Model() const { return FModel; }
  const std::string& _Object() const { return FObject; }
  const std::string& OrganizationId() const { return FOrganization_id; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_File>& ResultFiles() const { return FResult_files; }
  const std::string& Status() const { return FStatus; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_File>& TrainingFiles() const { return FTraining_files; }
  int32_t UpdatedAt() const { return FUpdated_at; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_File>& ValidationFiles() const { return FValidation_files; }

protected:
  void DoReadJSON() override;

private:
  int64_t FCreated_at = 0;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_FineTune_Event> FEvents;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_FineTune_HyperParams> FHyperparams;
  std::string FId;
  std::string FModel;
  std::string FObject;
  std::string FOrganization_id;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_File> FResult_files;
  std::string FStatus;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_File> FTraining_files;
  int32_t FUpdated_at = 0;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_File> FValidation_files;
};

class TqtxOpenAIClass_Response_FineTunes : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_FineTunes() = default;
  explicit TqtxOpenAIClass_Response_FineTunes(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_FineTune>& Data() const { return FData; }
  const std::string& _Object() const { return FObject; }

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_FineTune> FData;
  std::string FObject;
};

class TqtxOpenAIClass_Response_FineTune_Events : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_FineTune_Events() = default;
  explicit TqtxOpenAIClass_Response_FineTune_Events(std::string_view aJSON) { Read(aJSON); }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_FineTune_Event>& Data() const { return FData; }
  const std::string& _Object() const { return FObject; }

protected:
  void DoReadJSON() override;

private:
  TqtxOpenAIArray<TqtxOpenAIClass_Response_FineTune_Event> FData;
  std::string FObject;
};

// ---------------------------------------------------------------- moderation

class TqtxOpenAIClass_Response_Moderation_Results_Categories : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Moderation_Results_Categories() = default;
  explicit TqtxOpenAIClass_Response_Moderation_Results_Categories(std::string_view aJSON) { Read(aJSON); }
  bool Hate() const { return FHate; }
  bool HateThreatening() const { return FHateThreatening; }
  bool SelfHarm() const { return FSelfHarm; }
  bool Sexual() const { return FSexual; }
  bool SexualMinors() const { return FSexualMinors; }
  bool Violence() const { return FViolence; }
  bool ViolenceGraphic() const { return FViolenceGraphic; }

protected:
  void DoReadJSON() override;

private:
  bool FHate = false;
  bool FHateThreatening = false;
  bool FSelfHarm = false;
  bool FSexual = false;
  bool FSexualMinors = false;
  bool FViolence = false;
  bool FViolenceGraphic = false;
};

class TqtxOpenAIClass_Response_Moderation_Results_CategoryScores : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Moderation_Results_CategoryScores() = default;
  explicit TqtxOpenAIClass_Response_Moderation_Results_CategoryScores(std::string_view aJSON) { Read(aJSON); }
  double Hate() const { return FHate; }
  double HateThreatening() const { return FHateThreatening; }
  double SelfHarm() const { return FSelfHarm; }
  double Sexual() const { return FSexual; }
  double SexualMinors() const { return FSexualMinors; }
  double Violence() const { return FViolence; }
  double ViolenceGraphic() const { return FViolenceGraphic; }

protected:
  void DoReadJSON() override;

private:
  double FHate = 0;
  double FHateThreatening = 0;
  double FSelfHarm = 0;
  double FSexual = 0;
  double FSexualMinors = 0;
  double FViolence = 0;
  double FViolenceGraphic = 0;
};

class TqtxOpenAIClass_Response_Moderation_Results : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Moderation_Results() = default;
  explicit TqtxOpenAIClass_Response_Moderation_Results(std::string_view aJSON) { Read(aJSON); }
  // Both read on first use; empty when their member is absent.
  const TqtxOpenAIClass_Response_Moderation_Results_Categories& Categories() const;
  const TqtxOpenAIClass_Response_Moderation_Results_CategoryScores& CategoryScores() const;
  bool Flagged() const { return FFlagged; }

protected:
  void DoReadJSON() override;

private:
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Moderation_Results_Categories> FCategories;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Moderation_Results_CategoryScores> FCategoryScores;
  bool FFlagged = false;
};

class TqtxOpenAIClass_Response_Moderation : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Moderation() = default;
  explicit TqtxOpenAIClass_Response_Moderation(std::string_view aJSON) { Read(aJSON); }
  const std::string& Id() const { return FId; }
  const std::string& Model() const { return FModel; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Moderation_Results>& Results() const { return FResults; }

protected:
  void DoReadJSON() override;

private:
  std::string FId;
  std::string FModel;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Moderation_Results> FResults;
};

// ---------------------------------------------------------------- audio

// Text repairs UTF-8 that arrived decoded one character per byte: only text
// whose characters are all below U+0100 and whose bytes form valid UTF-8
// with at least one multi-byte sequence; any other text comes back as stored.
class TqtxOpenAIClass_Response_Transcription : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Transcription() = default;
  explicit TqtxOpenAIClass_Response_Transcription(std::string_view aJSON) { Read(aJSON); }
  std::string Text() const;

protected:
  void DoReadJSON() override;

private:
  std::string FText;
};

class TqtxOpenAIClass_Response_Translation : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Response_Translation() = default;
  explicit TqtxOpenAIClass_Response_Translation(std::string_view aJSON) { Read(aJSON); }
  std::string Text() const;

protected:
  void DoReadJSON() override;

private:
  std::string FText;
};

}  // namespace qtx
