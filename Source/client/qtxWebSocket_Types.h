#pragma once
// The enumerations of the library's TLS, proxy and OpenSSL settings. The TLS
// versions and the SChannel certificate-store names belong to the SChannel
// channel, which takes them as they are; they are declared there.

#include "tls/qtxSSL_SChannel.h"  // TwsTLSVersions, TqtxSChannelCertStoreName, TqtxSChannelCertStorePath

namespace qtx {

enum TwsTLSIOHandler { iohOpenSSL, iohSChannel };

enum TwsProxy { pxyHTTP, pxySocks4, pxySocks4A, pxySocks5 };

// The OpenSSL generation a TLS connection loads first.
enum TwsOpenSSLAPI { oslAPI_1_0, oslAPI_1_1, oslAPI_3_0 };

// Where the OpenSSL libraries are loaded from: as the loader was left, the
// running executable's folder, or a folder of the user's.
enum TwsOpenSSLLibPath { oslpNone, oslpDefaultFolder, oslpCustomPath };

// How versioned library links are treated on Unix systems; carried by the
// options for other components, not read by the HTTP client.
enum TwsOpenSSLSymLinks { oslsSymLinksDefault, oslsSymLinksLoadFirst, oslsSymLinksLoad, oslsSymLinksDontLoad };

}  // namespace qtx
