// Chains: built from the certificate towards an anchor, verified by GnuTLS,
// judged by the SSL policy, and searched by issuer for client certificates.

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>

#include "tls/provider/qtxCertificateStore.h"

namespace qtx {
namespace {

// Longer chains are not followed (a loop of cross-signed CAs ends here too).
constexpr size_t kMaxChainLength = 10;

bool Contains(const std::vector<PCCERT_CONTEXT>& aCertificates, const TCertContext& aCertificate) {
  return std::any_of(aCertificates.begin(), aCertificates.end(),
                     [&](const PCCERT_CONTEXT& c) { return c->Encoded() == aCertificate.Encoded(); });
}

// The trust anchors as a GnuTLS trust list (null when GnuTLS fails).
gnutls_x509_trust_list_t TrustListOf(const std::vector<PCCERT_CONTEXT>& aAnchors) {
  gnutls_x509_trust_list_t list;
  if (gnutls_x509_trust_list_init(&list, 0) < 0) return nullptr;
  std::vector<gnutls_x509_crt_t> copies;
  for (const auto& anchor : aAnchors) {
    gnutls_x509_crt_t copy;
    if (gnutls_x509_crt_init(&copy) < 0) continue;
    const gnutls_datum_t der{const_cast<unsigned char*>(anchor->Encoded().data()),
                             static_cast<unsigned>(anchor->Encoded().size())};
    if (gnutls_x509_crt_import(copy, &der, GNUTLS_X509_FMT_DER) < 0) {
      gnutls_x509_crt_deinit(copy);
      continue;
    }
    copies.push_back(copy);
  }
  // The list takes the copies (and frees those it does not keep).
  gnutls_x509_trust_list_add_cas(list, copies.data(), static_cast<unsigned>(copies.size()), 0);
  return list;
}

// GnuTLS's status bits for the path, for the first of aUsages it passes
// (or the first usage's status when it passes none).
unsigned VerifyPath(const std::vector<PCCERT_CONTEXT>& aPath, const std::vector<PCCERT_CONTEXT>& aAnchors,
                    std::initializer_list<const char*> aUsages) {
  gnutls_x509_trust_list_t list = TrustListOf(aAnchors);
  if (!list) return GNUTLS_CERT_INVALID;
  std::vector<gnutls_x509_crt_t> path;
  for (const auto& certificate : aPath) path.push_back(certificate->Handle());
  const auto verify = [&](const char* aUsage) {
    gnutls_typed_vdata_st purpose{GNUTLS_DT_KEY_PURPOSE_OID,
                                  reinterpret_cast<unsigned char*>(const_cast<char*>(aUsage)), 0};
    unsigned status = 0;
    if (gnutls_x509_trust_list_verify_crt2(list, path.data(), static_cast<unsigned>(path.size()),
                                           aUsage ? &purpose : nullptr, aUsage ? 1 : 0, 0, &status, nullptr) < 0)
      status = GNUTLS_CERT_INVALID;
    return status;
  };
  unsigned result = aUsages.size() == 0 ? verify(nullptr) : 0;
  for (const char* usage : aUsages) {
    const unsigned status = verify(usage);
    if (usage == *aUsages.begin() || !(status & GNUTLS_CERT_PURPOSE_MISMATCH)) result = status;
    if (!(status & GNUTLS_CERT_PURPOSE_MISMATCH)) break;
  }
  gnutls_x509_trust_list_deinit(list, 1);
  return result;
}

bool IssuedByOneOf(const TCertChainContext& aChain, const std::vector<TBytes>& aIssuers) {
  if (aIssuers.empty()) return true;
  for (const auto& element : aChain.Elements) {
    const TBytes issuer = element->RawIssuer();
    if (std::find(aIssuers.begin(), aIssuers.end(), issuer) != aIssuers.end()) return true;
  }
  return false;
}

}  // namespace

PCCERT_CHAIN_CONTEXT CertGetCertificateChain(const PCCERT_CONTEXT& aCertificate, const TCertStore* aAdditional,
                                             std::initializer_list<const char*> aUsages) {
  const std::vector<PCCERT_CONTEXT> anchors = TCertStore(CERT_SYSTEM_STORE_CURRENT_USER, "Root").Certificates();
  std::vector<PCCERT_CONTEXT> candidates;
  if (aAdditional) candidates = aAdditional->Certificates();
  for (auto& intermediate : TCertStore(CERT_SYSTEM_STORE_CURRENT_USER, "CA").Certificates())
    candidates.push_back(std::move(intermediate));
  candidates.insert(candidates.end(), anchors.begin(), anchors.end());

  auto chain = std::make_shared<TCertChainContext>();
  chain->Elements.push_back(aCertificate);
  while (chain->Elements.size() < kMaxChainLength) {
    gnutls_x509_crt_t current = chain->Elements.back()->Handle();
    if (gnutls_x509_crt_check_issuer(current, current)) break;  // self-signed: the top
    const auto issuer = std::find_if(candidates.begin(), candidates.end(), [&](const PCCERT_CONTEXT& c) {
      return gnutls_x509_crt_check_issuer(current, c->Handle()) && !Contains(chain->Elements, *c);
    });
    if (issuer == candidates.end()) break;
    chain->Elements.push_back(*issuer);
  }
  chain->TrustStatus = VerifyPath(chain->Elements, anchors, aUsages);
  return chain;
}

uint32_t CertVerifyCertificateChainPolicy(const TCertChainContext& aChain, const std::string& aServerName) {
  const unsigned status = aChain.TrustStatus;
  if (status & GNUTLS_CERT_REVOKED) return CRYPT_E_REVOKED;
  if (status & (GNUTLS_CERT_SIGNATURE_FAILURE | GNUTLS_CERT_INSECURE_ALGORITHM)) return TRUST_E_CERT_SIGNATURE;
  if (status & GNUTLS_CERT_SIGNER_NOT_FOUND) return CERT_E_UNTRUSTEDROOT;
  if (status & (GNUTLS_CERT_SIGNER_NOT_CA | GNUTLS_CERT_SIGNER_CONSTRAINTS_FAILURE)) return CERT_E_ROLE;
  if (status & (GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED)) return CERT_E_EXPIRED;
  if (status & GNUTLS_CERT_PURPOSE_MISMATCH) return CERT_E_WRONG_USAGE;
  if (status != 0) return TRUST_E_FAIL;
  if (!aServerName.empty() && !gnutls_x509_crt_check_hostname2(aChain.Elements.front()->Handle(),
                                                                aServerName.c_str(), 0))
    return CERT_E_CN_NO_MATCH;
  return 0;
}

std::vector<PCCERT_CHAIN_CONTEXT> CertFindChainInStore(const TCertStore& aStore, const char* aUsage,
                                                       const std::vector<TBytes>& aIssuers) {
  // The store is read once; its certificates may be each other's issuers.
  TCertStore snapshot;
  for (auto& certificate : aStore.Certificates()) snapshot.Add(std::move(certificate));
  std::vector<PCCERT_CHAIN_CONTEXT> chains;
  for (const auto& certificate : snapshot.Certificates()) {
    if (!certificate->PrivateKey() || !certificate->AllowsUsage(aUsage)) continue;
    PCCERT_CHAIN_CONTEXT chain = CertGetCertificateChain(certificate, &snapshot, {aUsage});
    if (IssuedByOneOf(*chain, aIssuers)) chains.push_back(std::move(chain));
  }
  return chains;
}

}  // namespace qtx
