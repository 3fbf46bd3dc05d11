#pragma once
// Typed header records: the entity, request and response header fields, the
// meta http-equiv record of an HTML page, the HTTP proxy settings and the
// byte ranges of a request. SetHeaders writes the fields into RawHeaders in a
// fixed order; ProcessHeaders reads them back.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "http/qtxIdAuthentication.h"
#include "http/qtxIdHeaderList.h"
#include "platform/qtxComponent.h"
#include "platform/qtxStreams.h"
#include "platform/qtxTypes.h"

namespace qtx {

// One range of a Range header; -1 marks an absent number.
class TIdEntityRange {
public:
  int64_t StartPos() const noexcept { return FStartPos; }
  void SetStartPos(int64_t aValue) noexcept { FStartPos = aValue; }
  int64_t EndPos() const noexcept { return FEndPos; }
  void SetEndPos(int64_t aValue) noexcept { FEndPos = aValue; }
  int64_t SuffixLength() const noexcept { return FSuffixLength; }
  void SetSuffixLength(int64_t aValue) noexcept { FSuffixLength = aValue; }

  // "start-end", "start-", "-suffix", or empty.
  std::string Text() const;
  void SetText(std::string_view aValue);

private:
  int64_t FStartPos = -1;
  int64_t FEndPos = -1;
  int64_t FSuffixLength = -1;
};

class TIdEntityRanges {
public:
  int Count() const noexcept { return static_cast<int>(FRanges.size()); }
  // References stay valid until the range is deleted or the list cleared.
  TIdEntityRange& Add();
  TIdEntityRange& Ranges(int aIndex);
  const TIdEntityRange& Ranges(int aIndex) const;
  void Delete(int aIndex);
  void Clear() noexcept { FRanges.clear(); }

  const std::string& Units() const noexcept { return FUnits; }
  // An empty or blank value gives "bytes".
  void SetUnits(std::string_view aValue);
  // Units "=" and the ranges joined by ","; empty without ranges.
  std::string Text() const;
  void SetText(std::string_view aValue);

  void Assign(const TIdEntityRanges& aSource);

private:
  std::deque<TIdEntityRange> FRanges;
  std::string FUnits = "bytes";
};

class TIdEntityHeaderInfo {
public:
  explicit TIdEntityHeaderInfo(TComponent* aOwner = nullptr);
  virtual ~TIdEntityHeaderInfo() = default;
  TIdEntityHeaderInfo(const TIdEntityHeaderInfo&) = delete;
  TIdEntityHeaderInfo& operator=(const TIdEntityHeaderInfo&) = delete;

  // Copies every field and both header lists.
  virtual void Assign(const TIdEntityHeaderInfo& aSource);
  // Reads the fields from RawHeaders.
  virtual void ProcessHeaders();
  // Rebuilds RawHeaders from the fields, then appends CustomHeaders.
  virtual void SetHeaders();
  virtual void Clear();

  TComponent* OwnerComponent() const noexcept { return FOwner; }

