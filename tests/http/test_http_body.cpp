// Response bodies as the engine reads them from scripted loopback servers:
// every framing, decompression, charset sniffing, and peers that cut the
// answer short at every byte, stall or flood.

#include <gtest/gtest.h>

#include "http/qtxIdCompressorZLib.h"
#include "http/qtxIdHTTP.h"
#include "http/qtxIdXmlCharset.h"
#include "platform/qtxSysUtils.h"
#include "support/qtxScriptedHTTPServer.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::HeaderOf;
using test::Raised;
using test::THTTPAnswer;
using test::TScriptedHTTPServer;

constexpr int kWait = 30000;

struct THTTPClient : TIdHTTP {
  THTTPClient() { SetReadTimeout(kWait); }
};

const std::string kChunked =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
    "5;name=value\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: t\r\n\r\n";
const std::string kCounted = "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext";

std::string Gzip(const std::string& aText) {
  TIdCompressorZLib zlib;
  TStringStream in(aText);
  TMemoryStream out;
  zlib.CompressStream(in, out, 6, 31, 8, 0);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

TEST(HTTPBody, EveryFramingDeliversTheBodyAndLeavesTheConnectionReady) {
  struct TCase {
    std::string Answer;
    std::string Body;
  };
  const std::vector<TCase> cases{
      {kCounted, "hello world"},
      {kChunked, "hello world"},
      {"HTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; boundary=XY\r\n\r\n--XY\r\npart\r\n--XY--\r\n",
       "--XY\r\npart\r\n--XY--"},
  };
  for (const TCase& c : cases) {
    TScriptedHTTPServer server({c.Answer, kOk});
    THTTPClient http;
    EXPECT_EQ(http.Get(server.URL()), c.Body);
    EXPECT_EQ(http.Get(server.URL()), "next");
    EXPECT_EQ(server.Connections(), 1);
  }
  TScriptedHTTPServer closing({{"HTTP/1.1 200 OK\r\n\r\nuntil the end", THTTPAnswer::Close}});
  THTTPClient http;
  EXPECT_EQ(http.Get(closing.URL()), "until the end");
}

TEST(HTTPBody, ChunkExtensionsAreDroppedTrailersKeptAndChunksOfferedToTheEvent) {
  TScriptedHTTPServer server({kChunked});
  THTTPClient http;
  std::vector<std::string> notices;
  http.OnStatus = [&](TIdComponent&, TIdStatus aStatus, const std::string& aText) {
    if (aStatus == hsStatusText) notices.push_back(aText);
  };
  http.OnWorkBegin = [&](TIdComponent&, TWorkMode, int64_t) { notices.push_back("begin"); };
  http.OnWorkEnd = [&](TIdComponent&, TWorkMode) { notices.push_back("end"); };
  http.OnChunkReceived = [](TIdCustomHTTP&, TIdBytes& aChunk) {
    for (uint8_t& b : aChunk) b = static_cast<uint8_t>(std::toupper(b));
  };
  EXPECT_EQ(http.Get(server.URL()), "HELLO WORLD");
  EXPECT_EQ(http.Response().RawHeaders().Values("X-Trailer"), "t");
  EXPECT_EQ(notices, (std::vector<std::string>{"Chunk Started", "begin", "end"}));
}

TEST(HTTPBody, BodiesThatAreNotReadStayOrAreNeverAwaited) {
  TScriptedHTTPServer server({"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", kOk, kChunked});
  THTTPClient http;
  http.Head(server.URL());
  EXPECT_EQ(http.Get(server.URL()), "next");
  http.SetHTTPOptions({hoNoReadChunked});
  TMemoryStream content;
  http.Get(server.URL(), &content);
  EXPECT_EQ(content.Size(), 0);
  ASSERT_TRUE(http.Connected());
  EXPECT_EQ(http.IOHandler()->ReadLn(), "5;name=value");
}

TEST(HTTPBody, ACompressorDecodesAndIsAdvertisedOnlyWhenSet) {
  const std::string packed = Gzip("compressed text");
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
                             IntToHex(packed.size(), 1) + "\r\n" + packed + "\r\n0\r\n\r\n";
  TScriptedHTTPServer server({answer, answer});
  THTTPClient http;
  TIdCompressorZLib zlib;
  http.SetCompressor(&zlib);
  EXPECT_EQ(http.Get(server.URL()), "compressed text");
  http.SetCompressor(nullptr);
  http.Request().SetAcceptEncoding("");
  TMemoryStream raw;
  http.Get(server.URL(), &raw);
  EXPECT_EQ(std::string(raw.Bytes().begin(), raw.Bytes().end()), packed);
  const auto requests = server.Requests();
  EXPECT_EQ(HeaderOf(requests[0].Head, "Accept-Encoding"), "deflate, gzip, identity");
  EXPECT_EQ(HeaderOf(requests[1].Head, "Accept-Encoding"), "");
}

TEST(HTTPBody, HTMLAndXMLBodiesNameTheirCharset) {
  const std::string html = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
                           "</head><body>\x80</body></html>";
  const std::string xml = "<?xml version=\"1.0\" encoding='ISO-8859-2'?><a>\xB1</a>";
  TScriptedHTTPServer server({"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                  std::to_string(html.size()) + "\r\n\r\n" + html,
                              "HTTP/1.1 200 OK\r\nContent-Type: application/atom+xml\r\nContent-Length: " +
                                  std::to_string(xml.size()) + "\r\n\r\n" + xml});
  THTTPClient http;
  EXPECT_NE(http.Get(server.URL()).find("<body>\u20AC</body>"), std::string::npos);
  EXPECT_EQ(http.Response().CharSet(), "windows-1252");
  EXPECT_EQ(http.Get(server.URL()), "<?xml version=\"1.0\" encoding='ISO-8859-2'?><a>\u0105</a>");
}

TEST(HTTPBody, XmlCharsetComesFromTheMarkOrTheDeclarationInAnyLayout) {
  auto utf16le = [](const std::string& aText) {
    std::string bytes;
    for (char c : aText) bytes += {c, '\0'};
    return bytes;
  };
  auto ucs4be = [](const std::string& aText) {
    std::string bytes;
    for (char c : aText) bytes += {'\0', '\0', '\0', c};
    return bytes;
  };
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"\xFF\xFE<\0?\0", "UTF-16LE"},
      {std::string("\xFE\xFF\0<", 4), "UTF-16BE"},
      {"\xEF\xBB\xBF<?xml?>", "UTF-8"},
      {std::string("\0\0\xFE\xFF", 4), "UCS-4BE"},
      {std::string("\0\0\xFF\xFE", 4), ""},
      {"<?xml version='1.0' encoding = ' ISO-8859-1 '?>", "ISO-8859-1"},
      {"<?xml version='1.0'?><a encoding='x'/>", "UTF-8"},
      {"<root/>", "UTF-8"},
      {utf16le(declaration), "KOI8-R"},
      {ucs4be(declaration), "KOI8-R"},
      {"\x4C\x6F\xA7\x94\x93\x40\x85\x95\x83\x96\x84\x89\x95\x87\x7E\x7D\xC9\xC2\xD4\xF0\xF3\xF7\x7D\x6F\x6E",
       "IBM037"},
  };
  for (const auto& [bytes, charset] : cases) {
    TMemoryStream stream(TBytes(bytes.begin(), bytes.end()));
    EXPECT_EQ(DetectXmlCharset(stream), charset) << bytes;
  }
}

