#include "http/qtxIdHTTPHeaderInfo.h"

#include <climits>

#include "http/qtxIdAuthenticationBasic.h"
#include "http/qtxIdHTMLMetaScanner.h"
#include "http/qtxIdHTTPDate.h"
#include "platform/qtxDateTime.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {
const char* const kDefaultAccept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
const char* const kDefaultUserAgent = "Mozilla/3.0 (compatible; Vexa Library)";

constexpr double kSecsPerDay = 86400.0;

std::unique_ptr<TIdHeaderList> NewHeaderList() {
  auto list = std::make_unique<TIdHeaderList>(QuoteHTTP);
  list->SetFoldLength(INT_MAX);
  return list;
}

// Cuts the text before aDelimiter out of aText (all of it when there is none).
std::string Fetch(std::string& aText, std::string_view aDelimiter) {
  const size_t p = aText.find(aDelimiter);
  std::string head = aText.substr(0, p);
  aText = p == std::string::npos ? std::string() : aText.substr(p + aDelimiter.size());
  return head;
}

int64_t NumberOrAbsent(std::string_view aText) { return StrToInt64Def(Trim(aText), -1); }

void SetIfNotEmpty(TIdHeaderList& aHeaders, const std::string& aName, const std::string& aValue) {
  if (!aValue.empty()) aHeaders.SetValues(aName, aValue);
}

// The value a Basic scheme made for these credentials, kept in aAuthentication.
std::string BasicAuthorization(std::unique_ptr<TIdAuthentication>& aAuthentication, const std::string& aUsername,
                               const std::string& aPassword) {
  auto basic = std::make_unique<TIdBasicAuthentication>();
  basic->SetUsername(aUsername);
  basic->SetPassword(aPassword);
  aAuthentication = std::move(basic);
  return aAuthentication->Authentication();
}
}  // namespace

// ---- ranges --------------------------------------------------------------------

std::string TIdEntityRange::Text() const {
  if (FStartPos >= 0) return IntToStr(FStartPos) + "-" + (FEndPos >= 0 ? IntToStr(FEndPos) : std::string());
  if (FSuffixLength >= 0) return "-" + IntToStr(FSuffixLength);
  return std::string();
}

void TIdEntityRange::SetText(std::string_view aValue) {
  std::string rest = Trim(aValue);
  const std::string start = Trim(Fetch(rest, "-"));
  const std::string end = Fetch(rest, " ");
  FStartPos = -1;
  FEndPos = -1;
  FSuffixLength = -1;
  if (start.empty()) {
    FSuffixLength = NumberOrAbsent(end);
  } else {
    FStartPos = NumberOrAbsent(start);
    FEndPos = NumberOrAbsent(end);
  }
}

TIdEntityRange& TIdEntityRanges::Add() { return FRanges.emplace_back(); }

TIdEntityRange& TIdEntityRanges::Ranges(int aIndex) { return FRanges.at(static_cast<size_t>(aIndex)); }

const TIdEntityRange& TIdEntityRanges::Ranges(int aIndex) const { return FRanges.at(static_cast<size_t>(aIndex)); }

void TIdEntityRanges::Delete(int aIndex) {
  Ranges(aIndex);  // checks the index
  FRanges.erase(FRanges.begin() + aIndex);
}

void TIdEntityRanges::SetUnits(std::string_view aValue) {
  FUnits = Trim(aValue).empty() ? std::string("bytes") : std::string(aValue);
}

std::string TIdEntityRanges::Text() const {
  std::string ranges;
  for (const auto& range : FRanges) {
    const std::string text = range.Text();
    if (text.empty()) continue;
    if (!ranges.empty()) ranges += ",";
    ranges += text;
  }
  return ranges.empty() ? std::string() : FUnits + "=" + ranges;
}

void TIdEntityRanges::SetText(std::string_view aValue) {
  FRanges.clear();
  std::string rest = Trim(aValue);
  SetUnits(rest.find('=') != std::string::npos ? Fetch(rest, "=") : std::string());
  while (!rest.empty()) {
    const std::string piece = Trim(Fetch(rest, ","));
    if (!piece.empty()) Add().SetText(piece);
  }
}

void TIdEntityRanges::Assign(const TIdEntityRanges& aSource) {
  if (&aSource == this) return;
  FRanges = aSource.FRanges;
  FUnits = aSource.FUnits;
}

// ---- entity --------------------------------------------------------------------

TIdEntityHeaderInfo::TIdEntityHeaderInfo(TComponent* aOwner)
    : FOwner(aOwner), FCustomHeaders(NewHeaderList()), FRawHeaders(NewHeaderList()) {
  TIdEntityHeaderInfo::Clear();
}

