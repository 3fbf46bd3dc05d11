#include "qtxTestTls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace qtx::test {
namespace {

constexpr int kWaitMs = 30000;

std::string OpenSSLErrors() {
  std::string text;
  while (unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof(buffer));
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

void SetTimeouts(int aFd) {
  timeval tv{kWaitMs / 1000, 0};
  setsockopt(aFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  setsockopt(aFd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

class TConnection : public TTlsTestConnection {
public:
  TConnection(SSL* aSSL, int aFd) : FSSL(aSSL), FFd(aFd) {}
  ~TConnection() override {
    if (FFd >= 0) {
      SSL_shutdown(FSSL);
      close(FFd);
    }
    SSL_free(FSSL);
  }

  std::string Read(size_t aCount) override {
    std::string data;
    while (data.size() < aCount) {
      char buffer[16384];
      const int n = SSL_read(FSSL, buffer, static_cast<int>(std::min(sizeof(buffer), aCount - data.size())));
      if (n <= 0) throw std::runtime_error("TLS read failed: " + OpenSSLErrors());
      data.append(buffer, static_cast<size_t>(n));
    }
    return data;
  }
  std::string ReadUntil(const std::string& aTerminator) override {
    std::string data;
    while (data.size() < aTerminator.size() || data.compare(data.size() - aTerminator.size(), std::string::npos,
                                                             aTerminator) != 0)
      data += Read(1);
    return data;
  }
  void Write(const std::string& aData) override {
    if (SSL_write(FSSL, aData.data(), static_cast<int>(aData.size())) != static_cast<int>(aData.size()))
      throw std::runtime_error("TLS write failed: " + OpenSSLErrors());
  }
  void CloseNotify() override {
    SSL_shutdown(FSSL);
    close(FFd);
    FFd = -1;
  }
  void Reset() override {
    linger abortive{1, 0};
    setsockopt(FFd, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
    close(FFd);
    FFd = -1;
  }
  void CloseWithoutNotify() override {
    shutdown(FFd, SHUT_WR);
    close(FFd);
    FFd = -1;
  }
  void WriteCutRecord(const std::string& aData, size_t aRawBytes) override {
    // The record is written into memory instead of the socket, then cut.
    BIO* socket = SSL_get_wbio(FSSL);
    BIO_up_ref(socket);
    SSL_set0_wbio(FSSL, BIO_new(BIO_s_mem()));
    const int written = SSL_write(FSSL, aData.data(), static_cast<int>(aData.size()));
    char* record = nullptr;
    const long size = BIO_get_mem_data(SSL_get_wbio(FSSL), &record);
    const std::string cut(record, std::min(static_cast<size_t>(size), aRawBytes));
    SSL_set0_wbio(FSSL, socket);
    if (written != static_cast<int>(aData.size())) throw std::runtime_error("TLS write failed: " + OpenSSLErrors());
    if (send(FFd, cut.data(), cut.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(cut.size()))
      throw std::runtime_error("raw write failed");
  }
  int Fd() const override { return FFd; }
  void KeyUpdate() override {
    if (SSL_key_update(FSSL, SSL_KEY_UPDATE_REQUESTED) != 1) throw std::runtime_error("key update: " + OpenSSLErrors());
  }
  void Renegotiate() override {
    if (SSL_renegotiate(FSSL) != 1) throw std::runtime_error("renegotiate: " + OpenSSLErrors());
    SSL_do_handshake(FSSL);  // sends the request; the rest comes with the client's answer
  }
  bool RenegotiationPending() const override { return SSL_renegotiate_pending(FSSL) == 1; }
  std::string ServerName() const override {
    const char* name = SSL_get_servername(FSSL, TLSEXT_NAMETYPE_host_name);
    return name ? name : "";
  }
  std::string ALPNProtocol() const override {
    const unsigned char* data = nullptr;
    unsigned length = 0;
    SSL_get0_alpn_selected(FSSL, &data, &length);
    return data ? std::string(reinterpret_cast<const char*>(data), length) : "";
  }
  std::string Version() const override { return SSL_get_version(FSSL); }
  std::string PeerSubject() const override {
    X509* certificate = SSL_get1_peer_certificate(FSSL);
    if (!certificate) return "";
    char buffer[512];
    X509_NAME_oneline(X509_get_subject_name(certificate), buffer, sizeof(buffer));
    X509_free(certificate);
    return buffer;
  }
  bool ReadCloseNotify() override {
    char byte;
    const int n = SSL_read(FSSL, &byte, 1);
    return n == 0 && SSL_get_error(FSSL, n) == SSL_ERROR_ZERO_RETURN;
  }

private:
  SSL* FSSL;
  int FFd;
};

int SelectALPN(SSL*, const unsigned char** aOut, unsigned char* aOutLength, const unsigned char* aIn,
               unsigned aInLength, void* aArg) {
  const auto& accepted = *static_cast<const std::vector<std::string>*>(aArg);
  for (const std::string& protocol : accepted) {
    for (unsigned i = 0; i < aInLength; i += 1u + aIn[i]) {
      if (aIn[i] == protocol.size() && i + 1 + aIn[i] <= aInLength &&
          std::string(reinterpret_cast<const char*>(aIn + i + 1), aIn[i]) == protocol) {
        *aOut = aIn + i + 1;
        *aOutLength = aIn[i];
        return SSL_TLSEXT_ERR_OK;
      }
    }
  }
  return SSL_TLSEXT_ERR_ALERT_FATAL;
}

std::string ReadPlainLine(int aFd) {
  std::string line;
  char c;
  while (recv(aFd, &c, 1, 0) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

}  // namespace

void SendHostile(TTlsTestConnection& aConnection, const std::string& aAnswer, size_t aCut, TPeerEnd aEnd) {
  if (aCut == kWholeAnswer) {
    aConnection.Write(aAnswer);
  } else {
    aConnection.WriteCutRecord(aAnswer, aCut);
  }
  switch (aEnd) {
    case TPeerEnd::Stall: StallUntilClientGoes(aConnection.Fd()); break;
    case TPeerEnd::Close: aConnection.CloseWithoutNotify(); break;
    case TPeerEnd::Reset: aConnection.Reset(); break;
  }
}

size_t FloodHeaderLines(TTlsTestConnection& aConnection, std::string_view aHead, size_t aLimit) {
  const size_t sent = FloodHeaderLines([&](std::string_view aBytes) { aConnection.Write(std::string(aBytes)); },
                                       aHead, aLimit);
  aConnection.CloseWithoutNotify();
  return sent;
}

// ---------------------------------------------------------------- server

struct TTlsTestServer::TImpl {
  SSL_CTX* Context = nullptr;
  ~TImpl() { SSL_CTX_free(Context); }
};

TTlsTestServer::TTlsTestServer(TOptions aOptions, TScript aScript)
    : FImpl(std::make_unique<TImpl>()), FOptions(std::move(aOptions)), FScript(std::move(aScript)) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  FImpl->Context = ctx;
  if (SSL_CTX_use_certificate_chain_file(ctx, FOptions.CertFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, FOptions.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("server certificate: " + OpenSSLErrors());
  if (FOptions.MinVersion) SSL_CTX_set_min_proto_version(ctx, FOptions.MinVersion);
  if (FOptions.MaxVersion) SSL_CTX_set_max_proto_version(ctx, FOptions.MaxVersion);
  if (!FOptions.ALPN.empty()) SSL_CTX_set_alpn_select_cb(ctx, SelectALPN, &FOptions.ALPN);
  if (!FOptions.ClientCAFile.empty()) {
    SSL_CTX_load_verify_locations(ctx, FOptions.ClientCAFile.c_str(), nullptr);
    SSL_CTX_set_client_CA_list(ctx, SSL_load_client_CA_file(FOptions.ClientCAFile.c_str()));
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
  }

  FListenFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(FListenFd, 8) != 0 ||
      getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("listen failed");
  FPort = ntohs(address.sin_port);
  FThread = std::thread([this] { Run(); });
}

TTlsTestServer::~TTlsTestServer() {
  FStop = true;
  FThread.join();
  close(FListenFd);
}

void TTlsTestServer::Run() {
  // A client that goes away must not end the test program.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  while (!FStop) {
    pollfd waiter{FListenFd, POLLIN, 0};
    if (poll(&waiter, 1, 50) != 1) continue;
    const int fd = accept(FListenFd, nullptr, nullptr);
    if (fd < 0) continue;
    SetTimeouts(fd);
    if (FOptions.PlainPrelude) {
      const std::string line = ReadPlainLine(fd);
      {
        std::lock_guard guard(FLock);
        FPreludeLine = line;
      }
      send(fd, "GO\r\n", 4, MSG_NOSIGNAL);
    }
    SSL* ssl = SSL_new(FImpl->Context);
    SSL_set_fd(ssl, fd);
    ERR_clear_error();
    const bool accepted = SSL_accept(ssl) == 1;
    {
      std::lock_guard guard(FLock);
      const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
      FServerName = name ? name : "";
      FHandshakeError = accepted ? "" : OpenSSLErrors();
    }
    ++FHandshakes;
    if (!accepted) {
      SSL_free(ssl);
      close(fd);
      continue;
    }
    TConnection connection(ssl, fd);
    try {
      FScript(connection);
    } catch (const std::exception& e) {
      std::lock_guard guard(FLock);
      FScriptError = e.what();
    }
  }
}

std::string TTlsTestServer::PreludeLine() const {
  std::lock_guard guard(FLock);
  return FPreludeLine;
}

std::string TTlsTestServer::ServerName() const {
  std::lock_guard guard(FLock);
  return FServerName;
}

std::string TTlsTestServer::HandshakeError() const {
  std::lock_guard guard(FLock);
  return FHandshakeError;
}

std::string TTlsTestServer::ScriptError() const {
  std::lock_guard guard(FLock);
  return FScriptError;
}

bool TTlsTestServer::WaitForHandshakes(int aCount) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (FHandshakes.load() < aCount) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// ---------------------------------------------------------------- s_server

namespace {

uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// Waits until the child prints "ACCEPT" (it listens then); false when it
// exits or stays silent.
bool WaitForAccept(int aOutput) {
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd waiter{aOutput, POLLIN, 0};
    if (poll(&waiter, 1, 100) != 1) continue;
    char buffer[256];
    const ssize_t n = read(aOutput, buffer, sizeof(buffer));
    if (n <= 0) return false;
    output.append(buffer, static_cast<size_t>(n));
    if (output.find("ACCEPT") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TOpenSSLServer::TOpenSSLServer(const std::vector<std::string>& aArgs) {
  for (int attempt = 0; attempt < 5 && FPid < 0; ++attempt) {
    const uint16_t port = FreePort();
    std::vector<std::string> args = {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port)};
    args.insert(args.end(), aArgs.begin(), aArgs.end());
    int output[2];
    if (pipe(output) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      dup2(output[1], STDOUT_FILENO);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDERR_FILENO);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execvp("openssl", argv.data());
      _exit(127);
    }
    close(output[1]);
    if (WaitForAccept(output[0])) {
      FPid = pid;
      FPort = port;
      FOutput = output[0];
    } else {
      close(output[0]);
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  if (FPid < 0) throw std::runtime_error("openssl s_server did not start");
}

TOpenSSLServer::~TOpenSSLServer() {
  kill(-FPid, SIGTERM);
  waitpid(FPid, nullptr, 0);
  close(FOutput);
}

}  // namespace qtx::test
