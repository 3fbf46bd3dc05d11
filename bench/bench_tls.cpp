// 256 MiB read over TLS 1.3 on loopback: the library's OpenSSL IO handler
// with ReadStream against a minimal SSL_read loop on the same kind of
// connection, served by the same in-process OpenSSL server in the same run.

// The library's headers first: OpenSSL defines macros under some of the
// names its function table uses.
#include "tls/qtxIdSSLOpenSSL.h"
// clang-format off
#include "qtxBenchTls.h"
// clang-format on

namespace {

using namespace qtx::bench;

TBulkServer* GServer = nullptr;

void Library_ReadStream(benchmark::State& aState) {
  ReadStreamThrough<qtx::TIdSSLIOHandlerSocketOpenSSL>(aState, GServer->Port(), [](auto& aHandler) {
    aHandler.SSLOptions().SetMethod(qtx::sslvTLSv1_3);
  });
}

void Peer_SSL_read(benchmark::State& aState) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
  std::vector<char> buffer(kReadBlock);
  for (auto _ : aState) {
    const int fd = ConnectLoopback(GServer->Port());
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, "localhost");
    if (SSL_connect(ssl) != 1) throw std::runtime_error("handshake failed");
    int64_t received = 0;
    while (received < kTransferSize) {
      const int n = SSL_read(ssl, buffer.data(), kReadBlock);
      if (n <= 0) throw std::runtime_error("read failed");
      received += n;
    }
    SSL_shutdown(ssl);
    SSL_free(ssl);
    close(fd);
  }
  aState.SetBytesProcessed(aState.iterations() * kTransferSize);
  SSL_CTX_free(context);
}

}  // namespace

int main(int argc, char** argv) {
  TBulkServer server;
  GServer = &server;
  return RunAlternatingRounds(argc, argv, {"Library_ReadStream", Library_ReadStream},
                              {"Peer_SSL_read", Peer_SSL_read}, "SSL_read loop");
}
