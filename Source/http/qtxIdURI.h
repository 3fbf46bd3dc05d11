#pragma once
// URLs: split into their parts, built back, and percent-encoded or decoded.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/qtxIdException.h"
#include "core/qtxIdIPVersion.h"
#include "core/qtxIdTextEncoding.h"

namespace qtx {

// Building a URL without a protocol or a host.
class EIdURIException : public EIdException { using EIdException::EIdException; };

enum TIdURIOptionalFields : unsigned { ofAuthInfo = 1u << 0, ofBookmark = 1u << 1 };
using TIdURIOptionalFieldsSet = unsigned;

class TIdURI {
public:
  explicit TIdURI(const std::string& aURI = std::string());

  // Reading builds the URL without credentials and bookmark (and keeps the
  // full form in the stored text); writing parses.
  std::string URI();
  void SetURI(const std::string& aURI);

  const std::string& Protocol() const noexcept { return FProtocol; }
  void SetProtocol(std::string aValue) { FProtocol = std::move(aValue); }
  const std::string& Username() const noexcept { return FUserName; }
  void SetUsername(std::string aValue) { FUserName = std::move(aValue); }
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(std::string aValue) { FPassword = std::move(aValue); }
  const std::string& Host() const noexcept { return FHost; }
  void SetHost(std::string aValue) { FHost = std::move(aValue); }
  const std::string& Port() const noexcept { return FPort; }
  void SetPort(std::string aValue) { FPort = std::move(aValue); }
  const std::string& Path() const noexcept { return Fpath; }
  void SetPath(std::string aValue) { Fpath = std::move(aValue); }
  const std::string& Document() const noexcept { return FDocument; }
  void SetDocument(std::string aValue) { FDocument = std::move(aValue); }
  const std::string& Params() const noexcept { return FParams; }
  void SetParams(std::string aValue) { FParams = std::move(aValue); }
  const std::string& Bookmark() const noexcept { return FBookmark; }
  void SetBookmark(std::string aValue) { FBookmark = std::move(aValue); }
  TIdIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TIdIPVersion aValue) noexcept { FIPVersion = aValue; }

  // EIdURIException when protocol or host is empty. The default port of the
  // protocol (80 for HTTP, 443 for HTTPS, 21 for FTP) is left out.
  std::string GetFullURI(TIdURIOptionalFieldsSet aOptionalFields = ofAuthInfo | ofBookmark) const;
  // Path and document, then "?" and the params when there are any.
  std::string GetPathAndParams() const;

  // The encoding turns characters into bytes; UTF-8 when none is given.
  static std::string URLDecode(std::string_view aSrc, IIdTextEncoding aByteEncoding = nullptr);
  static std::string URLEncode(const std::string& aSrc, IIdTextEncoding aByteEncoding = nullptr);
  static std::string ParamsEncode(std::string_view aSrc, IIdTextEncoding aByteEncoding = nullptr);
  static std::string PathEncode(std::string_view aSrc, IIdTextEncoding aByteEncoding = nullptr);
  // Backslashes after the scheme and authority, up to the query or bookmark, become "/".
  static std::string NormalizePath(std::string_view aPath);
  // Resolves aNewPath against aBasePath: an absolute path replaces, a relative
  // one is appended with "." kept and ".." segments removing their parent.
  static std::string MergePath(std::string_view aBasePath, std::string_view aNewPath);

private:
  std::string FURI;
  std::string FProtocol;
  std::string FUserName;
  std::string FPassword;
  std::string FHost;
  std::string FPort;
  std::string Fpath;
  std::string FDocument;
  std::string FParams;
  std::string FBookmark;
  TIdIPVersion FIPVersion = Id_IPv4;
};

}  // namespace qtx
