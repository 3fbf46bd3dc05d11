// A streamed chat answer of 2000 pieces (CreateChatCompletionStream) from the
// fake OpenAI service on a loopback port, against the official Node client's
// streamed call (one process, its default keep-alive) in the same run: the
// median time to the first piece of text and to the end of the stream, each
// over kStreams streams after one untimed stream. The ratios ours / Node's are
// printed last.

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>

#include "openai/qtxHTTP_API_OpenAI.h"
#include "support/qtxTestNode.h"
#include "support/qtxTestOpenAIService.h"

namespace {

using namespace qtx;

constexpr int kStreams = 30;
const std::string kKey(test::kOpenAITestApiKey);

test::TTestOpenAIService* GService = nullptr;
std::map<std::string, double> GMedianMs;

// "token" 1997 times, which the service answers in 2000 pieces.
std::string Message() {
  std::string message = "token";
  for (int i = 1; i < 1997; ++i) message += " token";
  return message;
}

double Median(std::vector<double> aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues[aValues.size() / 2];
}

void Qtx_Stream(benchmark::State& aState) {
  for (auto _ : aState) {
    TqtxHTTP_API_OpenAI openai;
    openai.OpenAIOptions().SetApiKey(kKey);
    openai.OpenAIOptions().SetBaseURL(GService->Url(""));
    TqtxOpenAIClass_Request_ChatCompletion request;
    request.SetModel("gpt-3.5-turbo");
    request.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", Message()));
    std::vector<double> firsts, totals;
    size_t pieces = 0;
    for (int i = 0; i <= kStreams; ++i) {
      const auto start = std::chrono::steady_clock::now();
      std::optional<double> first;
      pieces = 0;
      openai.CreateChatCompletionStream(request, [&](int32_t, const std::string&, const std::string& aPiece, bool&) {
        if (aPiece.empty()) return;
        if (!first) first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        ++pieces;
      });
      const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      if (i == 0) continue;  // the stream that connects
      firsts.push_back(first.value_or(total));
      totals.push_back(total);
    }
    if (pieces != 2000) aState.SkipWithError("not 2000 pieces");
    GMedianMs["qtx first piece"] = Median(firsts);
    GMedianMs["qtx total"] = Median(totals);
    aState.SetIterationTime(Median(totals) / 1000);
    aState.counters["first_piece_ms"] = Median(firsts);
  }
}

void Node_OpenAI_Stream(benchmark::State& aState) {
  for (auto _ : aState) {
    const test::TNodeRun run =
        test::RunNode("stream_bench.mjs", {GService->Url("/v1"), kKey, std::to_string(kStreams), Message()});
    if (run.ExitCode != 0) {
      aState.SkipWithError(run.Describe().c_str());
      return;
    }
    const nlohmann::json result = nlohmann::json::parse(run.Output);
    if (result["pieces"] != 2000) aState.SkipWithError("not 2000 pieces");
    GMedianMs["node first piece"] = result["median_first_piece_ms"];
    GMedianMs["node total"] = result["median_total_ms"];
    aState.SetIterationTime(GMedianMs["node total"] / 1000);
    aState.counters["first_piece_ms"] = GMedianMs["node first piece"];
  }
}

BENCHMARK(Qtx_Stream)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Node_OpenAI_Stream)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  test::TOpenAIServiceOptions options;
  options.Record = false;
  options.StreamPauseMs = 0;
  test::TTestOpenAIService service(options);
  GService = &service;
  benchmark::RunSpecifiedBenchmarks();
  for (const auto& [name, median] : GMedianMs) std::cout << name << " median ms: " << median << "\n";
  for (const char* what : {"first piece", "total"}) {
    const std::string ours = std::string("qtx ") + what, node = std::string("node ") + what;
    if (GMedianMs.count(ours) && GMedianMs.count(node)) {
      std::cout << "qtx / node (" << what << "): " << GMedianMs[ours] / GMedianMs[node] << "\n";
    }
  }
  benchmark::Shutdown();
}
