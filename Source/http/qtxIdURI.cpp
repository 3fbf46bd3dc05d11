#include "http/qtxIdURI.h"

#include <algorithm>

#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {
const char* const RSURIProtocolFieldIsEmpty = "Protocol field is empty";
const char* const RSURIHostFieldIsEmpty = "Host field is empty";

// Characters that are percent-encoded although printable.
constexpr std::string_view kParamsUnsafe = "*<>#%\"{}|\\^[]`";
constexpr std::string_view kPathUnsafe = "*<>#%\"{}|\\^[]`+";

bool IsSlash(char c) noexcept { return c == '/' || c == '\\'; }

// The value of aCount hexadecimal digits at aPos, or -1.
int HexAt(std::string_view aText, size_t aPos, size_t aCount) noexcept {
  if (aPos + aCount > aText.size()) return -1;
  int value = 0;
  for (size_t i = aPos; i < aPos + aCount; ++i) {
    const int digit = HexDigitValue(static_cast<unsigned char>(aText[i]));
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

IIdTextEncoding EncodingOrUTF8(IIdTextEncoding aEncoding) {
  return aEncoding ? std::move(aEncoding) : IdTextEncoding_UTF8();
}

void AppendEscapedBytes(std::string& aOut, const TIdBytes& aBytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (uint8_t b : aBytes) {
    aOut += '%';
    aOut += kHex[b >> 4];
    aOut += kHex[b & 0x0F];
  }
}

std::string PercentEncode(std::string_view aSrc, std::string_view aUnsafe, const IIdTextEncoding& aEncoding) {
  std::string result;
  result.reserve(aSrc.size());
  size_t i = 0;
  while (i < aSrc.size()) {
    const auto c = static_cast<unsigned char>(aSrc[i]);
    if (c == '%' && HexAt(aSrc, i + 1, 2) >= 0) {  // an existing escape survives
      result.append(aSrc.substr(i, 3));
      i += 3;
    } else if (c >= 33 && c <= 127 && aUnsafe.find(static_cast<char>(c)) == std::string_view::npos) {
      result += static_cast<char>(c);
      ++i;
    } else {
      const size_t start = i;
      NextCodePoint(aSrc, i);
      AppendEscapedBytes(result, aEncoding->GetBytes(aSrc.substr(start, i - start)));
    }
  }
  return result;
}

// Moves the query and the bookmark out of aText, whichever of "?" and "#"
// comes first deciding where the path ends.
void SplitQueryAndBookmark(std::string& aText, std::string& aParams, std::string& aBookmark) {
  const size_t query = aText.find('?');
  const size_t hash = aText.find('#');
  if (query != std::string::npos && (hash == std::string::npos || query < hash)) {
    aParams = aText.substr(query + 1);
    aText.erase(query);
    const size_t paramsHash = aParams.find('#');
    if (paramsHash != std::string::npos) {
      aBookmark = aParams.substr(paramsHash + 1);
      aParams.erase(paramsHash);
    }
  } else if (hash != std::string::npos) {
    aBookmark = aText.substr(hash + 1);
    aText.erase(hash);
  }
}

// "://" separates a scheme only when nothing before it belongs to a path,
// query or bookmark (a relative URL may carry a full one in its query).
size_t SchemeSeparator(std::string_view aText) noexcept {
  const size_t sep = aText.find("://");
  if (sep == std::string_view::npos) return sep;
  if (aText.substr(0, sep).find_first_of("/?#") != std::string_view::npos) return std::string_view::npos;
  return sep;
}

bool IsDefaultPort(std::string_view aProtocol, std::string_view aPort) noexcept {
  return (SameText(aProtocol, "HTTP") && aPort == "80") || (SameText(aProtocol, "HTTPS") && aPort == "443") ||
         (SameText(aProtocol, "FTP") && aPort == "21");
}
}  // namespace

TIdURI::TIdURI(const std::string& aURI) {
  if (!aURI.empty()) SetURI(aURI);
}

void TIdURI::SetURI(const std::string& aURI) {
  FURI = NormalizePath(aURI);
  std::string s = FURI;
  FProtocol.clear();
  FUserName.clear();
  FPassword.clear();
  FHost.clear();
  FPort.clear();
  Fpath.clear();
  FDocument.clear();
  FParams.clear();
  FBookmark.clear();
  FIPVersion = Id_IPv4;

  const size_t sep = SchemeSeparator(s);
  const bool schemeless = s.starts_with("//");
  if (sep == std::string::npos && !schemeless) {
    SplitQueryAndBookmark(s, FParams, FBookmark);
    const size_t slash = s.rfind('/');
    if (slash != std::string::npos) {
      Fpath = s.substr(0, slash + 1);
      s.erase(0, slash + 1);
    }
    FDocument = s;
    return;
  }

  if (schemeless) {
    s.erase(0, 2);
  } else {
    FProtocol = s.substr(0, sep);
    s.erase(0, sep + 3);
  }
  SplitQueryAndBookmark(s, FParams, FBookmark);

  const size_t authorityEnd = s.find('/');
  std::string authority = s.substr(0, authorityEnd);
  s = authorityEnd == std::string::npos ? std::string() : s.substr(authorityEnd + 1);

  const size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    const std::string credentials = authority.substr(0, at);
    authority.erase(0, at + 1);
    const size_t colon = credentials.find(':');
    FUserName = credentials.substr(0, colon);
    if (colon != std::string::npos && !FUserName.empty()) FPassword = credentials.substr(colon + 1);
  }

  const size_t open = authority.find('[');
  const size_t close = authority.find(']');
  if (open != std::string::npos && close != std::string::npos && open < close) {
    FHost = authority.substr(open + 1, close - open - 1);
    FIPVersion = Id_IPv6;
    const size_t colon = authority.find(':', close);
    if (colon != std::string::npos) FPort = authority.substr(colon + 1);
  } else {
    const size_t colon = authority.find(':');
    FHost = authority.substr(0, colon);
    if (colon != std::string::npos) FPort = authority.substr(colon + 1);
  }

  const size_t slash = s.rfind('/');
  if (slash == std::string::npos) {
    Fpath = "/";
  } else {
    Fpath = "/" + s.substr(0, slash + 1);
    s.erase(0, slash + 1);
  }
  FDocument = s;
}

