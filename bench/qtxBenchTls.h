#pragma once
// What the TLS benchmarks share: an in-process OpenSSL server that sends
// 256 MiB over TLS 1.3 to every client, and the runner that alternates the
// library's read with a peer's in rounds and prints the median ratio.
// OpenSSL's headers come after the library's in every benchmark (OpenSSL
// defines macros under some of the names the library's table uses).

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

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qtx::bench {

constexpr int64_t kTransferSize = 256LL * 1024 * 1024;
constexpr int kReadBlock = 32 * 1024;

// A connected loopback TCP socket to aPort.
inline int ConnectLoopback(uint16_t aPort) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    throw std::runtime_error("connect failed");
  return fd;
}

// Sends kTransferSize bytes over TLS 1.3 to every client, then closes TLS.
class TBulkServer {
public:
  TBulkServer() {
    FContext = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(FContext, TLS1_3_VERSION);
    UseSelfSignedCertificate();
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
  // A self-signed P-256 certificate for "localhost", made in memory.
  void UseSelfSignedCertificate() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());
    SSL_CTX_use_certificate(FContext, certificate);
    SSL_CTX_use_PrivateKey(FContext, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
  }

  void Run() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    constexpr int kWriteBlock = 64 * 1024;
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

// The library's side: kTransferSize bytes read with ReadStream through a
// TLS IO handler of type THandler that aConfigure has set up.
template <typename THandler, typename TConfigure>
void ReadStreamThrough(benchmark::State& aState, uint16_t aPort, TConfigure aConfigure) {
  for (auto _ : aState) {
    THandler handler;
    aConfigure(handler);
    handler.SetPassThrough(false);
    handler.SetHost("localhost");
    handler.SetPort(aPort);
    handler.Open();
    handler.ReadStream(nullptr, kTransferSize);
    handler.Close();
  }
  aState.SetBytesProcessed(aState.iterations() * kTransferSize);
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

using TBenchmark = void (*)(benchmark::State&);
struct TNamedBenchmark {
  std::string Name;
  TBenchmark Function;
};

// Runs the library's benchmark and the peer's in alternating rounds, so
// that a busy machine slows both alike, and prints the median of the
// rounds' ratios of their rates.
inline int RunAlternatingRounds(int argc, char** argv, const TNamedBenchmark& aLibrary, const TNamedBenchmark& aPeer,
                                const char* aPeerDescription) {
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    for (const TNamedBenchmark* benchmark : {&aLibrary, &aPeer})
      benchmark::RegisterBenchmark((benchmark->Name + suffix).c_str(), benchmark->Function)
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
    const double peer = reporter.Rates[aPeer.Name + suffix];
    if (peer > 0) ratios.push_back(reporter.Rates[aLibrary.Name + suffix] / peer);
  }
  if (!ratios.empty()) {
    std::sort(ratios.begin(), ratios.end());
    std::printf("ratio %s / %s (%s), median of %zu rounds: %.3f (target >= 0.90)\n", aLibrary.Name.c_str(),
                aPeer.Name.c_str(), aPeerDescription, ratios.size(), ratios[ratios.size() / 2]);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace qtx::bench
