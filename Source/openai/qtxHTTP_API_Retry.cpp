#include "openai/qtxHTTP_API_Retry.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/qtxIdException.h"
#include "http/qtxIdHTTPDate.h"
#include "platform/qtxDateTime.h"
#include "transport/qtxIdIOHandlerSocket.h"

namespace qtx {
namespace {

constexpr std::chrono::milliseconds kLongestServerDelay{60000};
constexpr double kInitialDelaySeconds = 0.5;
constexpr double kMaxDelaySeconds = 8.0;

std::optional<double> ParseNumber(std::string_view aText) {
  while (!aText.empty() && aText.front() == ' ') aText.remove_prefix(1);
  while (!aText.empty() && aText.back() == ' ') aText.remove_suffix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(aText.data(), aText.data() + aText.size(), value);
  if (error != std::errc() || end != aText.data() + aText.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::chrono::milliseconds> Honoured(double aMilliseconds) {
  if (aMilliseconds < 0 || aMilliseconds > static_cast<double>(kLongestServerDelay.count())) return std::nullopt;
  return std::chrono::milliseconds(static_cast<int64_t>(aMilliseconds));
}

}  // namespace

bool IsRetryableStatus(int aStatus) noexcept {
  return aStatus == 408 || aStatus == 409 || aStatus == 429 || (aStatus >= 500 && aStatus <= 599);
}

bool IsLostConnection(const Exception& aE) noexcept {
  return dynamic_cast<const EIdSocketError*>(&aE) || dynamic_cast<const EIdConnClosedGracefully*>(&aE) ||
         dynamic_cast<const EIdClosedSocket*>(&aE) || dynamic_cast<const EIdNotConnected*>(&aE);
}

bool IsRetryableFailure(const Exception& aE) noexcept {
  return IsLostConnection(aE) || dynamic_cast<const EIdReadTimeout*>(&aE) ||
         dynamic_cast<const EIdConnectTimeout*>(&aE);
}

std::optional<std::chrono::milliseconds> ServerRetryDelay(const TIdHeaderList& aResponseHeaders) {
  if (const std::string ms = aResponseHeaders.Values("retry-after-ms"); !ms.empty()) {
    if (const auto value = ParseNumber(ms)) return Honoured(*value);
  }
  const std::string after = aResponseHeaders.Values("Retry-After");
  if (after.empty()) return std::nullopt;
  if (const auto seconds = ParseNumber(after)) return Honoured(*seconds * 1000);
  TDateTime when = 0;
  if (!TryHttpDateToDateTimeGMT(after, when)) return std::nullopt;
  return Honoured(static_cast<double>(DateTimeToMSecs(when) - DateTimeToMSecs(NowUTC())));
}

std::chrono::milliseconds RetryBackoff(int aRetriesDone, double aJitter) noexcept {
  const double seconds = std::min(kInitialDelaySeconds * std::pow(2.0, std::max(aRetriesDone, 0)), kMaxDelaySeconds);
  const double shortened = seconds * (1.0 - std::clamp(aJitter, 0.0, 1.0) * 0.25);
  return std::chrono::milliseconds(static_cast<int64_t>(shortened * 1000));
}

}  // namespace qtx
