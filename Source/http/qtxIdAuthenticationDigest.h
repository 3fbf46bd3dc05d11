#pragma once
// The Digest scheme (RFC 2617): MD5 and MD5-sess, qop "auth" and "auth-int",
// nonce counting per server nonce.

#include <cstdint>
#include <string>

#include "core/qtxIdException.h"
#include "http/qtxIdAuthentication.h"

namespace qtx {

// A challenge asks for a hash algorithm other than MD5 or MD5-sess.
class EIdInvalidAlgorithm : public EIdException {
public:
  EIdInvalidAlgorithm()
      : EIdException("Unsupported hash algorithm. This implementation supports only MD5 encoding.") {}
  using EIdException::EIdException;
};

class TIdDigestAuthentication : public TIdAuthentication {
public:
  TIdDigestAuthentication();

  // "Digest" before a challenge was read; afterwards the full answer, which
  // counts the nonce and returns the step to 0.
  std::string Authentication() override;
  int Steps() const override { return 1; }
  void SetRequest(const std::string& aMethod, const std::string& aUri) override;

  const std::string& Realm() const noexcept { return FRealm; }
  const std::string& Nonce() const noexcept { return FNonce; }
  int NonceCount() const noexcept { return FNonceCount; }
  const std::string& Opaque() const noexcept { return FOpaque; }
  bool Stale() const noexcept { return FStale; }
  const std::string& Algorithm() const noexcept { return FAlgorithm; }
  const TStringList& Domain() const noexcept { return FDomain; }
  const TStringList& QopOptions() const noexcept { return FQopOptions; }
  const std::string& Method() const noexcept { return FMethod; }
  const std::string& Uri() const noexcept { return FUri; }

protected:
  TIdAuthWhatsNext DoNext() override;
  // The client nonce of one answer: 16 bytes from the system's CSPRNG as 32
  // lower-case hexadecimal digits (never guessable, never repeated).
  virtual std::string NewClientNonce();

private:
  std::string FRealm;
  std::string FNonce;
  int FNonceCount = 0;
  std::string FOpaque;
  bool FStale = false;
  std::string FAlgorithm;
  TStringList FDomain;
  TStringList FQopOptions;
  std::string FMethod;
  std::string FUri;
  std::string FEntityBody;
};

}  // namespace qtx
