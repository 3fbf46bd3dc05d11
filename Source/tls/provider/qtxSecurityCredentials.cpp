#include "tls/provider/qtxSecurityCredentials.h"

#include <gnutls/x509.h>

namespace qtx {
namespace {

struct TProtocolName {
  uint32_t Bit;
  const char* Name;
};
// SSL 3.0 has no entry: it is never negotiated, whatever the settings say.
constexpr TProtocolName kProtocols[] = {{SP_PROT_TLS1_3_CLIENT, "VERS-TLS1.3"},
                                        {SP_PROT_TLS1_2_CLIENT, "VERS-TLS1.2"},
                                        {SP_PROT_TLS1_1_CLIENT, "VERS-TLS1.1"},
                                        {SP_PROT_TLS1_0_CLIENT, "VERS-TLS1.0"}};

struct TCipherNames {
  ALG_ID Algorithm;
  const char* Names;  // GnuTLS's bulk ciphers for it, each with its "+"
};
constexpr TCipherNames kCiphers[] = {
    {CALG_AES_128, ":+AES-128-GCM:+AES-128-CCM:+AES-128-CBC"},
    {CALG_AES_256, ":+AES-256-GCM:+AES-256-CCM:+AES-256-CBC"},
    {CALG_AES, ":+AES-128-GCM:+AES-128-CCM:+AES-128-CBC:+AES-256-GCM:+AES-256-CCM:+AES-256-CBC"},
    {CALG_3DES, ":+3DES-CBC"},
    {CALG_RC4, ":+ARCFOUR-128"}};

}  // namespace

std::string TSecurityCredentials::PriorityString(uint32_t aDisabledProtocols, const ALG_ID* aAlgorithms,
                                                 uint32_t aCount) {
  std::string priority = "NORMAL:-VERS-SSL3.0";
  uint32_t allTLS = 0;
  for (const auto& protocol : kProtocols) allTLS |= protocol.Bit;
  if (aDisabledProtocols & allTLS) {
    // A restricted choice lists its versions, so that older ones the
    // defaults leave out are still offered when asked for.
    priority += ":-VERS-ALL";
    bool any = false;
    for (const auto& protocol : kProtocols) {
      if (aDisabledProtocols & protocol.Bit) continue;
      priority += std::string(":+") + protocol.Name;
      any = true;
    }
    if (!any) return {};
  }
  std::string ciphers;
  for (uint32_t i = 0; i < aCount; ++i)
    for (const auto& cipher : kCiphers)
      if (cipher.Algorithm == aAlgorithms[i]) ciphers += cipher.Names;
  if (!ciphers.empty()) priority += ":-CIPHER-ALL" + ciphers;
  return priority;
}

SECURITY_STATUS TSecurityCredentials::Acquire(const SCH_CREDENTIALS& aData,
                                              gnutls_certificate_retrieve_function2* aSelectCertificate,
                                              std::shared_ptr<TSecurityCredentials>& aCredentials) {
  if (aData.dwVersion != SCH_CREDENTIALS_VERSION) return SEC_E_UNSUPPORTED_FUNCTION;
  const uint32_t disabled = aData.cTlsParameters > 0 ? aData.pTlsParameters[0].grbitDisabledProtocols : 0;
  const std::string priority = PriorityString(disabled, aData.palgSupportedAlgs, aData.cSupportedAlgs);
  if (priority.empty()) return SEC_E_ALGORITHM_MISMATCH;

  std::shared_ptr<TSecurityCredentials> credentials(new TSecurityCredentials);
  credentials->FFlags = aData.dwFlags;
  if (gnutls_priority_init(&credentials->FPriority, priority.c_str(), nullptr) < 0) return SEC_E_ALGORITHM_MISMATCH;
  if (gnutls_certificate_allocate_credentials(&credentials->FCertificates) < 0) return SEC_E_INSUFFICIENT_MEMORY;
  gnutls_certificate_set_retrieve_function2(credentials->FCertificates, aSelectCertificate);
  if (aData.cCreds > 0 && !credentials->SetClientCertificate(aData.paCred[0])) return SEC_E_NO_CREDENTIALS;
  aCredentials = std::move(credentials);
  return SEC_E_OK;
}

bool TSecurityCredentials::SetClientCertificate(const PCCERT_CONTEXT& aCertificate) {
  if (!aCertificate || !aCertificate->PrivateKey()) return false;
  if (gnutls_privkey_init(&FClientKey) < 0 ||
      gnutls_privkey_import_x509(FClientKey, aCertificate->PrivateKey()->Handle(), GNUTLS_PRIVKEY_IMPORT_COPY) < 0)
    return false;
  // The chain goes with the certificate, up to (not including) a root.
  const PCCERT_CHAIN_CONTEXT chain = CertGetCertificateChain(aCertificate, aCertificate->hCertStore.get(), {});
  for (const PCCERT_CONTEXT& element : chain->Elements) {
    if (element != aCertificate && gnutls_x509_crt_check_issuer(element->Handle(), element->Handle())) break;
    gnutls_pcert_st pcert;
    if (gnutls_pcert_import_x509(&pcert, element->Handle(), 0) < 0) return false;
    FClientChain.push_back(pcert);
  }
  return true;
}

TSecurityCredentials::~TSecurityCredentials() {
  for (auto& pcert : FClientChain) gnutls_pcert_deinit(&pcert);
  if (FClientKey) gnutls_privkey_deinit(FClientKey);
  if (FCertificates) gnutls_certificate_free_credentials(FCertificates);
  if (FPriority) gnutls_priority_deinit(FPriority);
}

}  // namespace qtx
