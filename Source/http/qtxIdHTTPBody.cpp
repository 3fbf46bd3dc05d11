// Reading a response body: whether one is expected, its framing (chunked,
// counted, multipart-delimited or until the peer closes), the hand-off to
// the decompressor and the charset sniffing of HTML and XML. Bytes go to
// the destination as they arrive; only a compressed body is collected first.

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>

#include "http/qtxIdHTTP.h"
#include "http/qtxIdHeaderItems.h"
#include "http/qtxIdXmlCharset.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
const char* const RSHTTPChunkStarted = "Chunk Started";
const char* const RSHTTPBodyTruncated = "Response body truncated: %d of %d bytes received.";
const char* const RSHTTPChunkedBodyTruncated =
    "Response body truncated: the connection closed before the last chunk.";
const char* const RSHTTPInvalidChunkSize = "Invalid chunk size: \"%s\".";
const char* const RSHTTPTooManyTrailerLines = "Response trailer too long: more than %d lines.";

// How long a 3xx or a bodiless answer may take to start a body anyway.
constexpr int kRedirectBodyWait = 5000;
constexpr int kUnexpectedDataWait = 100;
// The head of an HTML or XML body that its charset is sniffed from. A meta
// charset or an XML declaration sits at the very start of a document.
constexpr size_t kSniffWindow = 64 * 1024;
// OnChunkReceived gets a long chunk in pieces of at most this size.
constexpr int64_t kChunkEventPiece = 1024 * 1024;

bool IsXMLType(std::string_view aContentType) {
  if (IsHeaderMediaTypes(aContentType,
                         {"application/xml", "application/xml-external-parsed-entity", "application/xml-dtd"})) {
    return true;
  }
  return !IsHeaderMediaType(aContentType, "text") &&
         EndsText("+xml", ExtractHeaderMediaSubType(aContentType));
}

// The size of a chunk-size line: hexadecimal digits, after which a ";"
// starts the extensions; anything else, or a size beyond 63 bits, is a
// broken body.
int64_t ParseChunkSize(const std::string& aLine) {
  const std::string_view size = TrimView(std::string_view(aLine).substr(0, aLine.find(';')));
  uint64_t value = 0;
  for (char c : size) {
    const int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0 || value > (static_cast<uint64_t>(INT64_MAX) >> 4)) {
      throw EIdHTTPMalformedResponse(Format(RSHTTPInvalidChunkSize, {aLine}));
    }
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  if (size.empty()) throw EIdHTTPMalformedResponse(Format(RSHTTPInvalidChunkSize, {aLine}));
  return static_cast<int64_t>(value);
}

// Passes everything on to the destination and keeps a copy of the first
// kSniffWindow bytes written, for the charset sniffing.
class TSniffingStream : public TStream {
public:
  explicit TSniffingStream(TStream& aDestination) : FDestination(aDestination) {}

  int64_t Read(void* aBuffer, int64_t aCount) override { return FDestination.Read(aBuffer, aCount); }
  int64_t Write(const void* aBuffer, int64_t aCount) override {
    const int64_t written = FDestination.Write(aBuffer, aCount);
    const auto keep = static_cast<size_t>(std::clamp<int64_t>(written, 0, kSniffWindow - FHead.size()));
    const auto* bytes = static_cast<const uint8_t*>(aBuffer);
    FHead.insert(FHead.end(), bytes, bytes + keep);
    return written;
  }
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override { return FDestination.Seek(aOffset, aOrigin); }
  int64_t Size() override { return FDestination.Size(); }
  void SetSize(int64_t aNewSize) override { FDestination.SetSize(aNewSize); }

  const TBytes& Head() const noexcept { return FHead; }

private:
  TStream& FDestination;
  TBytes FHead;
};

