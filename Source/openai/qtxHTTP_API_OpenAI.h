#pragma once
// The OpenAI component, a stack of four classes over the REST base:
//   TqtxHTTP_API_OpenAI_Base               options, base URL, authenticated transport verbs
//   TqtxHTTP_API_OpenAI_Base_Methods       "/v1", one operation per endpoint, microphone recording
//   TqtxHTTP_API_OpenAI_Base_Methods_Basic methods taking plain strings, returning the raw JSON text
//   TqtxHTTP_API_OpenAI                    methods taking request objects, returning response objects
// Every call is synchronous on the calling thread; one component serves one
// thread at a time.

#include <cstdint>
#include <memory>
#include <string>

#include "http/qtxIdMultipartFormData.h"
#include "openai/qtxHTTP_API.h"
#include "openai/qtxHTTP_API_OpenAI_Requests.h"
#include "openai/qtxHTTP_API_OpenAI_Responses.h"
#include "openai/qtxHTTP_API_OpenAI_Stream.h"

namespace qtx {

class TqtxHTTPOpenAILog_Options {
public:
  // Logs the calls' HTTP traffic to FileName.
  bool Enabled() const noexcept { return FEnabled; }
  void SetEnabled(bool aValue) noexcept { FEnabled = aValue; }
  const std::string& FileName() const noexcept { return FFileName; }
  void SetFileName(const std::string& aValue) { FFileName = aValue; }

  void Assign(const TqtxHTTPOpenAILog_Options& aSource) { *this = aSource; }

private:
  bool FEnabled = false;
  std::string FFileName;
};

class TqtxHTTPOpenAI_Options {
public:
  // BaseURL starts as the environment's OPENAI_BASE_URL and Organization as
  // its OPENAI_ORG_ID, when they are set. The API key is never taken from
  // the environment here.
  TqtxHTTPOpenAI_Options();

  // Sent as a bearer token, also when empty.
  const std::string& ApiKey() const noexcept { return FApiKey; }
  void SetApiKey(const std::string& aValue) { FApiKey = aValue; }
  // Sent as "OpenAI-Organization" when not empty.
  const std::string& Organization() const noexcept { return FOrganization; }
  void SetOrganization(const std::string& aValue) { FOrganization = aValue; }
  TqtxHTTPOpenAILog_Options& LogOptions() noexcept { return FLogOptions; }
  const TqtxHTTPOpenAILog_Options& LogOptions() const noexcept { return FLogOptions; }
  void SetLogOptions(const TqtxHTTPOpenAILog_Options& aValue) { FLogOptions.Assign(aValue); }
  // The service's address ("https://api.openai.com" when empty); a trailing
  // "/v1" or "/" is not doubled.
  const std::string& BaseURL() const noexcept { return FBaseURL; }
  void SetBaseURL(const std::string& aValue) { FBaseURL = aValue; }
  // Milliseconds; 0: no limit.
  int ConnectTimeout() const noexcept { return FConnectTimeout; }
  void SetConnectTimeout(int aValue) noexcept { FConnectTimeout = aValue; }
  int ReadTimeout() const noexcept { return FReadTimeout; }
  void SetReadTimeout(int aValue) noexcept { FReadTimeout = aValue; }
  // Retries of a lost connection, a time-out, 408, 409, 429 and 5xx.
  int MaxRetries() const noexcept { return FMaxRetries; }
  void SetMaxRetries(int aValue) noexcept { FMaxRetries = aValue; }
  // Keep the connection between calls.
  bool ReuseConnection() const noexcept { return FReuseConnection; }
  void SetReuseConnection(bool aValue) noexcept { FReuseConnection = aValue; }

  void Assign(const TqtxHTTPOpenAI_Options& aSource) { *this = aSource; }

private:
  std::string FApiKey;
  TqtxHTTPOpenAILog_Options FLogOptions;
  std::string FOrganization;
  std::string FBaseURL;
  int FConnectTimeout = 30000;
  int FReadTimeout = 600000;
  int FMaxRetries = 2;
  bool FReuseConnection = true;
};

class TqtxHTTP_API_OpenAI_Base : public TqtxHTTPAPI_client {
public:
  explicit TqtxHTTP_API_OpenAI_Base(TComponent* aOwner = nullptr);

