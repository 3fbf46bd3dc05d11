// The HTTP engine against libcurl's easy interface, both fetching from the
// same nginx on loopback in the same run, in alternating rounds:
//   Get1GiB        a 1 GiB body into a stream that drops it
//   GetTLS256MiB   a 256 MiB body over TLS 1.3
//   SmallGets      10 000 GETs of a 100-byte body on one kept connection
// and the peak resident memory of the 1 GiB download written to a file,
// above the process's resident memory before it.

#include <curl/curl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "http/qtxIdHTTP.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestShell.h"
#include "tls/qtxIdSSLOpenSSL.h"

namespace {

using namespace qtx;

constexpr uint64_t kHugeSize = 1ull << 30;
constexpr uint64_t kTLSSize = 256ull << 20;
constexpr int kSmallGets = 10000;
constexpr int kRounds = 7;

test::TTestNginx* GNginx = nullptr;

size_t CountBytes(char*, size_t aSize, size_t aCount, void* aTotal) {
  *static_cast<uint64_t*>(aTotal) += aSize * aCount;
  return aSize * aCount;
}

// One easy handle: reused, it keeps its connection.
struct TCurl {
  CURL* Handle = curl_easy_init();
  uint64_t Received = 0;
  TCurl() {
    curl_easy_setopt(Handle, CURLOPT_WRITEFUNCTION, CountBytes);
    curl_easy_setopt(Handle, CURLOPT_WRITEDATA, &Received);
    curl_easy_setopt(Handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(Handle, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(Handle, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_3);
  }
  ~TCurl() { curl_easy_cleanup(Handle); }
  void Get(const std::string& aURL) {
    curl_easy_setopt(Handle, CURLOPT_URL, aURL.c_str());
    if (curl_easy_perform(Handle) != CURLE_OK) throw std::runtime_error("curl failed: " + aURL);
  }
};

// A client for https URLs whose TLS is 1.3 and checks no certificate, as
// curl's above.
struct TClient : TIdHTTP {
  TIdSSLIOHandlerSocketOpenSSL TLS;
  TClient() {
    TLS.SSLOptions().SetMethod(sslvTLSv1_3);
    SetIOHandler(&TLS);
  }
};

void Check(bool aCondition, const char* aWhat) {
  if (!aCondition) throw std::runtime_error(aWhat);
}

void Library_Get1GiB(benchmark::State& aState) {
  for (auto _ : aState) {
    TIdHTTP http;
    TNullStream sink;
    http.Get(GNginx->Url("/files/huge"), &sink);
    Check(static_cast<uint64_t>(sink.Count()) == kHugeSize, "short body");
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * static_cast<int64_t>(kHugeSize));
}

void Curl_Get1GiB(benchmark::State& aState) {
  for (auto _ : aState) {
    TCurl curl;
    curl.Get(GNginx->Url("/files/huge"));
    Check(curl.Received == kHugeSize, "short body");
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * static_cast<int64_t>(kHugeSize));
}

void Library_GetTLS256MiB(benchmark::State& aState) {
  for (auto _ : aState) {
    TClient http;
    TNullStream sink;
    http.Get(GNginx->TlsUrl("/files/tls"), &sink);
    Check(static_cast<uint64_t>(sink.Count()) == kTLSSize, "short body");
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * static_cast<int64_t>(kTLSSize));
}

void Curl_GetTLS256MiB(benchmark::State& aState) {
  for (auto _ : aState) {
    TCurl curl;
    curl.Get(GNginx->TlsUrl("/files/tls"));
    Check(curl.Received == kTLSSize, "short body");
  }
  aState.SetBytesProcessed(static_cast<int64_t>(aState.iterations()) * static_cast<int64_t>(kTLSSize));
}

void Library_SmallGets(benchmark::State& aState) {
  for (auto _ : aState) {
    TIdHTTP http;
    TNullStream sink;
    for (int i = 0; i < kSmallGets; ++i) http.Get(GNginx->Url("/files/small"), &sink);
    Check(sink.Count() == kSmallGets * 100, "short bodies");
  }
  aState.SetItemsProcessed(aState.iterations() * kSmallGets);
}

void Curl_SmallGets(benchmark::State& aState) {
  for (auto _ : aState) {
    TCurl curl;
    for (int i = 0; i < kSmallGets; ++i) curl.Get(GNginx->Url("/files/small"));
    Check(curl.Received == kSmallGets * 100, "short bodies");
  }
  aState.SetItemsProcessed(aState.iterations() * kSmallGets);
}

// A "VmRSS" or "VmHWM" figure of this process, in KiB.
int64_t StatusKiB(const std::string& aField) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(aField + ":", 0) == 0) return std::stoll(line.substr(aField.size() + 1));
  }
  throw std::runtime_error("no " + aField);
}