void TIdEntityHeaderInfo::Assign(const TIdEntityHeaderInfo& aSource) {
  if (&aSource == this) return;
  FCacheControl = aSource.FCacheControl;
  FCharSet = aSource.FCharSet;
  FConnection = aSource.FConnection;
  FContentDisposition = aSource.FContentDisposition;
  FContentEncoding = aSource.FContentEncoding;
  FContentLanguage = aSource.FContentLanguage;
  FContentLength = aSource.FContentLength;
  FHasContentLength = aSource.FHasContentLength;
  FContentRangeEnd = aSource.FContentRangeEnd;
  FContentRangeStart = aSource.FContentRangeStart;
  FContentRangeInstanceLength = aSource.FContentRangeInstanceLength;
  FContentRangeUnits = aSource.FContentRangeUnits;
  FContentType = aSource.FContentType;
  FContentVersion = aSource.FContentVersion;
  FCustomHeaders->Assign(*aSource.FCustomHeaders);
  FDate = aSource.FDate;
  FExpires = aSource.FExpires;
  FETag = aSource.FETag;
  FLastModified = aSource.FLastModified;
  FPragma = aSource.FPragma;
  FTransferEncoding = aSource.FTransferEncoding;
  FRawHeaders->Assign(*aSource.FRawHeaders);
}

void TIdEntityHeaderInfo::Clear() {
  FCacheControl.clear();
  FCharSet.clear();
  FConnection.clear();
  FContentDisposition.clear();
  FContentEncoding.clear();
  FContentLanguage.clear();
  SetContentLength(-1);
  FContentRangeEnd = -1;
  FContentRangeStart = -1;
  FContentRangeInstanceLength = -1;
  FContentRangeUnits.clear();
  FContentType.clear();
  FContentVersion.clear();
  FDate = 0;
  FExpires = 0;
  FETag.clear();
  FLastModified = 0;
  FRawHeaders->Clear();
}

void TIdEntityHeaderInfo::SetContentLength(int64_t aValue) noexcept {
  FContentLength = aValue;
  FHasContentLength = aValue >= 0;
}

void TIdEntityHeaderInfo::SetContentType(std::string_view aValue) {
  if (aValue.empty()) {
    FContentType.clear();
    FCharSet.clear();
    return;
  }
  const std::string charset = ExtractHeaderSubItem(aValue, "charset", QuoteHTTP);
  FContentType = ReplaceHeaderSubItem(aValue, "charset", "", QuoteHTTP);
  if (FOwner && FOwner->HasState(csLoading)) return;
  if (!charset.empty()) {
    FCharSet = charset;
  } else if (FCharSet.empty() && IsHeaderMediaType(FContentType, "text")) {
    const std::string subtype = ExtractHeaderMediaSubType(FContentType);
    const bool xml = SameText(subtype, "xml") || SameText(subtype, "xml-external-parsed-entity") ||
                     EndsText("+xml", subtype);
    FCharSet = xml ? "us-ascii" : "ISO-8859-1";
  }
}

void TIdEntityHeaderInfo::ProcessHeaders() {
  TIdHeaderList& raw = *FRawHeaders;
  FCacheControl = raw.Values("Cache-control");
  FConnection = raw.Values("Connection");
  FContentVersion = raw.Values("Content-Version");
  FContentDisposition = raw.Values("Content-Disposition");
  FContentEncoding = raw.Values("Content-Encoding");
  FContentLanguage = raw.Values("Content-Language");
  SetContentType(raw.Values("Content-Type"));
  SetContentLength(NumberOrAbsent(raw.Values("Content-Length")));

  FContentRangeStart = -1;
  FContentRangeEnd = -1;
  FContentRangeInstanceLength = -1;
  FContentRangeUnits.clear();
  std::string range = raw.Values("Content-Range");
  if (!range.empty()) {
    FContentRangeUnits = Fetch(range, " ");
    std::string span = Fetch(range, "/");
    FContentRangeStart = NumberOrAbsent(Fetch(span, "-"));
    FContentRangeEnd = NumberOrAbsent(span);
    FContentRangeInstanceLength = NumberOrAbsent(range);
  }

  const std::string date = raw.Values("Date");
  FDate = date.empty() ? Now() : GMTToLocalDateTime(date);
  FLastModified = GMTToLocalDateTime(raw.Values("Last-Modified"));

  const std::string expires = Trim(raw.Values("Expires"));
  int64_t seconds = 0;
  if (expires.empty()) {
    FExpires = 0;
  } else if (TryStrToInt64(expires, seconds)) {
    FExpires = seconds >= 0 ? Now() + seconds / kSecsPerDay : 0;
  } else {
    TDateTime utc = 0;
    FExpires = TryHttpDateToDateTimeGMT(expires, utc) ? UTCToLocalTime(utc) : Now() - 1 / kSecsPerDay;
  }

  FETag = raw.Values("ETag");
  FPragma = raw.Values("Pragma");
  FTransferEncoding = raw.Values("Transfer-Encoding");
}

