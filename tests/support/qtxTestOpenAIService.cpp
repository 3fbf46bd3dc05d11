#include "qtxTestOpenAIService.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "qtxTestMultipart.h"

namespace qtx::test {

using json = nlohmann::ordered_json;

namespace {

constexpr std::string_view kOrganization = "org-qtxtest";
constexpr int64_t kSampleCreated = 1677610602;
// A 1 x 1 transparent PNG: the image of every b64_json answer.
constexpr std::string_view kImageBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAAC0lEQVR42mNgAAIAAAUAAen63NgAAAAASUVORK5CYII=";
constexpr std::string_view kSampleTrainingData =
    "{\"prompt\": \"Hello ->\", \"completion\": \" Hi there!\\n\"}\n"
    "{\"prompt\": \"Goodbye ->\", \"completion\": \" See you soon!\\n\"}\n";

constexpr std::string_view kNoKeyMessage =
    "You didn't provide an API key. You need to provide your API key in an Authorization header using Bearer "
    "auth (i.e. Authorization: Bearer YOUR_KEY), or as the password field (with blank username) if you're "
    "accessing the API from your browser and are prompted for a username and password. You can obtain an API key "
    "from https://platform.openai.com/account/api-keys.";
constexpr std::string_view kJsonParseMessage =
    "We could not parse the JSON body of your request. (HINT: This likely means you aren't using your HTTP "
    "library correctly. The OpenAI API expects a JSON payload, but what was sent was not valid JSON. If you have "
    "trouble figuring out how to fix this, please contact us through our help center at help.openai.com.)";
constexpr std::string_view kServerErrorMessage =
    "The server had an error while processing your request. Sorry about that!";

// An answer the service gives instead of the endpoint's result.
struct TApiError {
  int Status;
  json Body;
};

json ErrorBody(std::string_view aMessage, std::string_view aType, const json& aParam = nullptr,
               const json& aCode = nullptr) {
  return {{"error", {{"message", aMessage}, {"type", aType}, {"param", aParam}, {"code", aCode}}}};
}

[[noreturn]] void Fail(int aStatus, std::string_view aMessage, const json& aParam = nullptr,
                       const json& aCode = nullptr) {
  throw TApiError{aStatus, ErrorBody(aMessage, "invalid_request_error", aParam, aCode)};
}

// The service's error body for a status a test programs without a body.
json DefaultErrorBody(int aStatus) {
  switch (aStatus) {
    case 401: return ErrorBody(kNoKeyMessage, "invalid_request_error");
    case 404: return ErrorBody("The requested resource was not found.", "invalid_request_error");
    case 408: return ErrorBody("Request timed out.", "timeout");
    case 409:
      return ErrorBody("The request conflicts with another request in progress. Please try again.",
                       "invalid_request_error");
    case 429:
      return ErrorBody(
          "Rate limit reached for default-gpt-3.5-turbo in organization org-qtxtest on requests per min. "
          "Limit: 3 / min. Please try again in 20s. Contact us through our help center at "
          "help.openai.com if you continue to have issues.",
          "requests", "requests", "rate_limit_exceeded");
    case 502: return ErrorBody("Bad gateway.", "server_error");
    case 503: return ErrorBody("The engine is currently overloaded, please try again later.", "server_error");
    default:
      return aStatus >= 500 ? ErrorBody(kServerErrorMessage, "server_error")
                            : ErrorBody("The request could not be processed.", "invalid_request_error");
  }
}

std::string Dump(const json& aValue) { return aValue.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string Base64(const uint8_t* aData, size_t aSize) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t at = 0; at < aSize; at += 3) {
    const uint32_t group = (uint32_t{aData[at]} << 16) | (at + 1 < aSize ? uint32_t{aData[at + 1]} << 8 : 0) |
                           (at + 2 < aSize ? uint32_t{aData[at + 2]} : 0);
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += at + 1 < aSize ? kAlphabet[(group >> 6) & 63] : '=';
    text += at + 2 < aSize ? kAlphabet[group & 63] : '=';
  }
  return text;
}

std::string PercentDecode(std::string_view aText) {
  std::string text;
  for (size_t at = 0; at < aText.size(); ++at) {
    const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (aText[at] == '%' && at + 2 < aText.size() && hex(aText[at + 1]) && hex(aText[at + 2])) {
      text += static_cast<char>(std::stoi(std::string(aText.substr(at + 1, 2)), nullptr, 16));
      at += 2;
    } else {
      text += aText[at];
    }
  }
  return text;
}

std::vector<std::string> Split(std::string_view aText, char aSeparator) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (true) {
    const size_t next = aText.find(aSeparator, at);
    parts.emplace_back(aText.substr(at, next == std::string_view::npos ? next : next - at));
    if (next == std::string_view::npos) return parts;
    at = next + 1;
  }
}

