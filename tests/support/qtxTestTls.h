#pragma once
// TLS peers for the TLS tests, written directly on OpenSSL (linked into the
// tests) so that they check the library's run-time bound OpenSSL use against
// an independent one: an in-process TLS server with byte-level control, and
// `openssl s_server` as a real daemon, both with the test certificates.
// No OpenSSL header leaks out of here, so tests may include the library's
// TLS headers freely.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qtxTestCertificates.h"
#include "qtxTestHostile.h"

namespace qtx::test {

// One accepted TLS connection, driven by a test's script.
class TTlsTestConnection {
public:
  virtual ~TTlsTestConnection() = default;
  // Exactly aCount decrypted bytes (throws on close or failure).
  virtual std::string Read(size_t aCount) = 0;
  // Decrypted bytes up to and including aTerminator.
  virtual std::string ReadUntil(const std::string& aTerminator) = 0;
  virtual void Write(const std::string& aData) = 0;
  // Sends close_notify and closes the socket (a clean TLS close).
  virtual void CloseNotify() = 0;
  // Closes with a TCP reset, without any TLS goodbye.
  virtual void Reset() = 0;
  // Closes TCP without close_notify: to the client, a cut connection.
  virtual void CloseWithoutNotify() = 0;
  // Sends aData as one record but puts only the first aRawBytes bytes of it
  // (record header included) on the wire, so the client holds part of a record.
  virtual void WriteCutRecord(const std::string& aData, size_t aRawBytes) = 0;
  virtual int Fd() const = 0;
  // Updates the keys (TLS 1.3) and asks the client to update its own.
  virtual void KeyUpdate() = 0;
  // Asks the client for a new handshake (TLS 1.2), which runs as the
  // connection is read; pending until it has.
  virtual void Renegotiate() = 0;
  virtual bool RenegotiationPending() const = 0;
  // The SNI name the client sent, the negotiated ALPN protocol and version.
  virtual std::string ServerName() const = 0;
  virtual std::string ALPNProtocol() const = 0;
  virtual std::string Version() const = 0;
  // The subject of the client's certificate ("" without one).
  virtual std::string PeerSubject() const = 0;
  // True when the client closed TLS cleanly (close_notify) before TCP.
  virtual bool ReadCloseNotify() = 0;
};

// The TLS forms of the hostile answers of qtxTestHostile.h. aAnswer goes out
// as one record, of which only the first aCut bytes on the wire are sent, so
// a cut falls inside the record; Close leaves out close_notify.
void SendHostile(TTlsTestConnection& aConnection, const std::string& aAnswer, size_t aCut, TPeerEnd aEnd);
size_t FloodHeaderLines(TTlsTestConnection& aConnection, std::string_view aHead, size_t aLimit = kFloodLimit);

// An in-process TLS server on 127.0.0.1 that runs a script for each
// accepted connection, one connection at a time, on its own thread.
class TTlsTestServer {
public:
  struct TOptions {
    std::string CertFile;
    std::string KeyFile;
    int MinVersion = 0;  // 0x0303 = TLS 1.2, 0x0304 = TLS 1.3; 0 = library default
    int MaxVersion = 0;
    std::vector<std::string> ALPN;  // protocols the server accepts, by preference
    // Before TLS: read one line in the clear and answer "GO\r\n" (a STARTTLS).
    bool PlainPrelude = false;
    // When set, the client must present a certificate issued by this CA.
    std::string ClientCAFile;
  };
  using TScript = std::function<void(TTlsTestConnection& aConnection)>;

  TTlsTestServer(TOptions aOptions, TScript aScript);
  ~TTlsTestServer();
  TTlsTestServer(const TTlsTestServer&) = delete;
  TTlsTestServer& operator=(const TTlsTestServer&) = delete;

  uint16_t Port() const noexcept { return FPort; }
  // What the last connection's prelude line was, and how its handshake ended.
  std::string PreludeLine() const;
  std::string ServerName() const;
  std::string HandshakeError() const;
  int Handshakes() const noexcept { return FHandshakes.load(); }
  // Waits (bounded) until aCount handshakes have finished, well or badly.
  bool WaitForHandshakes(int aCount) const;
  // The script's failure, if any.
  std::string ScriptError() const;

private:
  struct TImpl;
  void Run();

  std::unique_ptr<TImpl> FImpl;
  TOptions FOptions;
  TScript FScript;
  int FListenFd = -1;
  uint16_t FPort = 0;
  std::atomic<int> FHandshakes{0};
  std::atomic<bool> FStop{false};
  mutable std::mutex FLock;
  std::string FPreludeLine;
  std::string FServerName;
  std::string FHandshakeError;
  std::string FScriptError;
  std::thread FThread;
};

// `openssl s_server` on a loopback port, with its arguments, stopped when
// the object goes.
class TOpenSSLServer {
public:
  explicit TOpenSSLServer(const std::vector<std::string>& aArgs);
  ~TOpenSSLServer();
  TOpenSSLServer(const TOpenSSLServer&) = delete;
  TOpenSSLServer& operator=(const TOpenSSLServer&) = delete;

  uint16_t Port() const noexcept { return FPort; }

private:
  pid_t FPid = -1;
  int FOutput = -1;  // kept open: the server must not write into a closed pipe
  uint16_t FPort = 0;
};

}  // namespace qtx::test
