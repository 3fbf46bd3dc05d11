#pragma once
// The credentials behind a credentials handle: the GnuTLS priorities that
// the protocol and cipher choice make, and the client certificate with its
// key when one was given.

#include <memory>
#include <string>
#include <vector>

#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>

#include "tls/provider/qtxSecurityProvider.h"

namespace qtx {

class TSecurityCredentials {
public:
  // SEC_E_OK with aCredentials set, or the failure: SEC_E_ALGORITHM_MISMATCH
  // when the settings leave no protocol, SEC_E_NO_CREDENTIALS for a
  // certificate without a usable private key.
  // aSelectCertificate answers GnuTLS's request for a client certificate.
  static SECURITY_STATUS Acquire(const SCH_CREDENTIALS& aData, gnutls_certificate_retrieve_function2* aSelectCertificate,
                                 std::shared_ptr<TSecurityCredentials>& aCredentials);
  ~TSecurityCredentials();
  TSecurityCredentials(const TSecurityCredentials&) = delete;
  TSecurityCredentials& operator=(const TSecurityCredentials&) = delete;

  uint32_t Flags() const noexcept { return FFlags; }
  gnutls_priority_t Priority() const noexcept { return FPriority; }
  gnutls_certificate_credentials_t Certificates() const noexcept { return FCertificates; }
  // The client certificate's chain (the certificate first) and key; an
  // empty chain when the credentials hold none.
  gnutls_pcert_st* ClientChain() noexcept { return FClientChain.data(); }
  unsigned ClientChainLength() const noexcept { return static_cast<unsigned>(FClientChain.size()); }
  gnutls_privkey_t ClientKey() const noexcept { return FClientKey; }

  // The GnuTLS priority string for the protocols not disabled and the
  // allowed bulk ciphers; empty when no protocol is left.
  static std::string PriorityString(uint32_t aDisabledProtocols, const ALG_ID* aAlgorithms, uint32_t aCount);

private:
  TSecurityCredentials() = default;
  bool SetClientCertificate(const PCCERT_CONTEXT& aCertificate);

  uint32_t FFlags = 0;
  gnutls_priority_t FPriority = nullptr;
  gnutls_certificate_credentials_t FCertificates = nullptr;
  std::vector<gnutls_pcert_st> FClientChain;
  gnutls_privkey_t FClientKey = nullptr;
};

}  // namespace qtx
