// The REST base: bodies, the verbs' wire form and the Retry-After rules.

#include <gtest/gtest.h>

#include "http/qtxIdHeaderList.h"
#include "openai/qtxHTTP_API.h"
#include "openai/qtxHTTP_API_Retry.h"
#include "support/qtxTestHttpServer.h"

namespace qtx {
namespace {

class HTTPAPIClient : public ::testing::Test {
protected:
  test::TTestHttpServer FServer{[](const test::TTestHttpRequest& aRequest, test::TTestHttpExchange& aExchange) {
    aExchange.Answer(200, {"Content-Type: application/json; charset=utf-8"}, aRequest.Method + " Γ");
  }};
  TqtxHTTPAPI_client FClient;
  TStringList FHeaders;
};

TEST_F(HTTPAPIClient, BodiesGoOutAsUTF8ForEveryVerb) {
  const std::string text = "Γειά σου 😀 日本";
  FHeaders.Add("Content-Type: text/plain; charset=utf-8");
  EXPECT_EQ(FClient.Post(FServer.Url("/p"), text, &FHeaders, nullptr), "POST Γ");
  EXPECT_EQ(FClient.Put(FServer.Url("/p"), text, &FHeaders), "PUT Γ");
  EXPECT_EQ(FClient.Patch(FServer.Url("/p"), text, &FHeaders), "PATCH Γ");
  EXPECT_EQ(FClient.Delete(FServer.Url("/p"), &FHeaders, text), "DELETE Γ");
  for (const auto& request : FServer.Requests()) EXPECT_EQ(request.BodyText(), text) << request.Method;
}

TEST_F(HTTPAPIClient, DeleteWithoutABodySendsNone) {
  FClient.Delete(FServer.Url("/d"), nullptr, "");
  const auto requests = FServer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].Body.empty());
  EXPECT_EQ(requests[0].Header("Content-Length").value_or("0"), "0");
}

TEST_F(HTTPAPIClient, NoHeaderLineCarriesOverToTheNextCall) {
  FHeaders.Add("X-Once: 1");
  FClient.Post(FServer.Url("/a"), "{}", &FHeaders, nullptr);
  FClient.Get(FServer.Url("/b"), nullptr);
  const auto requests = FServer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("X-Once"), "1");
  EXPECT_FALSE(requests[1].Header("X-Once"));
}

TEST(HTTPAPIRetry, ServerDelaysAreHonouredWhenShortAndReadable) {
  const std::pair<std::string, std::optional<long>> cases[] = {
      {"retry-after-ms: 250", 250},
      {"Retry-After: 2", 2000},
      {"Retry-After: 1.5", 1500},
      {"Retry-After: 120", std::nullopt},
      {"Retry-After: soon", std::nullopt},
      {"Retry-After: Wed, 21 Oct 2015 07:28:00 GMT", std::nullopt},  // long past
      {"X-Other: 1", std::nullopt},
  };
  for (const auto& [line, expected] : cases) {
    TIdHeaderList headers(QuoteHTTP);
    headers.Add(line);
    const auto delay = ServerRetryDelay(headers);
    EXPECT_EQ(delay ? std::optional<long>(delay->count()) : std::nullopt, expected) << line;
  }
  EXPECT_EQ(RetryBackoff(0, 0.0).count(), 500);
  EXPECT_EQ(RetryBackoff(2, 0.0).count(), 2000);
  EXPECT_EQ(RetryBackoff(10, 0.0).count(), 8000);
  EXPECT_EQ(RetryBackoff(10, 1.0).count(), 6000);
  for (const int status : {408, 409, 429, 500, 503}) EXPECT_TRUE(IsRetryableStatus(status)) << status;
  for (const int status : {400, 401, 403, 404, 422}) EXPECT_FALSE(IsRetryableStatus(status)) << status;
}

}  // namespace
}  // namespace qtx
