// A chat round trip (CreateChatCompletion, a 1 KiB message, an answer of
// about 1 KiB) over TLS 1.3 to the fake OpenAI service behind nginx, against
// the official Node client (one process, its default keep-alive) and curl
// (one process, one kept connection) making the same calls in the same run.
// Reports the median time per call; the ratio against Node is printed last.

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "openai/qtxHTTP_API_OpenAI.h"
#include "support/qtxTestCertificates.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestNode.h"
#include "support/qtxTestOpenAIService.h"

namespace {

using namespace qtx;

constexpr int kCalls = 200;
const std::string kMessage(1024, 'x');
const std::string kKey(test::kOpenAITestApiKey);

test::TTestNginx* GNginx = nullptr;
std::map<std::string, double> GMedianMs;

double Median(std::vector<double> aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues[aValues.size() / 2];
}

// Our calls, timed one by one after one untimed call; the median is the
// iteration's time.
void QtxChat(benchmark::State& aState, bool aReuse) {
  for (auto _ : aState) {
    TqtxHTTP_API_OpenAI openai;
    openai.OpenAIOptions().SetApiKey(kKey);
    openai.OpenAIOptions().SetBaseURL(GNginx->TlsUrl("/v1"));
    openai.OpenAIOptions().SetReuseConnection(aReuse);
    openai.TLSOptions().SetVersion(tls1_3);
    openai.TLSOptions().SetRootCertFile(test::TTestCertificates::Get().CAFile);
    TqtxOpenAIClass_Request_ChatCompletion request;
    request.SetModel("gpt-3.5-turbo");
    request.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", kMessage));
    openai.CreateChatCompletion(request);
    std::vector<double> times;
    for (int i = 0; i < kCalls; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const auto response = openai.CreateChatCompletion(request);
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      if (response->Choices().empty()) aState.SkipWithError("no answer");
    }
    const double median = Median(times);
    aState.SetIterationTime(median / 1000);
    GMedianMs[aReuse ? "qtx" : "qtx_fresh"] = median;
  }
}

void Qtx_Reuse(benchmark::State& aState) { QtxChat(aState, true); }
void Qtx_FreshConnection(benchmark::State& aState) { QtxChat(aState, false); }

void Node_OpenAI(benchmark::State& aState) {
  for (auto _ : aState) {
    const test::TNodeRun run =
        test::RunNode("chat_bench.mjs", {GNginx->TlsUrl("/v1"), kKey, std::to_string(kCalls), kMessage},
                      {"NODE_EXTRA_CA_CERTS=" + test::TTestCertificates::Get().CAFile});
    if (run.ExitCode != 0) {
      aState.SkipWithError(run.Describe().c_str());
      return;
    }
    const double median = nlohmann::json::parse(run.Output)["median_ms"];
    aState.SetIterationTime(median / 1000);
    GMedianMs["node"] = median;
  }
}

// curl with one connection for every call; each transfer's time_total.
void Curl(benchmark::State& aState) {
  const std::string body = nlohmann::json{{"model", "gpt-3.5-turbo"},
                                          {"messages", {{{"role", "user"}, {"content", kMessage}}}}}
                               .dump();
  const std::string bodyFile = "/tmp/qtx_bench_openai_body.json";
  std::ofstream(bodyFile) << body;
  std::string command = "curl -s --tlsv1.3 --cacert " + test::TTestCertificates::Get().CAFile;
  for (int i = 0; i <= kCalls; ++i) {
    command += (i ? " --next" : "") + std::string(" -o /dev/null -w '%{time_total}\\n' -H 'Authorization: Bearer ") +
               kKey + "' -H 'Content-Type: application/json' -H 'Expect:' --data-binary @" + bodyFile + " " +
               GNginx->TlsUrl("/v1/chat/completions");
  }
  for (auto _ : aState) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<double> times;
    char line[64];
    while (fgets(line, sizeof line, pipe.get())) times.push_back(std::stod(line) * 1000);
    if (times.size() != static_cast<size_t>(kCalls) + 1) {
      aState.SkipWithError("curl did not make every call");
      return;
    }
    times.erase(times.begin());  // the call that connects
    const double median = Median(times);
    aState.SetIterationTime(median / 1000);
    GMedianMs["curl"] = median;
  }
}

BENCHMARK(Qtx_Reuse)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Qtx_FreshConnection)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Node_OpenAI)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Curl)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  test::TOpenAIServiceOptions options;
  options.Record = false;
  test::TTestOpenAIService service(options);
  test::TTestNginx nginx;
  nginx.EnableTls();
  nginx.AddProxy("/v1/", service.Port());
  nginx.Start();
  GNginx = &nginx;
  benchmark::RunSpecifiedBenchmarks();
  for (const auto& [name, median] : GMedianMs) std::cout << name << " median ms per call: " << median << "\n";
  if (GMedianMs.count("qtx") && GMedianMs.count("node")) {
    std::cout << "qtx / node (reuse): " << GMedianMs["qtx"] / GMedianMs["node"] << "\n";
  }
  benchmark::Shutdown();
}
