#pragma once
// Test certificates made at run time with the openssl command (no key is
// ever committed), for the TLS tests and the TLS ports of test daemons.

#include <string>

namespace qtx::test {

// A test PKI made with the `openssl` command once per build, in the build
// folder, shared by the test processes and made anew when a day old: a CA,
// server certificates signed by it, one signed by an unknown CA, one behind
// an intermediate CA, an expired one, and client credentials (with and
// without a password). No key is ever committed.
class TTestCertificates {
public:
  static const TTestCertificates& Get();

  std::string Folder;
  std::string CAFile;             // the test CA's certificate
  std::string ServerCert;         // "localhost" and 127.0.0.1, signed by the CA
  std::string ServerKey;
  std::string OtherHostCert;      // "other.example", signed by the CA
  std::string OtherHostKey;
  std::string UnknownCACert;      // "localhost", signed by a CA nobody trusts
  std::string UnknownCAKey;
  std::string ChainCert;          // "localhost" + intermediate CA, in one PEM file
  std::string ChainKey;
  std::string ClientCert;         // PEM certificate of a client
  std::string ClientKeyEncrypted; // its key, encrypted with Password
  std::string ClientP12;          // certificate and key as PKCS#12, with Password
  std::string ClientKey;          // the client's key, unencrypted
  std::string ClientP12NoPassword;  // certificate and key as PKCS#12 without any password
  std::string UnknownCAClientCert;  // a client certificate signed by the unknown CA
  std::string UnknownCAClientKey;
  std::string ServerOnlyCert;     // signed by the CA, for server authentication only
  std::string ServerOnlyKey;
  std::string ExpiredCert;        // "localhost" and 127.0.0.1, signed by the CA, expired
  std::string ExpiredKey;
  std::string DHParams;           // DH parameters (PEM)
  std::string Password = "secret";

private:
  TTestCertificates();
};

}  // namespace qtx::test
