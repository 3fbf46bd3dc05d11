#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tls/qtxIdSigPipeGuard.h"

namespace qtx {
namespace {

bool SigPipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

TEST(TIdSigPipeGuard, AWriteToAClosedPeerFailsWithEPIPEAndLeavesNoSignal) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  close(pair[1]);
  ssize_t written;
  int error;
  {
    TIdSigPipeGuard guard;
    written = write(pair[0], "x", 1);  // what OpenSSL's own socket BIO does
    error = errno;
  }
  close(pair[0]);
  EXPECT_EQ(written, -1);
  EXPECT_EQ(error, EPIPE);
  EXPECT_FALSE(SigPipePending());
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGPIPE)) << "the thread's signal mask is restored";
}

}  // namespace
}  // namespace qtx
