#include "tls/qtxIdSSLOpenSSLX509.h"

#include "platform/qtxDateTime.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

// ASN.1 string types of the values read here.
constexpr int V_ASN1_UTCTIME = 23;
constexpr int V_ASN1_GENERALIZEDTIME = 24;
constexpr int V_ASN1_NEG_INTEGER = 0x102;
constexpr int kMaxDigestSize = 64;

std::string NameText(PX509_NAME aName) {
  if (!aName) return std::string();
  char buffer[1024];
  const char* text = OpenSSLAPI().X509_NAME_oneline(aName, buffer, sizeof(buffer));
  return text ? std::string(text) : std::string();
}

// Reads "YYMMDDHHMMSSZ" (UTCTime, years 1950..2049) or "YYYYMMDDHHMMSSZ".
TDateTime ASN1TimeToDateTime(PASN1_TIME aTime) {
  if (!aTime) return 0;
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  const int length = api.ASN1_STRING_length(aTime);
  const unsigned char* data = api.ASN1_STRING_get0_data(aTime);
  const int type = api.ASN1_STRING_type(aTime);
  std::string_view text(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
  const size_t yearDigits = type == V_ASN1_GENERALIZEDTIME ? 4 : type == V_ASN1_UTCTIME ? 2 : 0;
  if (yearDigits == 0 || text.size() < yearDigits + 10) return 0;
  int32_t parts[6];
  size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    const size_t width = i == 0 ? yearDigits : 2;
    if (!TryStrToInt(text.substr(pos, width), parts[i])) return 0;
    pos += width;
  }
  if (yearDigits == 2) parts[0] += parts[0] < 50 ? 2000 : 1900;
  TDateTime result = 0;
  TDateTime date, time;
  if (TryEncodeDate(parts[0], parts[1], parts[2], date) && TryEncodeTime(parts[3], parts[4], parts[5], 0, time))
    result = date + time;
  return result;
}

}  // namespace

TIdX509::TIdX509(PX509 aX509, bool aCanFreeX509) : FX509(aX509), FCanFreeX509(aCanFreeX509) {}

TIdX509::~TIdX509() {
  if (FCanFreeX509 && FX509) OpenSSLAPI().X509_free(FX509);
}

std::string TIdX509::Subject() const { return NameText(OpenSSLAPI().X509_get_subject_name(FX509)); }

std::string TIdX509::Issuer() const { return NameText(OpenSSLAPI().X509_get_issuer_name(FX509)); }

std::string TIdX509::SerialNumber() const {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  PASN1_INTEGER serial = api.X509_get_serialNumber(FX509);
  if (!serial) return std::string();
  const unsigned char* data = api.ASN1_STRING_get0_data(serial);
  const int length = api.ASN1_STRING_length(serial);
  std::string text = api.ASN1_STRING_type(serial) == V_ASN1_NEG_INTEGER ? "-" : "";
  for (int i = 0; i < length; ++i) text += IntToHex(data[i], 2);
  return text;
}

TDateTime TIdX509::NotBefore() const {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  return api.X509_get0_notBefore ? ASN1TimeToDateTime(api.X509_get0_notBefore(FX509)) : 0;
}

TDateTime TIdX509::NotAfter() const {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  return api.X509_get0_notAfter ? ASN1TimeToDateTime(api.X509_get0_notAfter(FX509)) : 0;
}

TIdBytes TIdX509::Digest(PEVP_MD aDigest) const {
  unsigned char buffer[kMaxDigestSize];
  unsigned length = 0;
  if (OpenSSLAPI().X509_digest(FX509, aDigest, buffer, &length) != 1) return TIdBytes();
  return TIdBytes(buffer, buffer + length);
}

TIdBytes TIdX509::FingerprintSHA1() const { return Digest(OpenSSLAPI().EVP_sha1()); }

TIdBytes TIdX509::FingerprintSHA256() const { return Digest(OpenSSLAPI().EVP_sha256()); }

std::string TIdX509::FingerprintSHA1AsString() const { return FingerprintToString(FingerprintSHA1()); }

std::string TIdX509::FingerprintSHA256AsString() const { return FingerprintToString(FingerprintSHA256()); }

std::string FingerprintToString(const TIdBytes& aDigest) {
  std::string text;
  for (uint8_t byte : aDigest) {
    if (!text.empty()) text += ':';
    text += IntToHex(byte, 2);
  }
  return text;
}

}  // namespace qtx
