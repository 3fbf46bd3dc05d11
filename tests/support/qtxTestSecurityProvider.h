#pragma once
// The security provider driven the way the SChannel channel drives it,
// against a GnuTLS server over memory: for the provider's tests and its
// fuzz harness (header only, so that a harness needs nothing but this).

#include <gnutls/gnutls.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "tls/provider/qtxSecurityProvider.h"

namespace qtx::test {

// A GnuTLS server whose bytes go to and come from memory.
class TMemoryTlsServer {
public:
  // aCredentials (the server's certificate) stay the caller's.
  explicit TMemoryTlsServer(gnutls_certificate_credentials_t aCredentials) {
    gnutls_init(&FSession, GNUTLS_SERVER | GNUTLS_NONBLOCK);
    gnutls_set_default_priority(FSession);
    gnutls_credentials_set(FSession, GNUTLS_CRD_CERTIFICATE, aCredentials);
    gnutls_transport_set_ptr(FSession, this);
    gnutls_transport_set_push_function(FSession, [](gnutls_transport_ptr_t aSelf, const void* aData, size_t aSize) {
      auto& out = static_cast<TMemoryTlsServer*>(aSelf)->FOut;
      out.insert(out.end(), static_cast<const uint8_t*>(aData), static_cast<const uint8_t*>(aData) + aSize);
      return static_cast<ssize_t>(aSize);
    });
    gnutls_transport_set_pull_function(FSession, [](gnutls_transport_ptr_t aSelf, void* aData, size_t aSize) {
      auto* self = static_cast<TMemoryTlsServer*>(aSelf);
      if (self->FIn.empty()) {
        gnutls_transport_set_errno(self->FSession, EAGAIN);
        return ssize_t{-1};
      }
      const size_t count = std::min(aSize, self->FIn.size());
      std::memcpy(aData, self->FIn.data(), count);
      self->FIn.erase(self->FIn.begin(), self->FIn.begin() + static_cast<std::ptrdiff_t>(count));
      return static_cast<ssize_t>(count);
    });
  }
  ~TMemoryTlsServer() { gnutls_deinit(FSession); }
  TMemoryTlsServer(const TMemoryTlsServer&) = delete;
  TMemoryTlsServer& operator=(const TMemoryTlsServer&) = delete;

  // Takes the client's bytes, runs the handshake as far as they allow and
  // returns what the server wrote.
  TBytes Handshake(const TBytes& aFromClient) {
    FIn.insert(FIn.end(), aFromClient.begin(), aFromClient.end());
    gnutls_handshake(FSession);
    return Take();
  }
  TBytes Send(std::string_view aText) {
    gnutls_record_send(FSession, aText.data(), aText.size());
    return Take();
  }
  std::string Receive(const TBytes& aFromClient) {
    FIn.insert(FIn.end(), aFromClient.begin(), aFromClient.end());
    char buffer[256];
    ssize_t count;
    do count = gnutls_record_recv(FSession, buffer, sizeof(buffer));
    while (count == GNUTLS_E_AGAIN && !FIn.empty());
    return count > 0 ? std::string(buffer, static_cast<size_t>(count)) : std::string();
  }
  TBytes Bye() {
    gnutls_bye(FSession, GNUTLS_SHUT_WR);
    return Take();
  }

private:
  TBytes Take() { return std::exchange(FOut, {}); }

  gnutls_session_t FSession;
  TBytes FIn;
  TBytes FOut;
};

// A client context of the provider. Received bytes are kept as the channel
// keeps them: what a call did not use (its extra buffer) stays for the next.
class TProviderClient {
public:
  static constexpr uint32_t kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                       ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;

