#pragma once
// The OpenSSL loader. The library is never linked: libcrypto and libssl are
// opened at run time by file name and every function used is bound by name
// into one table. The process chooses a generation (0 = 1.0, 1 = 1.1,
// 2 = 3.x) and an optional folder; when the chosen generation is not
// installed the others are tried, newest first.
//
// OpenSSL's structures are opaque here: only pointers to them travel. Include
// this header before any OpenSSL header in a unit that uses both, since
// OpenSSL defines macros under some of the function names of the table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/qtxIdException.h"
#include "core/qtxIdSSLLibFolder.h"

namespace qtx {

// The root of every OpenSSL failure, and the one the loader raises through
// its callers when no generation could be loaded.
class EIdOpenSSLError : public EIdException { using EIdException::EIdException; };
class EIdOSSLCouldNotLoadSSLLibrary : public EIdOpenSSLError {
public:
  EIdOSSLCouldNotLoadSSLLibrary() : EIdOpenSSLError("Could not load SSL library.") {}
  using EIdOpenSSLError::EIdOpenSSLError;
};

// Opaque OpenSSL objects (distinct from OpenSSL's own declarations).
using PSSL = struct TIdSSLObject*;
using PSSL_CTX = struct TIdSSLCtxObject*;
using PSSL_METHOD = const struct TIdSSLMethodObject*;
using PSSL_CIPHER = const struct TIdSSLCipherObject*;
using PSSL_SESSION = struct TIdSSLSessionObject*;
using PX509 = struct TIdX509Object*;
using PX509_NAME = struct TIdX509NameObject*;
using PX509_STORE = struct TIdX509StoreObject*;
using PX509_STORE_CTX = struct TIdX509StoreCtxObject*;
using PX509_VERIFY_PARAM = struct TIdX509VerifyParamObject*;
using PASN1_INTEGER = struct TIdASN1StringObject*;
using PASN1_TIME = struct TIdASN1StringObject*;
using PASN1_STRING = struct TIdASN1StringObject*;
using PEVP_MD = const struct TIdEVPMDObject*;
using PEVP_PKEY = struct TIdEVPPKeyObject*;
using PBIO = struct TIdBIOObject*;
using PBIO_METHOD = struct TIdBIOMethodObject*;
using PDH = struct TIdDHObject*;
using PPKCS12 = struct TIdPKCS12Object*;
using POPENSSL_STACK = struct TIdStackObject*;

// OpenSSL's constants used by this library (their values are part of the ABI).
constexpr int SSL_ERROR_NONE = 0;
constexpr int SSL_ERROR_SSL = 1;
constexpr int SSL_ERROR_WANT_READ = 2;
constexpr int SSL_ERROR_WANT_WRITE = 3;
constexpr int SSL_ERROR_WANT_X509_LOOKUP = 4;
constexpr int SSL_ERROR_SYSCALL = 5;
constexpr int SSL_ERROR_ZERO_RETURN = 6;

constexpr int SSL_CTRL_OPTIONS = 32;
constexpr int SSL_CTRL_MODE = 33;
constexpr int SSL_CTRL_SET_TMP_DH = 3;
constexpr int SSL_CTRL_EXTRA_CHAIN_CERT = 14;
constexpr int SSL_CTRL_SET_TLSEXT_HOSTNAME = 55;
constexpr int SSL_CTRL_SET_READ_AHEAD = 41;
constexpr int SSL_CTRL_CLEAR_OPTIONS = 77;
constexpr int SSL_CTRL_SET_MIN_PROTO_VERSION = 123;
constexpr int SSL_CTRL_SET_MAX_PROTO_VERSION = 124;
constexpr long TLSEXT_NAMETYPE_host_name = 0;
constexpr long SSL_MODE_AUTO_RETRY = 4;

constexpr uint64_t SSL_OP_NO_SSLv2 = 0x01000000;
constexpr uint64_t SSL_OP_NO_SSLv3 = 0x02000000;
constexpr uint64_t SSL_OP_NO_TLSv1 = 0x04000000;
constexpr uint64_t SSL_OP_NO_TLSv1_2 = 0x08000000;
constexpr uint64_t SSL_OP_NO_TLSv1_1 = 0x10000000;
constexpr uint64_t SSL_OP_NO_TLSv1_3 = 0x20000000;

constexpr int TLS1_VERSION = 0x0301;
constexpr int TLS1_1_VERSION = 0x0302;
constexpr int TLS1_2_VERSION = 0x0303;
constexpr int TLS1_3_VERSION = 0x0304;
// The first library version that speaks TLS 1.3 (1.1.1).
constexpr unsigned long OPENSSL_VERSION_1_1_1 = 0x1010100FUL;

constexpr int SSL_CB_LOOP = 0x01;
constexpr int SSL_CB_EXIT = 0x02;
constexpr int SSL_CB_READ = 0x04;
constexpr int SSL_CB_WRITE = 0x08;
constexpr int SSL_CB_ALERT = 0x4000;
constexpr int SSL_CB_HANDSHAKE_START = 0x10;
constexpr int SSL_CB_HANDSHAKE_DONE = 0x20;
constexpr int SSL_ST_CONNECT = 0x1000;
constexpr int SSL_ST_ACCEPT = 0x2000;

constexpr int SSL_FILETYPE_PEM = 1;
constexpr int BIO_C_SET_FD = 104;
constexpr int BIO_C_GET_FD = 105;
constexpr int BIO_NOCLOSE = 0;
constexpr int BIO_TYPE_DESCRIPTOR = 0x0100;
constexpr int BIO_TYPE_SOURCE_SINK = 0x0400;
constexpr int BIO_FLAGS_WRITE = 0x02;
constexpr int BIO_FLAGS_RWS = 0x07;
constexpr int BIO_FLAGS_SHOULD_RETRY = 0x08;
constexpr int CRYPTO_LOCK = 1;

using TIdPasswordCallback = int (*)(char* aBuf, int aSize, int aRWFlag, void* aUserData);
using TIdVerifyCallback = int (*)(int aOk, PX509_STORE_CTX aStoreCtx);
using TIdInfoCallback = void (*)(PSSL aSSL, int aWhere, int aRet);
using TIdLockingCallback = void (*)(int aMode, int aType, const char* aFile, int aLine);

// Every function the library calls, bound by name. A missing optional
// function stays null; callers test it before use.
struct TIdOpenSSLAPI {
  // libssl: required in every generation.
  PSSL_CTX (*SSL_CTX_new)(PSSL_METHOD) = nullptr;
  void (*SSL_CTX_free)(PSSL_CTX) = nullptr;
  int (*SSL_CTX_set_cipher_list)(PSSL_CTX, const char*) = nullptr;
  int (*SSL_set_fd)(PSSL, int) = nullptr;
  int (*SSL_CTX_use_PrivateKey_file)(PSSL_CTX, const char*, int) = nullptr;
  int (*SSL_CTX_use_certificate_file)(PSSL_CTX, const char*, int) = nullptr;
  void (*SSL_CTX_set_verify)(PSSL_CTX, int, TIdVerifyCallback) = nullptr;
  void (*SSL_CTX_set_verify_depth)(PSSL_CTX, int) = nullptr;
  PSSL (*SSL_new)(PSSL_CTX) = nullptr;
  void (*SSL_free)(PSSL) = nullptr;
  int (*SSL_connect)(PSSL) = nullptr;
  int (*SSL_accept)(PSSL) = nullptr;
  int (*SSL_read)(PSSL, void*, int) = nullptr;
  int (*SSL_write)(PSSL, const void*, int) = nullptr;
  long (*SSL_ctrl)(PSSL, int, long, void*) = nullptr;
  long (*SSL_CTX_ctrl)(PSSL_CTX, int, long, void*) = nullptr;
  int (*SSL_get_error)(PSSL, int) = nullptr;
  int (*SSL_shutdown)(PSSL) = nullptr;
  void (*SSL_set_shutdown)(PSSL, int) = nullptr;
  int (*SSL_CTX_load_verify_locations)(PSSL_CTX, const char*, const char*) = nullptr;
  PSSL_SESSION (*SSL_get_session)(PSSL) = nullptr;
  int (*SSL_copy_session_id)(PSSL, PSSL) = nullptr;
  PX509_STORE (*SSL_CTX_get_cert_store)(PSSL_CTX) = nullptr;
  // "SSL_get1_peer_certificate" from 3.x, "SSL_get_peer_certificate" before;
  // both return a new reference.
  PX509 (*SSL_get_peer_certificate)(PSSL) = nullptr;
  int (*SSL_CTX_set_default_verify_paths)(PSSL_CTX) = nullptr;
  int (*SSL_CTX_check_private_key)(PSSL_CTX) = nullptr;
  void (*SSL_CTX_set_default_passwd_cb)(PSSL_CTX, TIdPasswordCallback) = nullptr;
  void (*SSL_CTX_set_default_passwd_cb_userdata)(PSSL_CTX, void*) = nullptr;
  void (*SSL_CTX_set_info_callback)(PSSL_CTX, TIdInfoCallback) = nullptr;
  int (*SSL_CTX_use_certificate)(PSSL_CTX, PX509) = nullptr;
  int (*SSL_CTX_use_PrivateKey)(PSSL_CTX, PEVP_PKEY) = nullptr;
  POPENSSL_STACK (*SSL_load_client_CA_file)(const char*) = nullptr;
  void (*SSL_CTX_set_client_CA_list)(PSSL_CTX, POPENSSL_STACK) = nullptr;
  int (*SSL_set_ex_data)(PSSL, int, void*) = nullptr;
  void* (*SSL_get_ex_data)(PSSL, int) = nullptr;
  PSSL_CIPHER (*SSL_get_current_cipher)(PSSL) = nullptr;
  const char* (*SSL_CIPHER_get_name)(PSSL_CIPHER) = nullptr;
  char* (*SSL_CIPHER_description)(PSSL_CIPHER, char*, int) = nullptr;
  int (*SSL_CIPHER_get_bits)(PSSL_CIPHER, int*) = nullptr;
  const char* (*SSL_CIPHER_get_version)(PSSL_CIPHER) = nullptr;
  const char* (*SSL_state_string_long)(PSSL) = nullptr;
  const char* (*SSL_alert_type_string_long)(int) = nullptr;
  const char* (*SSL_alert_desc_string_long)(int) = nullptr;
  int (*SSL_get_ex_data_X509_STORE_CTX_idx)() = nullptr;  // required from 1.1
  const char* (*SSL_get_version)(PSSL) = nullptr;         // required from 1.1