std::string TIdURI::URI() {
  std::string full = GetFullURI(ofAuthInfo | ofBookmark);
  std::string plain = GetFullURI(0);
  FURI = std::move(full);
  return plain;
}

std::string TIdURI::GetFullURI(TIdURIOptionalFieldsSet aOptionalFields) const {
  if (FProtocol.empty()) throw EIdURIException(RSURIProtocolFieldIsEmpty);
  if (FHost.empty()) throw EIdURIException(RSURIHostFieldIsEmpty);
  std::string result = FProtocol + "://";
  if ((aOptionalFields & ofAuthInfo) && !FUserName.empty()) {
    result += FUserName;
    if (!FPassword.empty()) result += ":" + FPassword;
    result += "@";
  }
  result += FIPVersion == Id_IPv6 ? "[" + FHost + "]" : FHost;
  if (!FPort.empty() && !IsDefaultPort(FProtocol, FPort)) result += ":" + FPort;
  result += GetPathAndParams();
  if ((aOptionalFields & ofBookmark) && !FBookmark.empty()) result += "#" + FBookmark;
  return result;
}

std::string TIdURI::GetPathAndParams() const {
  std::string result = Fpath + FDocument;
  if (!FParams.empty()) result += "?" + FParams;
  return result;
}

std::string TIdURI::URLDecode(std::string_view aSrc, IIdTextEncoding aByteEncoding) {
  const IIdTextEncoding encoding = EncodingOrUTF8(std::move(aByteEncoding));
  TIdBytes bytes;
  size_t i = 0;
  while (i < aSrc.size()) {
    if (aSrc[i] != '%') {
      const size_t start = i;
      NextCodePoint(aSrc, i);
      if (i - start == 1) {
        bytes.push_back(static_cast<uint8_t>(aSrc[start]));
      } else {  // a character beyond ASCII stands for its own bytes
        const TIdBytes encoded = encoding->GetBytes(aSrc.substr(start, i - start));
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
      }
      continue;
    }
    if (i + 1 < aSrc.size() && (aSrc[i + 1] == 'u' || aSrc[i + 1] == 'U')) {
      const int unit = HexAt(aSrc, i + 2, 4);
      if (unit < 0) {  // malformed: what it would have used is dropped
        i = std::min(aSrc.size(), i + 6);
        continue;
      }
      std::u16string units(1, static_cast<char16_t>(unit));
      i += 6;
      // A surrogate pair written as two escapes is one character.
      if (IsHighSurrogate(static_cast<char32_t>(unit)) && i + 1 < aSrc.size() && aSrc[i] == '%' &&
          (aSrc[i + 1] == 'u' || aSrc[i + 1] == 'U')) {
        const int low = HexAt(aSrc, i + 2, 4);
        if (IsLowSurrogate(static_cast<char32_t>(low))) {
          units += static_cast<char16_t>(low);
          i += 6;
        }
      }
      const TIdBytes encoded = encoding->GetBytes(Utf16ToUtf8(units));
      bytes.insert(bytes.end(), encoded.begin(), encoded.end());
      continue;
    }
    const int value = HexAt(aSrc, i + 1, 2);
    if (value >= 0) bytes.push_back(static_cast<uint8_t>(value));
    i = std::min(aSrc.size(), i + 3);
  }
  return encoding->GetString(bytes);
}

