#include "openai/qtxHTTP_API_OpenAI_Requests.h"

#include "json/qtxJSONStrict.h"

namespace qtx {
namespace {

// Writing adds to the document by name (find-or-add), so a second write
// replaces values in place; a member omitted now keeps its earlier value.

// Text always goes out as a quoted, escaped (ASCII-only) JSON string. Quoting
// is set explicitly: the document leaves text starting with "{" or "[" unquoted.
void WriteString(TqtxJSON& aDocument, std::string_view aName, std::string_view aText) {
  aDocument.AddPair(aName, EscapeString(aText))->SetQuoted(true);
}

void WriteNonEmpty(TqtxJSON& aDocument, std::string_view aName, const std::string& aText) {
  if (!aText.empty()) WriteString(aDocument, aName, aText);
}

// A text meant to carry a JSON object goes out raw only when it is one.
void WriteJSONObjectOrString(TqtxJSON& aDocument, std::string_view aName, const std::string& aText) {
  if (aText.empty()) return;
  if (IsJSONObjectText(aText)) aDocument.AddPair(aName, aText)->SetQuoted(false);
  else WriteString(aDocument, aName, aText);
}

void WriteNonZero(TqtxJSON& aDocument, std::string_view aName, int32_t aValue) {
  if (aValue != 0) aDocument.AddPair(aName, aValue);
}

void WriteNonZero(TqtxJSON& aDocument, std::string_view aName, double aValue) {
  if (aValue != 0) aDocument.AddPair(aName, aValue);
}

void WriteTrueOnly(TqtxJSON& aDocument, std::string_view aName, bool aValue) {
  if (aValue) aDocument.AddPair(aName, true);
}

// The member's array with its earlier elements removed, so every write
// holds exactly the current elements.
TqtxJSON& EmptyArray(TqtxJSON& aDocument, std::string_view aName) {
  TqtxJSON& elements = *aDocument.AddArray(aName)->JSONObject();
  elements.Clear();
  return elements;
}

void WriteNonEmpty(TqtxJSON& aDocument, std::string_view aName, const TqtxArrayOfString& aValues) {
  if (aValues.empty()) return;
  TqtxJSON& elements = EmptyArray(aDocument, aName);
  // Named by their own text, equal entries merge into the first one.
  for (const std::string& value : aValues) elements.AddPair(value, EscapeString(value))->SetQuoted(true);
}

void WriteNonEmpty(TqtxJSON& aDocument, std::string_view aName, const TqtxArrayOfDouble& aValues) {
  if (aValues.empty()) return;
  TqtxJSON& elements = EmptyArray(aDocument, aName);
  for (const double value : aValues) elements.AppendPair({}, value);
}

void WriteStreamOptions(TqtxJSON& aDocument, bool aIncludeUsage) {
  if (aIncludeUsage) aDocument.AddObject("stream_options")->JSONObject()->AddPair("include_usage", true);
}

}  // namespace

void TqtxOpenAIClass_Request_Completion_Message::DoWriteJSON() {
  WriteNonEmpty(JSON(), "content", FContent);
  WriteNonEmpty(JSON(), "role", FRole);
}

void TqtxOpenAIClass_Request_ChatCompletion::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonZero(json, "frequency_penalty", FFrequency_penalty);
  WriteJSONObjectOrString(json, "logit_bias", FLogit_bias);
  WriteNonZero(json, "max_tokens", FMax_tokens);
  WriteString(json, "model", FModel);
  if (!FMessages.empty()) {
    TqtxJSON& elements = EmptyArray(json, "messages");
    for (const auto& message : FMessages) {
      if (!message) continue;  // an entry the caller left unset
      TqtxJSON& member = *elements.AppendObject()->JSONObject();
      WriteString(member, "role", message->Role());
      WriteString(member, "content", message->Content());
    }
  }
  WriteNonZero(json, "n", FN);
  WriteNonZero(json, "presence_penalty", FPresence_penalty);
  WriteNonEmpty(json, "stop", FStop);
  WriteTrueOnly(json, "stream", FStream);
  WriteStreamOptions(json, FStream_include_usage);
  WriteNonZero(json, "temperature", FTemperature);
  WriteNonZero(json, "top_p", FTop_p);
  WriteNonEmpty(json, "user", FUser);
}

