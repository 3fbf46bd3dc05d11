// TIdSSLOptions, TIdSSLContext and OpenSSL's error texts.

#include <cstring>
#include <mutex>

#include "platform/qtxSysUtils.h"
#include "tls/qtxIdSSLOpenSSL.h"

namespace qtx {
namespace {

// Message texts.
constexpr const char* RSSSLPathLine = "***PATH*** ";
constexpr const char* RSSSLVersionLine = "***VERSION*** ";
constexpr const char* RSSSLMethodsLine = "***METHODS*** ";
constexpr const char* RSSSLCreatingContextError = "Error creating SSL context.";
constexpr const char* RSSSLLoadingRootCertError = "Could not load root certificate.";
constexpr const char* RSSSLLoadingCertError = "Could not load certificate.";
constexpr const char* RSSSLLoadingKeyError = "Could not load key, check password.";
constexpr const char* RSSSLLoadingDHParamsError = "Could not load DH Parameters.";
constexpr const char* CRLF = "\r\n";

constexpr size_t kErrorTextSize = 160;

// The "no" option of each version and the version's bit in the set.
struct TProtocolSwitch {
  TIdSSLVersion Version;
  uint64_t NoOption;
};
constexpr TProtocolSwitch kProtocolSwitches[] = {
    {sslvSSLv2, SSL_OP_NO_SSLv2},     {sslvSSLv3, SSL_OP_NO_SSLv3},     {sslvTLSv1, SSL_OP_NO_TLSv1},
    {sslvTLSv1_1, SSL_OP_NO_TLSv1_1}, {sslvTLSv1_2, SSL_OP_NO_TLSv1_2}, {sslvTLSv1_3, SSL_OP_NO_TLSv1_3},
};

std::string WithErrorText(const char* aMessage) { return std::string(aMessage) + CRLF + OpenSSLErrorText(); }

// The loader's failure, with what failed to load when it knows.
EIdOSSLCouldNotLoadSSLLibrary CouldNotLoad() {
  EIdOSSLCouldNotLoadSSLLibrary error;
  const std::string failures = WhichFailedToLoad();
  if (!failures.empty())
    error.SetMessage(error.Message() + CRLF + RSSSLPathLine + OpenSSLLibFolder() + CRLF + RSSSLVersionLine + CRLF +
                     RSSSLMethodsLine + failures);
  return error;
}

bool IsPKCS12File(const std::string& aFileName) { return EndsText(".p12", aFileName) || EndsText(".pfx", aFileName); }

// The handler's answer to a password request: OnGetPasswordEx first, then
// OnGetPassword when that left it empty.
std::string AskPassword(const TIdSSLContext& aContext, bool aIsWrite) {
  std::string password;
  if (IIdSSLEvents* parent = aContext.Parent()) {
    parent->FireGetPasswordEx(password, aIsWrite);
    if (password.empty()) parent->FireGetPassword(password);
  }
  return password;
}

int PasswordCallback(char* aBuf, int aSize, int aRWFlag, void* aUserData) {
  if (!aUserData || aSize <= 0) return 0;
  try {
    const std::string password = AskPassword(*static_cast<TIdSSLContext*>(aUserData), aRWFlag != 0);
    const int length = static_cast<int>(std::min<size_t>(password.size(), static_cast<size_t>(aSize)));
    std::memcpy(aBuf, password.data(), static_cast<size_t>(length));
    return length;
  } catch (...) {
    return 0;
  }
}

// Verification runs under one process-wide lock.
std::mutex& VerifyLock() {
  static std::mutex lock;
  return lock;
}

int VerifyCallback(int aOk, PX509_STORE_CTX aStoreCtx) {
  std::lock_guard guard(VerifyLock());
  try {
    const TIdOpenSSLAPI& api = OpenSSLAPI();
    if (!api.SSL_get_ex_data_X509_STORE_CTX_idx) return aOk;
    auto ssl = static_cast<PSSL>(api.X509_STORE_CTX_get_ex_data(aStoreCtx, api.SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* socket = ssl ? static_cast<TIdSSLSocket*>(api.SSL_get_ex_data(ssl, 0)) : nullptr;
    if (!socket || !socket->Parent() || !socket->SSLContext()) return aOk;
    TIdX509 certificate(api.X509_STORE_CTX_get_current_cert(aStoreCtx), false);
    const int depth = api.X509_STORE_CTX_get_error_depth(aStoreCtx);
    const int error = api.X509_STORE_CTX_get_error(aStoreCtx);
    // A depth of 0 or less sets no limit of our own (OpenSSL's default applies).
    const int32_t maxDepth = socket->SSLContext()->Options().VerifyDepth();
    const bool ok = aOk == 1 && !(maxDepth > 0 && depth > maxDepth);
    return socket->Parent()->FireVerifyPeer(certificate, ok, depth, error) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// The status texts of the info callback.
std::string StatusTypeText(int aWhere, int aRet) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  const auto exitText = [aRet](const char* aName) {
    return std::string(aName) + (aRet > 0 ? " Exit" : aRet == 0 ? " Failed" : " Error");
  };
  switch (aWhere) {
    case SSL_CB_HANDSHAKE_START: return "Handshake Start";
    case SSL_CB_HANDSHAKE_DONE: return "Handshake Done";
    case SSL_ST_CONNECT | SSL_CB_LOOP: return "Connect Loop";
    case SSL_ST_CONNECT | SSL_CB_EXIT: return exitText("Connect");
    case SSL_ST_ACCEPT | SSL_CB_LOOP: return "Accept Loop";
    case SSL_ST_ACCEPT | SSL_CB_EXIT: return exitText("Accept");
    case SSL_CB_ALERT: return Format("%s Alert", {api.SSL_alert_type_string_long(aRet)});
    case SSL_CB_ALERT | SSL_CB_READ: return Format("%s Read Alert", {api.SSL_alert_type_string_long(aRet)});
    case SSL_CB_ALERT | SSL_CB_WRITE: return Format("%s Write Alert", {api.SSL_alert_type_string_long(aRet)});
    default: return std::string();
  }
}

void InfoCallback(PSSL aSSL, int aWhere, int aRet) {
  try {
    const TIdOpenSSLAPI& api = OpenSSLAPI();
    auto* socket = static_cast<TIdSSLSocket*>(api.SSL_get_ex_data(aSSL, 0));
    if (!socket || !socket->Parent()) return;
    const std::string state = api.SSL_state_string_long(aSSL);
    const std::string message = (aWhere & SSL_CB_ALERT) ? api.SSL_alert_desc_string_long(aRet) : state;
    socket->Parent()->FireStatusInfoEx(aSSL, aWhere, aRet, StatusTypeText(aWhere, aRet), message);
    socket->Parent()->FireStatusInfo(state);
  } catch (...) {
    // An event handler's failure must not unwind through OpenSSL.
  }
}

// Client, server or plain constructor of one method, by the context's mode.
PSSL_METHOD ModeMethod(TIdSSLMode aMode, PSSL_METHOD (*aPlain)(), PSSL_METHOD (*aClient)(),
                       PSSL_METHOD (*aServer)()) {
  PSSL_METHOD (*constructor)() = aMode == sslmClient ? aClient : aMode == sslmServer ? aServer : aPlain;
  if (!constructor) constructor = aPlain;
  return constructor ? constructor() : nullptr;
}

// The PKCS#12 bundle of a file: key, certificate and CA certificates.
struct TPKCS12Contents {
  PEVP_PKEY Key = nullptr;
  PX509 Certificate = nullptr;
  POPENSSL_STACK CACertificates = nullptr;
  ~TPKCS12Contents() {
    const TIdOpenSSLAPI& api = OpenSSLAPI();
    if (Key) api.EVP_PKEY_free(Key);
    if (Certificate) api.X509_free(Certificate);
    if (CACertificates) api.sk_pop_free(CACertificates, reinterpret_cast<void (*)(void*)>(api.X509_free));
  }
};

bool ReadPKCS12(const std::string& aFileName, const std::string& aPassword, TPKCS12Contents& aContents) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  PBIO bio = api.BIO_new_file(aFileName.c_str(), "rb");
  if (!bio) return false;
  PPKCS12 p12 = api.d2i_PKCS12_bio(bio, nullptr);
  api.BIO_free(bio);
  if (!p12) return false;
  const int parsed =
      api.PKCS12_parse(p12, aPassword.c_str(), &aContents.Key, &aContents.Certificate, &aContents.CACertificates);
  api.PKCS12_free(p12);
  return parsed == 1;
}

}  // namespace

// ---------------------------------------------------------------- options

void TIdSSLOptions::SetMethod(TIdSSLVersion aValue) {
  fMethod = aValue;
  fSSLVersions = aValue == sslvSSLv23 ? kAllSSLVersions : TIdSSLVersions{aValue};
}

void TIdSSLOptions::SetSSLVersions(TIdSSLVersions aValue) {
  if (aValue == TIdSSLVersions{sslvSSLv23}) {
    fSSLVersions = kAllSSLVersions;
    fMethod = sslvSSLv23;
    return;
  }
  aValue.Exclude(sslvSSLv23);
  fSSLVersions = aValue;
  fMethod = sslvSSLv23;
  if (aValue.Count() == 1)
    for (int v = sslvSSLv2; v <= sslvTLSv1_3; ++v)
      if (aValue.Contains(static_cast<TIdSSLVersion>(v))) fMethod = static_cast<TIdSSLVersion>(v);
}

// ---------------------------------------------------------------- errors

std::string OpenSSLErrorText() {
  if (!TLSLibrariesLoaded()) return std::string();
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  const unsigned long code = api.ERR_get_error();
  api.ERR_clear_error();
  if (code == 0) return std::string();
  char buffer[kErrorTextSize + 1] = {};
  api.ERR_error_string_n(code, buffer, kErrorTextSize);
  return buffer;
}

// ---------------------------------------------------------------- context

TIdSSLContext::TIdSSLContext() {
  if (!LoadTLSLibraries()) throw CouldNotLoad();
}

TIdSSLContext::~TIdSSLContext() { DestroyContext(); }

void TIdSSLContext::DestroyContext() {
  if (fContext) OpenSSLAPI().SSL_CTX_free(fContext);
  fContext = nullptr;
}

PSSL_METHOD TIdSSLContext::SelectMethod() const {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  const TIdSSLMode mode = FOptions.Mode();
  if (mode == sslmUnassigned) throw EIdOSSLModeNotSet();
  TIdSSLVersion method = FOptions.Method();
  // 1.1 and later know neither SSLv2 nor SSLv3; the flexible method stays
  // flexible (bound to TLS_method there) so that TLS 1.3 remains reachable.
  if (LoadedOpenSSLGeneration() >= 1 && (method == sslvSSLv2 || method == sslvSSLv3)) method = sslvTLSv1_2;
  PSSL_METHOD result = nullptr;
  switch (method) {
    case sslvSSLv2: result = ModeMethod(mode, a.SSLv2_method, a.SSLv2_client_method, a.SSLv2_server_method); break;
    case sslvSSLv23: result = ModeMethod(mode, a.SSLv23_method, a.SSLv23_client_method, a.SSLv23_server_method); break;
    case sslvSSLv3: result = ModeMethod(mode, a.SSLv3_method, a.SSLv3_client_method, a.SSLv3_server_method); break;
    case sslvTLSv1: result = ModeMethod(mode, a.TLSv1_method, a.TLSv1_client_method, a.TLSv1_server_method); break;
    case sslvTLSv1_1:
      result = ModeMethod(mode, a.TLSv1_1_method, a.TLSv1_1_client_method, a.TLSv1_1_server_method);
      if (!result) result = ModeMethod(mode, a.TLSv1_method, a.TLSv1_client_method, a.TLSv1_server_method);
      break;
    case sslvTLSv1_2:
      result = ModeMethod(mode, a.TLSv1_2_method, a.TLSv1_2_client_method, a.TLSv1_2_server_method);
      if (!result) result = ModeMethod(mode, a.TLSv1_method, a.TLSv1_client_method, a.TLSv1_server_method);
      break;
    case sslvTLSv1_3:
      result = ModeMethod(mode, a.TLS_method, a.TLS_client_method, a.TLS_server_method);
      if (!result) result = ModeMethod(mode, a.TLSv1_method, a.TLSv1_client_method, a.TLSv1_server_method);
      break;
  }
  if (!result) throw EIdOSSLGetMethodError();
  return result;
}

void TIdSSLContext::ApplyProtocolSwitches() {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  const TIdSSLVersions versions = FOptions.SSLVersions();
  uint64_t set = 0;
  uint64_t clear = 0;
  for (const TProtocolSwitch& entry : kProtocolSwitches) {
    if (!versions.Contains(entry.Version))
      set |= entry.NoOption;
    else if (FOptions.Method() == sslvSSLv23)
      clear |= entry.NoOption;
  }
  // From 1.1 the options are functions; before, they are SSL_CTX_ctrl commands.
  if (a.SSL_CTX_set_options) {
    a.SSL_CTX_set_options(fContext, set);
    a.SSL_CTX_clear_options(fContext, clear);
  } else {
    a.SSL_CTX_ctrl(fContext, SSL_CTRL_OPTIONS, static_cast<long>(set), nullptr);
    a.SSL_CTX_ctrl(fContext, SSL_CTRL_CLEAR_OPTIONS, static_cast<long>(clear), nullptr);
  }

  if (LoadedOpenSSLGeneration() >= 1) {
    const int minimum = versions.Contains(sslvTLSv1_3) || versions.Contains(sslvTLSv1_2) ? TLS1_2_VERSION
                        : versions.Contains(sslvTLSv1_1)                                ? TLS1_1_VERSION
                                                                                         : TLS1_VERSION;
    const int maximum = OpenSSLVersionNumber() < OPENSSL_VERSION_1_1_1 ? TLS1_2_VERSION : TLS1_3_VERSION;
    a.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_MIN_PROTO_VERSION, minimum, nullptr);
    a.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_MAX_PROTO_VERSION, maximum, nullptr);
  }
}

void TIdSSLContext::InitContext(TIdSSLCtxMode aCtxMode) {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  fCtxMode = aCtxMode;
  if (FOptions.Mode() == sslmUnassigned) FOptions.SetMode(aCtxMode == sslCtxServer ? sslmServer : sslmClient);
  DestroyContext();
  a.ERR_clear_error();

  fContext = a.SSL_CTX_new(SelectMethod());
  if (!fContext) throw EIdOSSLCreatingContextError(WithErrorText(RSSSLCreatingContextError));

  ApplyProtocolSwitches();
  a.SSL_CTX_ctrl(fContext, SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY, nullptr);
  // Reading ahead takes a record with one receive instead of two; it needs
  // SSL_has_pending so that buffered bytes count as readable.
  if (a.SSL_has_pending) a.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
  a.SSL_CTX_set_default_passwd_cb(fContext, PasswordCallback);
  a.SSL_CTX_set_default_passwd_cb_userdata(fContext, this);
  a.SSL_CTX_set_default_verify_paths(fContext);

  LoadFiles();
  if (fStatusInfoOn) a.SSL_CTX_set_info_callback(fContext, InfoCallback);

  if (!FOptions.CipherList().empty() && a.SSL_CTX_set_cipher_list(fContext, FOptions.CipherList().c_str()) < 1)
    throw EIdOSSLSettingCipherError();

  if (!FOptions.VerifyMode().Empty()) {
    a.SSL_CTX_set_verify(fContext, static_cast<int>(FOptions.VerifyMode().Bits()), fVerifyOn ? VerifyCallback : nullptr);
    // 0 leaves OpenSSL's own limit: a limit of 0 would refuse every chain
    // with an intermediate certificate.
    if (FOptions.VerifyDepth() > 0) a.SSL_CTX_set_verify_depth(fContext, FOptions.VerifyDepth());
  }

  if (!FOptions.RootCertFile().empty())
    if (POPENSSL_STACK names = a.SSL_load_client_CA_file(FOptions.RootCertFile().c_str()))
      a.SSL_CTX_set_client_CA_list(fContext, names);
  if (aCtxMode == sslCtxClient) ApplyALPN();
}

void TIdSSLContext::LoadFiles() {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  if (!FOptions.RootCertFile().empty() || !FOptions.VerifyDirs().empty()) {
    const char* file = FOptions.RootCertFile().empty() ? nullptr : FOptions.RootCertFile().c_str();
    const char* dirs = FOptions.VerifyDirs().empty() ? nullptr : FOptions.VerifyDirs().c_str();
    if (a.SSL_CTX_load_verify_locations(fContext, file, dirs) <= 0)
      throw EIdOSSLLoadingRootCertError(WithErrorText(RSSSLLoadingRootCertError));
  }
  if (!FOptions.CertFile().empty()) LoadCertificate();
  if (!FOptions.KeyFile().empty()) LoadKey();
  if (!FOptions.DHParamsFile().empty()) LoadDHParams();
}

void TIdSSLContext::LoadCertificate() {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  const std::string& file = FOptions.CertFile();
  bool loaded = false;
  if (IsPKCS12File(file)) {
    TPKCS12Contents contents;
    loaded = ReadPKCS12(file, AskPassword(*this, false), contents) && contents.Certificate &&
             a.SSL_CTX_use_certificate(fContext, contents.Certificate) > 0;
    // The bundle's CA certificates go out with ours; the context takes over
    // each one it accepts.
    if (loaded && contents.CACertificates) {
      POPENSSL_STACK chain = contents.CACertificates;
      contents.CACertificates = nullptr;
      const int count = a.sk_num(chain);
      int added = 0;
      while (added < count && a.SSL_CTX_ctrl(fContext, SSL_CTRL_EXTRA_CHAIN_CERT, 0, a.sk_value(chain, added)) > 0)
        ++added;
      for (int i = added; i < count; ++i) a.X509_free(static_cast<PX509>(a.sk_value(chain, i)));
      a.sk_free(chain);
      loaded = added == count;
    }
  } else if (a.SSL_CTX_use_certificate_chain_file) {
    loaded = a.SSL_CTX_use_certificate_chain_file(fContext, file.c_str()) > 0;
  } else {
    loaded = a.SSL_CTX_use_certificate_file(fContext, file.c_str(), SSL_FILETYPE_PEM) > 0;
  }
  if (!loaded) throw EIdOSSLLoadingCertError(WithErrorText(RSSSLLoadingCertError));
}

void TIdSSLContext::LoadKey() {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  const std::string& file = FOptions.KeyFile();
  bool loaded = false;
  if (IsPKCS12File(file)) {
    TPKCS12Contents contents;
    loaded = ReadPKCS12(file, AskPassword(*this, false), contents) && contents.Key &&
             a.SSL_CTX_use_PrivateKey(fContext, contents.Key) > 0;
  } else {
    loaded = a.SSL_CTX_use_PrivateKey_file(fContext, file.c_str(), SSL_FILETYPE_PEM) > 0;
  }
  if (!loaded || a.SSL_CTX_check_private_key(fContext) <= 0)
    throw EIdOSSLLoadingKeyError(WithErrorText(RSSSLLoadingKeyError));
}

void TIdSSLContext::LoadDHParams() {
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  bool loaded = false;
  if (a.PEM_read_bio_DHparams && a.DH_free) {
    if (PBIO bio = a.BIO_new_file(FOptions.DHParamsFile().c_str(), "r")) {
      PDH dh = a.PEM_read_bio_DHparams(bio, nullptr, nullptr, nullptr);
      a.BIO_free(bio);
      if (dh) {
        loaded = a.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_TMP_DH, 0, dh) > 0;
        a.DH_free(dh);
      }
    }
  }
  if (!loaded) throw EIdOSSLLoadingDHParamsError(WithErrorText(RSSSLLoadingDHParamsError));
}

void TIdSSLContext::ApplyALPN() {
  // One byte string of length-prefixed names; empty (and over-long) names are skipped.
  TIdBytes wire;
  for (int i = 0; i < FALPNProtocols.Count(); ++i) {
    const std::string& name = FALPNProtocols[i];
    if (name.empty() || name.size() > 255) continue;
    wire.push_back(static_cast<uint8_t>(name.size()));
    wire.insert(wire.end(), name.begin(), name.end());
  }
  if (wire.empty()) return;
  const TIdOpenSSLAPI& a = OpenSSLAPI();
  // SSL_CTX_set_alpn_protos returns 0 on success.
  if (!a.SSL_CTX_set_alpn_protos ||
      a.SSL_CTX_set_alpn_protos(fContext, wire.data(), static_cast<unsigned>(wire.size())) != 0)
    throw EIdOSSLSettingALPNError();
}

}  // namespace qtx
