#pragma once
// The folder from which the OpenSSL loader loads libssl and libcrypto. It
// lives this low so that the library's components can set it and the TLS
// layer can read it. Empty (the default) means the system's search path.

#include <string>

namespace qtx {

// Thread-safe; the loader reads the folder when it loads the libraries. A
// non-empty folder is kept with a trailing "/", so file names can follow it.
void SetOpenSSLLibFolder(std::string aFolder);
std::string GetOpenSSLLibFolder();

}  // namespace qtx