// The length of the UTF-8 sequence that begins with aLead (1 for a stray byte).
size_t SequenceLength(uint8_t aLead) {
  if (aLead >= 0xF0 && aLead < 0xF8) return 4;
  if (aLead >= 0xE0) return aLead < 0xF0 ? 3 : 1;
  if (aLead >= 0xC0) return 2;
  return 1;
}

// The text of a chat message's content: a string, or the text parts of an array.
std::string MessageText(const json& aMessage) {
  const json content = aMessage.value("content", json());
  if (content.is_string()) return content.get<std::string>();
  std::string text;
  if (content.is_array()) {
    for (const json& part : content) {
      if (part.is_object() && part.value("type", "") == "text") text += part.value("text", "");
    }
  }
  return text;
}

// Deterministic numbers k/128 - 1 (exact in a float) derived from the text.
std::vector<float> Embedding(std::string_view aText) {
  std::vector<float> vector;
  for (int dimension = 0; dimension < TTestOpenAIService::kEmbeddingDimensions; ++dimension) {
    uint32_t hash = 2166136261u;
    for (char c : aText) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    hash = (hash ^ static_cast<uint32_t>(dimension)) * 16777619u;
    vector.push_back(static_cast<float>(hash % 256) / 128.0f - 1.0f);
  }
  return vector;
}

json ModelJson(const std::string& aId, int64_t aCreated, std::string_view aOwner) {
  return {{"id", aId},
          {"object", "model"},
          {"created", aCreated},
          {"owned_by", aOwner},
          {"permission", json::array({{{"id", "modelperm-" + aId},
                                       {"object", "model_permission"},
                                       {"created", aCreated},
                                       {"allow_create_engine", false},
                                       {"allow_sampling", true},
                                       {"allow_logprobs", true},
                                       {"allow_search_indices", false},
                                       {"allow_view", true},
                                       {"allow_fine_tuning", false},
                                       {"organization", "*"},
                                       {"group", nullptr},
                                       {"is_blocking", false}}})},
          {"root", aId},
          {"parent", nullptr}};
}

struct TKnownModel {
  std::string_view Id;
  int64_t Created;
  std::string_view Owner;
};

constexpr TKnownModel kModels[] = {
    {"gpt-3.5-turbo", 1677610602, "openai"},
    {"gpt-4", 1687882411, "openai"},
    {"text-davinci-003", 1669599635, "openai-internal"},
    {"text-davinci-edit-001", 1649809179, "openai"},
    {"text-embedding-ada-002", 1671217299, "openai-internal"},
    {"whisper-1", 1677532384, "openai-internal"},
    {"dall-e-2", 1698798177, "system"},
    {"text-moderation-latest", 1677532384, "openai"},
    {TTestOpenAIService::kSampleFineTunedModel, 1677672000, kOrganization},
};

// The moderation categories in the service's order; the flag rule is the
// word "kill" in the text.
constexpr std::string_view kModerationCategories[] = {"sexual",
                                                      "hate",
                                                      "harassment",
                                                      "self-harm",
                                                      "sexual/minors",
                                                      "hate/threatening",
                                                      "violence/graphic",
                                                      "self-harm/intent",
                                                      "self-harm/instructions",
                                                      "harassment/threatening",
                                                      "violence"};

json ModerationResult(std::string_view aText) {
  std::string lower(aText);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  const bool violent = lower.find("kill") != std::string::npos;
  json categories = json::object();
  json scores = json::object();
  for (std::string_view category : kModerationCategories) {
    const bool flagged = violent && category == "violence";
    categories[std::string(category)] = flagged;
    scores[std::string(category)] = flagged ? 0.9126541018486023 : 0.0000171234;
  }
  return {{"flagged", violent}, {"categories", categories}, {"category_scores", scores}};
}

}  // namespace

struct TTestOpenAIService::TFile {
  std::string Id;
  std::string FileName;
  std::string Purpose;
  TBytes Data;
  int64_t CreatedAt;

  json Json() const {
    return {{"object", "file"},      {"id", Id},
            {"purpose", Purpose},    {"filename", FileName},
            {"bytes", Data.size()},  {"created_at", CreatedAt},
            {"status", "processed"}, {"status_details", nullptr}};
  }
};

struct TTestOpenAIService::TFineTune {
  std::string Id;
  std::string Model;
  json TrainingFile;
  int64_t CreatedAt;
  int64_t UpdatedAt;
  std::string Status;
  json FineTunedModel;
  json Events = json::array();

