#include "qtxTestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "qtxTestSharedFolder.h"

namespace qtx::test {

namespace {

// Makes the PKI with the openssl command; every certificate but the expired
// one is valid for a few days from now.
const char* const kMakeCertificates = R"sh(set -e
cd "$1"
days=3
newkey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
# sign NAME CN SAN CA CAKEY [ca|EXTENSION]
sign() {
  newkey "$1.key"
  openssl req -new -key "$1.key" -subj "/CN=$2" -out "$1.csr"
  if [ "$6" = ca ]; then
    printf 'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n' > "$1.ext"
  else
    printf 'basicConstraints=CA:FALSE\nsubjectAltName=%s\n%s\n' "$3" "$6" > "$1.ext"
  fi
  openssl x509 -req -in "$1.csr" -CA "$4" -CAkey "$5" -set_serial "0x$(openssl rand -hex 8)" \
    -days $days -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
newkey ca.key
openssl req -x509 -key ca.key -subj "/CN=qtx Test CA" -days $days -out ca.pem
newkey unknown-ca.key
openssl req -x509 -key unknown-ca.key -subj "/CN=qtx Unknown CA" -days $days -out unknown-ca.pem
sign server localhost "DNS:localhost,IP:127.0.0.1" ca.pem ca.key
sign other other.example "DNS:other.example" ca.pem ca.key
sign unknown localhost "DNS:localhost,IP:127.0.0.1" unknown-ca.pem unknown-ca.key
sign intermediate "qtx Intermediate CA" "" ca.pem ca.key ca
sign leaf localhost "DNS:localhost,IP:127.0.0.1" intermediate.pem intermediate.key
cat leaf.pem intermediate.pem > chain.pem
sign client "qtx Test Client" "DNS:client.example" ca.pem ca.key
openssl pkey -in client.key -aes256 -passout pass:secret -out client-encrypted.key
openssl pkcs12 -export -in client.pem -inkey client.key -passout pass:secret -out client.p12
openssl pkcs12 -export -in client.pem -inkey client.key -passout pass: -keypbe NONE -certpbe NONE -nomac \
  -out client-nopass.p12
sign unknown-client "qtx Unknown Client" "DNS:client.example" unknown-ca.pem unknown-ca.key
sign server-only "qtx Server Only" "DNS:localhost" ca.pem ca.key "extendedKeyUsage=serverAuth"
days=-1
sign expired localhost "DNS:localhost,IP:127.0.0.1" ca.pem ca.key
openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out dh.pem
)sh";

// Runs the script in the empty folder aFolder.
void MakeCertificates(const std::string& aFolder) {
  const std::string script = aFolder + "/make.sh";
  std::ofstream(script) << kMakeCertificates;
  const std::string command = "sh " + script + " " + aFolder + " >" + aFolder + "/make.log 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::ifstream log(aFolder + "/make.log");
    std::stringstream text;
    text << log.rdbuf();
    throw std::runtime_error("making the test certificates failed: " + text.str());
  }
}

}  // namespace

// Certificates made less than a day ago are still valid for two more days.
TTestCertificates::TTestCertificates() : Folder(SharedFolder("test-pki", 24 * 3600, MakeCertificates)) {
  CAFile = Folder + "/ca.pem";
  ServerCert = Folder + "/server.pem";
  ServerKey = Folder + "/server.key";
  OtherHostCert = Folder + "/other.pem";
  OtherHostKey = Folder + "/other.key";
  UnknownCACert = Folder + "/unknown.pem";
  UnknownCAKey = Folder + "/unknown.key";
  ChainCert = Folder + "/chain.pem";
  ChainKey = Folder + "/leaf.key";
  ClientCert = Folder + "/client.pem";
  ClientKeyEncrypted = Folder + "/client-encrypted.key";
  ClientP12 = Folder + "/client.p12";
  ClientKey = Folder + "/client.key";
  ClientP12NoPassword = Folder + "/client-nopass.p12";
  UnknownCAClientCert = Folder + "/unknown-client.pem";
  UnknownCAClientKey = Folder + "/unknown-client.key";
  ServerOnlyCert = Folder + "/server-only.pem";
  ServerOnlyKey = Folder + "/server-only.key";
  ExpiredCert = Folder + "/expired.pem";
  ExpiredKey = Folder + "/expired.key";
  DHParams = Folder + "/dh.pem";
}

const TTestCertificates& TTestCertificates::Get() {
  static const TTestCertificates certificates;
  return certificates;
}

}  // namespace qtx::test