  // libssl: generation 0 only.
  int (*SSL_library_init)() = nullptr;
  void (*SSL_load_error_strings)() = nullptr;

  // libssl: method constructors. TLS_method is required from 1.1; the
  // per-version ones are optional. In 1.1 and later "SSLv23_*" is bound to
  // "TLS_*", the flexible method that replaced it.
  PSSL_METHOD (*TLS_method)() = nullptr;
  PSSL_METHOD (*TLS_client_method)() = nullptr;
  PSSL_METHOD (*TLS_server_method)() = nullptr;
  PSSL_METHOD (*SSLv2_method)() = nullptr;
  PSSL_METHOD (*SSLv2_client_method)() = nullptr;
  PSSL_METHOD (*SSLv2_server_method)() = nullptr;
  PSSL_METHOD (*SSLv23_method)() = nullptr;
  PSSL_METHOD (*SSLv23_client_method)() = nullptr;
  PSSL_METHOD (*SSLv23_server_method)() = nullptr;
  PSSL_METHOD (*SSLv3_method)() = nullptr;
  PSSL_METHOD (*SSLv3_client_method)() = nullptr;
  PSSL_METHOD (*SSLv3_server_method)() = nullptr;
  PSSL_METHOD (*TLSv1_method)() = nullptr;
  PSSL_METHOD (*TLSv1_client_method)() = nullptr;
  PSSL_METHOD (*TLSv1_server_method)() = nullptr;
  PSSL_METHOD (*TLSv1_1_method)() = nullptr;
  PSSL_METHOD (*TLSv1_1_client_method)() = nullptr;
  PSSL_METHOD (*TLSv1_1_server_method)() = nullptr;
  PSSL_METHOD (*TLSv1_2_method)() = nullptr;
  PSSL_METHOD (*TLSv1_2_client_method)() = nullptr;
  PSSL_METHOD (*TLSv1_2_server_method)() = nullptr;

