#include "openai/qtxHTTP_API_OpenAI.h"

#include <cstdlib>
#include <string_view>

#include "json/qtxJSON.h"
#include "platform/qtxAudioCapture.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

constexpr std::string_view kDefaultBaseURL = "https://api.openai.com";
constexpr std::string_view kVersionPrefix = "/v1";
constexpr std::string_view kBaseURLVariable = "OPENAI_BASE_URL";
constexpr std::string_view kOrganizationVariable = "OPENAI_ORG_ID";
constexpr std::string_view kAuthorizationLine = "Authorization: Bearer %s";
constexpr std::string_view kOrganizationLine = "OpenAI-Organization: %s";
constexpr std::string_view kJSONContentTypeLine = "Content-Type: application/json";
constexpr std::string_view kTextCharset = "utf-8";
constexpr std::string_view kTextTransfer = "8bit";

constexpr std::string_view RSMCIOpenError = "MCI error";
constexpr std::string_view RSMCIRecordError = "MCI error. No microphone connected to the computer?";
constexpr std::string_view RSMCISaveError = "MCI error";

std::string Environment(std::string_view aName) {
  const char* value = std::getenv(std::string(aName).c_str());
  return value ? std::string(value) : std::string();
}

// The identifier as one path segment: RFC 3986 pchar characters stay, every
// other byte is percent-encoded, and so are the dots of "." and "..", which
// would climb the path.
std::string PathSegment(std::string_view aIdentifier) {
  static constexpr std::string_view kKept = "-._~!$&'()*+,;=:@";
  static constexpr char kHex[] = "0123456789ABCDEF";
  const bool dotSegment = aIdentifier == "." || aIdentifier == "..";
  std::string segment;
  segment.reserve(aIdentifier.size());
  for (const char c : aIdentifier) {
    const auto byte = static_cast<unsigned char>(c);
    const bool alphanumeric = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
    if (alphanumeric || (!dotSegment && kKept.find(c) != std::string_view::npos)) {
      segment += c;
    } else {
      segment += '%';
      segment += kHex[byte >> 4];
      segment += kHex[byte & 0x0F];
    }
  }
  return segment;
}

std::string WithSegment(std::string_view aPrefix, const std::string& aIdentifier, std::string_view aSuffix = {}) {
  return std::string(aPrefix) + PathSegment(aIdentifier) + std::string(aSuffix);
}

}  // namespace

// ---- options ------------------------------------------------------------------------------

TqtxHTTPOpenAI_Options::TqtxHTTPOpenAI_Options()
    : FOrganization(Environment(kOrganizationVariable)), FBaseURL(Environment(kBaseURLVariable)) {}

// ---- the transport ------------------------------------------------------------------------

TqtxHTTP_API_OpenAI_Base::TqtxHTTP_API_OpenAI_Base(TComponent* aOwner) : TqtxHTTPAPI_client(aOwner) {}

std::string TqtxHTTP_API_OpenAI_Base::GetBaseURL() {
  std::string_view url = FOpenAIOptions.BaseURL();
  if (url.empty()) return std::string(kDefaultBaseURL);
  while (url.ends_with('/')) url.remove_suffix(1);
  if (url.ends_with(kVersionPrefix)) url.remove_suffix(kVersionPrefix.size());
  while (url.ends_with('/')) url.remove_suffix(1);
  return std::string(url);
}

void TqtxHTTP_API_OpenAI_Base::ApplyLogOptions() {
  const TqtxHTTPOpenAILog_Options& log = FOpenAIOptions.LogOptions();
  if (Log() == log.Enabled()) return;
  SetLogFileName(log.FileName());
  SetLog(log.Enabled());
}

void TqtxHTTP_API_OpenAI_Base::PrepareCall() {
  ApplyLogOptions();
  SetConnectTimeout(FOpenAIOptions.ConnectTimeout());
  SetReadTimeout(FOpenAIOptions.ReadTimeout());
  SetMaxRetries(FOpenAIOptions.MaxRetries());
  SetReuseConnection(FOpenAIOptions.ReuseConnection());
}

std::string TqtxHTTP_API_OpenAI_Base::URL(const std::string& aPath, const std::string& aQuery) {
  std::string url = GetBaseURL() + aPath;
  if (!aQuery.empty()) url += "?" + aQuery;
  return url;
}

std::unique_ptr<TStringList> TqtxHTTP_API_OpenAI_Base::Headers() {
  auto headers = std::make_unique<TStringList>();
  headers->Add(Format(kAuthorizationLine, {FOpenAIOptions.ApiKey()}));
  if (!FOpenAIOptions.Organization().empty()) headers->Add(Format(kOrganizationLine, {FOpenAIOptions.Organization()}));
  return headers;
}

std::string TqtxHTTP_API_OpenAI_Base::DoOpenAIGet(const std::string& aPath, const std::string& aQuery) {
  PrepareCall();
  const std::string url = URL(aPath, aQuery);
  return Get(url, Headers().get());
}

std::string TqtxHTTP_API_OpenAI_Base::DoOpenAIPost(const std::string& aPath, const std::string& aBody,
                                                   const std::string& aQuery) {
  PrepareCall();
  const std::string url = URL(aPath, aQuery);
  const std::unique_ptr<TStringList> headers = Headers();
  headers->Add(std::string(kJSONContentTypeLine));
  return Post(url, aBody, headers.get(), nullptr);
}

