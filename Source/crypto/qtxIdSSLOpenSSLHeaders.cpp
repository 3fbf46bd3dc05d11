#include "crypto/qtxIdSSLOpenSSLHeaders.h"

#include <dlfcn.h>
#include <sys/socket.h>

#include <cerrno>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

// Message texts.
constexpr const char* RSFailedToLoad = "Failed to load %s.";

// Library file names by generation: 0 = 1.0, 1 = 1.1, 2 = 3.x.
constexpr int kGenerationCount = 3;
struct TLibraryFiles {
  const char* Crypto;
  const char* SSL;
};
constexpr TLibraryFiles kLibraryFiles[kGenerationCount] = {
    {"libcrypto.so.1.0.0", "libssl.so.1.0.0"},
    {"libcrypto.so.1.1", "libssl.so.1.1"},
    {"libcrypto.so.3", "libssl.so.3"},
};

// In which generations a function is required (bit = 1 << generation).
enum TRequiredIn : unsigned {
  rqOptional = 0,
  rqGen0 = 1,
  rqFrom1 = 2 | 4,
  rqAll = 1 | 2 | 4,
};

struct TLoaderState {
  std::mutex Lock;  // serialises loading, unloading and the settings
  std::atomic<bool> Loaded{false};
  int Generation = 2;
  std::string Folder;  // of the current load
  int LoadedGeneration = -1;
  void* CryptoLib = nullptr;
  void* SSLLib = nullptr;
  std::vector<std::string> Failures;
  unsigned long Version = 0;
  TIdOpenSSLAPI API;
  PBIO_METHOD NoSignalSocket = nullptr;
  // 1.0 leaves thread safety to its user: one lock per OpenSSL lock number.
  std::unique_ptr<std::mutex[]> CryptoLocks;
};

TLoaderState& State() {
  static TLoaderState state;
  return state;
}

void LockingCallback(int aMode, int aType, const char*, int) {
  std::mutex& lock = State().CryptoLocks[aType];
  if (aMode & CRYPTO_LOCK)
    lock.lock();
  else
    lock.unlock();
}

// Binds the table's slots by name from the two open libraries and records
// each missing required function in the failure list.
class TBinder {
public:
  TBinder(void* aCrypto, void* aSSL, int aGeneration, std::vector<std::string>& aFailures)
      : FCrypto(aCrypto), FSSL(aSSL), FGeneration(aGeneration), FFailures(aFailures) {}

  template <typename F>
  void Ssl(F& aSlot, const char* aName, unsigned aRequiredIn) {
    Bind(FSSL, aSlot, aName, aRequiredIn);
  }
  template <typename F>
  void Crypto(F& aSlot, const char* aName, unsigned aRequiredIn) {
    Bind(FCrypto, aSlot, aName, aRequiredIn);
  }
  // The name a function carries in generation 0 and in the later ones.
  const char* ByGeneration(const char* aGen0Name, const char* aLaterName) const {
    return FGeneration == 0 ? aGen0Name : aLaterName;
  }
  int Generation() const { return FGeneration; }

private:
  template <typename F>
  void Bind(void* aLibrary, F& aSlot, const char* aName, unsigned aRequiredIn) {
    void* address = dlsym(aLibrary, aName);
    aSlot = reinterpret_cast<F>(address);
    if (!address && (aRequiredIn & (1u << FGeneration))) FFailures.emplace_back(aName);
  }

  void* FCrypto;
  void* FSSL;
  int FGeneration;
  std::vector<std::string>& FFailures;
};