  explicit TProviderClient(uint32_t aDisabledProtocols = SP_PROT_SSL3_CLIENT) {
    const TLS_PARAMETERS parameters{aDisabledProtocols};
    const SCH_CREDENTIALS data{
        SCH_CREDENTIALS_VERSION, 0, nullptr, SCH_CRED_NO_DEFAULT_CREDS, 1, &parameters, 0, nullptr};
    AcquireStatus = T.AcquireCredentialsHandle(UNISP_NAME, SECPKG_CRED_OUTBOUND, &data, &FCredentials);
  }
  ~TProviderClient() {
    if (SecIsValidHandle(FContext)) T.DeleteSecurityContext(&FContext);
    if (SecIsValidHandle(FCredentials)) T.FreeCredentialsHandle(&FCredentials);
  }
  TProviderClient(const TProviderClient&) = delete;
  TProviderClient& operator=(const TProviderClient&) = delete;

  // InitializeSecurityContext over what was received; aToken is the output.
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
    const auto* bytes = static_cast<const uint8_t*>(token.pvBuffer);
    aToken.assign(bytes, bytes + token.cbBuffer);
    T.FreeContextBuffer(token.pvBuffer);
    Keep(status, input[1]);
    return status;
  }

  // DecryptMessage over what was received; aText is the data it gave.
  SECURITY_STATUS Decrypt(std::string& aText) {
    const uint8_t* start = Received.data();
    const uint8_t* end = start + Received.size();
    SecBuffer buffers[4] = {{static_cast<uint32_t>(Received.size()), SECBUFFER_DATA, Received.data()}, {}, {}, {}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = T.DecryptMessage(&FContext, &message, 0, nullptr);
    aText.clear();
    SecBuffer extra{};
    BuffersWithinInput = true;
    for (const SecBuffer& buffer : buffers) {
      const auto* data = static_cast<const uint8_t*>(buffer.pvBuffer);
      if (buffer.cbBuffer > 0 && (data < start || data + buffer.cbBuffer > end)) BuffersWithinInput = false;
      if (buffer.BufferType == SECBUFFER_DATA) aText.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer;
    }
    Keep(status, extra);
    return status;
  }

  // EncryptMessage of aText; aRecord is what goes on the wire.
  SECURITY_STATUS Encrypt(std::string_view aText, TBytes& aRecord) {
    SecPkgContext_StreamSizes sizes{};
    const SECURITY_STATUS query = T.QueryContextAttributes(&FContext, SECPKG_ATTR_STREAM_SIZES, &sizes);
    if (query != SEC_E_OK) return query;
    TBytes buffer(sizes.cbHeader + aText.size() + sizes.cbTrailer);
    std::memcpy(buffer.data() + sizes.cbHeader, aText.data(), aText.size());
    SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, buffer.data()},
                            {static_cast<uint32_t>(aText.size()), SECBUFFER_DATA, buffer.data() + sizes.cbHeader},
                            {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, buffer.data() + sizes.cbHeader + aText.size()},
                            {}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = T.EncryptMessage(&FContext, 0, &message, 0);
    aRecord.assign(buffer.begin(), buffer.begin() + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    return status;
  }

  // The handshake with aServer, every flight passed whole: its last status.
  SECURITY_STATUS Handshake(TMemoryTlsServer& aServer) {
    TBytes token;
    SECURITY_STATUS status = Initialize(token);
    for (int flight = 0; flight < 16 && status == SEC_I_CONTINUE_NEEDED; ++flight) {
      const TBytes answer = aServer.Handshake(token);
      Received.insert(Received.end(), answer.begin(), answer.end());
      status = Initialize(token);
    }
    if (status == SEC_E_OK) aServer.Handshake(token);
    return status;
  }

  const SecurityFunctionTable& T = *InitSecurityInterface();
  SECURITY_STATUS AcquireStatus;
  TBytes Received;
  // After Decrypt: every buffer it returned lay within the bytes it was given.
  bool BuffersWithinInput = true;

private:
  void Keep(SECURITY_STATUS aStatus, const SecBuffer& aExtra) {
    if (aExtra.BufferType == SECBUFFER_EXTRA && aExtra.cbBuffer <= Received.size())
      Received.erase(Received.begin(), Received.end() - aExtra.cbBuffer);
    else if (aStatus != SEC_E_INCOMPLETE_MESSAGE)
      Received.clear();
  }

  CredHandle FCredentials;
  CtxtHandle FContext;
};

}  // namespace qtx::test