std::string TqtxHTTP_API_OpenAI_Base::DoOpenAIPostMultipart(const std::string& aPath, const std::string& aJSON,
                                                            const std::string& aQuery) {
  PrepareCall();
  const std::string url = URL(aPath, aQuery);
  const std::unique_ptr<TIdMultiPartFormDataStream> body = MultipartBody(aJSON);
  return Post(url, {}, Headers().get(), body.get());
}

std::string TqtxHTTP_API_OpenAI_Base::DoOpenAIDelete(const std::string& aPath, const std::string& aQuery) {
  PrepareCall();
  const std::string url = URL(aPath, aQuery);
  return Delete(url, Headers().get(), {});
}

std::unique_ptr<TIdMultiPartFormDataStream> TqtxHTTP_API_OpenAI_Base::MultipartBody(const std::string& aJSON) {
  TqtxJSON fields;
  fields.Read(aJSON);
  auto body = std::make_unique<TIdMultiPartFormDataStream>();
  for (const IqtxObjectJSON& member : fields) {
    const std::string& name = member->Name();
    const std::string value = TqtxOpenAIClass::NodeToString(*member);
    if (name == "image" || name == "file") {
      body->AddFile(name, value);
    } else {
      // The value itself, as the service's form parser reads it: no
      // percent-encoding, no quoted-printable.
      TIdFormDataField& field = body->AddFormField(name, value, std::string(kTextCharset));
      field.SetContentTransfer(kTextTransfer);
    }
  }
  return body;
}

// ---- the endpoints --------------------------------------------------------------------------

std::string TqtxHTTP_API_OpenAI_Base_Methods::GetBaseURL() {
  return TqtxHTTP_API_OpenAI_Base::GetBaseURL() + std::string(kVersionPrefix);
}

void TqtxHTTP_API_OpenAI_Base_Methods::RecordAudio(const std::string& aFileName, uint32_t aTime) {
  try {
    RecordWaveFile(aFileName, aTime);
  } catch (const EAudioOpenError&) {
    throw EqtxOpenAIAudioError(std::string(RSMCIOpenError));
  } catch (const EAudioRecordError&) {
    throw EqtxOpenAIAudioError(std::string(RSMCIRecordError));
  } catch (const EAudioSaveError&) {
    throw EqtxOpenAIAudioError(std::string(RSMCISaveError));
  }
}

std::string TqtxHTTP_API_OpenAI_Base_Methods::DoGetModels() { return DoOpenAIGet("/models", {}); }
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoGetModel(const std::string& aModel) {
  return DoOpenAIGet(WithSegment("/models/", aModel), {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateCompletion(const std::string& aBody) {
  return DoOpenAIPost("/completions", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateChatCompletion(const std::string& aBody) {
  return DoOpenAIPost("/chat/completions", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateEdit(const std::string& aBody) {
  return DoOpenAIPost("/edits", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateImage(const std::string& aBody) {
  return DoOpenAIPost("/images/generations", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateImageEdit(const std::string& aBody) {
  return DoOpenAIPostMultipart("/images/edits", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateImageVariation(const std::string& aBody) {
  return DoOpenAIPostMultipart("/images/variations", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateEmbeddings(const std::string& aBody) {
  return DoOpenAIPost("/embeddings", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateTranscription(const std::string& aBody) {
  return DoOpenAIPostMultipart("/audio/transcriptions", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateTranslation(const std::string& aBody) {
  return DoOpenAIPostMultipart("/audio/translations", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoListFiles() { return DoOpenAIGet("/files", {}); }
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoUploadFile(const std::string& aBody) {
  return DoOpenAIPostMultipart("/files", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoDeleteFile(const std::string& aFileId) {
  return DoOpenAIDelete(WithSegment("/files/", aFileId), {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoRetrieveFile(const std::string& aFileId) {
  return DoOpenAIGet(WithSegment("/files/", aFileId), {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoRetrieveFileContent(const std::string& aFileId) {
  // The service sends a file's content as octet-stream, which arrives one
  // character per byte; UTF-8 content is given back as the text it is.
  return RepairedUTF8Text(DoOpenAIGet(WithSegment("/files/", aFileId, "/content"), {}));
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateFineTune(const std::string& aBody) {
  return DoOpenAIPost("/fine-tunes", aBody, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoListFineTunes() { return DoOpenAIGet("/fine-tunes", {}); }
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoRetrieveFineTune(const std::string& aFineTuneId) {
  return DoOpenAIGet(WithSegment("/fine-tunes/", aFineTuneId), {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCancelFineTune(const std::string& aFineTuneId) {
  return DoOpenAIPost(WithSegment("/fine-tunes/", aFineTuneId, "/cancel"), {}, {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoListFineTuneEvents(const std::string& aFineTuneId) {
  return DoOpenAIGet(WithSegment("/fine-tunes/", aFineTuneId, "/events"), {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoDeleteFineTuneModel(const std::string& aModel) {
  return DoOpenAIDelete(WithSegment("/models/", aModel), {});
}
std::string TqtxHTTP_API_OpenAI_Base_Methods::DoCreateModeration(const std::string& aBody) {
  return DoOpenAIPost("/moderations", aBody, {});
}

}  // namespace qtx