  void AddEvent(int64_t aTime, const std::string& aMessage) {
    Events.push_back({{"object", "fine-tune-event"}, {"level", "info"}, {"message", aMessage}, {"created_at", aTime}});
  }

  json Json(bool aWithEvents) const {
    json value = {
        {"object", "fine-tune"},
        {"id", Id},
        {"hyperparams",
         {{"n_epochs", 4}, {"batch_size", 1}, {"prompt_loss_weight", 0.01}, {"learning_rate_multiplier", 0.1}}},
        {"organization_id", kOrganization},
        {"model", Model},
        {"training_files", json::array({TrainingFile})},
        {"validation_files", json::array()},
        {"result_files", json::array()},
        {"created_at", CreatedAt},
        {"updated_at", UpdatedAt},
        {"status", Status},
        {"fine_tuned_model", FineTunedModel}};
    if (aWithEvents) value["events"] = Events;
    return value;
  }
};

// What the service keeps between calls; connections run at once, so every
// access takes the lock and hands out copies.
struct TTestOpenAIService::TState {
  // A fresh identifier that looks like the service's: aPrefix and 24 characters.
  std::string NextId(std::string_view aPrefix) {
    std::lock_guard guard(FLock);
    const std::string digits = std::to_string(++FCounter);
    return std::string(aPrefix) + "qtx" + std::string(21 - std::min<size_t>(digits.size(), 21), '0') + digits;
  }

  std::optional<TFile> FindFile(const std::string& aId) {
    std::lock_guard guard(FLock);
    const auto found = std::find_if(FFiles.begin(), FFiles.end(), [&](const TFile& f) { return f.Id == aId; });
    return found == FFiles.end() ? std::nullopt : std::optional<TFile>(*found);
  }
  void AddFile(const TFile& aFile) {
    std::lock_guard guard(FLock);
    FFiles.push_back(aFile);
  }
  void RemoveFile(const std::string& aId) {
    std::lock_guard guard(FLock);
    std::erase_if(FFiles, [&](const TFile& f) { return f.Id == aId; });
  }
  json FilesJson() {
    std::lock_guard guard(FLock);
    json data = json::array();
    for (const TFile& file : FFiles) data.push_back(file.Json());
    return data;
  }

  std::optional<TFineTune> FindFineTune(const std::string& aId) {
    std::lock_guard guard(FLock);
    const auto found =
        std::find_if(FFineTunes.begin(), FFineTunes.end(), [&](const TFineTune& f) { return f.Id == aId; });
    return found == FFineTunes.end() ? std::nullopt : std::optional<TFineTune>(*found);
  }
  void AddFineTune(const TFineTune& aFineTune) {
    std::lock_guard guard(FLock);
    FFineTunes.push_back(aFineTune);
  }
  // The fine-tune after aChange, or nothing when there is none of that id.
  std::optional<TFineTune> ChangeFineTune(const std::string& aId, const std::function<void(TFineTune&)>& aChange) {
    std::lock_guard guard(FLock);
    const auto found =
        std::find_if(FFineTunes.begin(), FFineTunes.end(), [&](const TFineTune& f) { return f.Id == aId; });
    if (found == FFineTunes.end()) return std::nullopt;
    aChange(*found);
    return *found;
  }
  json FineTunesJson() {
    std::lock_guard guard(FLock);
    json data = json::array();
    for (const TFineTune& fineTune : FFineTunes) data.push_back(fineTune.Json(false));
    return data;
  }

private:
  std::mutex FLock;
  std::vector<TFile> FFiles;
  std::vector<TFineTune> FFineTunes;
  int FCounter = 0;
};

// One request being answered.
class TTestOpenAIService::TCall {
public:
  TCall(TTestOpenAIService& aService, const TTestHttpRequest& aRequest, TTestHttpExchange& aExchange,
        TOpenAIAnswer aAnswer)
      : FService(aService),
        FRequest(aRequest),
        FExchange(aExchange),
        FAnswer(std::move(aAnswer)),
        FNow(static_cast<int64_t>(std::time(nullptr))) {}

  void Run() {
    if (FAnswer.Status != 0) {
      return Send(FAnswer.Status, FAnswer.Body.empty() ? Dump(DefaultErrorBody(FAnswer.Status)) : FAnswer.Body);
    }
    try {
      Authorize();
      Route();
    } catch (const TApiError& error) {
      Send(error.Status, Dump(error.Body));
    } catch (const json::exception& error) {
      Send(400, Dump(ErrorBody(std::string("Invalid request: ") + error.what(), "invalid_request_error")));
    }
  }

private:
  std::vector<std::string> Headers(std::string_view aContentType) const {
    std::vector<std::string> headers{"Content-Type: " + std::string(aContentType),
                                     "openai-organization: " + std::string(kOrganization), "openai-processing-ms: 42",
                                     "openai-version: 2020-10-01", "x-request-id: req_" + std::to_string(FNow) + "qtx"};
    headers.insert(headers.end(), FAnswer.Headers.begin(), FAnswer.Headers.end());
    return headers;
  }

