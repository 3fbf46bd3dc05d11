#pragma once
// A certificate as the TLS handler hands it to its caller: names, serial
// number, validity dates and fingerprints, read from OpenSSL's X509 object.

#include <string>

#include "core/qtxIdTextEncoding.h"
#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "platform/qtxTypes.h"

namespace qtx {

class TIdX509 {
public:
  // With aCanFreeX509 the object takes over one reference to aX509 and frees
  // it; otherwise it only borrows it (a certificate inside a verify store).
  TIdX509(PX509 aX509, bool aCanFreeX509 = true);
  ~TIdX509();
  TIdX509(const TIdX509&) = delete;
  TIdX509& operator=(const TIdX509&) = delete;

  PX509 Certificate() const noexcept { return FX509; }

  // Distinguished names in OpenSSL's one-line form ("/C=DE/CN=example.org").
  std::string Subject() const;
  std::string Issuer() const;
  // Upper-case hexadecimal digits of the serial number ("-" first when negative).
  std::string SerialNumber() const;
  // Validity in UTC; 0 when the library offers no date access (1.0).
  TDateTime NotBefore() const;
  TDateTime NotAfter() const;
  // Digests of the DER encoding, and their "AB:CD:..." text.
  TIdBytes FingerprintSHA1() const;
  TIdBytes FingerprintSHA256() const;
  std::string FingerprintSHA1AsString() const;
  std::string FingerprintSHA256AsString() const;

private:
  TIdBytes Digest(PEVP_MD aDigest) const;

  PX509 FX509;
  bool FCanFreeX509;
};

// "AB:CD:EF" for the bytes AB CD EF.
std::string FingerprintToString(const TIdBytes& aDigest);

}  // namespace qtx
