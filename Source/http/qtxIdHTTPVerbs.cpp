// The verbs: each sets up its request and runs ExecuteRequest; the Post
// forms with their protocol rule and form encoding; string results decoded
// by the response's charset.

#include <algorithm>

#include "http/qtxIdHTTP.h"
#include "http/qtxIdHeaderItems.h"
#include "platform/qtxScopeExit.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {
const char* const kFormContentType = "application/x-www-form-urlencoded";
// Characters a form field keeps as they are.
constexpr std::string_view kFormSafeChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-._";

bool IsJSONType(std::string_view aContentType) {
  return IsHeaderMediaType(aContentType, "application/json") ||
         EndsText("+json", ExtractHeaderMediaSubType(aContentType));
}

// A form field encoded: safe characters kept, a space as "+", any other
// character as the percent-escaped bytes of aEncoding, or as a numeric
// character reference when aEncoding cannot represent it.
std::string EncodeFormText(std::string_view aText, const TIdTextEncodingBase& aEncoding) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    const char c = aText[pos];
    if (kFormSafeChars.find(c) != std::string_view::npos) {
      result += c;
      ++pos;
      continue;
    }
    if (c == ' ') {
      result += '+';
      ++pos;
      continue;
    }
    const size_t start = pos;
    const char32_t codePoint = NextCodePoint(aText, pos);
    const TIdBytes bytes = aEncoding.GetBytes(aText.substr(start, pos - start));
    if (codePoint != U'?' && std::find(bytes.begin(), bytes.end(), uint8_t{'?'}) != bytes.end()) {
      result += "&#" + IntToStr(codePoint) + ";";
      continue;
    }
    for (uint8_t b : bytes) {
      result += '%';
      result += kHex[b >> 4];
      result += kHex[b & 0x0F];
    }
  }
  return result;
}
}  // namespace

IIdTextEncoding ResponseTextEncoding(const TIdHTTPResponse& aResponse) {
  // JSON is UTF-8 unless it says otherwise (RFC 8259 section 8.1).
  if (aResponse.CharSet().empty() && IsJSONType(aResponse.ContentType())) return IdTextEncoding_UTF8();
  return CharsetToEncoding(aResponse.CharSet());
}

// ---- verbs ---------------------------------------------------------------------------

void TIdCustomHTTP::Get(const std::string& aURL, TStream* aResponseContent,
                        const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  ExecuteRequest("GET", aURL, nullptr, aResponseContent, aIgnoreReplies);
}

std::string TIdCustomHTTP::Get(const std::string& aURL, const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  return ExecuteToString("GET", aURL, nullptr, aIgnoreReplies);
}

void TIdCustomHTTP::Head(const std::string& aURL) { ExecuteRequest("HEAD", aURL, nullptr, nullptr, {}); }

void TIdCustomHTTP::Post(const std::string& aURL, TStream* aSource, TStream* aResponseContent) {
  PostStream(aURL, aSource, aResponseContent);
}

std::string TIdCustomHTTP::Post(const std::string& aURL, TStream* aSource) { return PostToString(aURL, aSource); }

void TIdCustomHTTP::Post(const std::string& aURL, const std::string& aSourceFile, TStream* aResponseContent) {
  TFileStream source(aSourceFile, fmOpenRead | fmShareDenyWrite);
  PostStream(aURL, &source, aResponseContent);
}

std::string TIdCustomHTTP::Post(const std::string& aURL, const std::string& aSourceFile) {
  TFileStream source(aSourceFile, fmOpenRead | fmShareDenyWrite);
  return PostToString(aURL, &source);
}

void TIdCustomHTTP::Post(const std::string& aURL, const TStrings& aSource, TStream* aResponseContent,
                         IIdTextEncoding aByteEncoding) {
  const std::unique_ptr<TStream> form = EncodeForm(aSource, std::move(aByteEncoding));
  PostStream(aURL, form.get(), aResponseContent);
}

std::string TIdCustomHTTP::Post(const std::string& aURL, const TStrings& aSource, IIdTextEncoding aByteEncoding) {
  const std::unique_ptr<TStream> form = EncodeForm(aSource, std::move(aByteEncoding));
  return PostToString(aURL, form.get());
}

void TIdCustomHTTP::Post(const std::string& aURL, TIdMultiPartFormDataStream& aSource, TStream* aResponseContent) {
  Request().SetContentType(aSource.RequestContentType());
  PostStream(aURL, &aSource, aResponseContent);
}

std::string TIdCustomHTTP::Post(const std::string& aURL, TIdMultiPartFormDataStream& aSource) {
  Request().SetContentType(aSource.RequestContentType());
  return PostToString(aURL, &aSource);
}