// The headers of the page's meta tags go into the response's headers, and
// a meta charset becomes its charset.
void ApplyMetaHTTPEquiv(TIdHTTPResponse& aResponse, const TBytes& aHead) {
  TMemoryStream head(aHead);
  TIdMetaHTTPEquiv& meta = aResponse.MetaHTTPEquiv();
  meta.ProcessMetaHTTPEquiv(head);
  const TIdHeaderList& found = meta.RawHeaders();
  bool changed = false;
  for (int line = 0; line < found.Count(); ++line) {
    const std::string name = Trim(found.Names(line));
    const std::string value = found.GetValueFromLine(line);
    --line;  // GetValueFromLine stepped past the header's lines
    if (name.empty() || value.empty()) continue;
    aResponse.RawHeaders().SetValues(name, value);
    changed = true;
  }
  if (changed) aResponse.ProcessHeaders();
  if (!meta.CharSet().empty()) aResponse.SetCharSet(meta.CharSet());
}
}  // namespace

bool TIdCustomHTTP::DataArrivesWithin(int aMSec) {
  TIdIOHandler& io = *IOHandler();
  if (!io.InputBufferIsEmpty()) return true;
  io.CheckForDataOnSource(aMSec);
  return !io.InputBufferIsEmpty();
}

bool TIdCustomHTTP::BodyExpected(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse) {
  bool framed;
  if (aResponse.IsChunked()) {
    framed = !FOptions.Contains(hoNoReadChunked);
  } else if (aResponse.HasContentLength()) {
    framed = aResponse.ContentLength() > 0;
  } else {
    framed = !(IsHeaderMediaType(aResponse.ContentType(), "multipart") && FOptions.Contains(hoNoReadMultipartMIME));
  }
  if (!framed) return false;
  const int code = aResponse.ResponseCode();
  const bool head = SameText(aRequest.Method(), "HEAD") || SameText(aRequest.MethodOverride(), "HEAD");
  if (!head && code / 100 != 1 && code != 204 && code != 304) {
    return code / 100 == 3 ? DataArrivesWithin(kRedirectBodyWait) : true;
  }
  return FOptions.Contains(hoWaitForUnexpectedData) && DataArrivesWithin(kUnexpectedDataWait);
}

void TIdCustomHTTP::ReadResponseBody(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse) {
  try {
    if (!BodyExpected(aRequest, aResponse)) return;
    TStream* const destination = aResponse.ContentStream();
    const std::string& contentType = aResponse.ContentType();
    const bool meta = destination && IsHTMLMediaType(contentType) && !FOptions.Contains(hoNoParseMetaHTTPEquiv);
    const bool xml = destination && !meta && IsXMLType(contentType) && !FOptions.Contains(hoNoParseXmlCharset);
    std::optional<TSniffingStream> sniffer;
    if (meta || xml) sniffer.emplace(*destination);
    TStream* const target = sniffer ? &*sniffer : destination;

    const std::string& coding = aResponse.ContentEncoding();
    const bool deflate = SameText(coding, "deflate");
    if (destination && FCompressor && FCompressor->IsReady() && (deflate || SameText(coding, "gzip"))) {
      TMemoryStream compressed;
      ReadBodyFraming(aResponse, &compressed);
      compressed.SetPosition(0);
      if (deflate) {
        FCompressor->DecompressDeflateStream(compressed, *target);
      } else {
        FCompressor->DecompressGZipStream(compressed, *target);
      }
    } else {
      ReadBodyFraming(aResponse, target);
    }

    if (meta) {
      ApplyMetaHTTPEquiv(aResponse, sniffer->Head());
    } else if (xml) {
      TMemoryStream head(sniffer->Head());
      aResponse.SetCharSet(DetectXmlCharset(head));
    }
  } catch (...) {
    // What is left of the body on the connection is of no use to anyone.
    DisconnectQuietly();
    throw;
  }
}

void TIdCustomHTTP::ReadBodyFraming(TIdHTTPResponse& aResponse, TStream* aStream) {
  if (aResponse.IsChunked()) {
    ReadChunkedBody(aResponse, aStream);
  } else if (aResponse.HasContentLength()) {
    ReadCountedBody(aStream, aResponse.ContentLength());
  } else if (IsHeaderMediaType(aResponse.ContentType(), "multipart")) {
    ReadMultipartBody(aResponse, aStream);
  } else {
    IOHandler()->ReadStream(aStream, -1, true);
  }
}

