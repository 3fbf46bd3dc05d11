// Calls into each outside library the installed layers link (JSON through the
// OpenAI objects, zlib, libpsl, GnuTLS), so that a dependency the package does
// not carry fails the link and a wrong include path fails the compile; the
// checks show that what linked also works.
#include <cstdio>
#include <memory>
#include <string>

#include "http/qtxIdCompressorZLib.h"
#include "http/qtxIdCookie.h"
#include "http/qtxIdURI.h"
#include "openai/qtxHTTP_API_OpenAI_Requests.h"
#include "platform/qtxStreams.h"
#include "tls/provider/qtxCertificateStore.h"

namespace {

int failures = 0;

void Check(bool aPassed, const char* aWhat) {
  std::printf("%s: %s\n", aPassed ? "ok" : "FAILED", aWhat);
  if (!aPassed) ++failures;
}

}  // namespace

int main() {
  qtx::TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("gpt-3.5-turbo");
  request.Messages().push_back(
      std::make_unique<qtx::TqtxOpenAIClass_Request_Completion_Message>("user", "Hello"));
  const std::string json = request.AsString();
  Check(json.find("\"model\":\"gpt-3.5-turbo\"") != std::string::npos, "a chat request written as JSON");

  const std::string text(1000, 'q');
  qtx::TStringStream plain(text);
  qtx::TMemoryStream packed;
  qtx::TStringStream unpacked;
  qtx::TIdCompressorZLib zlib;
  zlib.DeflateStream(plain, packed);
  packed.SetPosition(0);
  zlib.InflateStream(packed, unpacked);
  Check(packed.Size() < 100 && unpacked.DataString() == text, "a body deflated and inflated by zlib");

  qtx::TIdCookie cookie;
  Check(!cookie.ParseServerCookie("id=1; Domain=co.uk", qtx::TIdURI("http://www.example.co.uk/")),
        "a cookie for a public suffix refused by libpsl");

  const uint8_t notDER[] = {0x30, 0x03, 0x02, 0x01};
  Check(qtx::TCertContext::FromDER(notDER, sizeof notDER) == nullptr, "a truncated certificate refused by GnuTLS");

  return failures == 0 ? 0 : 1;
}
