// ReadStream of 1 GiB from a loopback TCP peer into a stream that keeps
// nothing, against the ceiling: a plain recv loop into a 32 KiB buffer on the
// same kind of connection. Prints the ratio library / recv.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "transport/qtxIdTCPClient.h"

namespace {

constexpr int64_t kTransfer = int64_t(1) << 30;

// A stream that counts what is written and keeps none of it.
class TNullStream : public qtx::TStream {
public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t aCount) override {
    FPosition += aCount;
    if (FPosition > FSize) FSize = FPosition;
    return aCount;
  }
  int64_t Seek(int64_t aOffset, qtx::TSeekOrigin aOrigin) override {
    switch (aOrigin) {
      case qtx::TSeekOrigin::soBeginning: FPosition = aOffset; break;
      case qtx::TSeekOrigin::soCurrent: FPosition += aOffset; break;
      case qtx::TSeekOrigin::soEnd: FPosition = FSize + aOffset; break;
    }
    return FPosition;
  }
  void SetSize(int64_t aNewSize) override { FSize = aNewSize; }

private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// A loopback listener whose one connection receives kTransfer bytes, then
// the close.
class TSender {
public:
  TSender() {
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(FListener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(FListener, 1) != 0) {
      throw std::runtime_error("cannot listen");
    }
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] {
      int peer = ::accept(FListener, nullptr, nullptr);
      std::vector<uint8_t> block(65536, 'x');
      for (int64_t left = kTransfer; left > 0;) {
        ssize_t sent = ::send(peer, block.data(), static_cast<size_t>(std::min<int64_t>(left, block.size())),
                              MSG_NOSIGNAL);
        if (sent <= 0) break;
        left -= sent;
      }
      ::close(peer);
    });
  }
  ~TSender() {
    FThread.join();
    ::close(FListener);
  }
  uint16_t Port() const { return FPort; }

private:
  int FListener;
  uint16_t FPort;
  std::thread FThread;
};

std::vector<double> gLibraryRates;
std::vector<double> gRecvRates;

double Median(std::vector<double> aValues) {
  if (aValues.empty()) return 0;
  std::sort(aValues.begin(), aValues.end());
  return aValues[aValues.size() / 2];
}

void BM_ReadStream(benchmark::State& aState) {
  for (auto _ : aState) {
    TSender sender;
    qtx::TIdTCPClient client;
    client.Connect("127.0.0.1", sender.Port());
    TNullStream sink;
    client.IOHandler()->ReadStream(&sink, kTransfer);
    if (sink.Position() != kTransfer) aState.SkipWithError("short read");
    client.Disconnect();
  }
  aState.SetBytesProcessed(aState.iterations() * kTransfer);
}

void BM_RecvLoop(benchmark::State& aState) {
  for (auto _ : aState) {
    TSender sender;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(sender.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    std::vector<uint8_t> buffer(32768);
    int64_t total = 0;
    for (ssize_t got; (got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) total += got;
    ::close(fd);
    if (total != kTransfer) aState.SkipWithError("short read");
  }
  aState.SetBytesProcessed(aState.iterations() * kTransfer);
}

// Keeps the bytes-per-second of every round, in order.
class TRateReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    for (const auto& run : aRuns) {
      auto rate = run.counters.find("bytes_per_second");
      if (run.run_type != Run::RT_Iteration || rate == run.counters.end()) continue;
      auto& rates = run.benchmark_name().rfind("BM_ReadStream", 0) == 0 ? gLibraryRates : gRecvRates;
      rates.push_back(rate->second);
    }
    ConsoleReporter::ReportRuns(aRuns);
  }
};

}  // namespace

int main(int argc, char** argv) {
  // The two run back to back in each round, taking turns at going first, so
  // that a change of load on the shared machine falls on both alike; the
  // ratio is the median of the rounds' own ratios.
  constexpr int kRounds = 15;
  for (int round = 1; round <= kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    const auto recv = [&] {
      benchmark::RegisterBenchmark(("BM_RecvLoop" + suffix).c_str(), BM_RecvLoop)
          ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    const auto library = [&] {
      benchmark::RegisterBenchmark(("BM_ReadStream" + suffix).c_str(), BM_ReadStream)
          ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    if (round % 2 == 1) {
      recv();
      library();
    } else {
      library();
      recv();
    }
  }
  benchmark::Initialize(&argc, argv);
  TRateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (!gRecvRates.empty() && gLibraryRates.size() == gRecvRates.size()) {
    std::vector<double> ratios;
    for (size_t i = 0; i < gRecvRates.size(); ++i) ratios.push_back(gLibraryRates[i] / gRecvRates[i]);
    std::printf("ReadStream / recv loop (median of %zu paired rounds): %.3f (medians %.0f MB/s vs %.0f MB/s) "
                "(target >= 0.90)\n",
                ratios.size(), Median(ratios), Median(gLibraryRates) / 1e6, Median(gRecvRates) / 1e6);
  }
  benchmark::Shutdown();
  return 0;
}
