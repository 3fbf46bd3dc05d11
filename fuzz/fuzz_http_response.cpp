// The HTTP engine reading a whole response from a peer that sends the fuzz
// input: status line, header block, every body framing (counted, chunked
// with extensions and trailers, multipart-delimited, until close), gzip and
// deflate decoding, charset sniffing, redirects and challenges.
//
// Input: two bytes of settings, then the bytes the peer sends, delivered in
// reads of a size the settings choose; after them the peer closes.
// A failure of the library's own kind (qtx::Exception) is a normal end;
// anything else escaping, a crash or a sanitizer report is a finding.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "http/qtxIdCompressorZLib.h"
#include "http/qtxIdHTTP.h"

namespace {

using namespace qtx;

// A connection whose peer sends the input and then closes. Writes vanish.
class TFuzzIOHandler : public TIdIOHandler {
public:
  TFuzzIOHandler(std::span<const uint8_t> aInput, size_t aReadSize) : FInput(aInput), FReadSize(aReadSize) {}

  void Open() override {
    TIdIOHandler::Open();
    FSourceOpen = true;
  }
  void Close() override {
    FSourceOpen = false;
    TIdIOHandler::Close();
  }
  void CheckForDisconnect(bool aRaiseExceptionIfDisconnected = true, bool aIgnoreBuffer = false) override {
    if (ClosedGracefully() && FSourceOpen) Close();
    const bool gone = ClosedGracefully() || !FSourceOpen;
    if (gone && aRaiseExceptionIfDisconnected && (aIgnoreBuffer || InputBufferIsEmpty())) {
      throw EIdConnClosedGracefully();
    }
  }
  // Never a wait: there is data, or the peer has closed.
  bool Readable(int) override { return true; }

protected:
  int ReadDataFromSource(std::span<uint8_t> aBuffer) override {
    const size_t count = std::min({aBuffer.size(), FReadSize, FInput.size()});
    std::copy_n(FInput.begin(), count, aBuffer.begin());
    FInput = FInput.subspan(count);
    return static_cast<int>(count);
  }
  int WriteDataToTarget(const TIdBytes&, int, int aLength) override { return aLength; }
  bool SourceIsAvailable() override { return FSourceOpen; }

private:
  std::span<const uint8_t> FInput;
  size_t FReadSize;
  bool FSourceOpen = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 2) return 0;
  const uint8_t settings = aData[0];
  const size_t readSize = aData[1] == 0 ? 1 : aData[1];
  TFuzzIOHandler handler({aData + 2, aSize - 2}, readSize);
  TIdCompressorZLib compressor;
  TIdHTTP http;
  http.SetIOHandler(&handler);
  http.SetCompressor(&compressor);
  http.SetHandleRedirects(settings & 0x01);
  TIdHTTPOptions options;
  if (settings & 0x02) options.Include(hoInProcessAuth);
  if (settings & 0x04) options.Include(hoNoProtocolErrorException);
  if (settings & 0x08) options.Include(hoWantProtocolErrorContent);
  if (settings & 0x10) options.Include(hoNoReadChunked);
  if (settings & 0x20) options.Include(hoWaitForUnexpectedData);
  http.SetHTTPOptions(options);
  http.Request().SetUsername("user");
  http.Request().SetPassword("password");
  TMemoryStream content;
  try {
    if (settings & 0x40) {
      http.Head("http://fuzz.test/");
    } else {
      http.Get("http://fuzz.test/page", &content);
    }
    (void)http.ResponseCode();
    (void)ResponseTextEncoding(http.Response())->GetString(content.Bytes());
  } catch (const qtx::Exception&) {
  }
  return 0;
}
