// The certificate side of an SChannel connection: the client certificate a
// server asks for, and the check of the server's certificate.

#include <fstream>
#include <iterator>

#include "platform/qtxSysUtils.h"
#include "tls/qtxSSL_SChannelInfo.h"
#include "tls/qtxSSL_SChannelTexts.h"

namespace qtx {

using namespace schannel_texts;

namespace {

constexpr size_t kCertHashLength = 40;

TBytes ReadFileBytes(const std::string& aFileName) {
  std::ifstream file(aFileName, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

// Called when the server asks for a client certificate: by thumbprint from a
// store, from a PFX file, or the first in "MY" issued by a CA the server
// accepts. Finding none there is no failure: the handshake goes on without
// one, and the server decides.
bool TSSLInfo::ObtainClientCredentials() {
  if (!Certificate.CertHash().empty()) {
    const std::string& hash = Certificate.CertHash();
    if (hash.size() != kCertHashLength) return Fail(Format(RSInvalidHashLength, {kCertHashLength}));
    const char* storeName = CertStoreNameText(Certificate.CertStoreName());
    const HCERTSTORE store =
        CertOpenStore(CertStoreLocation(Certificate.CertStorePath()) | CERT_STORE_OPEN_EXISTING_FLAG |
                          CERT_STORE_READONLY_FLAG,
                      storeName);
    if (!store) return Fail(std::string(RSCannotOpenStore));
    TBytes thumbprint;
    if (!CryptStringToBinary(hash, thumbprint)) return Fail(std::string(RSCryptStringToBinary));
    const PCCERT_CONTEXT certificate = CertFindCertificateInStore(*store, thumbprint);
    if (!certificate) return Fail(Format(RSCertificateNotFound, {storeName, hash}));
    return TryClientCertificate(certificate);
  }
  if (!Certificate.CertFile().empty()) {
    const TBytes pfx = ReadFileBytes(Certificate.CertFile());
    const std::string& password = Certificate.CertFilePassword();
    HCERTSTORE store = PFXImportCertStore(pfx, password.c_str());
    if (!store && password.empty()) store = PFXImportCertStore(pfx, nullptr);
    const std::vector<PCCERT_CONTEXT> certificates = store ? store->Certificates() : std::vector<PCCERT_CONTEXT>{};
    if (certificates.empty()) return Fail(std::string(RSCannotImport));
    return TryClientCertificate(certificates.front());
  }
  if (CredentialsCallback) CredentialsCallback();
  SecPkgContext_IssuerListInfoEx issuerList{};
  FLastStatus = FTable->QueryContextAttributes(&FContext, SECPKG_ATTR_ISSUER_LIST_EX, &issuerList);
  if (FLastStatus != SEC_E_OK) return Fail(std::string(RSIssuerList) + IntToHex(static_cast<uint32_t>(FLastStatus), 8));
  std::vector<TBytes> issuers;
  for (uint32_t i = 0; i < issuerList.cIssuers; ++i)
    issuers.emplace_back(issuerList.aIssuers[i].pbData, issuerList.aIssuers[i].pbData + issuerList.aIssuers[i].cbData);
  const std::vector<PCCERT_CHAIN_CONTEXT> chains = CertFindChainInStore(*MyStore, szOID_PKIX_KP_CLIENT_AUTH, issuers);
  if (chains.empty()) {
    Fail(std::string(RSFindChainInStore));
    return true;
  }
  for (const PCCERT_CHAIN_CONTEXT& chain : chains)
    if (TryClientCertificate(chain->Elements.front())) return true;
  return true;
}

bool TSSLInfo::TryClientCertificate(const PCCERT_CONTEXT& aCertificate) {
  const SECURITY_STATUS status = AcquireCredentials(aCertificate);
  if (status == SEC_E_OK) return true;
  FLastStatus = status;
  return Fail(std::string(RSAcquireCredentialsHandle) + IntToHex(static_cast<uint32_t>(status), 8));
}

bool TSSLInfo::VerifyServerCertificate() {
  PCCERT_CONTEXT certificate;
  FLastStatus = FTable->QueryContextAttributes(&FContext, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
  if (FLastStatus != SEC_E_OK)
    return Fail(std::string(RSRemoteCertificate) + IntToHex(static_cast<uint32_t>(FLastStatus), 8));
  const PCCERT_CHAIN_CONTEXT chain = CertGetCertificateChain(
      certificate, certificate->hCertStore.get(), {szOID_PKIX_KP_SERVER_AUTH, szOID_SERVER_GATED_CRYPTO, szOID_SGC_NETSCAPE});
  const uint32_t status = CertVerifyCertificateChainPolicy(*chain, FHostName);
  if (status == 0) return true;
  SChannelLastError().CertStatus = status;
  return Fail(std::string(RSChainPolicy) + IntToHex(status, 8));
}

}  // namespace qtx
