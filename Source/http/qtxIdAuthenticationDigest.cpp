#include "http/qtxIdAuthenticationDigest.h"

#include "core/qtxIdHashMessageDigest.h"
#include "core/qtxIdTextEncoding.h"
#include "http/qtxIdHeaderItems.h"
#include "platform/qtxRandom.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {

std::string LowerHex(const TIdBytes& aBytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(aBytes.size() * 2);
  for (uint8_t b : aBytes) {
    text += kHex[b >> 4];
    text += kHex[b & 0x0F];
  }
  return text;
}

// H(x): the MD5 of the text in the library's default encoding, in lower-case hex.
std::string H(std::string_view aText) {
  return LowerHex(TIdHashMessageDigest5::HashString(aText, IdTextEncoding_Default()));
}

// A quoted-string (RFC 7616): a double quote or a backslash inside is
// escaped with a backslash, so a server's value cannot end the string early.
std::string Quoted(std::string_view aText) {
  std::string quoted = "\"";
  for (const char c : aText) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

TIdDigestAuthentication::TIdDigestAuthentication() = default;

void TIdDigestAuthentication::SetRequest(const std::string& aMethod, const std::string& aUri) {
  FMethod = aMethod;
  FUri = aUri;
}

std::string TIdDigestAuthentication::NewClientNonce() {
  TIdBytes random(16);
  FillRandom(random);
  return LowerHex(random);
}

TIdAuthWhatsNext TIdDigestAuthentication::DoNext() {
  if (FCurrentStep != 0) return wnDoRequest;
  FDomain.Clear();
  FQopOptions.Clear();
  TStringList challenge;
  ParseChallenge("Digest", challenge);

  FRealm = challenge.Values("realm");
  const std::string nonce = challenge.Values("nonce");
  if (nonce != FNonce) {
    FNonceCount = 1;
    FNonce = nonce;
  }
  FDomain.SetDelimiter(' ');
  FDomain.SetDelimitedText(challenge.Values("domain"));
  FOpaque = challenge.Values("opaque");
  FStale = SameText(challenge.Values("stale"), "True");
  FAlgorithm = challenge.Values("algorithm");
  if (FAlgorithm.empty()) FAlgorithm = "MD5";
  if (!SameText(FAlgorithm, "MD5") && !SameText(FAlgorithm, "MD5-sess")) throw EIdInvalidAlgorithm();
  const std::string qop = challenge.Values("qop");
  for (std::string_view rest = qop; !rest.empty();) {
    const size_t comma = rest.find(',');
    const std::string option = Trim(rest.substr(0, comma));
    if (!option.empty()) FQopOptions.Add(option);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }

  // Values that could not be sent back intact end the exchange.
  if (HasHeaderControlChar(FRealm) || HasHeaderControlChar(FNonce) || HasHeaderControlChar(FOpaque)) return wnFail;
  if (Username().empty()) return wnAskTheProgram;
  FCurrentStep = 1;
  return wnDoRequest;
}

std::string TIdDigestAuthentication::Authentication() {
  if (FCurrentStep == 0) return "Digest";

  const std::string cnonce = NewClientNonce();
  std::string a1 = Username() + ":" + FRealm + ":" + Password();
  if (SameText(FAlgorithm, "MD5-sess")) a1 = H(a1) + ":" + FNonce + ":" + cnonce;

  std::string a2 = FMethod + ":" + FUri;
  std::string qop;
  if (FQopOptions.IndexOf("auth-int") >= 0) {
    qop = "auth-int";
    a2 += ":" + H(FEntityBody);
  } else if (FQopOptions.IndexOf("auth") >= 0) {
    qop = "auth";
  }

  const std::string nc = IntToHex(static_cast<uint64_t>(FNonceCount), 8);
  const std::string x = qop.empty() ? std::string() : nc + ":" + cnonce + ":" + qop + ":";
  const std::string response = H(H(a1) + ":" + FNonce + ":" + x + H(a2));

  std::string result = "Digest username=" + Quoted(Username()) + ", realm=" + Quoted(FRealm) +
                       ", nonce=" + Quoted(FNonce) + ", algorithm=" + Quoted(FAlgorithm) + ", uri=" + Quoted(FUri) +
                       ", ";
  if (!qop.empty()) result += "qop=" + Quoted(qop) + ", nc=" + nc + ", cnonce=" + Quoted(cnonce) + ", ";
  result += "response=" + Quoted(response);
  if (!FOpaque.empty()) result += ", opaque=" + Quoted(FOpaque);

  ++FNonceCount;
  FCurrentStep = 0;
  return result;
}

}  // namespace qtx