void BindSSLFunctions(TBinder& b, TIdOpenSSLAPI& a) {
  b.Ssl(a.SSL_CTX_new, "SSL_CTX_new", rqAll);
  b.Ssl(a.SSL_CTX_free, "SSL_CTX_free", rqAll);
  b.Ssl(a.SSL_CTX_set_cipher_list, "SSL_CTX_set_cipher_list", rqAll);
  b.Ssl(a.SSL_set_fd, "SSL_set_fd", rqAll);
  b.Ssl(a.SSL_CTX_use_PrivateKey_file, "SSL_CTX_use_PrivateKey_file", rqAll);
  b.Ssl(a.SSL_CTX_use_certificate_file, "SSL_CTX_use_certificate_file", rqAll);
  b.Ssl(a.SSL_CTX_set_verify, "SSL_CTX_set_verify", rqAll);
  b.Ssl(a.SSL_CTX_set_verify_depth, "SSL_CTX_set_verify_depth", rqAll);
  b.Ssl(a.SSL_new, "SSL_new", rqAll);
  b.Ssl(a.SSL_free, "SSL_free", rqAll);
  b.Ssl(a.SSL_connect, "SSL_connect", rqAll);
  b.Ssl(a.SSL_accept, "SSL_accept", rqAll);
  b.Ssl(a.SSL_read, "SSL_read", rqAll);
  b.Ssl(a.SSL_write, "SSL_write", rqAll);
  b.Ssl(a.SSL_ctrl, "SSL_ctrl", rqAll);
  b.Ssl(a.SSL_CTX_ctrl, "SSL_CTX_ctrl", rqAll);
  b.Ssl(a.SSL_get_error, "SSL_get_error", rqAll);
  b.Ssl(a.SSL_shutdown, "SSL_shutdown", rqAll);
  b.Ssl(a.SSL_set_shutdown, "SSL_set_shutdown", rqAll);
  b.Ssl(a.SSL_CTX_load_verify_locations, "SSL_CTX_load_verify_locations", rqAll);
  b.Ssl(a.SSL_get_session, "SSL_get_session", rqAll);
  b.Ssl(a.SSL_copy_session_id, "SSL_copy_session_id", rqAll);
  b.Ssl(a.SSL_CTX_get_cert_store, "SSL_CTX_get_cert_store", rqAll);
  b.Ssl(a.SSL_get_peer_certificate,
        b.Generation() >= 2 ? "SSL_get1_peer_certificate" : "SSL_get_peer_certificate", rqAll);
  b.Ssl(a.SSL_CTX_set_default_verify_paths, "SSL_CTX_set_default_verify_paths", rqAll);
  b.Ssl(a.SSL_CTX_check_private_key, "SSL_CTX_check_private_key", rqAll);
  b.Ssl(a.SSL_CTX_set_default_passwd_cb, "SSL_CTX_set_default_passwd_cb", rqAll);
  b.Ssl(a.SSL_CTX_set_default_passwd_cb_userdata, "SSL_CTX_set_default_passwd_cb_userdata", rqAll);
  b.Ssl(a.SSL_CTX_set_info_callback, "SSL_CTX_set_info_callback", rqAll);
  b.Ssl(a.SSL_CTX_use_certificate, "SSL_CTX_use_certificate", rqAll);
  b.Ssl(a.SSL_CTX_use_PrivateKey, "SSL_CTX_use_PrivateKey", rqAll);
  b.Ssl(a.SSL_load_client_CA_file, "SSL_load_client_CA_file", rqAll);
  b.Ssl(a.SSL_CTX_set_client_CA_list, "SSL_CTX_set_client_CA_list", rqAll);
  b.Ssl(a.SSL_set_ex_data, "SSL_set_ex_data", rqAll);
  b.Ssl(a.SSL_get_ex_data, "SSL_get_ex_data", rqAll);
  b.Ssl(a.SSL_get_current_cipher, "SSL_get_current_cipher", rqAll);
  b.Ssl(a.SSL_CIPHER_get_name, "SSL_CIPHER_get_name", rqAll);
  b.Ssl(a.SSL_CIPHER_description, "SSL_CIPHER_description", rqAll);
  b.Ssl(a.SSL_CIPHER_get_bits, "SSL_CIPHER_get_bits", rqAll);
  b.Ssl(a.SSL_CIPHER_get_version, "SSL_CIPHER_get_version", rqAll);
  b.Ssl(a.SSL_state_string_long, "SSL_state_string_long", rqAll);
  b.Ssl(a.SSL_alert_type_string_long, "SSL_alert_type_string_long", rqAll);
  b.Ssl(a.SSL_alert_desc_string_long, "SSL_alert_desc_string_long", rqAll);
  b.Ssl(a.SSL_get_ex_data_X509_STORE_CTX_idx, "SSL_get_ex_data_X509_STORE_CTX_idx", rqFrom1);
  b.Ssl(a.SSL_get_version, "SSL_get_version", rqFrom1);

  b.Ssl(a.SSL_library_init, "SSL_library_init", rqGen0);
  b.Ssl(a.SSL_load_error_strings, "SSL_load_error_strings", rqGen0);

  b.Ssl(a.TLS_method, "TLS_method", rqFrom1);
  b.Ssl(a.TLS_client_method, "TLS_client_method", rqOptional);
  b.Ssl(a.TLS_server_method, "TLS_server_method", rqOptional);
  b.Ssl(a.SSLv2_method, "SSLv2_method", rqOptional);
  b.Ssl(a.SSLv2_client_method, "SSLv2_client_method", rqOptional);
  b.Ssl(a.SSLv2_server_method, "SSLv2_server_method", rqOptional);
  b.Ssl(a.SSLv23_method, b.ByGeneration("SSLv23_method", "TLS_method"), rqOptional);
  b.Ssl(a.SSLv23_client_method, b.ByGeneration("SSLv23_client_method", "TLS_client_method"), rqOptional);
  b.Ssl(a.SSLv23_server_method, b.ByGeneration("SSLv23_server_method", "TLS_server_method"), rqOptional);
  b.Ssl(a.SSLv3_method, "SSLv3_method", rqOptional);
  b.Ssl(a.SSLv3_client_method, "SSLv3_client_method", rqOptional);
  b.Ssl(a.SSLv3_server_method, "SSLv3_server_method", rqOptional);
  b.Ssl(a.TLSv1_method, "TLSv1_method", rqOptional);
  b.Ssl(a.TLSv1_client_method, "TLSv1_client_method", rqOptional);
  b.Ssl(a.TLSv1_server_method, "TLSv1_server_method", rqOptional);
  b.Ssl(a.TLSv1_1_method, "TLSv1_1_method", rqOptional);
  b.Ssl(a.TLSv1_1_client_method, "TLSv1_1_client_method", rqOptional);
  b.Ssl(a.TLSv1_1_server_method, "TLSv1_1_server_method", rqOptional);
  b.Ssl(a.TLSv1_2_method, "TLSv1_2_method", rqOptional);
  b.Ssl(a.TLSv1_2_client_method, "TLSv1_2_client_method", rqOptional);
  b.Ssl(a.TLSv1_2_server_method, "TLSv1_2_server_method", rqOptional);

  b.Ssl(a.SSL_peek, "SSL_peek", rqOptional);
  b.Ssl(a.SSL_pending, "SSL_pending", rqOptional);
  b.Ssl(a.SSL_has_pending, "SSL_has_pending", rqOptional);
  b.Ssl(a.SSL_do_handshake, "SSL_do_handshake", rqOptional);
  b.Ssl(a.SSL_get0_alpn_selected, "SSL_get0_alpn_selected", rqOptional);
  b.Ssl(a.SSL_CTX_set_alpn_protos, "SSL_CTX_set_alpn_protos", rqOptional);
  b.Ssl(a.SSL_CTX_use_certificate_chain_file, "SSL_CTX_use_certificate_chain_file", rqOptional);
  b.Ssl(a.SSL_CTX_set_options, "SSL_CTX_set_options", rqOptional);
  b.Ssl(a.SSL_CTX_clear_options, "SSL_CTX_clear_options", rqOptional);
  b.Ssl(a.SSL_set1_host, "SSL_set1_host", rqOptional);
  b.Ssl(a.SSL_get0_param, "SSL_get0_param", rqOptional);
  b.Ssl(a.SSL_set_bio, "SSL_set_bio", rqOptional);
}