void TqtxOpenAIClass_Request_Completion::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonZero(json, "best_of", FBest_of);
  WriteNonZero(json, "frequency_penalty", FFrequency_penalty);
  WriteJSONObjectOrString(json, "logit_bias", FLogit_bias);
  WriteNonZero(json, "max_tokens", FMax_tokens);
  WriteString(json, "model", FModel);
  WriteNonEmpty(json, "prompt", FPrompt);
  WriteNonZero(json, "n", FN);
  WriteNonZero(json, "presence_penalty", FPresence_penalty);
  WriteNonEmpty(json, "stop", FStop);
  WriteTrueOnly(json, "stream", FStream);
  WriteStreamOptions(json, FStream_include_usage);
  WriteNonZero(json, "temperature", FTemperature);
  WriteNonZero(json, "top_p", FTop_p);
  WriteNonEmpty(json, "user", FUser);
}

void TqtxOpenAIClass_Request_Edit::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonEmpty(json, "model", FModel);
  WriteNonEmpty(json, "input", FInput);
  WriteNonEmpty(json, "instruction", FInstruction);
  WriteNonZero(json, "n", FN);
  WriteNonZero(json, "temperature", FTemperature);
  WriteNonZero(json, "top_p", FTop_p);
}

void TqtxOpenAIClass_Request_Image_Base::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonZero(json, "n", FN);
  WriteNonEmpty(json, "response_format", FResponse_format);
  WriteNonEmpty(json, "size", FSize);
  WriteNonEmpty(json, "user", FUser);
}

void TqtxOpenAIClass_Request_Image::DoWriteJSON() {
  TqtxOpenAIClass_Request_Image_Base::DoWriteJSON();
  WriteNonEmpty(JSON(), "prompt", FPrompt);
}

void TqtxOpenAIClass_Request_Image_Edit::DoWriteJSON() {
  TqtxOpenAIClass_Request_Image::DoWriteJSON();
  WriteNonEmpty(JSON(), "image", FImage);
  WriteNonEmpty(JSON(), "mask", FMask);
}

void TqtxOpenAIClass_Request_Image_Variation::DoWriteJSON() {
  TqtxOpenAIClass_Request_Image_Base::DoWriteJSON();
  WriteNonEmpty(JSON(), "image", FImage);
}

// The inherited image members are not written: the embeddings endpoint
// rejects them as unrecognized arguments.
void TqtxOpenAIClass_Request_Embeddings::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonEmpty(json, "model", FModel);
  WriteNonEmpty(json, "input", FInput);
  WriteNonEmpty(json, "user", FUser);
}

void TqtxOpenAIClass_Request_Transcription::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonEmpty(json, "model", FModel);
  WriteNonEmpty(json, "prompt", FPrompt);
  WriteNonEmpty(json, "file", FFile);
  WriteNonEmpty(json, "language", FLanguage);
  WriteNonEmpty(json, "temperature", FTemperature);
  WriteNonEmpty(json, "response_format", FResponse_format);
}

void TqtxOpenAIClass_Request_Translation::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonEmpty(json, "model", FModel);
  WriteNonEmpty(json, "prompt", FPrompt);
  WriteNonEmpty(json, "file", FFile);
  WriteNonEmpty(json, "temperature", FTemperature);
  WriteNonEmpty(json, "response_format", FResponse_format);
}

void TqtxOpenAIClass_Request_UploadFile::DoWriteJSON() {
  WriteNonEmpty(JSON(), "file", FFile);
  WriteNonEmpty(JSON(), "purpose", FPurpose);
}

void TqtxOpenAIClass_Request_Moderation::DoWriteJSON() {
  WriteNonEmpty(JSON(), "model", FModel);
  WriteNonEmpty(JSON(), "input", FInput);
}

void TqtxOpenAIClass_Request_FineTune::DoWriteJSON() {
  TqtxJSON& json = JSON();
  WriteNonZero(json, "batch_size", FBatch_size);
  WriteNonEmpty(json, "classification_betas", FClassification_betas);
  WriteNonEmpty(json, "classification_positive_class", FClassification_positive_class);
  WriteNonZero(json, "classification_n_classes", FClassification_n_classes);
  json.AddPair("compute_classification_metrics", FCompute_classification_metrics);
  WriteNonZero(json, "learning_rate_multiplier", FLearning_rate_multiplier);
  WriteNonEmpty(json, "model", FModel);
  WriteNonZero(json, "n_epochs", FN_epochs);
  WriteNonZero(json, "prompt_loss_weight", FPrompt_loss_weight);
  WriteNonEmpty(json, "suffix", FSuffix);
  WriteNonEmpty(json, "training_file", FTraining_file);
  WriteNonEmpty(json, "validation_file", FValidation_file);
}

}  // namespace qtx
