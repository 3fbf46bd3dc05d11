#pragma once
// The security context behind a context handle: one GnuTLS client session
// over buffers in memory. GnuTLS reads through a window on the caller's
// bytes that holds whole records only, one record per read, and writes into
// an output buffer that becomes the caller's token or record.
//
// The handshake runs on a thread of its own, so that it can stop where SSPI
// stops it and go on later from the same point: when it needs records that
// have not arrived yet, and when the server asks for a client certificate
// that the credentials do not hold (GnuTLS asks for the certificate in a
// callback that cannot be left and re-entered). The caller's thread and the
// handshake thread take turns; never both run.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gnutls/gnutls.h>

#include "tls/provider/qtxSecurityCredentials.h"
#include "tls/provider/qtxSecurityProvider.h"

namespace qtx {

class TSecurityContext {
public:
  TSecurityContext() = default;
  ~TSecurityContext();
  TSecurityContext(const TSecurityContext&) = delete;
  TSecurityContext& operator=(const TSecurityContext&) = delete;

  // InitializeSecurityContext after the handle checks.
  SECURITY_STATUS Initialize(const std::shared_ptr<TSecurityCredentials>& aCredentials, const char* aTargetName,
                             SecBufferDesc* aInput, SecBufferDesc* aOutput);
  SECURITY_STATUS ApplyControlToken(SecBufferDesc* aInput);
  SECURITY_STATUS QueryAttributes(uint32_t aAttribute, void* aBuffer);
  SECURITY_STATUS Encrypt(SecBufferDesc* aMessage);
  SECURITY_STATUS Decrypt(SecBufferDesc* aMessage);

  // GnuTLS's certificate callback for every context's credentials: the
  // client certificate the server asked for (the issuers it accepts are
  // kept for SECPKG_ATTR_ISSUER_LIST_EX).
  static int SelectClientCertificate(gnutls_session_t aSession, const gnutls_datum_t* aIssuers, int aIssuerCount,
                                     const gnutls_pk_algorithm_t*, int, gnutls_pcert_st** aChain,
                                     unsigned* aChainLength, gnutls_privkey_t* aKey);

private:
  enum class TState { Fresh, Handshaking, Established, Closed, Failed };
  // Why the handshake thread handed the turn back.
  enum class TStop { NeedRecords, NeedCredentials, Finished };

  SECURITY_STATUS Start(const std::shared_ptr<TSecurityCredentials>& aCredentials, const char* aTargetName,
                        const SecBuffer* aProtocols);
  SECURITY_STATUS ContinueHandshake(SecBuffer* aToken, SecBuffer* aExtra, SecBuffer* aOutput);
  SECURITY_STATUS Established(SecBuffer* aToken, SecBuffer* aExtra, SecBuffer* aOutput);
  void SetProtocols(const SecBuffer& aProtocols);
  // Hands GnuTLS a window on whole records of aData.
  void SetInput(const uint8_t* aData, size_t aSize);

  // Turn taking: the caller's side runs the handshake until it stops; the
  // handshake side hands the turn back and waits for it (false when the
  // context is going away).
  TStop RunHandshake();
  bool HandBack(TStop aStop);
  void HandshakeThread();
  void CancelHandshake();

  // GnuTLS's transport and callbacks.
  static ssize_t Pull(gnutls_transport_ptr_t aContext, void* aBuffer, size_t aSize);
  static ssize_t Push(gnutls_transport_ptr_t aContext, const void* aData, size_t aSize);
  static int PullTimeout(gnutls_transport_ptr_t aContext, unsigned aMilliseconds);
  static int OnKeyUpdate(gnutls_session_t aSession, unsigned aType, unsigned aWhen, unsigned aIncoming,
                         const gnutls_datum_t* aMessage);

  SECURITY_STATUS ConnectionInfo(SecPkgContext_ConnectionInfo& aInfo) const;
  SECURITY_STATUS RemoteCertificate(PCCERT_CONTEXT& aCertificate) const;

  TState FState = TState::Fresh;
  gnutls_session_t FSession = nullptr;
  // The credentials of the session, and those whose client certificate
  // answers the server's request (the latest given).
  std::shared_ptr<TSecurityCredentials> FCredentials;
  std::shared_ptr<TSecurityCredentials> FClientCredentials;

  // What GnuTLS may read: [FInPos, FInEnd) of FIn, never past FRecordEnd in
  // one read.
  const uint8_t* FIn = nullptr;
  size_t FInEnd = 0;
  size_t FInPos = 0;
  size_t FRecordEnd = 0;
  // What GnuTLS wrote since the call began, and output owed to the peer
  // from a post-handshake exchange or a close (sent as the next token).
  TBytes FOut;
  TBytes FOwed;
  bool FKeyUpdateRequested = false;
  bool FShutdownRequested = false;
  bool FRenegotiate = false;

  std::vector<TBytes> FIssuers;
  std::vector<CERT_NAME_BLOB> FIssuerBlobs;

  std::thread FHandshake;
  std::mutex FTurnLock;
  std::condition_variable FTurnChanged;
  bool FHandshakeTurn = false;
  bool FCancelled = false;
  // The handshake thread's id: GnuTLS's reads there wait for records.
  std::thread::id FHandshakeThreadId;
  TStop FStop = TStop::Finished;
  int FHandshakeResult = 0;
};

}  // namespace qtx
