#include "http/qtxIdAuthenticationNTLM.h"

#include "core/qtxIdCoderMIME.h"
#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "http/qtxIdNTLM.h"
#include "platform/qtxComputerName.h"
#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

TIdNTLMAuthentication::TIdNTLMAuthentication() {
  if (!LoadNTLMCrypto()) throw EIdOSSLCouldNotLoadSSLLibrary();
}

void TIdNTLMAuthentication::Reset() {
  TIdAuthentication::Reset();
  FNTLMInfo.clear();
}

void TIdNTLMAuthentication::SetUsername(const std::string& aValue) {
  TIdAuthentication::SetUsername(aValue);
  const size_t slash = aValue.find('\\');
  if (slash == std::string::npos) {
    FDomain = " ";
    FUser = aValue;
  } else {
    FDomain = aValue.substr(0, slash);
    FUser = aValue.substr(slash + 1);
  }
}

TIdAuthWhatsNext TIdNTLMAuthentication::DoNext() {
  switch (FCurrentStep) {
    case 0:
      if (Username().empty()) return wnAskTheProgram;
      FCurrentStep = 1;
      return wnDoRequest;
    case 1:
    case 2:
      ++FCurrentStep;
      return wnDoRequest;
    default:
      Reset();
      return wnFail;
  }
}

std::string TIdNTLMAuthentication::Authentication() {
  if (FCurrentStep == 1) {
    FHost = GetComputerName();
    return "NTLM " + TIdEncoderMIME::EncodeBytes(BuildNTLMNegotiateMessage(FDomain, FHost));
  }
  if (FCurrentStep != 2) return std::string();

  if (FNTLMInfo.empty()) FNTLMInfo = ReadAuthInfo("NTLM");
  TIdNTLMChallenge challenge{};
  const std::string encoded = Trim(std::string_view(FNTLMInfo).substr(std::min<size_t>(FNTLMInfo.size(), 4)));
  if (encoded.empty() || !ReadNTLMChallenge(TIdDecoderMIME::DecodeBytes(encoded), challenge)) {
    Reset();
    throw EAbort();
  }
  return "NTLM " + TIdEncoderMIME::EncodeBytes(BuildNTLMAuthenticateMessage(challenge, FDomain, FUser, FHost, Password()));
}

}  // namespace qtx