  TqtxHTTPOpenAI_Options& OpenAIOptions() noexcept { return FOpenAIOptions; }
  void SetOpenAIOptions(const TqtxHTTPOpenAI_Options& aValue) { FOpenAIOptions.Assign(aValue); }

protected:
  // The service's scheme and host (and a path prefix of the options'
  // BaseURL), without a trailing "/".
  virtual std::string GetBaseURL();
  // aPath begins with "/"; a non-empty aQuery follows a "?" as it is.
  virtual std::string DoOpenAIGet(const std::string& aPath, const std::string& aQuery);
  virtual std::string DoOpenAIPost(const std::string& aPath, const std::string& aBody, const std::string& aQuery);
  // A multipart/form-data POST of the JSON object's top-level members: "image"
  // and "file" name local files sent as file parts, the others are text
  // fields holding the member's value as UTF-8 text.
  virtual std::string DoOpenAIPostMultipart(const std::string& aPath, const std::string& aJSON,
                                            const std::string& aQuery);
  virtual std::string DoOpenAIDelete(const std::string& aPath, const std::string& aQuery);
  // A JSON POST whose streamed answer ("Accept: text/event-stream") goes to
  // aOnBlock as it arrives (PostStreamed). In qtxHTTP_API_OpenAI_Stream.cpp.
  void DoOpenAIPostStreamed(const std::string& aPath, const std::string& aBody,
                            const TqtxHTTPAPIBodyBlockEvent& aOnBlock, const std::function<void()>& aOnEnd);

  // The log settings reach the calls when LogOptions.Enabled flips; a file
  // name changed while it stays the same is not taken.
  void ApplyLogOptions();

private:
  // The settings every call starts from: log, time-outs, retries, reuse.
  void PrepareCall();
  std::string URL(const std::string& aPath, const std::string& aQuery);
  // The authorization line, then the organization line when there is one.
  std::unique_ptr<TStringList> Headers();
  std::unique_ptr<TIdMultiPartFormDataStream> MultipartBody(const std::string& aJSON);

  TqtxHTTPOpenAI_Options FOpenAIOptions;
};

// Recording from the microphone failed ("MCI error...").
class EqtxOpenAIAudioError : public Exception { using Exception::Exception; };

class TqtxHTTP_API_OpenAI_Base_Methods : public TqtxHTTP_API_OpenAI_Base {
public:
  using TqtxHTTP_API_OpenAI_Base::TqtxHTTP_API_OpenAI_Base;

protected:
  // The inherited URL followed by "/v1".
  std::string GetBaseURL() override;

  // Records aTime milliseconds from the sound input (the ALSA device
  // "default", or QTX_AUDIO_DEVICE) into the WAV file aFileName.
  virtual void RecordAudio(const std::string& aFileName, uint32_t aTime);

  // One operation per endpoint; identifiers go into the path as one
  // percent-encoded segment.
  virtual std::string DoGetModels();
  virtual std::string DoGetModel(const std::string& aModel);
  virtual std::string DoCreateCompletion(const std::string& aBody);
  std::string DoCreateChatCompletion(const std::string& aBody);
  virtual std::string DoCreateEdit(const std::string& aBody);
  virtual std::string DoCreateImage(const std::string& aBody);
  virtual std::string DoCreateImageEdit(const std::string& aBody);
  virtual std::string DoCreateImageVariation(const std::string& aBody);
  virtual std::string DoCreateEmbeddings(const std::string& aBody);
  virtual std::string DoCreateTranscription(const std::string& aBody);
  virtual std::string DoCreateTranslation(const std::string& aBody);
  virtual std::string DoListFiles();
  virtual std::string DoUploadFile(const std::string& aBody);
  virtual std::string DoDeleteFile(const std::string& aFileId);
  virtual std::string DoRetrieveFile(const std::string& aFileId);
  virtual std::string DoRetrieveFileContent(const std::string& aFileId);
  virtual std::string DoCreateFineTune(const std::string& aBody);
  virtual std::string DoListFineTunes();
  virtual std::string DoRetrieveFineTune(const std::string& aFineTuneId);
  virtual std::string DoCancelFineTune(const std::string& aFineTuneId);
  virtual std::string DoListFineTuneEvents(const std::string& aFineTuneId);
  virtual std::string DoDeleteFineTuneModel(const std::string& aModel);
  virtual std::string DoCreateModeration(const std::string& aBody);