  void Send(int aStatus, const std::string& aBody, std::string_view aContentType = "application/json") {
    FExchange.Answer(aStatus, Headers(aContentType), aBody);
  }
  void Send(const json& aBody) { Send(200, Dump(aBody)); }

  void Authorize() const {
    if (FService.FOptions.ApiKey.empty()) return;
    const std::string authorization = FRequest.Header("Authorization").value_or("");
    std::string key;
    if (authorization.size() > 7 && authorization.compare(0, 7, "Bearer ") == 0) key = authorization.substr(7);
    if (key.empty()) throw TApiError{401, ErrorBody(kNoKeyMessage, "invalid_request_error")};
    if (key != FService.FOptions.ApiKey) {
      const std::string shown =
          key.size() > 12 ? key.substr(0, 8) + std::string(key.size() - 12, '*') + key.substr(key.size() - 4) : key;
      throw TApiError{401, ErrorBody("Incorrect API key provided: " + shown +
                                         ". You can find your API key at https://platform.openai.com/account/api-keys.",
                                     "invalid_request_error", nullptr, "invalid_api_key")};
    }
  }

  void Route() {
    const std::string path = FRequest.Path();
    std::vector<std::string> at;
    if (path.rfind("/v1/", 0) == 0) {
      for (const std::string& segment : Split(std::string_view(path).substr(4), '/')) {
        at.push_back(PercentDecode(segment));
      }
    }
    const std::string& method = FRequest.Method;
    const auto is = [&](std::string_view aMethod, std::initializer_list<std::string_view> aPath) {
      if (method != aMethod || at.size() != aPath.size()) return false;
      size_t index = 0;
      for (std::string_view segment : aPath) {
        if (segment != "*" && segment != at[index]) return false;
        ++index;
      }
      return true;
    };
    if (is("GET", {"models"})) return ListModels();
    if (is("GET", {"models", "*"})) return Send(ModelJson(at[1], kSampleCreated, kOrganization));
    if (is("DELETE", {"models", "*"})) return Send({{"id", at[1]}, {"object", "model"}, {"deleted", true}});
    if (is("POST", {"completions"})) return Completion();
    if (is("POST", {"chat", "completions"})) return Chat();
    if (is("POST", {"edits"})) return Edit();
    if (is("POST", {"images", "generations"})) return Images(JsonBody(), "prompt");
    if (is("POST", {"images", "edits"})) return Images(FormBody(), "image", "prompt");
    if (is("POST", {"images", "variations"})) return Images(FormBody(), "image");
    if (is("POST", {"embeddings"})) return Embeddings();
    if (is("POST", {"audio", "transcriptions"})) return Audio("Transcription");
    if (is("POST", {"audio", "translations"})) return Audio("Translation");
    if (is("GET", {"files"})) {
      return Send({{"object", "list"}, {"data", FService.FState->FilesJson()}, {"has_more", false}});
    }
    if (is("POST", {"files"})) return UploadFile();
    if (is("GET", {"files", "*"})) return Send(File(at[1]).Json());
    if (is("GET", {"files", "*", "content"})) {
      return FExchange.Answer(200, Headers("application/octet-stream"), File(at[1]).Data);
    }
    if (is("DELETE", {"files", "*"})) return DeleteFile(at[1]);
    if (is("POST", {"fine-tunes"})) return CreateFineTune();
    if (is("GET", {"fine-tunes"})) return Send({{"object", "list"}, {"data", FService.FState->FineTunesJson()}});
    if (is("GET", {"fine-tunes", "*"})) return Send(FineTune(at[1]).Json(true));
    if (is("POST", {"fine-tunes", "*", "cancel"})) return CancelFineTune(at[1]);
    if (is("GET", {"fine-tunes", "*", "events"})) return Send({{"object", "list"}, {"data", FineTune(at[1]).Events}});
    if (is("POST", {"moderations"})) return Moderation();
    Fail(404, "Invalid URL (" + method + " " + path + ")");
  }

  // The request's JSON object.
  json JsonBody() const {
    json body = json::parse(FRequest.Body.begin(), FRequest.Body.end(), nullptr, false);
    if (body.is_discarded() || !body.is_object()) Fail(400, kJsonParseMessage);
    return body;
  }