// The peak resident memory of a 1 GiB download written to a file, above the
// resident memory before it, in MiB. Writing "5" to clear_refs makes the
// peak start again from the resident memory of now.
double DownloadToFilePeakMiB() {
  test::TTempFolder folder;
  TIdHTTP http;
  std::ofstream("/proc/self/clear_refs") << "5";
  const int64_t baseline = StatusKiB("VmRSS");
  Check(StatusKiB("VmHWM") - baseline < 1024, "the peak of resident memory cannot be reset");
  {
    TFileStream file(folder.File("huge"), fmCreate);
    http.Get(GNginx->Url("/files/huge"), &file);
    Check(static_cast<uint64_t>(file.Size()) == kHugeSize, "short file");
  }
  return static_cast<double>(StatusKiB("VmHWM") - baseline) / 1024.0;
}

class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    for (const Run& run : aRuns) {
      if (run.run_type != Run::RT_Iteration) continue;
      Seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(aRuns);
  }
  std::map<std::string, double> Seconds;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  test::TTestNginx nginx;
  nginx.EnableTls();
  nginx.AddSparseFile("huge", kHugeSize);
  nginx.AddSparseFile("tls", kTLSSize);
  nginx.Start();
  GNginx = &nginx;
  // First, in a process that has done nothing else yet.
  const double downloadPeak = DownloadToFilePeakMiB();

  using TBenchmark = void (*)(benchmark::State&);
  const std::vector<std::pair<std::string, TBenchmark>> pairs{
      {"Library_Get1GiB", Library_Get1GiB},       {"Curl_Get1GiB", Curl_Get1GiB},
      {"Library_GetTLS256MiB", Library_GetTLS256MiB}, {"Curl_GetTLS256MiB", Curl_GetTLS256MiB},
      {"Library_SmallGets", Library_SmallGets},   {"Curl_SmallGets", Curl_SmallGets}};
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& [name, function] : pairs) {
      benchmark::RegisterBenchmark((name + "/round:" + std::to_string(round)).c_str(), function)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    }
  }
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // Each ratio is the library's speed over curl's (curl's time over the
  // library's), the median of the rounds.
  for (const char* test : {"Get1GiB", "GetTLS256MiB", "SmallGets"}) {
    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
      const std::string suffix = std::string(test) + "/round:" + std::to_string(round);
      const double library = reporter.Seconds["Library_" + suffix];
      const double curl = reporter.Seconds["Curl_" + suffix];
      if (library > 0 && curl > 0) ratios.push_back(curl / library);
    }
    if (ratios.empty()) continue;
    std::sort(ratios.begin(), ratios.end());
    std::printf("ratio %s library/curl speed, median of %zu rounds: %.3f (target >= %s)\n", test, ratios.size(),
                ratios[ratios.size() / 2], std::string(test) == "SmallGets" ? "1.00" : "0.95");
  }
  std::printf("peak resident memory of the 1 GiB download to a file, above the baseline: %.1f MiB (target <= 16)\n",
              downloadPeak);
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
