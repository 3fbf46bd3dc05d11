// The raw-text and the typed methods of the OpenAI component, and the
// recording file.

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "json/qtxJSON.h"
#include "openai/qtxHTTP_API_OpenAI.h"

namespace qtx {
namespace {

constexpr std::string_view RSAudioFileNotCreated = "The audio file has not been created.";
constexpr std::string_view kTranscriptionFile = "qtxTranscription.wav";
constexpr std::string_view kTranslationFile = "qtxTranslation.wav";

using TMember = std::pair<std::string_view, std::string_view>;

// A JSON object of string members, in order, each written as an escaped string.
std::string StringMembers(std::initializer_list<TMember> aMembers) {
  TqtxJSON body;
  for (const auto& [name, value] : aMembers) body.AddPair(name, EscapeString(value))->SetQuoted(true);
  return body.Text();
}

template <class TResponse>
std::unique_ptr<TResponse> Response(const std::string& aText) {
  auto response = std::make_unique<TResponse>();
  response->Read(aText);
  return response;
}

}  // namespace

std::string RecordingFileName(const std::string& aName) {
  std::string folder;
  for (const char* variable : {"TEMP", "TMPDIR"}) {
    if (const char* value = std::getenv(variable); value && *value) {
      folder = value;
      break;
    }
  }
  if (folder.empty()) folder = "/tmp";
  if (!folder.ends_with('/')) folder += '/';
  return folder + aName;
}

void TqtxHTTP_API_OpenAI_Base_Methods::RecordAudioFile(const std::string& aFileName, uint32_t aTime) {
  RecordAudio(aFileName, aTime);
  std::error_code error;
  if (!std::filesystem::is_regular_file(aFileName, error)) throw EqtxOpenAIAudioError(std::string(RSAudioFileNotCreated));
}

// ---- raw text ------------------------------------------------------------------------------

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_GetModels() { return DoGetModels(); }
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_GetModel(const std::string& aModel) { return DoGetModel(aModel); }

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateCompletion(const std::string& aModel,
                                                                      const std::string& aPrompt) {
  return DoCreateCompletion(StringMembers({{"model", aModel}, {"prompt", aPrompt}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateChatCompletion(const std::string& aModel,
                                                                          const std::string& aMessage,
                                                                          const std::string& aRole) {
  TqtxJSON body;
  body.AddPair("model", EscapeString(aModel))->SetQuoted(true);
  TqtxJSON& message = *body.AddArray("messages")->JSONObject()->AppendObject()->JSONObject();
  message.AddPair("role", EscapeString(aRole))->SetQuoted(true);
  message.AddPair("content", EscapeString(aMessage))->SetQuoted(true);
  return DoCreateChatCompletion(body.Text());
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateEdit(const std::string& aModel,
                                                                const std::string& aInstruction,
                                                                const std::string& aInput) {
  if (aInput.empty()) return DoCreateEdit(StringMembers({{"model", aModel}, {"instruction", aInstruction}}));
  return DoCreateEdit(StringMembers({{"model", aModel}, {"instruction", aInstruction}, {"input", aInput}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateImage(const std::string& aPrompt) {
  return DoCreateImage(StringMembers({{"prompt", aPrompt}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateImageEdit(const std::string& aImage,
                                                                     const std::string& aPrompt) {
  return DoCreateImageEdit(StringMembers({{"image", aImage}, {"prompt", aPrompt}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateImageVariations(const std::string& aImage) {
  return DoCreateImageVariation(StringMembers({{"image", aImage}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateEmbeddings(const std::string& aModel,
                                                                      const std::string& aInput) {
  return DoCreateEmbeddings(StringMembers({{"model", aModel}, {"input", aInput}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateTranscriptionFromFile(const std::string& aModel,
                                                                                 const std::string& aFilename) {
  return DoCreateTranscription(StringMembers({{"file", aFilename}, {"model", aModel}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateTranscription(const std::string& aModel, uint32_t aTime) {
  const std::string file = RecordingFileName(std::string(kTranscriptionFile));
  RecordAudioFile(file, aTime);
  return _CreateTranscriptionFromFile(aModel, file);
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateTranslationFromFile(const std::string& aModel,
                                                                               const std::string& aFilename) {
  return DoCreateTranslation(StringMembers({{"file", aFilename}, {"model", aModel}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateTranslation(const std::string& aModel, uint32_t aTime) {
  const std::string file = RecordingFileName(std::string(kTranslationFile));
  RecordAudioFile(file, aTime);
  return _CreateTranslationFromFile(aModel, file);
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_ListFiles() { return DoListFiles(); }

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_UploadFile(const std::string& aFilename,
                                                                const std::string& aPurpose) {
  return DoUploadFile(StringMembers({{"file", aFilename}, {"purpose", aPurpose}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_DeleteFile(const std::string& aFileId) {
  return DoDeleteFile(aFileId);
}
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_RetrieveFile(const std::string& aFileId) {
  return DoRetrieveFile(aFileId);
}
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_RetrieveFileContent(const std::string& aFileId) {
  return DoRetrieveFileContent(aFileId);
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateFineTune(const std::string& aTrainingFile) {
  return DoCreateFineTune(StringMembers({{"training_file", aTrainingFile}}));
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_ListFineTunes() { return DoListFineTunes(); }
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_RetrieveFineTune(const std::string& aFineTuneId) {
  return DoRetrieveFineTune(aFineTuneId);
}
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CancelFineTune(const std::string& aFineTuneId) {
  return DoCancelFineTune(aFineTuneId);
}
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_ListFineTuneEvents(const std::string& aFineTuneId) {
  return DoListFineTuneEvents(aFineTuneId);
}
std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_DeleteFineTuneModel(const std::string& aModel) {
  return DoDeleteFineTuneModel(aModel);
}

std::string TqtxHTTP_API_OpenAI_Base_Methods_Basic::_CreateModeration(const std::string& aInput) {
  return DoCreateModeration(StringMembers({{"input", aInput}}));
}

// ---- typed ---------------------------------------------------------------------------------

std::unique_ptr<TqtxOpenAIClass_Response_Models> TqtxHTTP_API_OpenAI::GetModels() {
  return Response<TqtxOpenAIClass_Response_Models>(DoGetModels());
}

std::unique_ptr<TqtxOpenAI_Response_Model_Class> TqtxHTTP_API_OpenAI::GetModel(const std::string& aModel) {
  return Response<TqtxOpenAI_Response_Model_Class>(DoGetModel(aModel));
}

std::unique_ptr<TqtxOpenAIClass_Response_Completion> TqtxHTTP_API_OpenAI::CreateCompletion(
    TqtxOpenAIClass_Request_Completion& aRequest) {
  return Response<TqtxOpenAIClass_Response_Completion>(DoCreateCompletion(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> TqtxHTTP_API_OpenAI::CreateChatCompletion(
    TqtxOpenAIClass_Request_ChatCompletion& aRequest) {
  return Response<TqtxOpenAIClass_Response_ChatCompletion>(DoCreateChatCompletion(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Edit> TqtxHTTP_API_OpenAI::CreateEdit(TqtxOpenAIClass_Request_Edit& aRequest) {
  return Response<TqtxOpenAIClass_Response_Edit>(DoCreateEdit(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Image> TqtxHTTP_API_OpenAI::CreateImage(
    TqtxOpenAIClass_Request_Image& aRequest) {
  return Response<TqtxOpenAIClass_Response_Image>(DoCreateImage(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Image_Edit> TqtxHTTP_API_OpenAI::CreateImageEdit(
    TqtxOpenAIClass_Request_Image_Edit& aRequest) {
  return Response<TqtxOpenAIClass_Response_Image_Edit>(DoCreateImageEdit(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Image_Variation> TqtxHTTP_API_OpenAI::CreateImageVariation(
    TqtxOpenAIClass_Request_Image_Variation& aRequest) {
  return Response<TqtxOpenAIClass_Response_Image_Variation>(DoCreateImageVariation(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Embeddings> TqtxHTTP_API_OpenAI::CreateEmbeddings(
    TqtxOpenAIClass_Request_Embeddings& aRequest) {
  return Response<TqtxOpenAIClass_Response_Embeddings>(DoCreateEmbeddings(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Transcription> TqtxHTTP_API_OpenAI::CreateTranscriptionFromFile(
    TqtxOpenAIClass_Request_Transcription& aRequest) {
  return Response<TqtxOpenAIClass_Response_Transcription>(DoCreateTranscription(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Transcription> TqtxHTTP_API_OpenAI::CreateTranscription(
    TqtxOpenAIClass_Request_Transcription& aRequest, uint32_t aTime) {
  const std::string file =
      aRequest.Filename().empty() ? RecordingFileName(std::string(kTranscriptionFile)) : aRequest.Filename();
  RecordAudioFile(file, aTime);
  aRequest.SetFilename(file);
  return CreateTranscriptionFromFile(aRequest);
}

std::unique_ptr<TqtxOpenAIClass_Response_Translation> TqtxHTTP_API_OpenAI::CreateTranslationFromFile(
    TqtxOpenAIClass_Request_Translation& aRequest) {
  return Response<TqtxOpenAIClass_Response_Translation>(DoCreateTranslation(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Translation> TqtxHTTP_API_OpenAI::CreateTranslation(
    TqtxOpenAIClass_Request_Translation& aRequest, uint32_t aTime) {
  const std::string file =
      aRequest.Filename().empty() ? RecordingFileName(std::string(kTranslationFile)) : aRequest.Filename();
  RecordAudioFile(file, aTime);
  aRequest.SetFilename(file);
  return CreateTranslationFromFile(aRequest);
}

std::unique_ptr<TqtxOpenAIClass_Response_Files> TqtxHTTP_API_OpenAI::ListFiles() {
  return Response<TqtxOpenAIClass_Response_Files>(DoListFiles());
}

std::unique_ptr<TqtxOpenAIClass_Response_File> TqtxHTTP_API_OpenAI::UploadFile(
    TqtxOpenAIClass_Request_UploadFile& aRequest) {
  return Response<TqtxOpenAIClass_Response_File>(DoUploadFile(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_Delete> TqtxHTTP_API_OpenAI::DeleteFile(const std::string& aFileId) {
  return Response<TqtxOpenAIClass_Response_Delete>(DoDeleteFile(aFileId));
}

std::unique_ptr<TqtxOpenAIClass_Response_File> TqtxHTTP_API_OpenAI::RetrieveFile(const std::string& aFileId) {
  return Response<TqtxOpenAIClass_Response_File>(DoRetrieveFile(aFileId));
}

std::string TqtxHTTP_API_OpenAI::RetrieveFileContent(const std::string& aFileId) {
  return DoRetrieveFileContent(aFileId);
}

std::unique_ptr<TqtxOpenAIClass_Response_FineTune> TqtxHTTP_API_OpenAI::CreateFineTune(
    TqtxOpenAIClass_Request_FineTune& aRequest) {
  return Response<TqtxOpenAIClass_Response_FineTune>(DoCreateFineTune(aRequest.AsString()));
}

std::unique_ptr<TqtxOpenAIClass_Response_FineTunes> TqtxHTTP_API_OpenAI::ListFineTunes() {
  return Response<TqtxOpenAIClass_Response_FineTunes>(DoListFineTunes());
}

std::unique_ptr<TqtxOpenAIClass_Response_FineTune> TqtxHTTP_API_OpenAI::RetrieveFineTune(
    const std::string& aFineTuneId) {
  return Response<TqtxOpenAIClass_Response_FineTune>(DoRetrieveFineTune(aFineTuneId));
}

std::unique_ptr<TqtxOpenAIClass_Response_FineTune> TqtxHTTP_API_OpenAI::CancelFineTune(
    const std::string& aFineTuneId) {
  return Response<TqtxOpenAIClass_Response_FineTune>(DoCancelFineTune(aFineTuneId));
}

std::unique_ptr<TqtxOpenAIClass_Response_FineTune_Events> TqtxHTTP_API_OpenAI::ListFineTuneEvents(
    const std::string& aFineTuneId) {
  return Response<TqtxOpenAIClass_Response_FineTune_Events>(DoListFineTuneEvents(aFineTuneId));
}

std::unique_ptr<TqtxOpenAIClass_Response_Delete> TqtxHTTP_API_OpenAI::DeleteFineTuneModel(const std::string& aModel) {
  return Response<TqtxOpenAIClass_Response_Delete>(DoDeleteFineTuneModel(aModel));
}

std::unique_ptr<TqtxOpenAIClass_Response_Moderation> TqtxHTTP_API_OpenAI::CreateModeration(
    TqtxOpenAIClass_Request_Moderation& aRequest) {
  return Response<TqtxOpenAIClass_Response_Moderation>(DoCreateModeration(aRequest.AsString()));
}

}  // namespace qtx