void TIdCustomHTTP::Put(const std::string& aURL, TStream* aSource, TStream* aResponseContent) {
  ExecuteRequest("PUT", aURL, aSource, aResponseContent, {});
}

std::string TIdCustomHTTP::Put(const std::string& aURL, TStream* aSource) {
  return ExecuteToString("PUT", aURL, aSource);
}

void TIdCustomHTTP::Patch(const std::string& aURL, TStream* aSource, TStream* aResponseContent) {
  ExecuteRequest("PATCH", aURL, aSource, aResponseContent, {});
}

std::string TIdCustomHTTP::Patch(const std::string& aURL, TStream* aSource) {
  return ExecuteToString("PATCH", aURL, aSource);
}

void TIdCustomHTTP::Delete(const std::string& aURL, TStream* aResponseContent) {
  ExecuteRequest("DELETE", aURL, nullptr, aResponseContent, {});
}

std::string TIdCustomHTTP::Delete(const std::string& aURL) { return ExecuteToString("DELETE", aURL, nullptr); }

std::string TIdCustomHTTP::Delete(const std::string& aURL, const std::string& aBody) {
  TStringStream body(aBody);  // the text's UTF-8 bytes
  return ExecuteToString("DELETE", aURL, &body);
}

void TIdCustomHTTP::Options(const std::string& aURL, TStream* aResponseContent) {
  ExecuteRequest("OPTIONS", aURL, nullptr, aResponseContent, {});
}

std::string TIdCustomHTTP::Options(const std::string& aURL) { return ExecuteToString("OPTIONS", aURL, nullptr); }

void TIdCustomHTTP::Trace(const std::string& aURL, TStream* aResponseContent) {
  ExecuteRequest("TRACE", aURL, nullptr, aResponseContent, {});
}

std::string TIdCustomHTTP::Trace(const std::string& aURL) { return ExecuteToString("TRACE", aURL, nullptr); }

std::string TIdCustomHTTP::ExecuteToString(const std::string& aMethod, const std::string& aURL, TStream* aSource,
                                           const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  TMemoryStream content;
  ExecuteRequest(aMethod, aURL, aSource, &content, aIgnoreReplies);
  return ResponseTextEncoding(Response())->GetString(content.Bytes());
}

std::string TIdCustomHTTP::PostToString(const std::string& aURL, TStream* aSource) {
  TMemoryStream content;
  PostStream(aURL, aSource, &content);
  return ResponseTextEncoding(Response())->GetString(content.Bytes());
}

void TIdCustomHTTP::PostStream(const std::string& aURL, TStream* aSource, TStream* aResponseContent) {
  if (FOptions.Contains(hoKeepOrigProtocol)) {
    ExecuteRequest("POST", aURL, aSource, aResponseContent, {});
    return;
  }
  // A POST goes out as HTTP/1.0 on a connection of its own.
  if (Connected()) Disconnect();
  const TRestoreOnExit restoreVersion(FProtocolVersion);
  FProtocolVersion = pv1_0;
  ExecuteRequest("POST", aURL, aSource, aResponseContent, {});
}

std::unique_ptr<TStream> TIdCustomHTTP::EncodeForm(const TStrings& aSource, IIdTextEncoding aByteEncoding) {
  TIdHTTPRequest& request = Request();
  if (request.ContentType().empty() || IsHTMLMediaType(request.ContentType())) request.SetContentType(kFormContentType);
  const IIdTextEncoding encoding = aByteEncoding ? std::move(aByteEncoding) : IdTextEncoding_UTF8();
  TStringList lines;
  for (int i = 0; i < aSource.Count(); ++i) {
    const std::string& line = aSource[i];
    if (!FOptions.Contains(hoForceEncodeParams)) {
      lines.Add(line);
      continue;
    }
    const size_t separator = line.find(aSource.NameValueSeparator());
    if (separator == std::string::npos) {
      lines.Add(EncodeFormText(line, *encoding));
    } else {
      lines.Add(EncodeFormText(std::string_view(line).substr(0, separator), *encoding) + "=" +
                EncodeFormText(std::string_view(line).substr(separator + 1), *encoding));
    }
  }
  std::string form;
  if (lines.Count() == 1) {
    form = Trim(lines[0]);
  } else {
    form = Trim(lines.Text());
    for (size_t at = form.find("\r\n"); at != std::string::npos; at = form.find("\r\n", at + 1)) {
      form.replace(at, 2, "&");
    }
  }
  return std::make_unique<TStringStream>(form);
}

}  // namespace qtx
