#pragma once
// The SChannel channel's message texts.

#include <string_view>

namespace qtx::schannel_texts {

inline constexpr std::string_view RSInitializationError = "SChannel initialization error: ";
inline constexpr std::string_view RSAcquireCredentialsHandle = "AcquireCredentialsHandle returns ";
inline constexpr std::string_view RSFirstInitializeSecurityContext = "First call to InitializeSecurityContext returns ";
inline constexpr std::string_view RSInitializeSecurityContext = "InitializeSecurityContext returns ";
inline constexpr std::string_view RSRecv = "recv returns ";
inline constexpr std::string_view RSSend = "send returns ";
inline constexpr std::string_view RSStreamSizes = "QueryContextAttributes(SECPKG_ATTR_STREAM_SIZES) returns ";
inline constexpr std::string_view RSApplicationProtocol =
    "QueryContextAttributes(SECPKG_ATTR_APPLICATION_PROTOCOL) returns ";
inline constexpr std::string_view RSIssuerList = "QueryContextAttributes(SECPKG_ATTR_ISSUER_LIST_EX) returns ";
inline constexpr std::string_view RSContextExpired = "DecryptMessage returns SEC_I_CONTEXT_EXPIRED";
inline constexpr std::string_view RSDecryptFailure = "DecryptMessage returns SEC_E_DECRYPT_FAILURE";
inline constexpr std::string_view RSDecryptMessage = "DecryptMessage returns ";
inline constexpr std::string_view RSEncryptMessage = "EncryptMessage returns ";
inline constexpr std::string_view RSClosedWithoutCloseNotify = "The connection was closed without a TLS close_notify";
inline constexpr std::string_view RSInvalidHashLength = "Invalid Certificate Hash Length, must be %d.";
inline constexpr std::string_view RSCannotOpenStore = "Cannot Open Certificate Store.";
inline constexpr std::string_view RSCryptStringToBinary = "Error calling method CryptStringToBinary.";
inline constexpr std::string_view RSCertificateNotFound = "Certificate not found in Store %s with Hash %s";
inline constexpr std::string_view RSCannotImport = "Cannot import the certificate.";
inline constexpr std::string_view RSFindChainInStore = "CertFindChainInStore returns nil";
inline constexpr std::string_view RSRemoteCertificate = "QueryCredentialsAttributes returns ";
inline constexpr std::string_view RSChainPolicy = "CertVerifyCertificateChainPolicy.vStatus = ";

}  // namespace qtx::schannel_texts
