// 256 MiB read over TLS 1.3 on loopback: the SChannel IO handler (its
// security provider over GnuTLS) with ReadStream against a minimal
// gnutls_record_recv loop on the same kind of connection, served by the same
// in-process OpenSSL server in the same run.

#include "tls/qtxSSL_SChannel.h"
// clang-format off
#include <gnutls/gnutls.h>
#include "qtxBenchTls.h"
// clang-format on

namespace {

using namespace qtx::bench;

TBulkServer* GServer = nullptr;

void Library_ReadStream(benchmark::State& aState) {
  ReadStreamThrough<qtx::TqtxIdSSLIOHandlerSocketSChannel>(aState, GServer->Port(),
                                                           [](auto& aHandler) { aHandler.SetTLSVersion(qtx::tls1_3); });
}

void Peer_gnutls_record_recv(benchmark::State& aState) {
  gnutls_certificate_credentials_t credentials;
  gnutls_certificate_allocate_credentials(&credentials);
  std::vector<char> buffer(kReadBlock);
  for (auto _ : aState) {
    const int fd = ConnectLoopback(GServer->Port());
    gnutls_session_t session;
    gnutls_init(&session, GNUTLS_CLIENT);
    gnutls_priority_set_direct(session, "NORMAL:-VERS-ALL:+VERS-TLS1.3", nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    gnutls_server_name_set(session, GNUTLS_NAME_DNS, "localhost", 9);
    gnutls_transport_set_int(session, fd);
    if (gnutls_handshake(session) < 0) throw std::runtime_error("handshake failed");
    int64_t received = 0;
    while (received < kTransferSize) {
      const ssize_t n = gnutls_record_recv(session, buffer.data(), buffer.size());
      if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) continue;  // session tickets
      if (n <= 0) throw std::runtime_error("read failed");
      received += n;
    }
    gnutls_bye(session, GNUTLS_SHUT_WR);
    gnutls_deinit(session);
    close(fd);
  }
  aState.SetBytesProcessed(aState.iterations() * kTransferSize);
  gnutls_certificate_free_credentials(credentials);
}

}  // namespace

int main(int argc, char** argv) {
  TBulkServer server;
  GServer = &server;
  return RunAlternatingRounds(argc, argv, {"Library_ReadStream", Library_ReadStream},
                              {"Peer_gnutls_record_recv", Peer_gnutls_record_recv}, "gnutls_record_recv loop");
}