void BindCryptoFunctions(TBinder& b, TIdOpenSSLAPI& a) {
  b.Crypto(a.OpenSSL_version_num, b.ByGeneration("SSLeay", "OpenSSL_version_num"), rqAll);
  b.Crypto(a.OpenSSL_version, b.ByGeneration("SSLeay_version", "OpenSSL_version"), rqAll);

  if (b.Generation() == 0) {
    b.Crypto(a.OpenSSL_add_all_algorithms, "OpenSSL_add_all_algorithms", rqOptional);
    if (!a.OpenSSL_add_all_algorithms)
      b.Crypto(a.OpenSSL_add_all_algorithms, "OPENSSL_add_all_algorithms_noconf", rqGen0);
    b.Crypto(a.OpenSSL_add_all_ciphers, "OpenSSL_add_all_ciphers", rqGen0);
    b.Crypto(a.OpenSSL_add_all_digests, "OpenSSL_add_all_digests", rqGen0);
    b.Crypto(a.EVP_cleanup, "EVP_cleanup", rqGen0);
    b.Crypto(a.CRYPTO_num_locks, "CRYPTO_num_locks", rqGen0);
    b.Crypto(a.CRYPTO_set_locking_callback, "CRYPTO_set_locking_callback", rqGen0);
  }

  b.Crypto(a.sk_num, b.ByGeneration("sk_num", "OPENSSL_sk_num"), rqAll);
  b.Crypto(a.sk_new, b.ByGeneration("sk_new", "OPENSSL_sk_new"), rqAll);
  b.Crypto(a.sk_new_null, b.ByGeneration("sk_new_null", "OPENSSL_sk_new_null"), rqAll);
  b.Crypto(a.sk_free, b.ByGeneration("sk_free", "OPENSSL_sk_free"), rqAll);
  b.Crypto(a.sk_push, b.ByGeneration("sk_push", "OPENSSL_sk_push"), rqAll);
  b.Crypto(a.sk_dup, b.ByGeneration("sk_dup", "OPENSSL_sk_dup"), rqAll);
  b.Crypto(a.sk_find, b.ByGeneration("sk_find", "OPENSSL_sk_find"), rqAll);
  b.Crypto(a.sk_value, b.ByGeneration("sk_value", "OPENSSL_sk_value"), rqAll);
  b.Crypto(a.sk_pop_free, b.ByGeneration("sk_pop_free", "OPENSSL_sk_pop_free"), rqAll);

  b.Crypto(a.ERR_get_error, "ERR_get_error", rqAll);
  b.Crypto(a.ERR_peek_error, "ERR_peek_error", rqAll);
  b.Crypto(a.ERR_error_string_n, "ERR_error_string_n", rqAll);
  b.Crypto(a.ERR_clear_error, "ERR_clear_error", rqAll);

  b.Crypto(a.X509_STORE_CTX_get_ex_data, "X509_STORE_CTX_get_ex_data", rqAll);
  b.Crypto(a.X509_STORE_CTX_get_current_cert, "X509_STORE_CTX_get_current_cert", rqAll);
  b.Crypto(a.X509_STORE_CTX_get_error, "X509_STORE_CTX_get_error", rqAll);
  b.Crypto(a.X509_STORE_CTX_get_error_depth, "X509_STORE_CTX_get_error_depth", rqAll);
  b.Crypto(a.X509_verify_cert_error_string, "X509_verify_cert_error_string", rqAll);
  b.Crypto(a.X509_get_subject_name, "X509_get_subject_name", rqAll);
  b.Crypto(a.X509_get_issuer_name, "X509_get_issuer_name", rqAll);
  b.Crypto(a.X509_NAME_oneline, "X509_NAME_oneline", rqAll);
  b.Crypto(a.X509_get_serialNumber, "X509_get_serialNumber", rqAll);
  b.Crypto(a.X509_digest, "X509_digest", rqAll);
  b.Crypto(a.X509_up_ref, "X509_up_ref", rqOptional);
  b.Crypto(a.X509_free, "X509_free", rqAll);
  b.Crypto(a.X509_get0_notBefore, "X509_get0_notBefore", rqOptional);
  b.Crypto(a.X509_get0_notAfter, "X509_get0_notAfter", rqOptional);
  b.Crypto(a.X509_VERIFY_PARAM_set1_host, "X509_VERIFY_PARAM_set1_host", rqOptional);
  b.Crypto(a.X509_VERIFY_PARAM_set1_ip_asc, "X509_VERIFY_PARAM_set1_ip_asc", rqOptional);
  b.Crypto(a.ASN1_STRING_length, "ASN1_STRING_length", rqAll);
  b.Crypto(a.ASN1_STRING_type, "ASN1_STRING_type", rqAll);
  b.Crypto(a.ASN1_STRING_get0_data, b.ByGeneration("ASN1_STRING_data", "ASN1_STRING_get0_data"), rqAll);
  b.Crypto(a.EVP_sha1, "EVP_sha1", rqAll);
  b.Crypto(a.EVP_sha256, "EVP_sha256", rqAll);
  b.Crypto(a.EVP_PKEY_free, "EVP_PKEY_free", rqAll);

  b.Crypto(a.BIO_new_file, "BIO_new_file", rqAll);
  b.Crypto(a.BIO_free, "BIO_free", rqAll);
  b.Crypto(a.d2i_PKCS12_bio, "d2i_PKCS12_bio", rqAll);
  b.Crypto(a.PKCS12_parse, "PKCS12_parse", rqAll);
  b.Crypto(a.PKCS12_free, "PKCS12_free", rqAll);
  b.Crypto(a.PEM_read_bio_DHparams, "PEM_read_bio_DHparams", rqOptional);
  b.Crypto(a.DH_free, "DH_free", rqOptional);

  b.Crypto(a.BIO_s_socket, "BIO_s_socket", rqOptional);
  b.Crypto(a.BIO_get_new_index, "BIO_get_new_index", rqOptional);
  b.Crypto(a.BIO_meth_new, "BIO_meth_new", rqOptional);
  b.Crypto(a.BIO_meth_free, "BIO_meth_free", rqOptional);
  b.Crypto(a.BIO_meth_set_write, "BIO_meth_set_write", rqOptional);
  b.Crypto(a.BIO_meth_get_read, "BIO_meth_get_read", rqOptional);
  b.Crypto(a.BIO_meth_set_read, "BIO_meth_set_read", rqOptional);
  b.Crypto(a.BIO_meth_get_puts, "BIO_meth_get_puts", rqOptional);
  b.Crypto(a.BIO_meth_set_puts, "BIO_meth_set_puts", rqOptional);
  b.Crypto(a.BIO_meth_get_ctrl, "BIO_meth_get_ctrl", rqOptional);
  b.Crypto(a.BIO_meth_set_ctrl, "BIO_meth_set_ctrl", rqOptional);
  b.Crypto(a.BIO_meth_get_create, "BIO_meth_get_create", rqOptional);
  b.Crypto(a.BIO_meth_set_create, "BIO_meth_set_create", rqOptional);
  b.Crypto(a.BIO_meth_get_destroy, "BIO_meth_get_destroy", rqOptional);
  b.Crypto(a.BIO_meth_set_destroy, "BIO_meth_set_destroy", rqOptional);
  b.Crypto(a.BIO_new, "BIO_new", rqOptional);
  b.Crypto(a.BIO_ctrl, "BIO_ctrl", rqOptional);
  b.Crypto(a.BIO_int_ctrl, "BIO_int_ctrl", rqOptional);
  b.Crypto(a.BIO_set_flags, "BIO_set_flags", rqOptional);
  b.Crypto(a.BIO_clear_flags, "BIO_clear_flags", rqOptional);

  b.Crypto(a.DES_set_odd_parity, "DES_set_odd_parity", rqOptional);
  b.Crypto(a.DES_set_key, "DES_set_key", rqOptional);
  b.Crypto(a.DES_set_key_unchecked, "DES_set_key_unchecked", rqOptional);
  b.Crypto(a.DES_ecb_encrypt, "DES_ecb_encrypt", rqOptional);
  b.Crypto(a.MD4, "MD4", rqOptional);
}

