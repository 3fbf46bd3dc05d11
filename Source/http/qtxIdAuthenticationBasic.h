#pragma once
// The Basic scheme: user name and password in Base64, in the charset the
// server asks for.

#include <string>

#include "http/qtxIdAuthentication.h"

namespace qtx {

class TIdBasicAuthentication : public TIdAuthentication {
public:
  // "Basic " and the Base64 of user name ":" password, converted with the
  // charset's encoding (byte for byte while no charset is known).
  std::string Authentication() override;
  int Steps() const override { return 1; }

  const std::string& Realm() const noexcept { return FRealm; }
  void SetRealm(std::string aValue) { FRealm = std::move(aValue); }
  const std::string& Charset() const noexcept { return FCharset; }
  void SetCharset(std::string aValue) { FCharset = std::move(aValue); }

protected:
  // Step 0 reads realm and charset and retries while a user name is known;
  // the step is never advanced here, so the engine's retry limit ends the loop.
  TIdAuthWhatsNext DoNext() override;

private:
  std::string FRealm;
  std::string FCharset;
};

}  // namespace qtx