  // Records into aFileName and checks that the file is there.
  void RecordAudioFile(const std::string& aFileName, uint32_t aTime);
};

// The file a recording goes to when none is given: aName in TEMP, else
// TMPDIR, else /tmp.
std::string RecordingFileName(const std::string& aName);

class TqtxHTTP_API_OpenAI_Base_Methods_Basic : public TqtxHTTP_API_OpenAI_Base_Methods {
public:
  using TqtxHTTP_API_OpenAI_Base_Methods::TqtxHTTP_API_OpenAI_Base_Methods;

  // Each returns the service's answer unchanged. The string members are
  // written as escaped JSON strings.
  std::string _GetModels();
  std::string _GetModel(const std::string& aModel);
  std::string _CreateCompletion(const std::string& aModel, const std::string& aPrompt);
  std::string _CreateChatCompletion(const std::string& aModel, const std::string& aMessage,
                                    const std::string& aRole = "user");
  // "input" only when aInput is not empty.
  std::string _CreateEdit(const std::string& aModel, const std::string& aInstruction, const std::string& aInput);
  std::string _CreateImage(const std::string& aPrompt);
  // aImage: a local file.
  std::string _CreateImageEdit(const std::string& aImage, const std::string& aPrompt);
  std::string _CreateImageVariations(const std::string& aImage);
  std::string _CreateEmbeddings(const std::string& aModel, const std::string& aInput);
  std::string _CreateTranscriptionFromFile(const std::string& aModel, const std::string& aFilename);
  // Records aTime milliseconds into the recording file
  // (RecordingFileName("qtxTranscription.wav")) and transcribes it.
  std::string _CreateTranscription(const std::string& aModel, uint32_t aTime);
  std::string _CreateTranslationFromFile(const std::string& aModel, const std::string& aFilename);
  std::string _CreateTranslation(const std::string& aModel, uint32_t aTime);
  std::string _ListFiles();
  std::string _UploadFile(const std::string& aFilename, const std::string& aPurpose);
  std::string _DeleteFile(const std::string& aFileId);
  std::string _RetrieveFile(const std::string& aFileId);
  std::string _RetrieveFileContent(const std::string& aFileId);
  std::string _CreateFineTune(const std::string& aTrainingFile);
  std::string _ListFineTunes();
  std::string _RetrieveFineTune(const std::string& aFineTuneId);
  std::string _CancelFineTune(const std::string& aFineTuneId);
  std::string _ListFineTuneEvents(const std::string& aFineTuneId);
  std::string _DeleteFineTuneModel(const std::string& aModel);
  std::string _CreateModeration(const std::string& aInput);
};

// The typed methods return a new response object that the caller owns; the
// request stays the caller's. With OnHTTPAPIException taking a failure, the
// object is read from "" and holds empty values.
class TqtxHTTP_API_OpenAI : public TqtxHTTP_API_OpenAI_Base_Methods_Basic {
public:
  using TqtxHTTP_API_OpenAI_Base_Methods_Basic::TqtxHTTP_API_OpenAI_Base_Methods_Basic;

