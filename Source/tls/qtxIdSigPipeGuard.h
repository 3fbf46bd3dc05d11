#pragma once
// OpenSSL's own socket BIO writes with write(), so a peer that has gone away
// raises SIGPIPE, whose default action ends the process. Where the session
// cannot use the loader's no-signal socket BIO (1.0), the guard blocks
// SIGPIPE on the calling thread for the duration of one OpenSSL call and
// discards a SIGPIPE that the call raised; the call then fails with EPIPE
// like any other socket error.

#include <signal.h>

namespace qtx {

class TIdSigPipeGuard {
public:
  // An inactive guard does nothing.
  explicit TIdSigPipeGuard(bool aActive = true);
  ~TIdSigPipeGuard();
  TIdSigPipeGuard(const TIdSigPipeGuard&) = delete;
  TIdSigPipeGuard& operator=(const TIdSigPipeGuard&) = delete;

private:
  bool FActive;
  sigset_t FOldMask;
  bool FWasBlocked;
};

}  // namespace qtx