  const std::string& CacheControl() const noexcept { return FCacheControl; }
  void SetCacheControl(std::string aValue) { FCacheControl = std::move(aValue); }
  const std::string& CharSet() const noexcept { return FCharSet; }
  void SetCharSet(std::string aValue) { FCharSet = std::move(aValue); }
  const std::string& Connection() const noexcept { return FConnection; }
  void SetConnection(std::string aValue) { FConnection = std::move(aValue); }
  const std::string& ContentDisposition() const noexcept { return FContentDisposition; }
  void SetContentDisposition(std::string aValue) { FContentDisposition = std::move(aValue); }
  const std::string& ContentEncoding() const noexcept { return FContentEncoding; }
  void SetContentEncoding(std::string aValue) { FContentEncoding = std::move(aValue); }
  const std::string& ContentLanguage() const noexcept { return FContentLanguage; }
  void SetContentLanguage(std::string aValue) { FContentLanguage = std::move(aValue); }
  int64_t ContentLength() const noexcept { return FContentLength; }
  void SetContentLength(int64_t aValue) noexcept;
  int64_t ContentRangeEnd() const noexcept { return FContentRangeEnd; }
  void SetContentRangeEnd(int64_t aValue) noexcept { FContentRangeEnd = aValue; }
  int64_t ContentRangeStart() const noexcept { return FContentRangeStart; }
  void SetContentRangeStart(int64_t aValue) noexcept { FContentRangeStart = aValue; }
  int64_t ContentRangeInstanceLength() const noexcept { return FContentRangeInstanceLength; }
  void SetContentRangeInstanceLength(int64_t aValue) noexcept { FContentRangeInstanceLength = aValue; }
  const std::string& ContentRangeUnits() const noexcept { return FContentRangeUnits; }
  void SetContentRangeUnits(std::string aValue) { FContentRangeUnits = std::move(aValue); }
  // The media type without its charset parameter.
  const std::string& ContentType() const noexcept { return FContentType; }
  // Splits off the charset; a text type without one gets its default charset
  // ("us-ascii" for XML types, "ISO-8859-1" for the others) when none is set.
  void SetContentType(std::string_view aValue);
  const std::string& ContentVersion() const noexcept { return FContentVersion; }
  void SetContentVersion(std::string aValue) { FContentVersion = std::move(aValue); }
  TIdHeaderList& CustomHeaders() noexcept { return *FCustomHeaders; }
  const TIdHeaderList& CustomHeaders() const noexcept { return *FCustomHeaders; }
  void SetCustomHeaders(const TIdHeaderList& aValue) { FCustomHeaders->Assign(aValue); }
  TDateTime Date() const noexcept { return FDate; }
  void SetDate(TDateTime aValue) noexcept { FDate = aValue; }
  TDateTime Expires() const noexcept { return FExpires; }
  void SetExpires(TDateTime aValue) noexcept { FExpires = aValue; }
  const std::string& ETag() const noexcept { return FETag; }
  void SetETag(std::string aValue) { FETag = std::move(aValue); }
  TDateTime LastModified() const noexcept { return FLastModified; }
  void SetLastModified(TDateTime aValue) noexcept { FLastModified = aValue; }
  const std::string& Pragma() const noexcept { return FPragma; }
  void SetPragma(std::string aValue) { FPragma = std::move(aValue); }
  const std::string& TransferEncoding() const noexcept { return FTransferEncoding; }
  void SetTransferEncoding(std::string aValue) { FTransferEncoding = std::move(aValue); }
  TIdHeaderList& RawHeaders() noexcept { return *FRawHeaders; }
  const TIdHeaderList& RawHeaders() const noexcept { return *FRawHeaders; }

  bool HasContentLength() const noexcept { return FHasContentLength; }
  bool HasContentRange() const noexcept { return FContentRangeEnd >= 0; }
  bool HasContentRangeInstance() const noexcept { return FContentRangeInstanceLength >= 0; }

protected:
  TComponent* FOwner;
  std::string FCacheControl;
  std::string FCharSet;
  std::string FConnection;
  std::string FContentDisposition;
  std::string FContentEncoding;
  std::string FContentLanguage;
  int64_t FContentLength = -1;
  bool FHasContentLength = false;
  int64_t FContentRangeEnd = -1;
  int64_t FContentRangeStart = -1;
  int64_t FContentRangeInstanceLength = -1;
  std::string FContentRangeUnits;
  std::string FContentType;
  std::string FContentVersion;
  std::unique_ptr<TIdHeaderList> FCustomHeaders;
  TDateTime FDate = 0;
  TDateTime FExpires = 0;
  std::string FETag;
  TDateTime FLastModified = 0;
  std::string FPragma;
  std::string FTransferEncoding;
  std::unique_ptr<TIdHeaderList> FRawHeaders;
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
public:
  explicit TIdRequestHeaderInfo(TComponent* aOwner = nullptr);

