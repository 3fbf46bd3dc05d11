#include "tls/qtxIdSigPipeGuard.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace qtx {
namespace {

sigset_t SigPipeSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

}  // namespace

TIdSigPipeGuard::TIdSigPipeGuard(bool aActive) : FActive(aActive), FOldMask(), FWasBlocked(false) {
  if (!FActive) return;
  const sigset_t pipe = SigPipeSet();
  pthread_sigmask(SIG_BLOCK, &pipe, &FOldMask);
  // A thread that blocks SIGPIPE itself keeps whatever is pending.
  FWasBlocked = sigismember(&FOldMask, SIGPIPE) == 1;
}

TIdSigPipeGuard::~TIdSigPipeGuard() {
  if (!FActive) return;
  const int savedErrno = errno;  // the caller reads the OpenSSL call's errno
  // Only a write to a vanished peer (EPIPE) raises SIGPIPE.
  if (!FWasBlocked && savedErrno == EPIPE) {
    const sigset_t pipe = SigPipeSet();
    const timespec noWait{0, 0};
    sigtimedwait(&pipe, nullptr, &noWait);
  }
  pthread_sigmask(SIG_SETMASK, &FOldMask, nullptr);
  errno = savedErrno;
}

}  // namespace qtx
