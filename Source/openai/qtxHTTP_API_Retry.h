#pragma once
// When and how long a REST client waits before trying a failed call again:
// the rules the official OpenAI clients follow.

#include <chrono>
#include <optional>
#include <string>

#include "http/qtxIdHeaderList.h"
#include "platform/qtxException.h"

namespace qtx {

// 408, 409, 429 and every 5xx may pass when asked again; other statuses
// (400, 401, 404, ...) never do.
bool IsRetryableStatus(int aStatus) noexcept;
// A connection that failed or was lost, or a time-out; not TLS or protocol
// errors, which would fail the same way again.
bool IsRetryableFailure(const Exception& aE) noexcept;

// A connection that failed or was lost, but no time-out.
bool IsLostConnection(const Exception& aE) noexcept;

// The wait the server asks for in "retry-after-ms" (milliseconds) or
// "Retry-After" (seconds or an HTTP date), when it asks for one between 0
// and 60 seconds; a longer or unreadable wish is not honoured.
std::optional<std::chrono::milliseconds> ServerRetryDelay(const TIdHeaderList& aResponseHeaders);

// Exponential back-off after aRetriesDone retries: 0.5 s doubling up to 8 s,
// shortened by up to a quarter at random (aJitter in [0, 1)).
std::chrono::milliseconds RetryBackoff(int aRetriesDone, double aJitter) noexcept;

}  // namespace qtx
