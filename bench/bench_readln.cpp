// ReadLn over 100 MB of 80-byte lines that have already arrived, against a
// memchr line splitter over the same bytes (the practical ceiling). Both give
// every line as a std::string without its CR LF. ReadLn is measured twice:
// with all bytes already in the input buffer, and fed by a source that hands
// out RecvBufferSize blocks from memory (the path of a fast socket). The
// first also pays for giving the consumed 100 MB back as it goes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "transport/qtxIdIOHandler.h"

namespace {

using namespace qtx;

constexpr size_t kTotalBytes = 100 * 1024 * 1024;
constexpr size_t kLineBytes = 80;  // 78 characters and CR LF

const TIdBytes& Lines() {
  static const TIdBytes bytes = [] {
    TIdBytes all;
    all.reserve(kTotalBytes);
    size_t n = 0;
    while (all.size() + kLineBytes <= kTotalBytes) {
      for (size_t i = 0; i < kLineBytes - 2; ++i) all.push_back(static_cast<uint8_t>('!' + (n + i) % 90));
      all.push_back('\r');
      all.push_back('\n');
      ++n;
    }
    return all;
  }();
  return bytes;
}

// A handler whose source is a block of memory, read RecvBufferSize at a time.
class TMemorySourceIOHandler : public TIdIOHandler {
public:
  explicit TMemorySourceIOHandler(const TIdBytes& aSource) : FSource(aSource) {}
  void Rewind() { FPosition = 0; }
  void CheckForDisconnect(bool aRaise, bool aIgnoreBuffer) override {
    if (aRaise && ClosedGracefully() && (aIgnoreBuffer || InputBufferIsEmpty())) throw EIdConnClosedGracefully();
  }
  bool Readable(int) override { return true; }

protected:
  int ReadDataFromSource(std::span<uint8_t> aBuffer) override {
    const size_t count = std::min(aBuffer.size(), FSource.size() - FPosition);
    std::memcpy(aBuffer.data(), FSource.data() + FPosition, count);
    FPosition += count;
    return static_cast<int>(count);
  }
  int WriteDataToTarget(const TIdBytes&, int, int aLength) override { return aLength; }
  bool SourceIsAvailable() override { return FPosition < FSource.size(); }

private:
  const TIdBytes& FSource;
  size_t FPosition = 0;
};

void BM_MemchrSplitter(benchmark::State& state) {
  const TIdBytes& bytes = Lines();
  for (auto _ : state) {
    const uint8_t* p = bytes.data();
    const uint8_t* const end = p + bytes.size();
    while (p < end) {
      const auto* lf = static_cast<const uint8_t*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      const uint8_t* lineEnd = lf > p && lf[-1] == '\r' ? lf - 1 : lf;
      std::string line(reinterpret_cast<const char*>(p), static_cast<size_t>(lineEnd - p));
      benchmark::DoNotOptimize(line);
      p = lf + 1;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_ReadLn_InputBuffer(benchmark::State& state) {
  const TIdBytes& bytes = Lines();
  TMemorySourceIOHandler io(bytes);
  io.Open();
  for (auto _ : state) {
    state.PauseTiming();
    io.InputBuffer().Write(TIdBytes(bytes));
    state.ResumeTiming();
    while (!io.InputBufferIsEmpty()) {
      std::string line = io.ReadLn();
      benchmark::DoNotOptimize(line);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_ReadLn_FromSource(benchmark::State& state) {
  const TIdBytes& bytes = Lines();
  TMemorySourceIOHandler io(bytes);
  io.Open();
  const size_t lines = bytes.size() / kLineBytes;
  for (auto _ : state) {
    io.Rewind();
    for (size_t i = 0; i < lines; ++i) {
      std::string line = io.ReadLn();
      benchmark::DoNotOptimize(line);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// The three alternate, round by round, so that a change of load on a shared
// machine falls on all alike; each round runs a few passes of each.
constexpr int kRounds = 20;
constexpr int kPassesPerRound = 2;

void Round(benchmark::internal::Benchmark* aBenchmark) {
  aBenchmark->Iterations(kPassesPerRound)->Unit(benchmark::kMillisecond);
}

// Keeps the CPU time per pass of every round of each benchmark, so that the
// ratios can be printed at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    ConsoleReporter::ReportRuns(aRuns);
    for (const Run& run : aRuns) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      Times[name.substr(0, name.find('/'))].push_back(run.GetAdjustedCPUTime());
    }
  }
  std::map<std::string, std::vector<double>> Times;
};

double Minimum(const std::vector<double>& aValues) { return *std::min_element(aValues.begin(), aValues.end()); }

double Median(std::vector<double> aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues[aValues.size() / 2];
}

std::string Fixed(double aValue) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, aValue, std::chars_format::fixed, 2).ptr;
  return std::string(text, end);
}

}  // namespace

int main(int argc, char** argv) {
  for (int round = 1; round <= kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    benchmark::RegisterBenchmark(("BM_MemchrSplitter" + suffix).c_str(), BM_MemchrSplitter)->Apply(Round);
    benchmark::RegisterBenchmark(("BM_ReadLn_InputBuffer" + suffix).c_str(), BM_ReadLn_InputBuffer)->Apply(Round);
    benchmark::RegisterBenchmark(("BM_ReadLn_FromSource" + suffix).c_str(), BM_ReadLn_FromSource)->Apply(Round);
  }
  benchmark::Initialize(&argc, argv);
  Lines();  // built before anything is timed
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto ceiling = reporter.Times.find("BM_MemchrSplitter");
  if (ceiling == reporter.Times.end()) return 0;
  for (const char* name : {"BM_ReadLn_InputBuffer", "BM_ReadLn_FromSource"}) {
    const auto found = reporter.Times.find(name);
    if (found == reporter.Times.end()) continue;
    // Each round's ReadLn is set against the splitter of the same round,
    // which ran just before it under much the same load; the median of
    // those ratios is the figure. The ratio of the best rounds (the ones
    // least disturbed by other work) is shown beside it.
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(ceiling->second.size(), found->second.size()); ++i) {
      ratios.push_back(ceiling->second[i] / found->second[i]);
    }
    std::cout << name << " throughput / memchr splitter throughput = " << Fixed(Median(ratios)) << " (median of "
              << ratios.size() << " alternating rounds; best rounds "
              << Fixed(Minimum(ceiling->second) / Minimum(found->second)) << ") (target >= 0.50)\n";
  }
  benchmark::Shutdown();
  return 0;
}
