#pragma once
// Certificates, certificate stores and chains in the shape the SChannel TLS
// channel uses them (the CryptoAPI shape), over GnuTLS's X.509 routines.
//
// A system store is a folder of PEM and PFX files, read afresh on every
// look-up, so certificates added while the program runs are found:
//   current user   $XDG_DATA_HOME/qtx/certs/<Store>  (default ~/.local/share/qtx/certs/<Store>)
//   machine        /etc/qtx/certs/<Store>
// The current user's "Root" and "CA" also show the machine's, and "Root"
// also holds the system's trust store. Chains are built from the
// certificates the peer sent, "CA" (intermediates) and "Root" (anchors).

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qtxTypes.h"

struct gnutls_x509_crt_int;
struct gnutls_x509_privkey_int;

namespace qtx {

// Store locations and open flags.
constexpr uint32_t CERT_SYSTEM_STORE_CURRENT_USER = 0x10000;
constexpr uint32_t CERT_SYSTEM_STORE_LOCAL_MACHINE = 0x20000;
constexpr uint32_t CERT_STORE_READONLY_FLAG = 0x8000;
constexpr uint32_t CERT_STORE_OPEN_EXISTING_FLAG = 0x4000;

// Outcomes of a chain's policy check (0: the chain passes).
constexpr uint32_t CERT_E_EXPIRED = 0x800B0101;
constexpr uint32_t CERT_E_ROLE = 0x800B0103;
constexpr uint32_t CERT_E_UNTRUSTEDROOT = 0x800B0109;
constexpr uint32_t TRUST_E_FAIL = 0x800B010B;
constexpr uint32_t CERT_E_CN_NO_MATCH = 0x800B010F;
constexpr uint32_t CERT_E_WRONG_USAGE = 0x800B0110;
constexpr uint32_t TRUST_E_CERT_SIGNATURE = 0x80096004;
constexpr uint32_t CRYPT_E_REVOKED = 0x80092010;

// Enhanced key usages.
constexpr const char* szOID_PKIX_KP_SERVER_AUTH = "1.3.6.1.5.5.7.3.1";
constexpr const char* szOID_PKIX_KP_CLIENT_AUTH = "1.3.6.1.5.5.7.3.2";
constexpr const char* szOID_SERVER_GATED_CRYPTO = "1.3.6.1.4.1.311.10.3.3";
constexpr const char* szOID_SGC_NETSCAPE = "2.16.840.1.113730.4.1";

class TCertStore;

// A private key (PKCS#8, PKCS#1 or SEC1), owned.
class TPrivateKey {
public:
  explicit TPrivateKey(gnutls_x509_privkey_int* aKey) : FKey(aKey) {}
  ~TPrivateKey();
  TPrivateKey(const TPrivateKey&) = delete;
  TPrivateKey& operator=(const TPrivateKey&) = delete;
  gnutls_x509_privkey_int* Handle() const noexcept { return FKey; }

private:
  gnutls_x509_privkey_int* FKey;
};

// One certificate, with its private key when the store holds it.
class TCertContext {
public:
  // From DER; null when the bytes are no certificate.
  static std::shared_ptr<TCertContext> FromDER(const uint8_t* aData, size_t aSize);
  ~TCertContext();
  TCertContext(const TCertContext&) = delete;
  TCertContext& operator=(const TCertContext&) = delete;

  const TBytes& Encoded() const noexcept { return FEncoded; }
  gnutls_x509_crt_int* Handle() const noexcept { return FCert; }
  // The SHA-1 thumbprint of the encoded certificate.
  TBytes SHA1Hash() const;
  // The subject and issuer as DER names, and the subject as text (RFC 4514).
  TBytes RawSubject() const;
  TBytes RawIssuer() const;
  std::string Subject() const;
  // True when the certificate may be used for aUsage: it names the usage or
  // "any", or carries no enhanced key usage at all.
  bool AllowsUsage(std::string_view aUsage) const;