  // The request's form as members: text fields as strings, file parts as
  // {"filename", "bytes"} (their data kept in FFileParts).
  json FormBody() {
    const std::string type = FRequest.Header("Content-Type").value_or("");
    if (type.rfind("multipart/form-data", 0) != 0) {
      Fail(400, "Invalid Content-Type header (" + type +
                    "), expected multipart/form-data. (HINT: If you're using curl, you can pass -H "
                    "'Content-Type: multipart/form-data')");
    }
    std::vector<TMultipartPart> parts;
    try {
      parts = ParseMultipart(type, FRequest.Body);
    } catch (const std::invalid_argument&) {
      Fail(400, "Could not parse multipart form");
    }
    json body = json::object();
    for (TMultipartPart& part : parts) {
      if (part.FileName) {
        FFileParts[part.Name] = part.Data;
        body[part.Name] = {{"filename", *part.FileName}, {"bytes", part.Data.size()}};
      } else {
        body[part.Name] = part.Text();
      }
    }
    return body;
  }

  static void Require(const json& aBody, std::initializer_list<std::string_view> aMembers) {
    for (std::string_view member : aMembers) {
      if (!aBody.contains(member)) {
        Fail(400, "Missing required parameter: '" + std::string(member) + "'.", member, "missing_required_parameter");
      }
    }
  }

