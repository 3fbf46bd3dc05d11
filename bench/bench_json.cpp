// JSON work of the OpenAI objects against the JSON libraries users pick
// instead, each doing the same work:
//  (a) a 1 MB embeddings answer (64 items of 1536 floats) read into typed
//      objects, versus parsing it and extracting every float, index and
//      object text: nlohmann::json, RapidJSON's DOM with full-precision floats
//      (exact, as ours) and simdjson's on-demand reader;
//  (b) a chat request with 100 messages written as its body, versus
//      nlohmann::json building and dumping the same object and RapidJSON's
//      Writer streaming it (both ASCII-only, as the request writes).
// Prints qtx CPU time / peer CPU time for each (CPU time, as the machine may
// be shared); below 1 means qtx is faster.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>
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

void BM_Embeddings_RapidJSON(benchmark::State& state) {
  for (auto _ : state) {
    rapidjson::Document answer;
    answer.Parse<rapidjson::kParseFullPrecisionFlag>(Answer().data(), Answer().size());
    std::vector<TEmbedding> data;
    for (const auto& item : answer["data"].GetArray()) {
      TEmbedding& embedding = data.emplace_back();
      const auto& values = item["embedding"];
      embedding.Embedding.reserve(values.Size());
      for (const auto& value : values.GetArray()) embedding.Embedding.push_back(value.GetDouble());
      embedding.Index = item["index"].GetInt();
      embedding.Object = item["object"].GetString();
    }
    std::string model = answer["model"].GetString();
    std::string object = answer["object"].GetString();
    benchmark::DoNotOptimize(data.back().Embedding.back());
    benchmark::DoNotOptimize(model);
    benchmark::DoNotOptimize(object);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Answer().size()));
}

// simdjson reads from a padded copy of the text, made once here, and reuses
// its parser: the peer at its fastest.
void BM_Embeddings_simdjson(benchmark::State& state) {
  const simdjson::padded_string text(Answer());
  simdjson::ondemand::parser parser;
  for (auto _ : state) {
    simdjson::ondemand::document answer = parser.iterate(text);
    std::vector<TEmbedding> data;
    for (simdjson::ondemand::object item : answer["data"]) {
      TEmbedding& embedding = data.emplace_back();
      embedding.Object = std::string_view(item["object"]);
      embedding.Index = static_cast<int>(int64_t(item["index"]));
      for (const double value : item["embedding"]) embedding.Embedding.push_back(value);
    }
    std::string model{std::string_view(answer["model"])};
    std::string object{std::string_view(answer["object"])};
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

// The same members in the same order as the request writes them.
void BM_ChatRequest_RapidJSON(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::ASCII<>> writer(buffer);
    writer.StartObject();
    writer.Key("model");
    writer.String("gpt-3.5-turbo");
    writer.Key("messages");
    writer.StartArray();
    for (const auto& [role, content] : Messages()) {
      writer.StartObject();
      writer.Key("role");
      writer.String(role.data(), static_cast<rapidjson::SizeType>(role.size()));
      writer.Key("content");
      writer.String(content.data(), static_cast<rapidjson::SizeType>(content.size()));
      writer.EndObject();
    }
    writer.EndArray();
    writer.Key("n");
    writer.Int(1);
    writer.Key("temperature");
    writer.Double(0.7);
    writer.Key("top_p");
    writer.Int(1);
    writer.Key("user");
    writer.String("user-1234");
    writer.EndObject();
    const std::string body(buffer.GetString(), buffer.GetSize());
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_Embeddings_qtx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Embeddings_nlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Embeddings_RapidJSON)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Embeddings_simdjson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChatRequest_qtx)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChatRequest_nlohmann)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChatRequest_RapidJSON)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("embeddings answer: %zu bytes, %d items of %d floats\n", Answer().size(), kItems, kDimensions);
  qtx::bench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto print = [&](const char* aWhat, const char* aTask, const char* aPeer) {
    const std::string ours = std::string("BM_") + aTask + "_qtx", peer = std::string("BM_") + aTask + "_" + aPeer;
    if (const auto ratio = reporter.Ratio(ours, peer)) std::printf("ratio %-42s qtx/%-9s = %.2f\n", aWhat, aPeer, *ratio);
  };
  for (const char* peer : {"RapidJSON", "simdjson", "nlohmann"})
    print("(a) read 1 MB embeddings answer", "Embeddings", peer);
  for (const char* peer : {"RapidJSON", "nlohmann"}) print("(b) write chat request with 100 messages", "ChatRequest", peer);
  benchmark::Shutdown();
  return 0;
}
