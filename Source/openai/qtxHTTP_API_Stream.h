#pragma once
// What the REST base's streamed POST hands over: the response body, block by
// block as it arrives, instead of the whole body as text.

#include <cstdint>
#include <functional>
#include <span>

#include "platform/qtxException.h"

namespace qtx {

// One block of a streamed response body, cut wherever the network cut it.
// Setting aCancel closes the connection and ends the call without an error.
using TqtxHTTPAPIBodyBlockEvent = std::function<void(std::span<const uint8_t> aBlock, bool& aCancel)>;

// A streamed response broke off after part of it had been handed over: the
// connection failed, or the body ended before the stream's end mark.
class EqtxHTTPAPIStreamCut : public Exception { using Exception::Exception; };

}  // namespace qtx
