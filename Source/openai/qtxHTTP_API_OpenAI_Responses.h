#pragma once
// OpenAI response objects: the service's JSON answer read into typed fields.
// Nested objects and arrays become child objects owned by their parent; each
// child reads its own member of the parent's parsed document. String fields
// hold the text with its JSON escapes decoded; a null member reads as absent.
// A response is made from text with MakeResponse<T>(text).

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

class TqtxOpenAIClass_Response_ChatCompletion_Usage : public TqtxOpenAIClass_Response_TokenUsage {};

using TqtxOpenAIArray_Response_ChatCompletion_Choices = TqtxOpenAIArray<TqtxOpenAIClass_Response_ChatCompletion_Choices>;

class TqtxOpenAIClass_Response_ChatCompletion : public TqtxOpenAIClass {
public:
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
  // Made by the const getter on first use, a cache of the parsed member; hence mutable.
  mutable std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion_Usage> FUsage;
};

// ---------------------------------------------------------------- completion

class TqtxOpenAIClass_Response_Completion_Choices : public TqtxOpenAIClass {
public:
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

class TqtxOpenAIClass_Response_Completion_Usage : public TqtxOpenAIClass_Response_TokenUsage {};

class TqtxOpenAIClass_Response_Completion : public TqtxOpenAIClass {
public:
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
  // Made by the const getter on first use, a cache of the parsed member; hence mutable.
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Completion_Usage> FUsage;
};

// ---------------------------------------------------------------- edit

class TqtxOpenAIClass_Response_Edit_Choices : public TqtxOpenAIClass {
public:
  int32_t _Index() const { return FIndex; }
  const std::string& Text() const { return FText; }

protected:
  void DoReadJSON() override;

private:
  int32_t FIndex = 0;
  std::string FText;
};

class TqtxOpenAIClass_Response_Edit_Usage : public TqtxOpenAIClass_Response_TokenUsage {};

class TqtxOpenAIClass_Response_Edit : public TqtxOpenAIClass {
public:
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
  // Made by the const getter on first use, a cache of the parsed member; hence mutable.
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Edit_Usage> FUsage;
};

// ---------------------------------------------------------------- images

class TqtxOpenAIClass_Response_Image_Data : public TqtxOpenAIClass {
public:
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
  int64_t Created() const { return FCreated; }
  const TqtxOpenAIArray<TqtxOpenAIClass_Response_Image_Data>& Data() const { return FData; }

protected:
  void DoReadJSON() override;

private:
  int64_t FCreated = 0;
  TqtxOpenAIArray<TqtxOpenAIClass_Response_Image_Data> FData;
};

class TqtxOpenAIClass_Response_Image_Edit : public TqtxOpenAIClass_Response_Image {};

class TqtxOpenAIClass_Response_Image_Variation : public TqtxOpenAIClass_Response_Image {};

// ---------------------------------------------------------------- embeddings

class TqtxOpenAIClass_Response_Embeddings_Usage : public TqtxOpenAIClass {
public:
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
  // Made by the const getter on first use, a cache of the parsed member; hence mutable.
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Embeddings_Usage> FUsage;
};

// ---------------------------------------------------------------- models

class TqtxOpenAIClass_Response_Model_Permission : public TqtxOpenAIClass {
public:
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
class TqtxOpenAI_Response_Model_Class : public TqtxOpenAIClass_Response_Model_Data {};

class TqtxOpenAIClass_Response_Models : public TqtxOpenAIClass {
public:
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
  // Made by the const getter on first use, a cache of the parsed member; hence mutable.
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
  // Both read on first use; empty when their member is absent.
  const TqtxOpenAIClass_Response_Moderation_Results_Categories& Categories() const;
  const TqtxOpenAIClass_Response_Moderation_Results_CategoryScores& CategoryScores() const;
  bool Flagged() const { return FFlagged; }

protected:
  void DoReadJSON() override;

private:
  // Made by the const getters on first use, a cache of the parsed members; hence mutable.
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Moderation_Results_Categories> FCategories;
  mutable std::unique_ptr<TqtxOpenAIClass_Response_Moderation_Results_CategoryScores> FCategoryScores;
  bool FFlagged = false;
};

class TqtxOpenAIClass_Response_Moderation : public TqtxOpenAIClass {
public:
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
  std::string Text() const;

protected:
  void DoReadJSON() override;

private:
  std::string FText;
};

class TqtxOpenAIClass_Response_Translation : public TqtxOpenAIClass {
public:
  std::string Text() const;

protected:
  void DoReadJSON() override;

private:
  std::string FText;
};

}  // namespace qtx
