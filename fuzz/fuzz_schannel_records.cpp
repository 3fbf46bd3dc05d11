// Arbitrary bytes as a TLS server's records, fed to the SChannel channel's
// security provider the way the channel feeds what it receives. The first
// byte picks the path:
//   even  the handshake: the bytes answer the provider's ClientHello
//   odd   the record reader: the bytes arrive on a context that finished
//         its handshake with a GnuTLS server over memory
// Whatever the bytes, a call keeps to its buffers: extra bytes lie within
// the input, decrypted data within the record, and the status is one the
// channel knows.

#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tls/provider/qtxSecurityProvider.h"

#define QTX_FUZZ_CHECK(condition)                                                          \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (false)

namespace {

using namespace qtx;

constexpr uint32_t kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                              ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;
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

// A GnuTLS server over memory, for the handshake that the record reader's
// context needs.
struct TServer {
  TServer() {
    gnutls_init(&Session, GNUTLS_SERVER | GNUTLS_NONBLOCK);
    gnutls_set_default_priority(Session);
    gnutls_credentials_set(Session, GNUTLS_CRD_CERTIFICATE, ServerCredentials());
    gnutls_transport_set_ptr(Session, this);
    gnutls_transport_set_push_function(Session, [](gnutls_transport_ptr_t aSelf, const void* aData, size_t aSize) {
      auto& out = static_cast<TServer*>(aSelf)->Out;
      out.insert(out.end(), static_cast<const uint8_t*>(aData), static_cast<const uint8_t*>(aData) + aSize);
      return static_cast<ssize_t>(aSize);
    });
    gnutls_transport_set_pull_function(Session, [](gnutls_transport_ptr_t aSelf, void* aData, size_t aSize) {
      auto* self = static_cast<TServer*>(aSelf);
      if (self->In.empty()) {
        gnutls_transport_set_errno(self->Session, EAGAIN);
        return ssize_t{-1};
      }
      const size_t count = std::min(aSize, self->In.size());
      std::memcpy(aData, self->In.data(), count);
      self->In.erase(self->In.begin(), self->In.begin() + static_cast<std::ptrdiff_t>(count));
      return static_cast<ssize_t>(count);
    });
  }
  ~TServer() { gnutls_deinit(Session); }

  gnutls_session_t Session;
  TBytes In;
  TBytes Out;
};

class TClient {
public:
  TClient() {
    const TLS_PARAMETERS parameters{SP_PROT_SSL3_CLIENT};
    const SCH_CREDENTIALS data{SCH_CREDENTIALS_VERSION, 0, nullptr, SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION,
                               1, &parameters, 0, nullptr};
    QTX_FUZZ_CHECK(T.AcquireCredentialsHandle(UNISP_NAME, SECPKG_CRED_OUTBOUND, &data, &FCredentials) == SEC_E_OK);
  }
  ~TClient() {
    if (SecIsValidHandle(FContext)) T.DeleteSecurityContext(&FContext);
    T.FreeCredentialsHandle(&FCredentials);
  }

  // One InitializeSecurityContext over what was received, as the channel
  // calls it; the output token is appended to aToken.
  SECURITY_STATUS Initialize(TBytes& aToken) {
    SecBuffer input[2] = {{static_cast<uint32_t>(Received.size()), SECBUFFER_TOKEN, Received.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
    uint32_t attributes;
    const SECURITY_STATUS status =
        T.InitializeSecurityContext(&FCredentials, SecIsValidHandle(FContext) ? &FContext : nullptr, "localhost",
                                    kRequest, SECURITY_NATIVE_DREP, &inputDesc, &FContext, &output, &attributes);
    QTX_FUZZ_CHECK(IsKnownStatus(status));
    QTX_FUZZ_CHECK((token.pvBuffer == nullptr) == (token.cbBuffer == 0));
    aToken.insert(aToken.end(), static_cast<uint8_t*>(token.pvBuffer),
                  static_cast<uint8_t*>(token.pvBuffer) + token.cbBuffer);
    T.FreeContextBuffer(token.pvBuffer);
    Keep(status, input[1]);
    return status;
  }

  SECURITY_STATUS Decrypt() {
    const size_t size = Received.size();
    SecBuffer buffers[4] = {{static_cast<uint32_t>(size), SECBUFFER_DATA, Received.data()}, {}, {}, {}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = T.DecryptMessage(&FContext, &message, 0, nullptr);
    QTX_FUZZ_CHECK(IsKnownStatus(status));
    SecBuffer extra{};
    for (const SecBuffer& buffer : buffers) {
      const auto* start = static_cast<const uint8_t*>(buffer.pvBuffer);
      if (buffer.cbBuffer > 0)
        QTX_FUZZ_CHECK(start >= Received.data() && start + buffer.cbBuffer <= Received.data() + size);
      if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer;
    }
    Keep(status, extra);
    return status;
  }

  const SecurityFunctionTable& T = *InitSecurityInterface();
  TBytes Received;

private:
  void Keep(SECURITY_STATUS aStatus, const SecBuffer& aExtra) {
    if (aExtra.BufferType == SECBUFFER_EXTRA) {
      QTX_FUZZ_CHECK(aExtra.cbBuffer <= Received.size());
      Received.erase(Received.begin(), Received.end() - aExtra.cbBuffer);
    } else if (aStatus != SEC_E_INCOMPLETE_MESSAGE) {
      Received.clear();
    }
  }

  CredHandle FCredentials;
  CtxtHandle FContext;
};

void Handshake(const uint8_t* aData, size_t aSize) {
  TClient client;
  TBytes clientHello;
  QTX_FUZZ_CHECK(client.Initialize(clientHello) == SEC_I_CONTINUE_NEEDED);
  client.Received.assign(aData, aData + aSize);
  for (int call = 0; call < kMaxCalls; ++call) {
    TBytes token;
    const size_t before = client.Received.size();
    const SECURITY_STATUS status = client.Initialize(token);
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // answered without a certificate
    if (status != SEC_I_CONTINUE_NEEDED || client.Received.size() >= before) break;
  }
}

void Records(const uint8_t* aData, size_t aSize) {
  TServer server;
  TClient client;
  TBytes token;
  SECURITY_STATUS status = client.Initialize(token);
  for (int round = 0; round < 16 && status == SEC_I_CONTINUE_NEEDED; ++round) {
    server.In.insert(server.In.end(), token.begin(), token.end());
    gnutls_handshake(server.Session);
    client.Received.insert(client.Received.end(), server.Out.begin(), server.Out.end());
    server.Out.clear();
    token.clear();
    status = client.Initialize(token);
  }
  QTX_FUZZ_CHECK(status == SEC_E_OK);
  client.Received.assign(aData, aData + aSize);
  for (int call = 0; call < kMaxCalls && !client.Received.empty(); ++call) {
    status = client.Decrypt();
    if (status == SEC_I_RENEGOTIATE) status = client.Initialize(token);
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