std::string TIdURI::URLEncode(const std::string& aSrc, IIdTextEncoding aByteEncoding) {
  const IIdTextEncoding encoding = EncodingOrUTF8(std::move(aByteEncoding));
  TIdURI uri(aSrc);
  uri.Fpath = PathEncode(uri.Fpath, encoding);
  uri.FDocument = PathEncode(uri.FDocument, encoding);
  uri.FParams = ParamsEncode(uri.FParams, encoding);
  return uri.URI();
}

std::string TIdURI::ParamsEncode(std::string_view aSrc, IIdTextEncoding aByteEncoding) {
  return PercentEncode(aSrc, kParamsUnsafe, EncodingOrUTF8(std::move(aByteEncoding)));
}

std::string TIdURI::PathEncode(std::string_view aSrc, IIdTextEncoding aByteEncoding) {
  return PercentEncode(aSrc, kPathUnsafe, EncodingOrUTF8(std::move(aByteEncoding)));
}

std::string TIdURI::NormalizePath(std::string_view aPath) {
  std::string result(aPath);
  size_t start = 0;
  const size_t colon = result.find(':');
  if (colon != std::string::npos) {
    start = colon + 1;
    if (start + 1 < result.size() && IsSlash(result[start]) && IsSlash(result[start + 1])) start += 2;
  }
  for (size_t i = start; i < result.size(); ++i) {
    if (result[i] == '?' || result[i] == '#') break;
    if (result[i] == '\\') result[i] = '/';
  }
  return result;
}

std::string TIdURI::MergePath(std::string_view aBasePath, std::string_view aNewPath) {
  if (aNewPath.starts_with('/')) return std::string(aNewPath);
  const bool newEndsOpen = aNewPath.empty() || aNewPath.ends_with('/');
  std::string work(aBasePath);
  if (!work.empty() && !work.ends_with('/')) work += '/';
  work += aNewPath;

  std::string result;
  for (size_t i = 0; i < work.size(); ++i) {
    const char c = work[i];
    if (c == '/') {
      if (!result.ends_with('/')) result += '/';
      continue;
    }
    // A ".." segment removes the segment before it.
    const bool parentSegment = c == '.' && result.ends_with('/') && i + 1 < work.size() && work[i + 1] == '.' &&
                               (i + 2 == work.size() || work[i + 2] == '/');
    if (parentSegment) {
      result.pop_back();
      const size_t previous = result.rfind('/');
      result.erase(previous == std::string::npos ? 0 : previous + 1);
      ++i;
      continue;
    }
    result += c;
  }
  if (result.empty() && work.starts_with('/')) result = "/";
  if (result != "/" && result.ends_with('/') && !newEndsOpen) result.pop_back();
  return result;
}

}  // namespace qtx