  const std::shared_ptr<TPrivateKey>& PrivateKey() const noexcept { return FPrivateKey; }
  void SetPrivateKey(std::shared_ptr<TPrivateKey> aKey) { FPrivateKey = std::move(aKey); }
  // The certificates that came with this one (a peer's chain), if any.
  std::shared_ptr<const TCertStore> hCertStore;

private:
  TCertContext(gnutls_x509_crt_int* aCert, TBytes aEncoded) : FCert(aCert), FEncoded(std::move(aEncoded)) {}

  gnutls_x509_crt_int* FCert;
  TBytes FEncoded;
  std::shared_ptr<TPrivateKey> FPrivateKey;
};

using PCCERT_CONTEXT = std::shared_ptr<const TCertContext>;

// A store: a system store (a folder, read on every look-up) or a store in
// memory (an imported PFX file, a peer's chain).
class TCertStore {
public:
  // A store in memory.
  TCertStore() = default;
  // The system store aName at aLocation.
  TCertStore(uint32_t aLocation, std::string aName) : FSystem(true), FLocation(aLocation), FName(std::move(aName)) {}

  // Every certificate, in the store's order.
  std::vector<PCCERT_CONTEXT> Certificates() const;
  void Add(PCCERT_CONTEXT aCertificate) { FCertificates.push_back(std::move(aCertificate)); }

private:
  bool FSystem = false;
  uint32_t FLocation = 0;
  std::string FName;
  std::vector<PCCERT_CONTEXT> FCertificates;
};

using HCERTSTORE = std::shared_ptr<TCertStore>;

// A chain from a certificate towards a trust anchor, as far as it could be
// built, with the verdict of GnuTLS's verification (its status bits).
struct TCertChainContext {
  std::vector<PCCERT_CONTEXT> Elements;  // the certificate first
  unsigned TrustStatus = 0;
};

using PCCERT_CHAIN_CONTEXT = std::shared_ptr<const TCertChainContext>;

// The folder of a system store.
std::string CertStoreFolder(uint32_t aLocation, const std::string& aName);
// The current user's system store aName ("MY", "Root", "Trust", "CA"); a
// missing folder is an empty store.
HCERTSTORE CertOpenSystemStore(const std::string& aName);
// The system store aName at the location in aFlags; null when the flags ask
// for an existing store and its folder does not exist.
HCERTSTORE CertOpenStore(uint32_t aFlags, const std::string& aName);
// The certificate with the SHA-1 thumbprint, or null.
PCCERT_CONTEXT CertFindCertificateInStore(const TCertStore& aStore, const TBytes& aSHA1Hash);
// The certificates and key of a PFX (PKCS#12) file: the key's certificate
// first. aPassword null means no password at all (not the empty one). Null
// when the bytes are no PFX file or the password is wrong.
HCERTSTORE PFXImportCertStore(const TBytes& aPFX, const char* aPassword);
// Hexadecimal text (blanks between digits allowed) to bytes; false for
// anything else or an odd number of digits.
bool CryptStringToBinary(std::string_view aHex, TBytes& aBytes);

// Builds the chain of aCertificate from aAdditional (may be null), the "CA"
// and the "Root" stores, and verifies it for any of aUsages (none: any use).
PCCERT_CHAIN_CONTEXT CertGetCertificateChain(const PCCERT_CONTEXT& aCertificate, const TCertStore* aAdditional,
                                             std::initializer_list<const char*> aUsages);
// The SSL policy for a server: 0 when the chain is trusted, valid and issued
// for aServerName (not checked when empty), else the CERT_E_... status.
uint32_t CertVerifyCertificateChainPolicy(const TCertChainContext& aChain, const std::string& aServerName);
// The chains of the certificates in aStore that have a private key, allow
// aUsage and chain up to one of aIssuers (DER names; none: any issuer).
std::vector<PCCERT_CHAIN_CONTEXT> CertFindChainInStore(const TCertStore& aStore, const char* aUsage,
                                                       const std::vector<TBytes>& aIssuers);

}  // namespace qtx