// The answers a peer cut short: truncation and a broken chunk size raise,
// close the connection and keep what arrived.
TEST(HTTPBody, BodiesCutShortOrMisframedRaise) {
  struct TCase {
    THTTPAnswer Answer;
    std::string Message;
    std::string Arrived;
  };
  const auto closing = THTTPAnswer::Close;
  const auto staying = THTTPAnswer::Stall;
  const std::vector<TCase> cases{
      {{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", closing},
       "Response body truncated: 5 of 10 bytes received.", "hello"},
      {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", closing},
       "Response body truncated: the connection closed before the last chunk.", "hello"},
      {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\nzz\r\n0\r\n\r\n", staying},
       "Invalid chunk size: \"zz\".", "hello"},
      {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n", staying},
       "Invalid chunk size: \"8000000000000000\".", ""},
      {{"HTTP/1.1 200 OK\r\nContent-Le", closing},
       "Response header truncated: the connection closed before the end of the header block.", ""},
      {{"HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\nhello", closing},
       "Response body truncated: 5 of 10 bytes received.", ""},
  };
  for (const TCase& c : cases) {
    TScriptedHTTPServer server({c.Answer, kOk});
    THTTPClient http;
    TMemoryStream content;
    const auto e = Raised<EIdHTTPResponseError>([&] { http.Get(server.URL(), &content); });
    EXPECT_EQ(e.Message(), c.Message);
    EXPECT_EQ(std::string(content.Bytes().begin(), content.Bytes().end()), c.Arrived) << c.Message;
    EXPECT_EQ(http.Get(server.URL()), "next");
    EXPECT_EQ(server.Connections(), 2) << c.Message;
  }
}

TEST(HTTPBody, APeerClosingOrResettingAtAnyByteGivesTheWholeBodyOrANamedError) {
  for (const std::string& answer : {kCounted, kChunked}) {
    for (THTTPAnswer::TAfter after : {THTTPAnswer::Close, THTTPAnswer::Reset}) {
      std::vector<THTTPAnswer> cuts;
      for (size_t length = 0; length <= answer.size(); ++length) cuts.emplace_back(answer.substr(0, length), after);
      TScriptedHTTPServer server(cuts);
      THTTPClient http;
      for (size_t length = 0; length <= answer.size(); ++length) {
        TMemoryStream content;
        try {
          http.Get(server.URL(), &content);
          EXPECT_EQ(std::string(content.Bytes().begin(), content.Bytes().end()), "hello world") << length;
        } catch (const EIdHTTPResponseError&) {
        } catch (const EIdConnClosedGracefully&) {
        } catch (const EIdSocketError& e) {
          EXPECT_EQ(after, THTTPAnswer::Reset) << length << e.Message();
        }
        if (after == THTTPAnswer::Close && length == answer.size()) {
          EXPECT_EQ(content.Size(), 11);
        }
      }
    }
  }
}

TEST(HTTPBody, StallingAndFloodingPeersEndInBoundedTimeAndMemory) {
  struct TCase {
    std::string Answer;
    std::string Message;
  };
  const std::vector<TCase> cases{
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhel", "Read timed out."},
      {"HTTP/1.1 200 OK\r\nServer: x", "Read timed out."},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(20000, '1'), "Max line length exceeded."},
      {"HTTP/1.1 200 OK\r\n" + [] {
         std::string lines;
         for (int i = 0; i < 300; ++i) lines += "X-Flood: " + std::to_string(i) + "\r\n";
         return lines;
       }(),
       "Response header too long: more than 255 lines."},
  };
  for (const TCase& c : cases) {
    TScriptedHTTPServer server({{c.Answer, THTTPAnswer::Stall}});
    THTTPClient http;
    http.SetReadTimeout(300);
    const auto start = test::TClock::now();
    EXPECT_EQ(Raised<EIdException>([&] { http.Get(server.URL()); }).Message(), c.Message);
    EXPECT_LT(test::ElapsedMs(start), 10000);
    EXPECT_FALSE(http.Connected());
  }
}

}  // namespace
}  // namespace qtx
