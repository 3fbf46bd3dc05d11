// Content that is valid byte by byte but shaped to make a reader work hard,
// each set against a peer doing the same work on content without that shape:
//  (a) a header value folded over 80 000 continuation lines, read through the
//      header list, versus the same value on one line;
//  (b) 100 000 Set-Cookie values for 2 000 hosts stored in a cookie manager
//      (which keeps at most 3 000), versus parsing them alone.
// Prints hostile CPU time / peer CPU time; a cost that grows with the square
// of the input shows as a ratio in the hundreds or more.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "http/qtxIdCookieManager.h"
#include "http/qtxIdHeaderList.h"

namespace {

using namespace qtx;

constexpr int kContinuationLines = 80000;
constexpr int kCookies = 100000;
constexpr int kCookieHosts = 2000;

void BM_FoldedHeader(benchmark::State& state) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("X-Folded: start");
  for (int i = 0; i < kContinuationLines; ++i) headers.Add(" part" + std::to_string(i));
  for (auto _ : state) {
    const std::string value = headers.Values("X-Folded");
    benchmark::DoNotOptimize(value.data());
  }
}

void BM_OneLineHeader(benchmark::State& state) {
  TIdHeaderList headers(QuoteHTTP);
  std::string line = "X-Folded: start";
  for (int i = 0; i < kContinuationLines; ++i) line += " part" + std::to_string(i);
  headers.Add(line);
  for (auto _ : state) {
    const std::string value = headers.Values("X-Folded");
    benchmark::DoNotOptimize(value.data());
  }
}

struct TSetCookie {
  std::string Text;
  TIdURI URI;
};

const std::vector<TSetCookie>& SetCookies() {
  static const std::vector<TSetCookie> cookies = [] {
    std::vector<TSetCookie> all;
    all.reserve(kCookies);
    for (int i = 0; i < kCookies; ++i)
      all.push_back({"c" + std::to_string(i) + "=" + std::string(40, 'v') + "; Path=/; Max-Age=3600",
                     TIdURI("http://h" + std::to_string(i % kCookieHosts) + ".example/")});
    return all;
  }();
  return cookies;
}

void BM_StoreCookies(benchmark::State& state) {
  for (auto _ : state) {
    TIdCookieManager manager;
    for (const TSetCookie& cookie : SetCookies()) manager.AddServerCookie(cookie.Text, cookie.URI);
    benchmark::DoNotOptimize(manager.CookieCollection().Count());
  }
}

void BM_ParseCookies(benchmark::State& state) {
  for (auto _ : state) {
    for (const TSetCookie& cookie : SetCookies()) {
      TIdCookie parsed;
      benchmark::DoNotOptimize(parsed.ParseServerCookie(cookie.Text, cookie.URI));
    }
  }
}

BENCHMARK(BM_FoldedHeader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneLineHeader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreCookies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseCookies)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SetCookies();  // built before anything is timed
  qtx::bench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto print = [&](const char* aWhat, const char* aHostile, const char* aPeer) {
    if (const auto ratio = reporter.Ratio(aHostile, aPeer)) std::printf("ratio %-52s = %.2f\n", aWhat, *ratio);
  };
  print("(a) folded header / one-line header", "BM_FoldedHeader", "BM_OneLineHeader");
  print("(b) storing cookies / parsing them alone", "BM_StoreCookies", "BM_ParseCookies");
  benchmark::Shutdown();
  return 0;
}
