// The reader of streamed chat answers over arbitrary bytes. Oracle: what it
// hands out and raises does not depend on how the body is split into blocks;
// every piece is valid UTF-8; and the answer it assembles is a JSON object
// whose choices read back as the pieces joined.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>

#include "json/qtxJSONStrict.h"
#include "openai/qtxHTTP_API_OpenAI_Responses.h"
#include "openai/qtxHTTP_API_OpenAI_Stream.h"
#include "platform/qtxException.h"
#include "platform/qtxUnicode.h"

namespace {

struct TOutcome {
  std::map<int32_t, std::string> Text;
  std::string Raised;
  std::string Answer;
  bool operator==(const TOutcome&) const = default;
};

template <typename FeedAll>
TOutcome Read(FeedAll aFeedAll) {
  TOutcome outcome;
  qtx::TqtxOpenAIStreamReader reader(qtx::TqtxOpenAIStreamReader::TKind::Chat);
  reader.OnDelta = [&](int32_t aIndex, const std::string& aRole, const std::string& aPiece, bool&) {
    if (!qtx::IsValidUtf8(aRole) || !qtx::IsValidUtf8(aPiece)) std::abort();
    outcome.Text[aIndex] += aPiece;
  };
  try {
    aFeedAll(reader);
    reader.EndOfStream();
  } catch (const qtx::Exception& e) {
    outcome.Raised = e.Message();
  }
  outcome.Answer = reader.AnswerJSON();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::span<const uint8_t> input(aData, aSize);
  const TOutcome whole = Read([&](qtx::TqtxOpenAIStreamReader& aReader) { aReader.Feed(input); });
  // Blocks of 1 to 16 bytes, each block's length taken from its first byte.
  const TOutcome blocks = Read([&](qtx::TqtxOpenAIStreamReader& aReader) {
    for (size_t pos = 0; pos < input.size();) {
      const size_t length = std::min<size_t>(1 + input[pos] % 16, input.size() - pos);
      aReader.Feed(input.subspan(pos, length));
      pos += length;
    }
  });
  if (!(whole == blocks)) std::abort();

  if (whole.Answer.empty()) return 0;
  if (!qtx::IsJSONObjectText(whole.Answer)) std::abort();
  qtx::TqtxOpenAIClass_Response_ChatCompletion answer;
  try {
    answer.Read(whole.Answer);
  } catch (const qtx::EVariantTypeCastError&) {
    return 0;  // a "created" beyond the answer's 32-bit field, as in an unstreamed answer
  }
  for (const auto& choice : answer.Choices()) {
    const auto text = whole.Text.find(choice->_Index());
    if (choice->_Message().Content() != (text == whole.Text.end() ? "" : text->second)) std::abort();
  }
  return 0;
}
