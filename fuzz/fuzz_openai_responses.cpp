// The OpenAI response objects over any answer text. The first byte picks the
// class; the rest is the answer. Reading may refuse a member that does not
// convert to its field's type (EVariantTypeCastError) and nothing else; the
// children read on first use are read too, and the text fields are UTF-8.

#include "openai/qtxHTTP_API_OpenAI_Responses.h"
#include "platform/qtxException.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

void CheckText(const std::string& aText) { QTX_FUZZ_CHECK(IsValidUtf8(aText)); }

void ReadChat(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_ChatCompletion>(aJSON);
  CheckText(answer.Id());
  for (const auto& choice : answer.Choices()) {
    CheckText(choice->FinishReason());
    CheckText(choice->_Message().Role());
    CheckText(choice->_Message().Content());
  }
  (void)answer.Usage().TotalTokens();
}

void ReadCompletion(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Completion>(aJSON);
  for (const auto& choice : answer.Choices()) CheckText(choice->Text());
  (void)answer.Usage().TotalTokens();
}

void ReadEdit(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Edit>(aJSON);
  for (const auto& choice : answer.Choices()) CheckText(choice->Text());
  (void)answer.Usage().TotalTokens();
}

void ReadImage(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Image>(aJSON);
  for (const auto& image : answer.Data()) CheckText(image->Url());
}

void ReadEmbeddings(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Embeddings>(aJSON);
  for (const auto& data : answer.Data()) (void)data->Embedding().size();
  (void)answer.Usage().TotalTokens();
}

void ReadModels(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Models>(aJSON);
  for (const auto& model : answer.Data())
    for (const auto& permission : model->Permission()) CheckText(permission->Organization());
}

void ReadFiles(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Files>(aJSON);
  for (const auto& file : answer.Data()) CheckText(file->Filename());
}

void ReadDelete(std::string_view aJSON) { CheckText(MakeResponse<TqtxOpenAIClass_Response_Delete>(aJSON).Id()); }

void ReadFineTunes(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_FineTunes>(aJSON);
  for (const auto& tune : answer.Data()) {
    (void)tune->Hyperparams().NEpochs();
    for (const auto& event : tune->Events()) CheckText(event->_Message());
  }
}

void ReadFineTuneEvents(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_FineTune_Events>(aJSON);
  for (const auto& event : answer.Data()) CheckText(event->Level());
}

void ReadModeration(std::string_view aJSON) {
  const auto answer = MakeResponse<TqtxOpenAIClass_Response_Moderation>(aJSON);
  for (const auto& result : answer.Results()) {
    (void)result->Categories().Hate();
    (void)result->CategoryScores().Violence();
  }
}

void ReadTranscription(std::string_view aJSON) {
  CheckText(MakeResponse<TqtxOpenAIClass_Response_Transcription>(aJSON).Text());
}

void ReadTranslation(std::string_view aJSON) {
  CheckText(MakeResponse<TqtxOpenAIClass_Response_Translation>(aJSON).Text());
}

constexpr void (*kReaders[])(std::string_view) = {
    ReadChat,      ReadCompletion, ReadEdit,          ReadImage,          ReadEmbeddings,
    ReadModels,    ReadFiles,      ReadDelete,        ReadFineTunes,      ReadFineTuneEvents,
    ReadModeration, ReadTranscription, ReadTranslation,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const auto reader = kReaders[aData[0] % std::size(kReaders)];
  const std::string json = fuzz::Text(fuzz::Chars(aData + 1, aSize - 1));
  try {
    reader(json);
  } catch (const EVariantTypeCastError&) {
  }
  return 0;
}
