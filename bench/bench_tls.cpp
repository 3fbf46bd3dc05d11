// 256 MiB read over TLS 1.3 on loopback: the library's OpenSSL IO handler
// with ReadStream against a minimal SSL_read loop on the same kind of
// connection, served by the same in-process OpenSSL server in the same run.

// The library's headers first: OpenSSL defines macros under some of the
// names its function table uses.
#include "tls/qtxIdSSLOpenSSL.h"
// clang-format off
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kTransferSize = 256LL * 1024 * 1024;
constexpr int kWriteBlock = 64 * 1024;
constexpr int kReadBlock = 32 * 1024;

// A self-signed P-256 certificate for "localhost", made in memory.
void UseSelfSignedCertificate(SSL_CTX* aContext) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509_sign(certificate, key, EVP_sha256());
  SSL_CTX_use_certificate(aContext, certificate);
  SSL_CTX_use_PrivateKey(aContext, key);
  X509_free(certificate);
  EVP_PKEY_free(key);
}

// Sends kTransferSize bytes over TLS 1.3 to every client, then closes TLS.
class TBulkServer {
public:
  TBulkServer() {
    FContext = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(FContext, TLS1_3_VERSION);
    UseSelfSignedCertificate(FContext);
    FListen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(FListen, 4) != 0)
      throw std::runtime_error("listen failed");
    getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Run(); });
  }
  ~TBulkServer() {
    FStop = true;
    FThread.join();
    close(FListen);
    SSL_CTX_free(FContext);
  }
  uint16_t Port() const { return FPort; }

private:
  void Run() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const std::vector<char> block(kWriteBlock, 'x');
    while (!FStop) {
      pollfd waiter{FListen, POLLIN, 0};
      if (poll(&waiter, 1, 50) != 1) continue;
      const int fd = accept(FListen, nullptr, nullptr);
      SSL* ssl = SSL_new(FContext);
      SSL_set_fd(ssl, fd);
      if (SSL_accept(ssl) == 1) {
        for (int64_t sent = 0; sent < kTransferSize; sent += kWriteBlock)
          if (SSL_write(ssl, block.data(), kWriteBlock) != kWriteBlock) break;
        SSL_shutdown(ssl);
      }
      SSL_free(ssl);
      close(fd);
    }
  }

  SSL_CTX* FContext;
  int FListen;
  uint16_t FPort;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

TBulkServer* GServer = nullptr;

void Library_ReadStream(benchmark::State& aState) {
  for (auto _ : aState) {
    qtx::TIdSSLIOHandlerSocketOpenSSL handler;
    handler.SSLOptions().SetMethod(qtx::sslvTLSv1_3);
    handler.SetPassThrough(false);
    handler.SetHost("localhost");
    handler.SetPort(GServer->Port());
    handler.Open();
    handler.ReadStream(nullptr, kTransferSize);
    handler.Close();
  }
  aState.SetBytesProcessed(aState.iterations() * kTransferSize);
}

void Peer_SSL_read(benchmark::State& aState) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
  std::vector<char> buffer(kReadBlock);
  for (auto _ : aState) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(GServer->Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
      throw std::runtime_error("connect failed");
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

// Keeps each run's bytes per second, by benchmark name.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    for (const Run& run : aRuns)
      if (run.run_type == Run::RT_Iteration && run.counters.count("bytes_per_second"))
        Rates[run.run_name.function_name] = run.counters.at("bytes_per_second");
    ConsoleReporter::ReportRuns(aRuns);
  }
  std::map<std::string, double> Rates;
};

// Rounds of the two, alternating, so that a busy machine slows both alike;
// the ratio is the median of the rounds' ratios.
constexpr int kRounds = 5;

}  // namespace

int main(int argc, char** argv) {
  TBulkServer server;
  GServer = &server;
  for (int round = 0; round < kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    using TBenchmark = void (*)(benchmark::State&);
    const std::pair<std::string, TBenchmark> pair[] = {{"Library_ReadStream", Library_ReadStream},
                                                       {"Peer_SSL_read", Peer_SSL_read}};
    for (const auto& [name, function] : pair)
      benchmark::RegisterBenchmark((name + suffix).c_str(), function)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(2)
          ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    const double peer = reporter.Rates["Peer_SSL_read" + suffix];
    if (peer > 0) ratios.push_back(reporter.Rates["Library_ReadStream" + suffix] / peer);
  }
  if (!ratios.empty()) {
    std::sort(ratios.begin(), ratios.end());
    std::printf("ratio Library_ReadStream / Peer_SSL_read (SSL_read loop), median of %zu rounds: %.3f "
                "(target >= 0.90)\n",
                ratios.size(), ratios[ratios.size() / 2]);
  }
  benchmark::Shutdown();
  return 0;
}