  // A number member that a form sends as text.
  static int IntMember(const json& aBody, const char* aName, int aDefault) {
    const json value = aBody.value(aName, json(aDefault));
    if (!value.is_string()) return value.get<int>();
    int number = 0;
    const std::string text = value.get<std::string>();
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
      Fail(400, "Invalid value for '" + std::string(aName) + "': '" + text + "'.", aName);
    }
    return number;
  }

  json Usage(int aPrompt, int aCompletion) const {
    return {{"prompt_tokens", aPrompt}, {"completion_tokens", aCompletion}, {"total_tokens", aPrompt + aCompletion}};
  }

  // The reply cut into pieces, cut short by "max_tokens"; the finish reason.
  std::pair<std::vector<std::string>, std::string> ReplyPieces(const json& aBody, std::string_view aUserText) const {
    std::vector<std::string> pieces = Pieces(FAnswer.Content ? *FAnswer.Content : FService.Reply(aUserText));
    const json limit = aBody.value("max_tokens", aBody.value("max_completion_tokens", json()));
    if (limit.is_number_integer() && limit.get<int64_t>() >= 0 &&
        static_cast<size_t>(limit.get<int64_t>()) < pieces.size()) {
      pieces.resize(static_cast<size_t>(limit.get<int64_t>()));
      return {pieces, "length"};
    }
    return {pieces, "stop"};
  }

  static std::string Join(const std::vector<std::string>& aPieces) {
    std::string text;
    for (const std::string& piece : aPieces) text += piece;
    return text;
  }

  void Chat() {
    const json body = JsonBody();
    Require(body, {"model", "messages"});
    const json& messages = body.at("messages");
    if (!messages.is_array()) Fail(400, "Invalid type for 'messages': expected an array.", "messages");
    std::string userText;
    int promptTokens = 0;
    for (const json& message : messages) {
      promptTokens += CountTokens(MessageText(message)) + kTokensPerMessage;
      if (message.value("role", "") == "user") userText = MessageText(message);
    }
    const auto [pieces, finish] = ReplyPieces(body, userText);
    const int choices = std::clamp(IntMember(body, "n", 1), 1, 10);
    const int completionTokens = static_cast<int>(pieces.size()) * choices;
    json head = {{"id", FService.FState->NextId("chatcmpl-")},
                 {"object", "chat.completion"},
                 {"created", FNow},
                 {"model", body.at("model")}};
    if (body.value("stream", false)) {
      head["object"] = "chat.completion.chunk";
      head["system_fingerprint"] = "fp_qtx0001";
      const auto choice = [](int aIndex, const json& aDelta, const json& aFinish) {
        return json{{"index", aIndex}, {"delta", aDelta}, {"logprobs", nullptr}, {"finish_reason", aFinish}};
      };
      return Stream(
          body, head, pieces, Usage(promptTokens, completionTokens), choices,
          [&](int aIndex) {
            return choice(aIndex, {{"role", "assistant"}, {"content", ""}}, nullptr);
          },
          [&](int aIndex, const std::string& aPiece) {
            return choice(aIndex, {{"content", aPiece}}, nullptr);
          },
          // finish passed by an init-capture: clang before 16 cannot capture a structured binding
          [&, finish = finish](int aIndex) { return choice(aIndex, json::object(), finish); });
    }
    json all = json::array();
    for (int index = 0; index < choices; ++index) {
      all.push_back({{"index", index},
                     {"message", {{"role", "assistant"}, {"content", Join(pieces)}}},
                     {"logprobs", nullptr},
                     {"finish_reason", finish}});
    }
    head["choices"] = all;
    head["usage"] = Usage(promptTokens, completionTokens);
    head["system_fingerprint"] = "fp_qtx0001";
    Send(head);
  }

  void Completion() {
    const json body = JsonBody();
    Require(body, {"model"});
    json prompt = body.value("prompt", json(""));
    if (prompt.is_array() && !prompt.empty()) prompt = prompt.front();
    const std::string promptText = prompt.is_string() ? prompt.get<std::string>() : Dump(prompt);
    const auto [pieces, finish] = ReplyPieces(body, promptText);
    const int choices = std::clamp(IntMember(body, "n", 1), 1, 10);
    const int completionTokens = static_cast<int>(pieces.size()) * choices;
    json head = {{"id", FService.FState->NextId("cmpl-")},
                 {"object", "text_completion"},
                 {"created", FNow},
                 {"model", body.at("model")}};
    const auto choice = [](int aIndex, const std::string& aText, const json& aFinish) {
      return json{{"text", aText}, {"index", aIndex}, {"logprobs", nullptr}, {"finish_reason", aFinish}};
    };
    if (body.value("stream", false)) {
      return Stream(
          body, head, pieces, Usage(CountTokens(promptText), completionTokens), choices, nullptr,
          [&](int aIndex, const std::string& aPiece) { return choice(aIndex, aPiece, nullptr); },
          [&, finish = finish](int aIndex) { return choice(aIndex, "", finish); });
    }
    json all = json::array();
    for (int index = 0; index < choices; ++index) all.push_back(choice(index, Join(pieces), finish));
    head["choices"] = all;
    head["usage"] = Usage(CountTokens(promptText), completionTokens);
    Send(head);
  }

  // A streamed answer: server-sent events, each written in two parts.
  void Stream(const json& aBody, const json& aHead, const std::vector<std::string>& aPieces, const json& aUsage,
              int aChoices, const std::function<json(int)>& aFirst,
              const std::function<json(int, const std::string&)>& aPiece, const std::function<json(int)>& aLast) {
    const bool withUsage = aBody.value("stream_options", json::object()).value("include_usage", false);
    const auto event = [&](const json& aChoices, const json& aUsageValue = nullptr) {
      json chunk = aHead;
      chunk["choices"] = aChoices;
      if (withUsage) chunk["usage"] = aUsageValue;
      return "data: " + Dump(chunk) + "\n\n";
    };
    const TStreamEnd end = FAnswer.StreamEnd;
    size_t pieceCount = aPieces.size();
    if (end == TStreamEnd::ErrorEvent) pieceCount = std::min<size_t>(pieceCount, 1);
    if (end == TStreamEnd::CutOff || end == TStreamEnd::Dropped) pieceCount /= 2;

    std::vector<std::string> events;
    if (aFirst) {
      for (int index = 0; index < aChoices; ++index) events.push_back(event(json::array({aFirst(index)})));
    }
    for (size_t piece = 0; piece < pieceCount; ++piece) {
      for (int index = 0; index < aChoices; ++index)
        events.push_back(event(json::array({aPiece(index, aPieces[piece])})));
    }
    if (end == TStreamEnd::ErrorEvent)
      events.push_back("data: " + Dump(ErrorBody(kServerErrorMessage, "server_error")) + "\n\n");
    if (end == TStreamEnd::Done) {
      for (int index = 0; index < aChoices; ++index) events.push_back(event(json::array({aLast(index)})));
      if (withUsage) events.push_back(event(json::array(), aUsage));
      events.push_back("data: [DONE]\n\n");
    }

    FExchange.BeginStream(200, Headers("text/event-stream; charset=utf-8"));
    const int pause = FService.FOptions.StreamPauseMs;
    for (const std::string& text : events) {
      // Cut inside the first multi-byte character, else at an odd place.
      const auto lead = std::find_if(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) >= 0xC0; });
      const size_t cut = lead != text.end() ? static_cast<size_t>(lead - text.begin()) + 1 : (text.size() / 3) | 1;
      for (std::string_view part : {std::string_view(text).substr(0, cut), std::string_view(text).substr(cut)}) {
        FExchange.Write(part);
        if (pause > 0 && !FExchange.Pause(pause)) return FExchange.Drop();
      }
    }
    if (end == TStreamEnd::Dropped) return FExchange.Drop();
    FExchange.EndStream();
  }

  void Edit() {
    const json body = JsonBody();
    Require(body, {"model", "instruction"});
    const std::string input = body.value("input", "");
    const std::string text = FAnswer.Content ? *FAnswer.Content : FService.Reply(input);
    const int prompt = CountTokens(body.at("instruction").get<std::string>()) + CountTokens(input);
    Send({{"object", "edit"},
          {"created", FNow},
          {"choices", json::array({{{"text", text}, {"index", 0}}})},
          {"usage", Usage(prompt, CountTokens(text))}});
  }

  void Images(const json& aBody, std::string_view aRequired, std::string_view aAlsoRequired = {}) {
    Require(aBody, {aRequired});
    if (!aAlsoRequired.empty()) Require(aBody, {aAlsoRequired});
    const bool base64 = aBody.value("response_format", "url") == "b64_json";
    json data = json::array();
    for (int index = std::clamp(IntMember(aBody, "n", 1), 1, 10); index > 0; --index) {
      if (base64) {
        data.push_back({{"b64_json", kImageBase64}});
      } else {
        data.push_back({{"url", "https://images.qtx.example/" + FService.FState->NextId("img-") + ".png"}});
      }
    }
    Send({{"created", FNow}, {"data", data}});
  }

  void Embeddings() {
    const json body = JsonBody();
    Require(body, {"model", "input"});
    const json input = body.at("input");
    const json inputs = input.is_array() && !input.empty() && !input.front().is_number() ? input : json::array({input});
    const bool base64 = body.value("encoding_format", "float") == "base64";
    json data = json::array();
    int tokens = 0;
    for (const json& item : inputs) {
      const std::string text = item.is_string() ? item.get<std::string>() : Dump(item);
      tokens += CountTokens(text);
      const std::vector<float> vector = Embedding(text);
      json embedding = json::array();
      if (base64) {
        std::vector<uint8_t> bytes(vector.size() * sizeof(float));
        std::memcpy(bytes.data(), vector.data(), bytes.size());  // little-endian float32, as the service sends
        embedding = Base64(bytes.data(), bytes.size());
      } else {
        for (float value : vector) embedding.push_back(static_cast<double>(value));
      }
      data.push_back({{"object", "embedding"}, {"index", data.size()}, {"embedding", embedding}});
    }
    Send({{"object", "list"},
          {"data", data},
          {"model", body.at("model")},
          {"usage", {{"prompt_tokens", tokens}, {"total_tokens", tokens}}}});
  }

  void Audio(std::string_view aTask) {
    const json body = FormBody();
    Require(body, {"file", "model"});
    const std::string text = std::string(aTask) + " of " + body["file"]["filename"].get<std::string>() + " (" +
                             std::to_string(body["file"]["bytes"].get<size_t>()) + " bytes)";
    const std::string format = body.value("response_format", "json");
    if (format == "text") return Send(200, text + "\n", "text/plain; charset=utf-8");
    if (format != "json") Fail(400, "Invalid value for 'response_format': '" + format + "'.", "response_format");
    Send({{"text", text}});
  }

  void ListModels() {
    json data = json::array();
    for (const TKnownModel& model : kModels)
      data.push_back(ModelJson(std::string(model.Id), model.Created, model.Owner));
    Send({{"object", "list"}, {"data", data}});
  }

  static TFile Found(std::optional<TFile> aFile, const std::string& aId) {
    if (!aFile) Fail(404, "No such File object: " + aId, "id");
    return std::move(*aFile);
  }
  TFile File(const std::string& aId) const { return Found(FService.FState->FindFile(aId), aId); }

  static TFineTune Found(std::optional<TFineTune> aFineTune, const std::string& aId) {
    if (!aFineTune) Fail(404, "No fine-tune job: " + aId, "fine_tune_id");
    return std::move(*aFineTune);
  }
  TFineTune FineTune(const std::string& aId) const { return Found(FService.FState->FindFineTune(aId), aId); }

  void UploadFile() {
    const json body = FormBody();
    Require(body, {"file", "purpose"});
    const TFile file{FService.FState->NextId("file-"), body["file"]["filename"].get<std::string>(),
                     body["purpose"].get<std::string>(), FFileParts["file"], FNow};
    FService.FState->AddFile(file);
    Send(file.Json());
  }

  void DeleteFile(const std::string& aId) {
    File(aId);
    FService.FState->RemoveFile(aId);
    Send({{"id", aId}, {"object", "file"}, {"deleted", true}});
  }

  void CreateFineTune() {
    const json body = JsonBody();
    Require(body, {"training_file"});
    const std::string fileId = body.at("training_file").get<std::string>();
    const std::optional<TFile> file = FService.FState->FindFile(fileId);
    if (!file) Fail(400, "No such File object: " + fileId, "training_file");
    TFineTune fineTune{
        FService.FState->NextId("ft-"), body.value("model", "curie"), file->Json(), FNow, FNow, "pending", nullptr};
    fineTune.AddEvent(FNow, "Created fine-tune: " + fineTune.Id);
    FService.FState->AddFineTune(fineTune);
    Send(fineTune.Json(true));
  }

  void CancelFineTune(const std::string& aId) {
    const TFineTune fineTune = Found(FService.FState->ChangeFineTune(aId,
                                                                     [&](TFineTune& aFineTune) {
                                                                       aFineTune.Status = "cancelled";
                                                                       aFineTune.UpdatedAt = FNow;
                                                                       aFineTune.AddEvent(FNow, "Fine-tune cancelled");
                                                                     }),
                                     aId);
    Send(fineTune.Json(true));
  }

  void Moderation() {
    const json body = JsonBody();
    Require(body, {"input"});
    const json input = body.at("input");
    json results = json::array();
    for (const json& item : input.is_array() ? input : json::array({input})) {
      results.push_back(ModerationResult(item.is_string() ? item.get<std::string>() : Dump(item)));
    }
    Send({{"id", FService.FState->NextId("modr-")},
          {"model", body.value("model", "text-moderation-005")},
          {"results", results}});
  }

  TTestOpenAIService& FService;
  const TTestHttpRequest& FRequest;
  TTestHttpExchange& FExchange;
  TOpenAIAnswer FAnswer;
  int64_t FNow;
  std::map<std::string, TBytes> FFileParts;  // the file parts of a form, by field name
};

