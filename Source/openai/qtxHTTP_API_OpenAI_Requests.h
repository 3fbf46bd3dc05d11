#pragma once
// OpenAI request objects: typed parameters written as the JSON body. A member
// is written only when its field holds something other than its empty value;
// text is always written as an escaped, ASCII-only JSON string.

#include <memory>
#include <string>
#include <vector>

#include "openai/qtxHTTP_API_OpenAI_Classes.h"

namespace qtx {

class TqtxOpenAIClass_Request_Completion_Message : public TqtxOpenAIClass {
public:
  TqtxOpenAIClass_Request_Completion_Message() = default;
  TqtxOpenAIClass_Request_Completion_Message(std::string aRole, std::string aContent)
      : FContent(std::move(aContent)), FRole(std::move(aRole)) {}

  const std::string& Content() const { return FContent; }
  void SetContent(std::string aValue) { FContent = std::move(aValue); }
  const std::string& Role() const { return FRole; }
  void SetRole(std::string aValue) { FRole = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FContent;
  std::string FRole = "user";
};

using TqtxOpenAIArray_Request_Completion_Messages = std::vector<std::unique_ptr<TqtxOpenAIClass_Request_Completion_Message>>;

class TqtxOpenAIClass_Request_ChatCompletion : public TqtxOpenAIClass {
public:
  double Frequency_penalty() const { return FFrequency_penalty; }
  void SetFrequency_penalty(double aValue) { FFrequency_penalty = aValue; }
  // Written as a JSON object when the text is one, otherwise as a string.
  const std::string& Logit_bias() const { return FLogit_bias; }
  void SetLogit_bias(std::string aValue) { FLogit_bias = std::move(aValue); }
  int32_t MaxTokens() const { return FMax_tokens; }
  void SetMaxTokens(int32_t aValue) { FMax_tokens = aValue; }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  // The request owns the messages placed here.
  TqtxOpenAIArray_Request_Completion_Messages& Messages() { return FMessages; }
  const TqtxOpenAIArray_Request_Completion_Messages& Messages() const { return FMessages; }
  int32_t N() const { return FN; }
  void SetN(int32_t aValue) { FN = aValue; }
  double Presence_penalty() const { return FPresence_penalty; }
  void SetPresence_penalty(double aValue) { FPresence_penalty = aValue; }
  TqtxArrayOfString& Stop() { return FStop; }
  const TqtxArrayOfString& Stop() const { return FStop; }
  bool Stream() const { return FStream; }
  void SetStream(bool aValue) { FStream = aValue; }
  // "stream_options": {"include_usage": true}, written only when set: a
  // streamed answer then ends with a chunk carrying the usage.
  bool StreamIncludeUsage() const { return FStream_include_usage; }
  void SetStreamIncludeUsage(bool aValue) { FStream_include_usage = aValue; }
  double Temperature() const { return FTemperature; }
  void SetTemperature(double aValue) { FTemperature = aValue; }
  double Top_p() const { return FTop_p; }
  void SetTop_p(double aValue) { FTop_p = aValue; }
  const std::string& User() const { return FUser; }
  void SetUser(std::string aValue) { FUser = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  double FFrequency_penalty = 0;
  std::string FLogit_bias;
  int32_t FMax_tokens = 0;
  std::string FModel;
  TqtxOpenAIArray_Request_Completion_Messages FMessages;
  int32_t FN = 1;
  double FPresence_penalty = 0;
  TqtxArrayOfString FStop;
  bool FStream = false;
  bool FStream_include_usage = false;
  double FTemperature = 1.0;
  double FTop_p = 1.0;
  std::string FUser;
};

class TqtxOpenAIClass_Request_Completion : public TqtxOpenAIClass {
public:
  int32_t BestOf() const { return FBest_of; }
  void SetBestOf(int32_t aValue) { FBest_of = aValue; }
  int32_t MaxTokens() const { return FMax_tokens; }
  void SetMaxTokens(int32_t aValue) { FMax_tokens = aValue; }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  int32_t N() const { return FN; }
  void SetN(int32_t aValue) { FN = aValue; }
  TqtxArrayOfString& Stop() { return FStop; }
  const TqtxArrayOfString& Stop() const { return FStop; }
  bool Stream() const { return FStream; }
  void SetStream(bool aValue) { FStream = aValue; }
  // "stream_options": {"include_usage": true}, written only when set: a
  // streamed answer then ends with a chunk carrying the usage.
  bool StreamIncludeUsage() const { return FStream_include_usage; }
  void SetStreamIncludeUsage(bool aValue) { FStream_include_usage = aValue; }
  double Temperature() const { return FTemperature; }
  void SetTemperature(double aValue) { FTemperature = aValue; }
  double Top_p() const { return FTop_p; }
  void SetTop_p(double aValue) { FTop_p = aValue; }
  const std::string& Prompt() const { return FPrompt; }
  void SetPrompt(std::string aValue) { FPrompt = std::move(aValue); }
  double Presence_penalty() const { return FPresence_penalty; }
  void SetPresence_penalty(double aValue) { FPresence_penalty = aValue; }
  double Frequency_penalty() const { return FFrequency_penalty; }
  void SetFrequency_penalty(double aValue) { FFrequency_penalty = aValue; }
  // Written as a JSON object when the text is one, otherwise as a string.
  const std::string& Logit_bias() const { return FLogit_bias; }
  void SetLogit_bias(std::string aValue) { FLogit_bias = std::move(aValue); }
  const std::string& User() const { return FUser; }
  void SetUser(std::string aValue) { FUser = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  int32_t FBest_of = 1;
  int32_t FMax_tokens = 0;
  std::string FModel;
  int32_t FN = 1;
  TqtxArrayOfString FStop;
  bool FStream = false;
  bool FStream_include_usage = false;
  double FTemperature = 1.0;
  double FTop_p = 1.0;
  std::string FPrompt;
  double FPresence_penalty = 0;
  double FFrequency_penalty = 0;
  std::string FLogit_bias;
  std::string FUser;
};

class TqtxOpenAIClass_Request_Edit : public TqtxOpenAIClass {
public:
  const std::string& Input() const { return FInput; }
  void SetInput(std::string aValue) { FInput = std::move(aValue); }
  const std::string& Instruction() const { return FInstruction; }
  void SetInstruction(std::string aValue) { FInstruction = std::move(aValue); }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  int32_t N() const { return FN; }
  void SetN(int32_t aValue) { FN = aValue; }
  double Temperature() const { return FTemperature; }
  void SetTemperature(double aValue) { FTemperature = aValue; }
  double TopP() const { return FTop_p; }
  void SetTopP(double aValue) { FTop_p = aValue; }

protected:
  void DoWriteJSON() override;

private:
  std::string FInput;
  std::string FInstruction;
  std::string FModel;
  int32_t FN = 1;
  double FTemperature = 1.0;
  double FTop_p = 1.0;
};

class TqtxOpenAIClass_Request_Image_Base : public TqtxOpenAIClass {
public:
  int32_t N() const { return FN; }
  void SetN(int32_t aValue) { FN = aValue; }
  const std::string& ResponseFormat() const { return FResponse_format; }
  void SetResponseFormat(std::string aValue) { FResponse_format = std::move(aValue); }
  const std::string& Size() const { return FSize; }
  void SetSize(std::string aValue) { FSize = std::move(aValue); }
  const std::string& User() const { return FUser; }
  void SetUser(std::string aValue) { FUser = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  int32_t FN = 1;
  std::string FResponse_format = "url";
  std::string FSize;
  std::string FUser;
};

class TqtxOpenAIClass_Request_Image : public TqtxOpenAIClass_Request_Image_Base {
public:
  const std::string& Prompt() const { return FPrompt; }
  void SetPrompt(std::string aValue) { FPrompt = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FPrompt;
};

class TqtxOpenAIClass_Request_Image_Edit : public TqtxOpenAIClass_Request_Image {
public:
  // Local file paths: the image goes out as a file part, the mask as text.
  const std::string& Image() const { return FImage; }
  void SetImage(std::string aValue) { FImage = std::move(aValue); }
  const std::string& Mask() const { return FMask; }
  void SetMask(std::string aValue) { FMask = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FImage;
  std::string FMask;
};

class TqtxOpenAIClass_Request_Image_Variation : public TqtxOpenAIClass_Request_Image_Base {
public:
  const std::string& Image() const { return FImage; }
  void SetImage(std::string aValue) { FImage = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FImage;
};

// Derives from the image request, but its body holds only "model", "input"
// and "user": the service rejects the image members on this endpoint.
class TqtxOpenAIClass_Request_Embeddings : public TqtxOpenAIClass_Request_Image {
public:
  const std::string& Input() const { return FInput; }
  void SetInput(std::string aValue) { FInput = std::move(aValue); }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  const std::string& User() const { return FUser; }
  void SetUser(std::string aValue) { FUser = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FInput;
  std::string FModel;
  std::string FUser;
};

class TqtxOpenAIClass_Request_Transcription : public TqtxOpenAIClass {
public:
  // The local path of the audio file; it becomes the file part.
  const std::string& Filename() const { return FFile; }
  void SetFilename(std::string aValue) { FFile = std::move(aValue); }
  const std::string& Language() const { return FLanguage; }
  void SetLanguage(std::string aValue) { FLanguage = std::move(aValue); }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  const std::string& Prompt() const { return FPrompt; }
  void SetPrompt(std::string aValue) { FPrompt = std::move(aValue); }
  const std::string& ResponseFormat() const { return FResponse_format; }
  void SetResponseFormat(std::string aValue) { FResponse_format = std::move(aValue); }
  // Text, sent as it is.
  const std::string& Temperature() const { return FTemperature; }
  void SetTemperature(std::string aValue) { FTemperature = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FFile;
  std::string FLanguage;
  std::string FModel;
  std::string FPrompt;
  std::string FResponse_format;
  std::string FTemperature;
};

class TqtxOpenAIClass_Request_Translation : public TqtxOpenAIClass {
public:
  const std::string& Filename() const { return FFile; }
  void SetFilename(std::string aValue) { FFile = std::move(aValue); }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  const std::string& Prompt() const { return FPrompt; }
  void SetPrompt(std::string aValue) { FPrompt = std::move(aValue); }
  const std::string& ResponseFormat() const { return FResponse_format; }
  void SetResponseFormat(std::string aValue) { FResponse_format = std::move(aValue); }
  const std::string& Temperature() const { return FTemperature; }
  void SetTemperature(std::string aValue) { FTemperature = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FFile;
  std::string FModel;
  std::string FPrompt;
  std::string FResponse_format;
  std::string FTemperature;
};

class TqtxOpenAIClass_Request_UploadFile : public TqtxOpenAIClass {
public:
  const std::string& Filename() const { return FFile; }
  void SetFilename(std::string aValue) { FFile = std::move(aValue); }
  const std::string& Purpose() const { return FPurpose; }
  void SetPurpose(std::string aValue) { FPurpose = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FFile;
  std::string FPurpose;
};

class TqtxOpenAIClass_Request_Moderation : public TqtxOpenAIClass {
public:
  const std::string& Input() const { return FInput; }
  void SetInput(std::string aValue) { FInput = std::move(aValue); }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  std::string FInput;
  std::string FModel;
};

class TqtxOpenAIClass_Request_FineTune : public TqtxOpenAIClass {
public:
  int32_t BatchSize() const { return FBatch_size; }
  void SetBatchSize(int32_t aValue) { FBatch_size = aValue; }
  TqtxArrayOfDouble& ClassificationBetas() { return FClassification_betas; }
  const TqtxArrayOfDouble& ClassificationBetas() const { return FClassification_betas; }
  const std::string& ClassificationPositiveClass() const { return FClassification_positive_class; }
  void SetClassificationPositiveClass(std::string aValue) { FClassification_positive_class = std::move(aValue); }
  int32_t ClassificationNClasses() const { return FClassification_n_classes; }
  void SetClassificationNClasses(int32_t aValue) { FClassification_n_classes = aValue; }
  bool ComputeClassificationMetrics() const { return FCompute_classification_metrics; }
  void SetComputeClassificationMetrics(bool aValue) { FCompute_classification_metrics = aValue; }
  double LearningRateMultiplier() const { return FLearning_rate_multiplier; }
  void SetLearningRateMultiplier(double aValue) { FLearning_rate_multiplier = aValue; }
  const std::string& Model() const { return FModel; }
  void SetModel(std::string aValue) { FModel = std::move(aValue); }
  int32_t NEpochs() const { return FN_epochs; }
  void SetNEpochs(int32_t aValue) { FN_epochs = aValue; }
  double PromptLossWeight() const { return FPrompt_loss_weight; }
  void SetPromptLossWeight(double aValue) { FPrompt_loss_weight = aValue; }
  const std::string& Suffix() const { return FSuffix; }
  void SetSuffix(std::string aValue) { FSuffix = std::move(aValue); }
  const std::string& TrainingFile() const { return FTraining_file; }
  void SetTrainingFile(std::string aValue) { FTraining_file = std::move(aValue); }
  const std::string& ValidationFile() const { return FValidation_file; }
  void SetValidationFile(std::string aValue) { FValidation_file = std::move(aValue); }

protected:
  void DoWriteJSON() override;

private:
  int32_t FBatch_size = 0;
  TqtxArrayOfDouble FClassification_betas;
  std::string FClassification_positive_class;
  int32_t FClassification_n_classes = 0;
  bool FCompute_classification_metrics = false;
  double FLearning_rate_multiplier = 0;
  std::string FModel;
  int32_t FN_epochs = 4;
  double FPrompt_loss_weight = 0.01;
  std::string FSuffix;
  std::string FTraining_file;
  std::string FValidation_file;
};

}  // namespace qtx
