// Certificates, private keys and stores (folders of PEM and PFX files, PFX
// files imported into memory).

#include "tls/provider/qtxCertificateStore.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gnutls/pkcs12.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

constexpr const char* kAnyUsage = "2.5.29.37.0";
constexpr const char* kMachineStores = "/etc/qtx/certs";

// A buffer GnuTLS allocated, freed when it goes.
struct TGnuTLSDatum : gnutls_datum_t {
  TGnuTLSDatum() : gnutls_datum_t{nullptr, 0} {}
  ~TGnuTLSDatum() { gnutls_free(data); }
  TGnuTLSDatum(const TGnuTLSDatum&) = delete;
  TGnuTLSDatum& operator=(const TGnuTLSDatum&) = delete;
  TBytes Bytes() const { return TBytes(data, data + size); }
};

gnutls_datum_t DatumOf(const TBytes& aBytes) {
  return {const_cast<unsigned char*>(aBytes.data()), static_cast<unsigned>(aBytes.size())};
}

TBytes ReadFileBytes(const std::filesystem::path& aPath) {
  std::ifstream file(aPath, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool IsPEM(const TBytes& aBytes) {
  static constexpr std::string_view kBegin = "-----BEGIN ";
  return std::search(aBytes.begin(), aBytes.end(), kBegin.begin(), kBegin.end()) != aBytes.end();
}

TBytes KeyIdOf(gnutls_x509_crt_t aCert) {
  unsigned char id[64];
  size_t size = sizeof(id);
  if (gnutls_x509_crt_get_key_id(aCert, 0, id, &size) < 0) return {};
  return TBytes(id, id + size);
}

TBytes KeyIdOf(const TPrivateKey& aKey) {
  unsigned char id[64];
  size_t size = sizeof(id);
  if (gnutls_x509_privkey_get_key_id(aKey.Handle(), 0, id, &size) < 0) return {};
  return TBytes(id, id + size);
}

// A name of the certificate in DER, as aGet gives it.
TBytes RawName(gnutls_x509_crt_t aCert, int (*aGet)(gnutls_x509_crt_t, gnutls_datum_t*)) {
  TGnuTLSDatum name;
  return aGet(aCert, &name) < 0 ? TBytes() : name.Bytes();
}

// An unencrypted private key in PEM or DER, or null.
std::shared_ptr<TPrivateKey> ReadPrivateKey(const TBytes& aBytes) {
  gnutls_x509_privkey_t key;
  if (gnutls_x509_privkey_init(&key) < 0) return nullptr;
  const gnutls_datum_t datum = DatumOf(aBytes);
  const auto format = IsPEM(aBytes) ? GNUTLS_X509_FMT_PEM : GNUTLS_X509_FMT_DER;
  if (gnutls_x509_privkey_import2(key, &datum, format, nullptr, 0) < 0) {
    gnutls_x509_privkey_deinit(key);
    return nullptr;
  }
  return std::make_shared<TPrivateKey>(key);
}

std::shared_ptr<TCertContext> ContextOf(gnutls_x509_crt_t aCert) {
  TGnuTLSDatum der;
  if (gnutls_x509_crt_export2(aCert, GNUTLS_X509_FMT_DER, &der) < 0) return nullptr;
  return TCertContext::FromDER(der.data, der.size);
}

// The certificates of a PEM or DER file.
std::vector<std::shared_ptr<TCertContext>> ReadCertificates(const TBytes& aBytes) {
  std::vector<std::shared_ptr<TCertContext>> certificates;
  if (!IsPEM(aBytes)) {
    if (auto certificate = TCertContext::FromDER(aBytes.data(), aBytes.size())) certificates.push_back(certificate);
    return certificates;
  }
  gnutls_x509_crt_t* list = nullptr;
  unsigned count = 0;
  const gnutls_datum_t datum = DatumOf(aBytes);
  if (gnutls_x509_crt_list_import2(&list, &count, &datum, GNUTLS_X509_FMT_PEM, 0) < 0) return certificates;
  for (unsigned i = 0; i < count; ++i) {
    if (auto certificate = ContextOf(list[i])) certificates.push_back(std::move(certificate));
    gnutls_x509_crt_deinit(list[i]);
  }
  gnutls_free(list);
  return certificates;
}

// A certificate file of a store folder: its certificates, each with the
// private key (in the file itself or in "<name>.key" beside it) that matches
// its public key.
void ReadCertificateFile(const std::filesystem::path& aPath, std::vector<PCCERT_CONTEXT>& aCertificates) {
  const TBytes bytes = ReadFileBytes(aPath);
  std::vector<std::shared_ptr<TPrivateKey>> keys;
  if (IsPEM(bytes))
    if (auto key = ReadPrivateKey(bytes)) keys.push_back(key);
  std::filesystem::path keyFile = aPath;
  keyFile.replace_extension(".key");
  std::error_code error;
  if (std::filesystem::is_regular_file(keyFile, error))
    if (auto key = ReadPrivateKey(ReadFileBytes(keyFile))) keys.push_back(key);
  for (auto& certificate : ReadCertificates(bytes)) {
    const TBytes id = KeyIdOf(certificate->Handle());
    for (const auto& key : keys)
      if (!id.empty() && KeyIdOf(*key) == id) certificate->SetPrivateKey(key);
    aCertificates.push_back(std::move(certificate));
  }
}

// The certificates of a store folder, file by file in name order. A PFX file
// in a store carries no password.
std::vector<PCCERT_CONTEXT> ReadStoreFolder(const std::string& aFolder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(aFolder, error))
    if (entry.is_regular_file(error)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<PCCERT_CONTEXT> certificates;
  for (const auto& file : files) {
    const std::string extension = LowerCase(file.extension().string());
    if (extension == ".pfx" || extension == ".p12") {
      const TBytes bytes = ReadFileBytes(file);
      HCERTSTORE store = PFXImportCertStore(bytes, "");
      if (!store) store = PFXImportCertStore(bytes, nullptr);
      if (store)
        for (auto& certificate : store->Certificates()) certificates.push_back(std::move(certificate));
    } else if (extension == ".pem" || extension == ".crt" || extension == ".cer") {
      ReadCertificateFile(file, certificates);
    }
  }
  return certificates;
}

// The system's trust anchors, read once.
const std::vector<PCCERT_CONTEXT>& SystemTrust() {
  static const std::vector<PCCERT_CONTEXT> anchors = [] {
    std::vector<PCCERT_CONTEXT> result;
    gnutls_x509_trust_list_t list;
    if (gnutls_x509_trust_list_init(&list, 0) < 0) return result;
    gnutls_x509_trust_list_add_system_trust(list, 0, 0);
    gnutls_x509_trust_list_iter_t iterator = nullptr;
    gnutls_x509_crt_t certificate;
    while (gnutls_x509_trust_list_iter_get_ca(list, &iterator, &certificate) == 0) {
      if (auto context = ContextOf(certificate)) result.push_back(std::move(context));
      gnutls_x509_crt_deinit(certificate);
    }
    gnutls_x509_trust_list_iter_deinit(iterator);
    gnutls_x509_trust_list_deinit(list, 1);
    return result;
  }();
  return anchors;
}

std::string UserDataFolder() {
  // The XDG rule: a relative XDG_DATA_HOME is ignored.
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/') return dataHome;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share";
}

}  // namespace

// ---------------------------------------------------------------- certificates

TPrivateKey::~TPrivateKey() { gnutls_x509_privkey_deinit(FKey); }

std::shared_ptr<TCertContext> TCertContext::FromDER(const uint8_t* aData, size_t aSize) {
  gnutls_x509_crt_t certificate;
  if (gnutls_x509_crt_init(&certificate) < 0) return nullptr;
  const gnutls_datum_t datum{const_cast<unsigned char*>(aData), static_cast<unsigned>(aSize)};
  if (gnutls_x509_crt_import(certificate, &datum, GNUTLS_X509_FMT_DER) < 0) {
    gnutls_x509_crt_deinit(certificate);
    return nullptr;
  }
  return std::shared_ptr<TCertContext>(new TCertContext(certificate, TBytes(aData, aData + aSize)));
}

TCertContext::~TCertContext() { gnutls_x509_crt_deinit(FCert); }

TBytes TCertContext::SHA1Hash() const {
  TBytes hash(20);
  const gnutls_datum_t datum = DatumOf(FEncoded);
  gnutls_hash_fast(GNUTLS_DIG_SHA1, datum.data, datum.size, hash.data());
  return hash;
}

TBytes TCertContext::RawSubject() const { return RawName(FCert, gnutls_x509_crt_get_raw_dn); }

TBytes TCertContext::RawIssuer() const { return RawName(FCert, gnutls_x509_crt_get_raw_issuer_dn); }

std::string TCertContext::Subject() const {
  TGnuTLSDatum name;
  if (gnutls_x509_crt_get_dn3(FCert, &name, 0) < 0) return {};
  return std::string(reinterpret_cast<const char*>(name.data), name.size);
}

bool TCertContext::AllowsUsage(std::string_view aUsage) const {
  for (unsigned i = 0;; ++i) {
    char oid[128];
    size_t size = sizeof(oid);
    const int result = gnutls_x509_crt_get_key_purpose_oid(FCert, i, oid, &size, nullptr);
    if (result < 0) return i == 0 && result == GNUTLS_E_REQUESTED_DATA_NOT_AVAILABLE;
    if (aUsage == oid || std::strcmp(oid, kAnyUsage) == 0) return true;
  }
}

// ---------------------------------------------------------------- stores

std::vector<PCCERT_CONTEXT> TCertStore::Certificates() const {
  if (!FSystem) return FCertificates;
  std::vector<PCCERT_CONTEXT> certificates = ReadStoreFolder(CertStoreFolder(FLocation, FName));
  const bool root = SameText(FName, "Root");
  // The current user sees the machine's anchors and intermediates too.
  if (FLocation == CERT_SYSTEM_STORE_CURRENT_USER && (root || SameText(FName, "CA"))) {
    std::vector<PCCERT_CONTEXT> machine = ReadStoreFolder(CertStoreFolder(CERT_SYSTEM_STORE_LOCAL_MACHINE, FName));
    certificates.insert(certificates.end(), machine.begin(), machine.end());
  }
  if (root) certificates.insert(certificates.end(), SystemTrust().begin(), SystemTrust().end());
  return certificates;
}

std::string CertStoreFolder(uint32_t aLocation, const std::string& aName) {
  const std::string base =
      aLocation == CERT_SYSTEM_STORE_LOCAL_MACHINE ? std::string(kMachineStores) : UserDataFolder() + "/qtx/certs";
  return base + "/" + aName;
}

HCERTSTORE CertOpenSystemStore(const std::string& aName) {
  return std::make_shared<TCertStore>(CERT_SYSTEM_STORE_CURRENT_USER, aName);
}

HCERTSTORE CertOpenStore(uint32_t aFlags, const std::string& aName) {
  const uint32_t location = aFlags & (CERT_SYSTEM_STORE_CURRENT_USER | CERT_SYSTEM_STORE_LOCAL_MACHINE);
  std::error_code error;
  if ((aFlags & CERT_STORE_OPEN_EXISTING_FLAG) && !std::filesystem::is_directory(CertStoreFolder(location, aName), error))
    return nullptr;
  return std::make_shared<TCertStore>(location, aName);
}

PCCERT_CONTEXT CertFindCertificateInStore(const TCertStore& aStore, const TBytes& aSHA1Hash) {
  for (auto& certificate : aStore.Certificates())
    if (certificate->SHA1Hash() == aSHA1Hash) return certificate;
  return nullptr;
}

HCERTSTORE PFXImportCertStore(const TBytes& aPFX, const char* aPassword) {
  gnutls_pkcs12_t pfx;
  if (gnutls_pkcs12_init(&pfx) < 0) return nullptr;
  const gnutls_datum_t datum = DatumOf(aPFX);
  gnutls_x509_privkey_t key = nullptr;
  gnutls_x509_crt_t* chain = nullptr;
  unsigned chainLength = 0;
  gnutls_x509_crt_t* extra = nullptr;
  unsigned extraLength = 0;
  const bool parsed = gnutls_pkcs12_import(pfx, &datum, GNUTLS_X509_FMT_DER, 0) >= 0 &&
                      (!aPassword || gnutls_pkcs12_verify_mac(pfx, aPassword) >= 0) &&
                      gnutls_pkcs12_simple_parse(pfx, aPassword, &key, &chain, &chainLength, &extra, &extraLength,
                                                 nullptr, 0) >= 0;
  gnutls_pkcs12_deinit(pfx);
  if (!parsed) return nullptr;

  auto store = std::make_shared<TCertStore>();
  auto privateKey = key ? std::make_shared<TPrivateKey>(key) : nullptr;
  for (unsigned i = 0; i < chainLength; ++i) {
    if (auto certificate = ContextOf(chain[i])) {
      if (i == 0) certificate->SetPrivateKey(privateKey);
      store->Add(std::move(certificate));
    }
    gnutls_x509_crt_deinit(chain[i]);
  }
  for (unsigned i = 0; i < extraLength; ++i) {
    if (auto certificate = ContextOf(extra[i])) store->Add(std::move(certificate));
    gnutls_x509_crt_deinit(extra[i]);
  }
  gnutls_free(chain);
  gnutls_free(extra);
  return store;
}

bool CryptStringToBinary(std::string_view aHex, TBytes& aBytes) {
  TBytes bytes;
  int high = -1;
  for (const char c : aHex) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) return false;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) return false;
  aBytes = std::move(bytes);
  return true;
}

}  // namespace qtx