  // libssl: optional.
  int (*SSL_peek)(PSSL, void*, int) = nullptr;
  int (*SSL_pending)(PSSL) = nullptr;
  int (*SSL_has_pending)(PSSL) = nullptr;  // from 1.1
  int (*SSL_do_handshake)(PSSL) = nullptr;
  void (*SSL_get0_alpn_selected)(PSSL, const unsigned char**, unsigned*) = nullptr;
  int (*SSL_CTX_set_alpn_protos)(PSSL_CTX, const unsigned char*, unsigned) = nullptr;
  int (*SSL_CTX_use_certificate_chain_file)(PSSL_CTX, const char*) = nullptr;
  uint64_t (*SSL_CTX_set_options)(PSSL_CTX, uint64_t) = nullptr;    // from 1.1
  uint64_t (*SSL_CTX_clear_options)(PSSL_CTX, uint64_t) = nullptr;  // from 1.1
  int (*SSL_set1_host)(PSSL, const char*) = nullptr;                // from 1.1
  void (*SSL_set_bio)(PSSL, PBIO, PBIO) = nullptr;
  PX509_VERIFY_PARAM (*SSL_get0_param)(PSSL) = nullptr;             // from 1.0.2

  // libcrypto: version (OpenSSL_version_num / OpenSSL_version from 1.1,
  // SSLeay / SSLeay_version in 1.0; bound into the same slots).
  unsigned long (*OpenSSL_version_num)() = nullptr;
  const char* (*OpenSSL_version)(int) = nullptr;