  void Assign(const TIdEntityHeaderInfo& aSource) override;
  void ProcessHeaders() override;
  void SetHeaders() override;
  // Resets the entity fields, Accept, Accept-Charset, User-Agent, the
  // ranges, the method override and the Basic switch; every other field
  // stays, as it belongs to the connection rather than to one request.
  void Clear() override;

  const std::string& Accept() const noexcept { return FAccept; }
  void SetAccept(std::string aValue) { FAccept = std::move(aValue); }
  const std::string& AcceptCharSet() const noexcept { return FAcceptCharSet; }
  void SetAcceptCharSet(std::string aValue) { FAcceptCharSet = std::move(aValue); }
  const std::string& AcceptEncoding() const noexcept { return FAcceptEncoding; }
  void SetAcceptEncoding(std::string aValue) { FAcceptEncoding = std::move(aValue); }
  const std::string& AcceptLanguage() const noexcept { return FAcceptLanguage; }
  void SetAcceptLanguage(std::string aValue) { FAcceptLanguage = std::move(aValue); }
  const std::string& Expect() const noexcept { return FExpect; }
  void SetExpect(std::string aValue) { FExpect = std::move(aValue); }
  const std::string& From() const noexcept { return FFrom; }
  void SetFrom(std::string aValue) { FFrom = std::move(aValue); }
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(std::string aValue) { FPassword = std::move(aValue); }
  const std::string& Referer() const noexcept { return FReferer; }
  void SetReferer(std::string aValue) { FReferer = std::move(aValue); }
  const std::string& UserAgent() const noexcept { return FUserAgent; }
  void SetUserAgent(std::string aValue) { FUserAgent = std::move(aValue); }
  const std::string& Username() const noexcept { return FUsername; }
  void SetUsername(std::string aValue) { FUsername = std::move(aValue); }
  const std::string& Host() const noexcept { return FHost; }
  void SetHost(std::string aValue) { FHost = std::move(aValue); }
  const std::string& ProxyConnection() const noexcept { return FProxyConnection; }
  void SetProxyConnection(std::string aValue) { FProxyConnection = std::move(aValue); }
  const std::string& MethodOverride() const noexcept { return FMethodOverride; }
  void SetMethodOverride(std::string aValue) { FMethodOverride = std::move(aValue); }
  bool BasicAuthentication() const noexcept { return FBasicByDefault; }
  void SetBasicAuthentication(bool aValue) noexcept { FBasicByDefault = aValue; }
  TIdEntityRanges& Ranges() noexcept { return FRanges; }
  const TIdEntityRanges& Ranges() const noexcept { return FRanges; }
  void SetRanges(const TIdEntityRanges& aValue) { FRanges.Assign(aValue); }
  std::string Range() const { return FRanges.Text(); }
  void SetRange(std::string_view aValue) { FRanges.SetText(aValue); }
  // The scheme object of this request, or none; the request owns it.
  TIdAuthentication* Authentication() const noexcept { return FAuthentication.get(); }
  void SetAuthentication(std::unique_ptr<TIdAuthentication> aValue) { FAuthentication = std::move(aValue); }

protected:
  std::string FAccept;
  std::string FAcceptCharSet;
  std::string FAcceptEncoding;
  std::string FAcceptLanguage;
  std::string FExpect;
  std::string FFrom;
  std::string FPassword;
  std::string FReferer;
  std::string FUserAgent;
  std::string FUsername;
  std::string FHost;
  std::string FProxyConnection;
  std::string FMethodOverride;
  bool FBasicByDefault = false;
  TIdEntityRanges FRanges;
  std::unique_ptr<TIdAuthentication> FAuthentication;
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
public:
  explicit TIdResponseHeaderInfo(TComponent* aOwner = nullptr);

