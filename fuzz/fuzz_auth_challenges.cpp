// Basic, Digest and NTLM over any challenges. The first byte picks the
// scheme; the rest holds the challenge lines of two responses in a row (cut
// at a NUL). Each scheme weighs each challenge and answers it; an answer is
// one header value (UTF-8, no line break). Refusing a challenge is allowed:
// Digest with an unknown algorithm, NTLM with a challenge it cannot read.

#include "http/qtxIdAuthenticationBasic.h"
#include "http/qtxIdAuthenticationDigest.h"
#include "http/qtxIdAuthenticationNTLM.h"
#include "http/qtxIdNTLM.h"
#include "platform/qtxException.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

std::unique_ptr<TIdAuthentication> NewScheme(uint8_t aSelector) {
  switch (aSelector % 3) {
    case 0: return std::make_unique<TIdBasicAuthentication>();
    case 1: return std::make_unique<TIdDigestAuthentication>();
    default: return std::make_unique<TIdNTLMAuthentication>();
  }
}

void Answer(TIdAuthentication& aScheme, const std::string& aChallenges) {
  aScheme.AuthParams().SetText(aChallenges);
  for (int i = 0; i < aScheme.AuthParams().Count(); ++i) {
    TStringList params;
    ParseAuthChallengeParams(aScheme.AuthParams()[i], params);
  }
  if (aScheme.Next() != wnDoRequest) return;
  aScheme.SetRequest("GET", "/dir/index.html");
  const std::string answer = aScheme.Authentication();
  QTX_FUZZ_CHECK(IsValidUtf8(answer));
  QTX_FUZZ_CHECK(answer.find_first_of("\r\n") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const auto parts = fuzz::Split(fuzz::Chars(aData + 1, aSize - 1), 2);

  const std::unique_ptr<TIdAuthentication> scheme = NewScheme(aData[0]);
  scheme->SetUsername("Domain\\User");
  scheme->SetPassword("Password");
  try {
    for (const std::string_view challenges : parts) Answer(*scheme, fuzz::Text(challenges));
  } catch (const EIdInvalidAlgorithm&) {
  } catch (const EAbort&) {
  }

  // The NTLM challenge message itself, from any bytes.
  TIdNTLMChallenge challenge{};
  (void)ReadNTLMChallenge(fuzz::Bytes(parts[0]), challenge);
  return 0;
}
