#pragma once
// OpenSSL writes to its socket with write(), so a peer that has gone away
// raises SIGPIPE, whose default action ends the process. The guard blocks
// SIGPIPE on the calling thread for the duration of one OpenSSL call and
// discards a SIGPIPE that the call raised; the call then fails with EPIPE
// like any other socket error.

#include <signal.h>

namespace qtx {

class TIdSigPipeGuard {
public:
  TIdSigPipeGuard();
  ~TIdSigPipeGuard();
  TIdSigPipeGuard(const TIdSigPipeGuard&) = delete;
  TIdSigPipeGuard& operator=(const TIdSigPipeGuard&) = delete;

private:
  sigset_t FOldMask;
  bool FWasPending;
};

}  // namespace qtx