  void ProcessHeaders() override;
  void SetHeaders() override;
  void Clear() override;

  const std::string& AcceptPatch() const noexcept { return FAcceptPatch; }
  void SetAcceptPatch(std::string aValue) { FAcceptPatch = std::move(aValue); }
  const std::string& AcceptRanges() const noexcept { return FAcceptRanges; }
  void SetAcceptRanges(std::string aValue) { FAcceptRanges = std::move(aValue); }
  const std::string& Location() const noexcept { return FLocation; }
  void SetLocation(std::string aValue) { FLocation = std::move(aValue); }
  const std::string& Server() const noexcept { return FServer; }
  void SetServer(std::string aValue) { FServer = std::move(aValue); }
  const std::string& ProxyConnection() const noexcept { return FProxyConnection; }
  void SetProxyConnection(std::string aValue) { FProxyConnection = std::move(aValue); }
  // The challenges, one item per header line.
  TIdHeaderList& ProxyAuthenticate() noexcept { return *FProxyAuthenticate; }
  void SetProxyAuthenticate(const TIdHeaderList& aValue) { FProxyAuthenticate->Assign(aValue); }
  TIdHeaderList& WWWAuthenticate() noexcept { return *FWWWAuthenticate; }
  void SetWWWAuthenticate(const TIdHeaderList& aValue) { FWWWAuthenticate->Assign(aValue); }

protected:
  std::string FAcceptPatch;
  std::string FAcceptRanges;
  std::string FLocation;
  std::string FServer;
  std::string FProxyConnection;
  std::unique_ptr<TIdHeaderList> FProxyAuthenticate;
  std::unique_ptr<TIdHeaderList> FWWWAuthenticate;
};

// The headers an HTML page declares in the meta tags of its head.
class TIdMetaHTTPEquiv : public TIdEntityHeaderInfo {
public:
  using TIdEntityHeaderInfo::TIdEntityHeaderInfo;

  // Reads the whole stream from its start, byte for byte, adds every
  // http-equiv header to RawHeaders and processes them; a meta charset
  // becomes CharSet.
  void ProcessMetaHTTPEquiv(TStream& aStream);
};

class TIdProxyConnectionInfo {
public:
  TIdProxyConnectionInfo() = default;
  TIdProxyConnectionInfo(const TIdProxyConnectionInfo&) = delete;
  TIdProxyConnectionInfo& operator=(const TIdProxyConnectionInfo&) = delete;

  // Copies server, port, user name, password and the Basic switch.
  void Assign(const TIdProxyConnectionInfo& aSource);
  void Clear();
  // Sets "Proxy-Authorization" in aHeaders.
  void SetHeaders(TIdHeaderList& aHeaders);

  const std::string& ProxyServer() const noexcept { return FServer; }
  // A different server (compared without regard to case) drops the authentication.
  void SetProxyServer(const std::string& aValue);
  int ProxyPort() const noexcept { return FPort; }
  // A different port drops the authentication.
  void SetProxyPort(int aValue);
  const std::string& ProxyUsername() const noexcept { return FUsername; }
  void SetProxyUsername(std::string aValue) { FUsername = std::move(aValue); }
  const std::string& ProxyPassword() const noexcept { return FPassword; }
  void SetProxyPassword(std::string aValue) { FPassword = std::move(aValue); }
  bool BasicAuthentication() const noexcept { return FBasicByDefault; }
  void SetBasicAuthentication(bool aValue) noexcept { FBasicByDefault = aValue; }
  TIdAuthentication* Authentication() const noexcept { return FAuthentication.get(); }
  void SetAuthentication(std::unique_ptr<TIdAuthentication> aValue) { FAuthentication = std::move(aValue); }

private:
  std::string FServer;
  int FPort = 0;
  std::string FUsername;
  std::string FPassword;
  bool FBasicByDefault = false;
  std::unique_ptr<TIdAuthentication> FAuthentication;
};

}  // namespace qtx
