// Arbitrary bytes as a TLS server's records, fed to the SChannel channel's
// security provider the way the channel feeds what it receives. The first
// byte picks the path:
//   even  the handshake: the bytes answer the provider's ClientHello
//   odd   the record reader: the bytes arrive on a context that finished
//         its handshake with a GnuTLS server over memory
// Whatever the bytes, every status is one the channel knows, and what
// DecryptMessage hands back (header, data, trailer, extra) lies within the
// bytes it was given.

#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <ctime>

#include "qtxFuzzHelpers.h"
#include "support/qtxTestSecurityProvider.h"

namespace {

using namespace qtx;

// More calls than any input of the fuzzer's size can use.
constexpr int kMaxCalls = 4096;

bool IsKnownStatus(SECURITY_STATUS aStatus) {
  for (const SECURITY_STATUS known :
       {SEC_E_OK, SEC_I_CONTINUE_NEEDED, SEC_I_CONTEXT_EXPIRED, SEC_I_INCOMPLETE_CREDENTIALS, SEC_I_RENEGOTIATE,
        SEC_E_INSUFFICIENT_MEMORY, SEC_E_INTERNAL_ERROR, SEC_E_INCOMPLETE_MESSAGE, SEC_E_ILLEGAL_MESSAGE,
        SEC_E_DECRYPT_FAILURE, SEC_E_ALGORITHM_MISMATCH, SEC_E_INVALID_HANDLE})
    if (aStatus == known) return true;
  return false;
}

// A self-signed P-256 certificate and key for the in-memory server, made once.
gnutls_certificate_credentials_t ServerCredentials() {
  static const gnutls_certificate_credentials_t credentials = [] {
    gnutls_x509_privkey_t key;
    gnutls_x509_privkey_init(&key);
    gnutls_x509_privkey_generate(key, GNUTLS_PK_ECDSA, GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0);
    gnutls_x509_crt_t certificate;
    gnutls_x509_crt_init(&certificate);
    gnutls_x509_crt_set_version(certificate, 3);
    gnutls_x509_crt_set_serial(certificate, "\x01", 1);
    gnutls_x509_crt_set_activation_time(certificate, time(nullptr) - 60);
    gnutls_x509_crt_set_expiration_time(certificate, time(nullptr) + 86400);
    gnutls_x509_crt_set_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, "localhost", 9);
    gnutls_x509_crt_set_key(certificate, key);
    gnutls_x509_crt_sign2(certificate, certificate, key, GNUTLS_DIG_SHA256, 0);
    gnutls_certificate_credentials_t result;
    gnutls_certificate_allocate_credentials(&result);
    gnutls_certificate_set_x509_key(result, &certificate, 1, key);
    gnutls_x509_crt_deinit(certificate);
    gnutls_x509_privkey_deinit(key);
    return result;
  }();
  return credentials;
}

void Handshake(const uint8_t* aData, size_t aSize) {
  test::TProviderClient client;
  TBytes token;
  QTX_FUZZ_CHECK(client.Initialize(token) == SEC_I_CONTINUE_NEEDED);
  client.Received.assign(aData, aData + aSize);
  for (int call = 0; call < kMaxCalls; ++call) {
    const size_t before = client.Received.size();
    const SECURITY_STATUS status = client.Initialize(token);
    QTX_FUZZ_CHECK(IsKnownStatus(status));
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // answered without a certificate
    if (status != SEC_I_CONTINUE_NEEDED || client.Received.size() >= before) break;
  }
}

void Records(const uint8_t* aData, size_t aSize) {
  test::TMemoryTlsServer server(ServerCredentials());
  test::TProviderClient client;
  QTX_FUZZ_CHECK(client.Handshake(server) == SEC_E_OK);
  client.Received.assign(aData, aData + aSize);
  for (int call = 0; call < kMaxCalls && !client.Received.empty(); ++call) {
    std::string text;
    SECURITY_STATUS status = client.Decrypt(text);
    QTX_FUZZ_CHECK(IsKnownStatus(status));
    QTX_FUZZ_CHECK(client.BuffersWithinInput);
    if (status == SEC_I_RENEGOTIATE) {
      TBytes token;
      status = client.Initialize(token);
      QTX_FUZZ_CHECK(IsKnownStatus(status));
    }
    if (status != SEC_E_OK) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  if (aData[0] % 2 == 0) {
    Handshake(aData + 1, aSize - 1);
  } else {
    Records(aData + 1, aSize - 1);
  }
  return 0;
}