TTestOpenAIService::TTestOpenAIService(TOpenAIServiceOptions aOptions)
    : FOptions(std::move(aOptions)), FState(std::make_unique<TState>()) {
  TFile sample{std::string(kSampleFileId), "training.jsonl", "fine-tune",
               TBytes(kSampleTrainingData.begin(), kSampleTrainingData.end()), kSampleCreated};
  TFineTune fineTune{
      std::string(kSampleFineTuneId), "curie", sample.Json(), kSampleCreated, kSampleCreated + 60, "running", nullptr};
  fineTune.AddEvent(kSampleCreated, "Created fine-tune: " + fineTune.Id);
  fineTune.AddEvent(kSampleCreated + 60, "Fine-tune started");
  FState->AddFile(sample);
  FState->AddFineTune(fineTune);
  FServer = std::make_unique<TTestHttpServer>(
      [this](const TTestHttpRequest& aRequest, TTestHttpExchange& aExchange) { Handle(aRequest, aExchange); },
      FOptions.Port, FOptions.Record);
}

TTestOpenAIService::~TTestOpenAIService() { FServer->Stop(); }

void TTestOpenAIService::Program(TOpenAIAnswer aAnswer) {
  std::lock_guard guard(FLock);
  FProgrammed.push_back(std::move(aAnswer));
}

