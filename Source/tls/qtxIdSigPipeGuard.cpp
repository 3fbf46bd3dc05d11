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

bool SigPipePending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

TIdSigPipeGuard::TIdSigPipeGuard() {
  const sigset_t pipe = SigPipeSet();
  // A SIGPIPE pending before the call is not ours to discard.
  FWasPending = SigPipePending();
  pthread_sigmask(SIG_BLOCK, &pipe, &FOldMask);
}

TIdSigPipeGuard::~TIdSigPipeGuard() {
  const int savedErrno = errno;  // the caller reads the OpenSSL call's errno
  const sigset_t pipe = SigPipeSet();
  if (!FWasPending && SigPipePending()) {
    const timespec noWait{0, 0};
    sigtimedwait(&pipe, nullptr, &noWait);
  }
  pthread_sigmask(SIG_SETMASK, &FOldMask, nullptr);
  errno = savedErrno;
}

}  // namespace qtx
