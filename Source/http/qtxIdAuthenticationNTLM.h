#pragma once
// The NTLM scheme computed in the library (NTLM version 1): negotiate, read
// the server challenge, answer with LM and NT responses.

#include <string>

#include "http/qtxIdAuthentication.h"

namespace qtx {

class TIdNTLMAuthentication : public TIdAuthentication {
public:
  // EIdOSSLCouldNotLoadSSLLibrary when libcrypto (its DES and MD4) cannot be loaded.
  TIdNTLMAuthentication();

  // Step 1: the negotiate message; step 2: the authenticate message for the
  // server's challenge (a missing or malformed challenge resets the object
  // and abandons the request silently).
  std::string Authentication() override;
  int Steps() const override { return 3; }
  bool KeepAlive() const override { return true; }
  void Reset() override;
  // "domain\user" sets both; without "\" the domain is a single space.
  void SetUsername(const std::string& aValue) override;

  const std::string& User() const noexcept { return FUser; }
  const std::string& Domain() const noexcept { return FDomain; }
  const std::string& Host() const noexcept { return FHost; }

protected:
  TIdAuthWhatsNext DoNext() override;

private:
  std::string FNTLMInfo;
  std::string FUser;
  std::string FDomain;
  std::string FHost;
};

}  // namespace qtx
