// JSON work of the OpenAI objects against nlohmann::json doing the same work:
//  (a) a 1 MB embeddings answer (64 items of 1536 floats) read into typed
//      objects, versus parsing it and extracting the floats;
//  (b) a chat request with 100 messages written as its body, versus building
//      the same object and dumping it (ASCII-only, as the request writes).
// Prints qtx CPU time / nlohmann CPU time for each (CPU time, as the machine
// may be shared); below 1 means qtx is faster.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "openai/qtxHTTP_API_OpenAI_Requests.h"
#include "openai/qtxHTTP_API_OpenAI_Responses.h"

namespace {

using namespace qtx;

constexpr int kItems = 64;
constexpr int kDimensions = 1536;
constexpr int kMessages = 100;

// An answer shaped like the service's, with floats of the precision it sends.
std::string EmbeddingsAnswer() {
  std::string text = R"({"object":"list","data":[)";
  uint64_t state = 0x9E3779B97F4A7C15u;
  char buffer[32];
  for (int item = 0; item < kItems; ++item) {
    text += item ? "," : "";
    text += R"({"object":"embedding","index":)" + std::to_string(item) + R"(,"embedding":[)";
    for (int i = 0; i < kDimensions; ++i) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      const double value = (static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5) * 0.08;
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 8);
      if (i) text += ',';
      text.append(buffer, result.ptr);
    }
    text += "]}";
  }
  text += R"(],"model":"text-embedding-ada-002-v2","usage":{"prompt_tokens":512,"total_tokens":512}})";
  return text;
}

const std::string& Answer() {
  static const std::string answer = EmbeddingsAnswer();
  return answer;
}

void BM_Embeddings_qtx(benchmark::State& state) {
  for (auto _ : state) {
    auto answer = MakeResponse<TqtxOpenAIClass_Response_Embeddings>(Answer());
    benchmark::DoNotOptimize(answer.Data().back()->Embedding().back());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Answer().size()));
}

struct TEmbedding {
  std::vector<double> Embedding;
  int Index = 0;
  std::string Object;
};

void BM_Embeddings_nlohmann(benchmark::State& state) {
  for (auto _ : state) {
    const nlohmann::json answer = nlohmann::json::parse(Answer());
    std::vector<TEmbedding> data;
    for (const auto& item : answer["data"]) {
      TEmbedding& embedding = data.emplace_back();
      embedding.Embedding = item["embedding"].get<std::vector<double>>();
      embedding.Index = item["index"].get<int>();
      embedding.Object = item["object"].get<std::string>();
    }
    std::string model = answer["model"].get<std::string>();
    std::string object = answer["object"].get<std::string>();
    benchmark::DoNotOptimize(data.back().Embedding.back());
    benchmark::DoNotOptimize(model);
    benchmark::DoNotOptimize(object);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Answer().size()));
}

// A conversation as a chat window sends it: prose with quotes, line breaks,
// a path with backslashes, accented letters and now and then an emoji.
std::vector<std::pair<std::string, std::string>> Conversation() {
  std::vector<std::pair<std::string, std::string>> messages;
  for (int i = 0; i < kMessages; ++i) {
    std::string content = "Message " + std::to_string(i) +
                          ": could you explain what \"ownership\" means for a C++ object?\n"
                          "I keep my files under C:\\Users\\me\\projects and the caf\xC3\xA9 down the road "
                          "serves cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e. Here is a longer paragraph that reads like "
                          "a real question, with a list:\n- first point\n- second point\n\tindented";
    if (i % 5 == 0) content += " \xF0\x9F\x98\x80";
    messages.emplace_back(i % 2 ? "assistant" : "user", std::move(content));
  }
  return messages;
}

const std::vector<std::pair<std::string, std::string>>& Messages() {
  static const auto messages = Conversation();
  return messages;
}

void BM_ChatRequest_qtx(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    TqtxOpenAIClass_Request_ChatCompletion request;
    request.SetModel("gpt-3.5-turbo");
    request.SetTemperature(0.7);
    request.SetUser("user-1234");
    for (const auto& [role, content] : Messages())
      request.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>(role, content));
    const std::string body = request.AsString();
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_ChatRequest_nlohmann(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    nlohmann::ordered_json request;
    request["model"] = "gpt-3.5-turbo";
    nlohmann::ordered_json& messages = request["messages"] = nlohmann::ordered_json::array();
    for (const auto& [role, content] : Messages()) messages.push_back({{"role", role}, {"content", content}});
    request["n"] = 1;
    request["temperature"] = 0.7;
    request["top_p"] = 1;
    request["user"] = "user-1234";
    const std::string body = request.dump(-1, ' ', true);
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_Embeddings_qtx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Embeddings_nlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChatRequest_qtx)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChatRequest_nlohmann)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("embeddings answer: %zu bytes, %d items of %d floats\n", Answer().size(), kItems, kDimensions);
  qtx::bench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto print = [&](const char* aWhat, const char* aOurs, const char* aPeer) {
    if (const auto ratio = reporter.Ratio(aOurs, aPeer)) std::printf("ratio %-44s qtx/nlohmann = %.2f\n", aWhat, *ratio);
  };
  print("(a) read 1 MB embeddings answer", "BM_Embeddings_qtx", "BM_Embeddings_nlohmann");
  print("(b) write chat request with 100 messages", "BM_ChatRequest_qtx", "BM_ChatRequest_nlohmann");
  benchmark::Shutdown();
  return 0;
}