void TIdCustomHTTP::ReadCountedBody(TStream* aStream, int64_t aLength) {
  TNullStream discard;
  TStream& sink = aStream ? *aStream : discard;
  const int64_t start = sink.Position();
  try {
    IOHandler()->ReadStream(&sink, aLength);
  } catch (const EIdConnClosedGracefully&) {
    throw EIdHTTPResponseTruncated(Format(RSHTTPBodyTruncated, {sink.Position() - start, aLength}));
  }
}

void TIdCustomHTTP::ReadChunkedBody(TIdHTTPResponse& aResponse, TStream* aStream) {
  DoStatus(hsStatusText, RSHTTPChunkStarted);
  TIdWorkBracket work(*this, wmRead);
  try {
    for (int64_t size = ParseChunkSize(ReadHeaderLine()); size != 0; size = ParseChunkSize(ReadHeaderLine())) {
      ReadChunk(aStream, size);
      ReadHeaderLine();  // the line end after the data
    }
  } catch (const EIdConnClosedGracefully&) {
    throw EIdHTTPResponseTruncated(RSHTTPChunkedBodyTruncated);
  }
  // The body is complete; a close among the trailers only ends them.
  try {
    TIdHeaderList& headers = aResponse.RawHeaders();
    int count = 0;
    for (std::string line = ReadHeaderLine(); !line.empty(); line = ReadHeaderLine()) {
      if (FMaxHeaderLines > 0 && ++count > FMaxHeaderLines) {
        throw EIdHTTPMalformedResponse(Format(RSHTTPTooManyTrailerLines, {FMaxHeaderLines}));
      }
      headers.Add(line);
    }
  } catch (const EIdConnClosedGracefully&) {
  }
}

void TIdCustomHTTP::ReadChunk(TStream* aStream, int64_t aSize) {
  TIdIOHandler& io = *IOHandler();
  if (!aStream) {
    io.Discard(aSize);
  } else if (!OnChunkReceived) {
    io.ReadStream(aStream, aSize);
  } else {
    while (aSize > 0) {
      const auto piece = static_cast<int>(std::min(aSize, kChunkEventPiece));
      TIdBytes chunk;
      io.ReadBytes(chunk, piece, false);
      OnChunkReceived(*this, chunk);
      if (!chunk.empty()) aStream->WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size()));
      aSize -= piece;
    }
  }
}

void TIdCustomHTTP::ReadMultipartBody(TIdHTTPResponse& aResponse, TStream* aStream) {
  const std::string closing = "--" + ExtractHeaderSubItem(aResponse.ContentType(), "boundary", QuoteHTTP) + "--";
  const TIdBytes delimiter(closing.begin(), closing.end());
  const int keep = static_cast<int>(delimiter.size()) - 1;
  TIdIOHandler& io = *IOHandler();
  TIdBuffer& input = io.InputBuffer();
  auto take = [&](int aCount) {
    if (aCount <= 0) return;
    if (aStream) {
      input.ExtractToStream(*aStream, aCount);
    } else {
      input.Remove(aCount);
    }
  };
  TIdWorkBracket work(*this, wmRead);
  try {
    while (true) {
      const int found = input.Size() >= static_cast<int>(delimiter.size()) ? input.IndexOf(delimiter) : -1;
      if (found >= 0) {
        take(found + static_cast<int>(delimiter.size()));
        io.ReadLn();  // the rest of the delimiter's line
        return;
      }
      // Everything but a possible start of the delimiter can go on.
      take(input.Size() - keep);
      if (io.FillInputBuffer(true, IdTimeoutDefault, true) == 0) break;
    }
  } catch (const EIdConnClosedGracefully&) {
  }
  take(input.Size());
}

}  // namespace qtx