std::optional<TOpenAIAnswer> TTestOpenAIService::NextProgrammed() {
  std::lock_guard guard(FLock);
  if (FProgrammed.empty()) return std::nullopt;
  TOpenAIAnswer answer = std::move(FProgrammed.front());
  FProgrammed.pop_front();
  return answer;
}

void TTestOpenAIService::Handle(const TTestHttpRequest& aRequest, TTestHttpExchange& aExchange) {
  TOpenAIAnswer answer = NextProgrammed().value_or(TOpenAIAnswer{});
  if (answer.DelayMs > 0 && !aExchange.Pause(answer.DelayMs)) return aExchange.Drop();
  if (answer.Close) return aExchange.Drop();
  TCall(*this, aRequest, aExchange, std::move(answer)).Run();
}

std::string TTestOpenAIService::Reply(std::string_view aUserText) const {
  return FOptions.Reply ? FOptions.Reply(aUserText) : "You said: " + std::string(aUserText);
}

std::vector<std::string> TTestOpenAIService::Pieces(std::string_view aText) {
  constexpr size_t kMaxWordCharacters = 6;
  std::vector<std::string> pieces;
  std::string blanks;
  size_t at = 0;
  while (at < aText.size()) {
    const uint8_t lead = static_cast<uint8_t>(aText[at]);
    if (lead == ' ') {
      blanks += ' ';
      ++at;
      continue;
    }
    const bool word = lead >= 0x80 || std::isalnum(lead) != 0;
    std::string piece = std::move(blanks);
    blanks.clear();
    size_t characters = 0;
    do {
      const size_t length = std::min(SequenceLength(static_cast<uint8_t>(aText[at])), aText.size() - at);
      piece += aText.substr(at, length);
      at += length;
      ++characters;
    } while (word && characters < kMaxWordCharacters && at < aText.size() &&
             (static_cast<uint8_t>(aText[at]) >= 0x80 || std::isalnum(static_cast<uint8_t>(aText[at])) != 0));
    pieces.push_back(std::move(piece));
  }
  if (!blanks.empty()) pieces.push_back(blanks);
  return pieces;
}

}  // namespace qtx::test