void TIdEntityHeaderInfo::SetHeaders() {
  TIdHeaderList& raw = *FRawHeaders;
  raw.Clear();
  SetIfNotEmpty(raw, "Connection", FConnection);
  SetIfNotEmpty(raw, "Content-Version", FContentVersion);
  SetIfNotEmpty(raw, "Content-Disposition", FContentDisposition);
  SetIfNotEmpty(raw, "Content-Encoding", FContentEncoding);
  SetIfNotEmpty(raw, "Content-Language", FContentLanguage);
  if (!FContentType.empty())
    raw.SetValues("Content-Type", ReplaceHeaderSubItem(FContentType, "charset", FCharSet, QuoteHTTP));
  if (FContentLength >= 0) raw.SetValues("Content-Length", IntToStr(FContentLength));
  SetIfNotEmpty(raw, "Cache-control", FCacheControl);
  if (FDate > 0) raw.SetValues("Date", LocalDateTimeToHttpStr(FDate));
  SetIfNotEmpty(raw, "ETag", FETag);
  if (FExpires > 0) raw.SetValues("Expires", LocalDateTimeToHttpStr(FExpires));
  SetIfNotEmpty(raw, "Pragma", FPragma);
  SetIfNotEmpty(raw, "Transfer-Encoding", FTransferEncoding);
  raw.AddStrings(*FCustomHeaders);
}

// ---- request -------------------------------------------------------------------

TIdRequestHeaderInfo::TIdRequestHeaderInfo(TComponent* aOwner) : TIdEntityHeaderInfo(aOwner) {
  TIdRequestHeaderInfo::Clear();
}

void TIdRequestHeaderInfo::Assign(const TIdEntityHeaderInfo& aSource) {
  if (&aSource == this) return;
  TIdEntityHeaderInfo::Assign(aSource);
  const auto* source = dynamic_cast<const TIdRequestHeaderInfo*>(&aSource);
  if (!source) return;
  FAccept = source->FAccept;
  FAcceptCharSet = source->FAcceptCharSet;
  FAcceptEncoding = source->FAcceptEncoding;
  FAcceptLanguage = source->FAcceptLanguage;
  FExpect = source->FExpect;
  FFrom = source->FFrom;
  FPassword = source->FPassword;
  FReferer = source->FReferer;
  FUserAgent = source->FUserAgent;
  FUsername = source->FUsername;
  FHost = source->FHost;
  FProxyConnection = source->FProxyConnection;
  FMethodOverride = source->FMethodOverride;
  FBasicByDefault = source->FBasicByDefault;
  FRanges.Assign(source->FRanges);
}

void TIdRequestHeaderInfo::Clear() {
  FAccept = kDefaultAccept;
  FAcceptCharSet.clear();
  FUserAgent = kDefaultUserAgent;
  FBasicByDefault = false;
  FRanges.Clear();
  FMethodOverride.clear();
  TIdEntityHeaderInfo::Clear();
}

void TIdRequestHeaderInfo::ProcessHeaders() {
  TIdEntityHeaderInfo::ProcessHeaders();
  const TIdHeaderList& raw = RawHeaders();
  FAccept = raw.Values("Accept");
  FAcceptCharSet = raw.Values("Accept-Charset");
  FAcceptEncoding = raw.Values("Accept-Encoding");
  FAcceptLanguage = raw.Values("Accept-Language");
  FHost = raw.Values("Host");
  FFrom = raw.Values("From");
  FReferer = raw.Values("Referer");
  FUserAgent = raw.Values("User-Agent");
  FRanges.SetText(raw.Values("Range"));
  FMethodOverride = raw.Values("X-HTTP-Method-Override");
}

void TIdRequestHeaderInfo::SetHeaders() {
  TIdEntityHeaderInfo::SetHeaders();
  TIdHeaderList& raw = RawHeaders();
  SetIfNotEmpty(raw, "Proxy-Connection", FProxyConnection);
  SetIfNotEmpty(raw, "Host", FHost);
  SetIfNotEmpty(raw, "Accept", FAccept);
  SetIfNotEmpty(raw, "Accept-Charset", FAcceptCharSet);
  SetIfNotEmpty(raw, "Accept-Encoding", FAcceptEncoding);
  SetIfNotEmpty(raw, "Accept-Language", FAcceptLanguage);
  SetIfNotEmpty(raw, "From", FFrom);
  SetIfNotEmpty(raw, "Referer", FReferer);
  SetIfNotEmpty(raw, "User-Agent", FUserAgent);
  SetIfNotEmpty(raw, "Range", FRanges.Text());
  if (FLastModified > 0) raw.SetValues("If-Modified-Since", LocalDateTimeToHttpStr(FLastModified));
  if (FAuthentication) {
    SetIfNotEmpty(raw, "Authorization", FAuthentication->Authentication());
  } else if (FBasicByDefault) {
    SetIfNotEmpty(raw, "Authorization", BasicAuthorization(FAuthentication, FUsername, FPassword));
  }
  SetIfNotEmpty(raw, "X-HTTP-Method-Override", FMethodOverride);
}

