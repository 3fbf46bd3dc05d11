#pragma once
// Lines of the password files that web servers read (htpasswd, htdigest),
// made with the openssl command so that they are independent of the
// library's own hashing.

#include <string>

namespace qtx::test {

// "name:$apr1$...", the Apache MD5 hash of aPassword (Basic authentication
// in nginx and apache2).
std::string HtpasswdLine(const std::string& aName, const std::string& aPassword);
// "name:realm:MD5(name:realm:password)" (Digest authentication in apache2).
std::string HtdigestLine(const std::string& aName, const std::string& aRealm, const std::string& aPassword);

}  // namespace qtx::test
