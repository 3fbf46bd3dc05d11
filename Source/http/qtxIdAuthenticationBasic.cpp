#include "http/qtxIdAuthenticationBasic.h"

#include "core/qtxIdCoderMIME.h"
#include "core/qtxIdTextEncoding.h"

namespace qtx {

std::string TIdBasicAuthentication::Authentication() {
  const TIdBytes credentials = CharsetToEncoding(FCharset)->GetBytes(Username() + ":" + Password());
  return "Basic " + TIdEncoderMIME::EncodeBytes(credentials);
}

TIdAuthWhatsNext TIdBasicAuthentication::DoNext() {
  if (FCurrentStep != 0) return wnFail;
  TStringList challenge;
  ParseChallenge("Basic", challenge);
  FRealm = challenge.Values("realm");
  FCharset = "ISO-8859-1";
  for (const char* name : {"charset", "accept-charset", "encoding", "enc"}) {
    const std::string value = challenge.Values(name);
    if (!value.empty()) {
      FCharset = value;
      break;
    }
  }
  return Username().empty() ? wnAskTheProgram : wnDoRequest;
}

}  // namespace qtx