// ---- response ------------------------------------------------------------------

TIdResponseHeaderInfo::TIdResponseHeaderInfo(TComponent* aOwner)
    : TIdEntityHeaderInfo(aOwner), FProxyAuthenticate(NewHeaderList()), FWWWAuthenticate(NewHeaderList()) {
  TIdResponseHeaderInfo::Clear();
}

void TIdResponseHeaderInfo::Clear() {
  TIdEntityHeaderInfo::Clear();
  FLocation.clear();
  FServer.clear();
  FAcceptPatch.clear();
  FAcceptRanges.clear();
  FProxyAuthenticate->Clear();
  FWWWAuthenticate->Clear();
}

void TIdResponseHeaderInfo::ProcessHeaders() {
  TIdEntityHeaderInfo::ProcessHeaders();
  const TIdHeaderList& raw = RawHeaders();
  FLocation = raw.Values("Location");
  FServer = raw.Values("Server");
  FProxyConnection = raw.Values("Proxy-Connection");
  FWWWAuthenticate->Clear();
  raw.Extract("WWW-Authenticate", *FWWWAuthenticate);
  FProxyAuthenticate->Clear();
  raw.Extract("Proxy-Authenticate", *FProxyAuthenticate);
  FAcceptPatch = raw.Values("Accept-Patch");
  FAcceptRanges = raw.Values("Accept-Ranges");
}

void TIdResponseHeaderInfo::SetHeaders() {
  TIdEntityHeaderInfo::SetHeaders();
  TIdHeaderList& raw = RawHeaders();
  if (HasContentRange() || HasContentRangeInstance()) {
    std::string value = FContentRangeUnits.empty() ? std::string("bytes") : FContentRangeUnits;
    value += " ";
    value += HasContentRange() ? IntToStr(FContentRangeStart) + "-" + IntToStr(FContentRangeEnd) : std::string("*");
    value += "/";
    value += HasContentRangeInstance() ? IntToStr(FContentRangeInstanceLength) : std::string("*");
    raw.SetValues("Content-Range", value);
  }
  SetIfNotEmpty(raw, "Accept-Patch", FAcceptPatch);
  SetIfNotEmpty(raw, "Accept-Ranges", FAcceptRanges);
  // Like every other date: local time converted to UTC, so "GMT" is true.
  if (FLastModified > 0) raw.SetValues("Last-Modified", LocalDateTimeToHttpStr(FLastModified));
}

// ---- meta http-equiv -----------------------------------------------------------

void TIdMetaHTTPEquiv::ProcessMetaHTTPEquiv(TStream& aStream) {
  aStream.SetPosition(0);
  TBytes bytes(static_cast<size_t>(aStream.Size()));
  if (!bytes.empty()) aStream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  const TIdHTMLMetaInfo info = ScanHTMLMeta(RawToText(bytes));
  for (const auto& [name, content] : info.Headers) RawHeaders().AddValue(name, content);
  if (!info.Headers.empty()) ProcessHeaders();
  if (!info.CharSet.empty()) FCharSet = info.CharSet;
}

// ---- proxy ---------------------------------------------------------------------

void TIdProxyConnectionInfo::Assign(const TIdProxyConnectionInfo& aSource) {
  if (&aSource == this) return;
  SetProxyServer(aSource.FServer);
  SetProxyPort(aSource.FPort);
  FUsername = aSource.FUsername;
  FPassword = aSource.FPassword;
  FBasicByDefault = aSource.FBasicByDefault;
}

void TIdProxyConnectionInfo::Clear() {
  FServer.clear();
  FUsername.clear();
  FPassword.clear();
  FPort = 0;
}

void TIdProxyConnectionInfo::SetProxyServer(const std::string& aValue) {
  if (SameText(aValue, FServer)) return;
  FAuthentication.reset();
  FServer = aValue;
}

void TIdProxyConnectionInfo::SetProxyPort(int aValue) {
  if (aValue == FPort) return;
  FAuthentication.reset();
  FPort = aValue;
}

void TIdProxyConnectionInfo::SetHeaders(TIdHeaderList& aHeaders) {
  if (FAuthentication) {
    SetIfNotEmpty(aHeaders, "Proxy-Authorization", FAuthentication->Authentication());
  } else if (FBasicByDefault) {
    SetIfNotEmpty(aHeaders, "Proxy-Authorization", BasicAuthorization(FAuthentication, FUsername, FPassword));
  }
}

}  // namespace qtx