// 1.0 must be initialised by its user and given locks; later generations
// initialise themselves. False when the library refuses to start.
bool InitialiseLibrary(TLoaderState& s, int aGeneration, const TIdOpenSSLAPI& a) {
  if (aGeneration == 0) {
    a.SSL_load_error_strings();
    a.OpenSSL_add_all_ciphers();
    a.OpenSSL_add_all_digests();
    if (a.SSL_library_init() < 1) {
      s.Failures.emplace_back("SSL_library_init");
      return false;
    }
    s.CryptoLocks = std::make_unique<std::mutex[]>(static_cast<size_t>(a.CRYPTO_num_locks()));
    a.CRYPTO_set_locking_callback(LockingCallback);
  }
  s.Version = a.OpenSSL_version_num();
  return true;
}

// The write of the no-signal socket BIO: send() with MSG_NOSIGNAL and the
// retry flags OpenSSL's own socket write sets.
int NoSignalSocketWrite(PBIO aBIO, const char* aData, int aLength) {
  const TIdOpenSSLAPI& api = State().API;
  int fd = -1;
  api.BIO_ctrl(aBIO, BIO_C_GET_FD, 0, &fd);
  errno = 0;
  const ssize_t sent = send(fd, aData, static_cast<size_t>(aLength), MSG_NOSIGNAL);
  api.BIO_clear_flags(aBIO, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  if (sent <= 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
    api.BIO_set_flags(aBIO, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
  return static_cast<int>(sent);
}

// OpenSSL's socket BIO with NoSignalSocketWrite for its writes, or null.
PBIO_METHOD MakeNoSignalSocketMethod(const TIdOpenSSLAPI& a) {
  if (!a.BIO_s_socket || !a.BIO_get_new_index || !a.BIO_meth_new || !a.BIO_meth_free || !a.BIO_meth_set_write ||
      !a.BIO_meth_get_read || !a.BIO_meth_set_read || !a.BIO_meth_get_puts || !a.BIO_meth_set_puts ||
      !a.BIO_meth_get_ctrl || !a.BIO_meth_set_ctrl || !a.BIO_meth_get_create || !a.BIO_meth_set_create ||
      !a.BIO_meth_get_destroy || !a.BIO_meth_set_destroy || !a.BIO_new || !a.BIO_ctrl || !a.BIO_int_ctrl ||
      !a.BIO_set_flags || !a.BIO_clear_flags || !a.SSL_set_bio)
    return nullptr;
  const PBIO_METHOD socket = a.BIO_s_socket();
  PBIO_METHOD method =
      a.BIO_meth_new(a.BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "qtx socket");
  if (!method) return nullptr;
  a.BIO_meth_set_write(method, NoSignalSocketWrite);
  a.BIO_meth_set_read(method, a.BIO_meth_get_read(socket));
  a.BIO_meth_set_puts(method, a.BIO_meth_get_puts(socket));
  a.BIO_meth_set_ctrl(method, a.BIO_meth_get_ctrl(socket));
  a.BIO_meth_set_create(method, a.BIO_meth_get_create(socket));
  a.BIO_meth_set_destroy(method, a.BIO_meth_get_destroy(socket));
  return method;
}

void CloseLibraries(void*& aCrypto, void*& aSSL) {
  if (aSSL) dlclose(aSSL);
  if (aCrypto) dlclose(aCrypto);
  aSSL = nullptr;
  aCrypto = nullptr;
}

// Opens one generation's pair of libraries and binds the table; on any
// failure the libraries are closed again and the failure list says why.
bool TryLoadGeneration(TLoaderState& s, int aGeneration) {
  const TLibraryFiles& files = kLibraryFiles[aGeneration];
  void* crypto = nullptr;
  void* ssl = nullptr;

  const std::string cryptoPath = s.Folder + files.Crypto;
  crypto = dlopen(cryptoPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!crypto) {
    s.Failures.push_back(Format(RSFailedToLoad, {cryptoPath}));
    return false;
  }
  const std::string sslPath = s.Folder + files.SSL;
  ssl = dlopen(sslPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!ssl) {
    s.Failures.push_back(Format(RSFailedToLoad, {sslPath}));
    CloseLibraries(crypto, ssl);
    return false;
  }

  TIdOpenSSLAPI api;
  const size_t failuresBefore = s.Failures.size();
  TBinder binder(crypto, ssl, aGeneration, s.Failures);
  BindSSLFunctions(binder, api);
  BindCryptoFunctions(binder, api);
  if (s.Failures.size() != failuresBefore || !InitialiseLibrary(s, aGeneration, api)) {
    CloseLibraries(crypto, ssl);
    return false;
  }

  s.API = api;
  s.NoSignalSocket = MakeNoSignalSocketMethod(api);
  s.CryptoLib = crypto;
  s.SSLLib = ssl;
  s.LoadedGeneration = aGeneration;
  return true;
}

}  // namespace

int OpenSSLGeneration() {
  std::lock_guard guard(State().Lock);
  return State().Generation;
}

void SetOpenSSLGeneration(int aGeneration) {
  std::lock_guard guard(State().Lock);
  if (aGeneration >= 0 && aGeneration < kGenerationCount) State().Generation = aGeneration;
}

std::string OpenSSLLibFolder() {
  std::string folder = GetOpenSSLLibFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

bool LoadTLSLibraries() {
  TLoaderState& s = State();
  if (s.Loaded.load(std::memory_order_acquire)) return true;
  std::lock_guard guard(s.Lock);
  if (s.Loaded.load(std::memory_order_relaxed)) return true;
  s.Failures.clear();
  s.Folder = OpenSSLLibFolder();

  // The chosen generation first, then the others newest first.
  int order[kGenerationCount] = {s.Generation, 0, 0};
  for (int g = kGenerationCount - 1, n = 1; g >= 0; --g)
    if (g != s.Generation) order[n++] = g;
  for (int generation : order) {
    if (TryLoadGeneration(s, generation)) {
      s.Failures.clear();
      s.Loaded.store(true, std::memory_order_release);
      return true;
    }
  }
  return false;
}

void UnloadTLSLibraries() {
  TLoaderState& s = State();
  std::lock_guard guard(s.Lock);
  if (s.Loaded.load(std::memory_order_relaxed)) {
    if (s.LoadedGeneration == 0) {
      s.API.CRYPTO_set_locking_callback(nullptr);
      s.API.EVP_cleanup();
      s.CryptoLocks.reset();
    }
    if (s.NoSignalSocket) s.API.BIO_meth_free(s.NoSignalSocket);
    s.NoSignalSocket = nullptr;
    CloseLibraries(s.CryptoLib, s.SSLLib);
  }
  s.Loaded.store(false, std::memory_order_release);
  s.API = TIdOpenSSLAPI();
  s.LoadedGeneration = -1;
  s.Version = 0;
  s.Failures.clear();
}

bool TLSLibrariesLoaded() { return State().Loaded.load(std::memory_order_acquire); }

int LoadedOpenSSLGeneration() {
  std::lock_guard guard(State().Lock);
  return State().LoadedGeneration;
}

std::vector<std::string> OpenSSLFailures() {
  std::lock_guard guard(State().Lock);
  return State().Failures;
}

std::string WhichFailedToLoad() {
  std::string text;
  for (const std::string& failure : OpenSSLFailures()) {
    if (!text.empty()) text += ',';
    text += failure;
  }
  return text;
}

unsigned long OpenSSLVersionNumber() {
  std::lock_guard guard(State().Lock);
  return State().Version;
}

std::string OpenSSLVersionText() {
  if (!TLSLibrariesLoaded()) return std::string();
  const char* text = OpenSSLAPI().OpenSSL_version(0);
  return text ? std::string(text) : std::string();
}

const TIdOpenSSLAPI& OpenSSLAPI() { return State().API; }

PBIO_METHOD NoSignalSocketMethod() { return State().NoSignalSocket; }

void* OpenSSLCryptoSymbol(const char* aName) {
  TLoaderState& s = State();
  std::lock_guard guard(s.Lock);
  return s.CryptoLib ? dlsym(s.CryptoLib, aName) : nullptr;
}

}  // namespace qtx