  std::unique_ptr<TqtxOpenAIClass_Response_Models> GetModels();
  std::unique_ptr<TqtxOpenAI_Response_Model_Class> GetModel(const std::string& aModel);
  std::unique_ptr<TqtxOpenAIClass_Response_Completion> CreateCompletion(TqtxOpenAIClass_Request_Completion& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> CreateChatCompletion(
      TqtxOpenAIClass_Request_ChatCompletion& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Edit> CreateEdit(TqtxOpenAIClass_Request_Edit& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Image> CreateImage(TqtxOpenAIClass_Request_Image& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Image_Edit> CreateImageEdit(TqtxOpenAIClass_Request_Image_Edit& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Image_Variation> CreateImageVariation(
      TqtxOpenAIClass_Request_Image_Variation& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Embeddings> CreateEmbeddings(TqtxOpenAIClass_Request_Embeddings& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Transcription> CreateTranscriptionFromFile(
      TqtxOpenAIClass_Request_Transcription& aRequest);
  // Records aTime milliseconds into the request's file (the recording file
  // when it has none, which then becomes its file) and transcribes it.
  std::unique_ptr<TqtxOpenAIClass_Response_Transcription> CreateTranscription(
      TqtxOpenAIClass_Request_Transcription& aRequest, uint32_t aTime);
  std::unique_ptr<TqtxOpenAIClass_Response_Translation> CreateTranslationFromFile(
      TqtxOpenAIClass_Request_Translation& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Translation> CreateTranslation(TqtxOpenAIClass_Request_Translation& aRequest,
                                                                         uint32_t aTime);
  std::unique_ptr<TqtxOpenAIClass_Response_Files> ListFiles();
  std::unique_ptr<TqtxOpenAIClass_Response_File> UploadFile(TqtxOpenAIClass_Request_UploadFile& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_Delete> DeleteFile(const std::string& aFileId);
  std::unique_ptr<TqtxOpenAIClass_Response_File> RetrieveFile(const std::string& aFileId);
  // The file's content as it came, not parsed.
  std::string RetrieveFileContent(const std::string& aFileId);
  std::unique_ptr<TqtxOpenAIClass_Response_FineTune> CreateFineTune(TqtxOpenAIClass_Request_FineTune& aRequest);
  std::unique_ptr<TqtxOpenAIClass_Response_FineTunes> ListFineTunes();
  std::unique_ptr<TqtxOpenAIClass_Response_FineTune> RetrieveFineTune(const std::string& aFineTuneId);
  std::unique_ptr<TqtxOpenAIClass_Response_FineTune> CancelFineTune(const std::string& aFineTuneId);
  std::unique_ptr<TqtxOpenAIClass_Response_FineTune_Events> ListFineTuneEvents(const std::string& aFineTuneId);
  std::unique_ptr<TqtxOpenAIClass_Response_Delete> DeleteFineTuneModel(const std::string& aModel);
  std::unique_ptr<TqtxOpenAIClass_Response_Moderation> CreateModeration(TqtxOpenAIClass_Request_Moderation& aRequest);

  // Streamed answers (qtxHTTP_API_OpenAI_Stream.cpp): the request goes out
  // with Stream set (and keeps it); each piece of the answer reaches aOnDelta
  // as it arrives, and the whole answer comes back as the unstreamed call
  // would return it, with usage when the request's StreamIncludeUsage asked
  // for it. A cancel in aOnDelta returns what arrived. An error status before
  // the stream fails as for CreateChatCompletion; an error object in the
  // stream raises EqtxOpenAIStreamError with its message, and a stream that
  // ends before "[DONE]" EqtxHTTPAPIStreamCut. With OnHTTPAPIException taking
  // a failure, the answer holds what arrived before it.
  std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> CreateChatCompletionStream(
      TqtxOpenAIClass_Request_ChatCompletion& aRequest, const TqtxOpenAIStreamDeltaEvent& aOnDelta);
  // The pieces are each choice's "text"; their role is "".
  std::unique_ptr<TqtxOpenAIClass_Response_Completion> CreateCompletionStream(
      TqtxOpenAIClass_Request_Completion& aRequest, const TqtxOpenAIStreamDeltaEvent& aOnDelta);

private:
  template <class TResponse>
  std::unique_ptr<TResponse> StreamedAnswer(const std::string& aPath, const std::string& aBody,
                                            TqtxOpenAIStreamReader::TKind aKind,
                                            const TqtxOpenAIStreamDeltaEvent& aOnDelta);
};

}  // namespace qtx
