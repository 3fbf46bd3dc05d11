// The REST base's streamed POST (declared with the other verbs in qtxHTTP_API.h).

#include <exception>
#include <string_view>

#include "core/qtxIdEventStream.h"
#include "openai/qtxHTTP_API.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

constexpr std::string_view RSStreamBrokeOff = "The response stream broke off: %s";

}  // namespace

void TqtxHTTPAPI_client::PostStreamed(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders,
                                      const std::string& aAccept, const TqtxHTTPAPIBodyBlockEvent& aOnBlock,
                                      const std::function<void()>& aOnEnd) {
  Execute(aHeaders, [&](TqtxIdHTTP& aClient) {
    bool started = false;    // a block went out: the call can no longer be repeated
    bool cancelled = false;
    std::exception_ptr failure;  // raised by aOnBlock, carried past the engine
    TIdEventStream sink;
    sink.OnWrite = [&](const TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult) {
      // Taken whole: the body reader counts a short write as a failure.
      aResult = aCount;
      if (cancelled) return;
      started = true;
      try {
        aOnBlock(std::span<const uint8_t>(aBuffer.data() + aOffset, static_cast<size_t>(aCount)), cancelled);
      } catch (...) {
        failure = std::current_exception();
        cancelled = true;
      }
      // The rest of the body is not wanted.
      if (cancelled) aClient.Disconnect();
    };
    aClient.Request().SetAccept(aAccept);
    TqtxStringStream body(aBody);
    try {
      aClient.Post(aURL, &body, &sink);
    } catch (const Exception& e) {
      if (failure) std::rethrow_exception(failure);
      if (cancelled) return std::string();  // what the cancel's disconnect made the read raise
      if (started) throw EqtxHTTPAPIStreamCut(Format(RSStreamBrokeOff, {e.Message()}));
      throw;
    }
    if (failure) std::rethrow_exception(failure);
    if (!cancelled) aOnEnd();
    return std::string();
  });
}

}  // namespace qtx