  // libcrypto: generation 0 only.
  void (*OpenSSL_add_all_algorithms)() = nullptr;  // or OPENSSL_add_all_algorithms_noconf
  void (*OpenSSL_add_all_ciphers)() = nullptr;
  void (*OpenSSL_add_all_digests)() = nullptr;
  void (*EVP_cleanup)() = nullptr;
  int (*CRYPTO_num_locks)() = nullptr;
  void (*CRYPTO_set_locking_callback)(TIdLockingCallback) = nullptr;

  // libcrypto: stacks ("sk_*" in 1.0, "OPENSSL_sk_*" later).
  int (*sk_num)(POPENSSL_STACK) = nullptr;
  POPENSSL_STACK (*sk_new)(void*) = nullptr;
  POPENSSL_STACK (*sk_new_null)() = nullptr;
  void (*sk_free)(POPENSSL_STACK) = nullptr;
  int (*sk_push)(POPENSSL_STACK, void*) = nullptr;
  POPENSSL_STACK (*sk_dup)(POPENSSL_STACK) = nullptr;
  int (*sk_find)(POPENSSL_STACK, void*) = nullptr;
  void* (*sk_value)(POPENSSL_STACK, int) = nullptr;
  void (*sk_pop_free)(POPENSSL_STACK, void (*)(void*)) = nullptr;

  // libcrypto: errors.
  unsigned long (*ERR_get_error)() = nullptr;
  unsigned long (*ERR_peek_error)() = nullptr;
  void (*ERR_error_string_n)(unsigned long, char*, size_t) = nullptr;
  void (*ERR_clear_error)() = nullptr;

  // libcrypto: certificates and the verify store.
  void* (*X509_STORE_CTX_get_ex_data)(PX509_STORE_CTX, int) = nullptr;
  PX509 (*X509_STORE_CTX_get_current_cert)(PX509_STORE_CTX) = nullptr;
  int (*X509_STORE_CTX_get_error)(PX509_STORE_CTX) = nullptr;
  int (*X509_STORE_CTX_get_error_depth)(PX509_STORE_CTX) = nullptr;
  const char* (*X509_verify_cert_error_string)(long) = nullptr;
  PX509_NAME (*X509_get_subject_name)(PX509) = nullptr;
  PX509_NAME (*X509_get_issuer_name)(PX509) = nullptr;
  char* (*X509_NAME_oneline)(PX509_NAME, char*, int) = nullptr;
  PASN1_INTEGER (*X509_get_serialNumber)(PX509) = nullptr;
  int (*X509_digest)(PX509, PEVP_MD, unsigned char*, unsigned*) = nullptr;
  int (*X509_up_ref)(PX509) = nullptr;  // optional: from 1.1
  void (*X509_free)(PX509) = nullptr;
  PASN1_TIME (*X509_get0_notBefore)(PX509) = nullptr;  // optional: from 1.1
  PASN1_TIME (*X509_get0_notAfter)(PX509) = nullptr;   // optional: from 1.1
  int (*X509_VERIFY_PARAM_set1_host)(PX509_VERIFY_PARAM, const char*, size_t) = nullptr;  // optional
  int (*X509_VERIFY_PARAM_set1_ip_asc)(PX509_VERIFY_PARAM, const char*) = nullptr;           // optional
  int (*ASN1_STRING_length)(PASN1_STRING) = nullptr;
  int (*ASN1_STRING_type)(PASN1_STRING) = nullptr;
  const unsigned char* (*ASN1_STRING_get0_data)(PASN1_STRING) = nullptr;  // "ASN1_STRING_data" in 1.0
  PEVP_MD (*EVP_sha1)() = nullptr;
  PEVP_MD (*EVP_sha256)() = nullptr;
  void (*EVP_PKEY_free)(PEVP_PKEY) = nullptr;

  // libcrypto: files (PKCS#12 and DH parameters).
  PBIO (*BIO_new_file)(const char*, const char*) = nullptr;
  int (*BIO_free)(PBIO) = nullptr;
  PPKCS12 (*d2i_PKCS12_bio)(PBIO, PPKCS12*) = nullptr;
  int (*PKCS12_parse)(PPKCS12, const char*, PEVP_PKEY*, PX509*, POPENSSL_STACK*) = nullptr;
  void (*PKCS12_free)(PPKCS12) = nullptr;
  PDH (*PEM_read_bio_DHparams)(PBIO, PDH*, TIdPasswordCallback, void*) = nullptr;
  void (*DH_free)(PDH) = nullptr;

  // libcrypto: a socket BIO whose writes never raise SIGPIPE (from 1.1).
  PBIO_METHOD (*BIO_s_socket)() = nullptr;
  int (*BIO_get_new_index)() = nullptr;
  PBIO_METHOD (*BIO_meth_new)(int, const char*) = nullptr;
  void (*BIO_meth_free)(PBIO_METHOD) = nullptr;
  int (*BIO_meth_set_write)(PBIO_METHOD, int (*)(PBIO, const char*, int)) = nullptr;
  int (*(*BIO_meth_get_read)(PBIO_METHOD))(PBIO, char*, int) = nullptr;
  int (*BIO_meth_set_read)(PBIO_METHOD, int (*)(PBIO, char*, int)) = nullptr;
  int (*(*BIO_meth_get_puts)(PBIO_METHOD))(PBIO, const char*) = nullptr;
  int (*BIO_meth_set_puts)(PBIO_METHOD, int (*)(PBIO, const char*)) = nullptr;
  long (*(*BIO_meth_get_ctrl)(PBIO_METHOD))(PBIO, int, long, void*) = nullptr;
  int (*BIO_meth_set_ctrl)(PBIO_METHOD, long (*)(PBIO, int, long, void*)) = nullptr;
  int (*(*BIO_meth_get_create)(PBIO_METHOD))(PBIO) = nullptr;
  int (*BIO_meth_set_create)(PBIO_METHOD, int (*)(PBIO)) = nullptr;
  int (*(*BIO_meth_get_destroy)(PBIO_METHOD))(PBIO) = nullptr;
  int (*BIO_meth_set_destroy)(PBIO_METHOD, int (*)(PBIO)) = nullptr;
  PBIO (*BIO_new)(PBIO_METHOD) = nullptr;
  long (*BIO_ctrl)(PBIO, int, long, void*) = nullptr;
  long (*BIO_int_ctrl)(PBIO, int, long, int) = nullptr;
  void (*BIO_set_flags)(PBIO, int) = nullptr;
  void (*BIO_clear_flags)(PBIO, int) = nullptr;

  // libcrypto: optional primitives for the NTLM authentication scheme.
  void (*DES_set_odd_parity)(void* aKey) = nullptr;
  int (*DES_set_key)(const void* aKey, void* aSchedule) = nullptr;
  void (*DES_set_key_unchecked)(const void* aKey, void* aSchedule) = nullptr;
  void (*DES_ecb_encrypt)(const void* aInput, void* aOutput, void* aSchedule, int aEnc) = nullptr;
  unsigned char* (*MD4)(const unsigned char* aData, size_t aLength, unsigned char* aDigest) = nullptr;
};

// The generation the next load starts with: 0 = 1.0, 1 = 1.1, 2 = 3.x.
int OpenSSLGeneration();
void SetOpenSSLGeneration(int aGeneration);

// The folder the libraries are loaded from (SetOpenSSLLibFolder of the
// core), with a trailing "/" added; empty = the system's search.
std::string OpenSSLLibFolder();

// Loads and initialises the libraries once per process (serialised; a later
// call returns at once). False when no generation could be loaded; the
// failure list then tells why.
bool LoadTLSLibraries();
// Forgets the loaded libraries, so that the next load starts afresh.
void UnloadTLSLibraries();
bool TLSLibrariesLoaded();

// The generation actually loaded, or -1 when none is.
int LoadedOpenSSLGeneration();
// "Failed to load %s." lines and the names of missing required functions.
std::vector<std::string> OpenSSLFailures();
// The failure list as comma-separated text.
std::string WhichFailedToLoad();
// The loaded library's version number (0x30000000 style) and text.
unsigned long OpenSSLVersionNumber();
std::string OpenSSLVersionText();

// OpenSSL's socket BIO with its writes made by send(MSG_NOSIGNAL), so that a
// vanished peer fails a write with EPIPE instead of raising SIGPIPE; null
// when the library cannot make one (1.0).
PBIO_METHOD NoSignalSocketMethod();

// The bound functions; valid while the libraries are loaded.
const TIdOpenSSLAPI& OpenSSLAPI();

// Looks up any other function of the loaded libcrypto by name (null when the
// libraries are not loaded or the name is unknown), for units that need a
// primitive the table does not carry.
void* OpenSSLCryptoSymbol(const char* aName);

}  // namespace qtx
