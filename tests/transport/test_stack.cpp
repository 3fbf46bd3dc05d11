// The socket stack: its life cycle, error codes and texts, and name
// resolution. Nothing here sends traffic beyond the loopback address: names
// that are looked up are either literals or fail before any query is sent.

#include <netdb.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "support/qtxTestHelpers.h"

#include "support/qtxTestSockets.h"
#include "transport/qtxIdSocketError.h"
#include "transport/qtxIdSocketHandle.h"
#include "transport/qtxIdStackPosix.h"

namespace qtx {
namespace {

using test::Raised;

// Holds one use of the stack for the test.
struct TStackUse {
  TStackUse() { TIdStack::IncUsage(); }
  ~TStackUse() { TIdStack::DecUsage(); }
  TIdStack& Stack() { return *GStack(); }
};

TEST(StackLifeCycle, FirstUseCreatesTheStackAndLastUseFreesIt) {
  ASSERT_EQ(TIdStack::Usage(), 0);
  EXPECT_EQ(GStack(), nullptr);
  {
    TStackUse first;
    TIdStack* created = GStack();
    ASSERT_NE(created, nullptr);
    {
      TStackUse second;
      EXPECT_EQ(GStack(), created);
      EXPECT_EQ(TIdStack::Usage(), 2);
    }
    EXPECT_EQ(GStack(), created);
  }
  EXPECT_EQ(GStack(), nullptr);
  EXPECT_EQ(TIdStack::Usage(), 0);
}

TEST(StackLifeCycle, ASecondStackObjectIsRefused) {
  TStackUse use;
  auto e = Raised<EIdStackError>([] { TIdStackPosix another; });
  EXPECT_EQ(e.Message(), "Stack already created.");
  EXPECT_NE(GStack(), nullptr);
}

TEST(StackLifeCycle, WithoutAStackClassTheFirstUseFails) {
  ASSERT_EQ(TIdStack::Usage(), 0);
  TIdStack::SetStackClass({});
  auto e = Raised<EIdStackError>([] { TIdStack::IncUsage(); });
  TIdStack::SetStackClass([] { return std::make_unique<TIdStackPosix>(); });
  EXPECT_EQ(e.Message(), "Stack Class is undefined.");
  EXPECT_EQ(TIdStack::Usage(), 0);
}

TEST(SocketErrors, ARefusedConnectionCarriesCode10061AndItsText) {
  TStackUse use;
  test::TRefusingPort closed;
  TIdSocketHandle socket;
  socket.AllocateSocket();
  socket.SetPeer("127.0.0.1", closed.Port());
  auto e = Raised<EIdSocketError>([&] { socket.Connect(); });
  EXPECT_EQ(e.LastError(), 10061);
  EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
}

TEST(SocketErrors, AnOperationOnANonSocketRaisesEIdNotASocket) {
  TStackUse use;
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  auto e = Raised<EIdNotASocket>([&] { use.Stack().GetSocketOption(pipeEnds[0], Id_SOL_SOCKET, Id_SO_TYPE); });
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
  EXPECT_EQ(e.LastError(), 10038);
  EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
}

TEST(SocketErrors, AnAddressInUseCarriesCode10048) {
  TStackUse use;
  test::TTestListener listener;
  TIdSocketHandle socket;
  socket.SetIP("127.0.0.1");
  socket.SetPort(listener.Port());
  socket.SetReuseSocket(rsFalse);
  socket.AllocateSocket();
  auto e = Raised<EIdSocketError>([&] { socket.Bind(); });
  EXPECT_EQ(e.LastError(), 10048);
  EXPECT_EQ(e.Message(), "Socket Error # 10048\r\nAddress already in use.");
}

TEST(SocketErrors, ACodeWithoutTextGivesAnEmptyText) {
  auto e = Raised<EIdSocketError>([] { RaiseSocketError(11004); });
  EXPECT_EQ(e.Message(), "Socket Error # 11004\r\n");
}

TEST(SocketErrors, ErrnoValuesMapToTheirWinsockCodes) {
  EXPECT_EQ(WinsockCodeForErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockCodeForErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(WinsockCodeForErrno(ECONNRESET), 10054);
  EXPECT_EQ(WinsockCodeForErrno(ECONNABORTED), 10053);
  EXPECT_EQ(WinsockCodeForErrno(EPIPE), 10058);
  EXPECT_EQ(WinsockCodeForErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(WinsockCodeForErrno(EAGAIN), 10035);
}

TEST(SocketErrors, ResolverFailuresMapToTheirWinsockCodes) {
  EXPECT_EQ(WinsockCodeForResolverError(EAI_NONAME, 0), 11001);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_FAIL, 0), 11003);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_NODATA, 0), 11004);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_FAMILY, 0), 10047);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_SOCKTYPE, 0), 10044);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_SERVICE, 0), 10109);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketErrors, EveryResolverFailureIsReportedWithAnErrorCode) {
  // A name without an address of the family, or one that cannot be put in
  // its ASCII form, is not found; nothing maps to code 0.
  EXPECT_EQ(WinsockCodeForResolverError(EAI_ADDRFAMILY, 0), 11001);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_IDN_ENCODE, 0), 11001);
  EXPECT_EQ(WinsockCodeForResolverError(EAI_OVERFLOW, 0), 11003);
}

TEST(NameResolution, LocalhostNeedsNoResolverInAnyCase) {
  TStackUse use;
  EXPECT_EQ(use.Stack().ResolveHost("localhost", Id_IPv4), "127.0.0.1");
  EXPECT_EQ(use.Stack().ResolveHost("LocalHost", Id_IPv6), "::1");
}

TEST(NameResolution, AnIPv4LiteralIsReturnedAsItIs) {
  TStackUse use;
  EXPECT_EQ(use.Stack().ResolveHost("127.0.0.7", Id_IPv4), "127.0.0.7");
}

TEST(NameResolution, NumericFormsAreFormattedByTheResolver) {
  TStackUse use;
  EXPECT_EQ(use.Stack().ResolveHost("127.1", Id_IPv4), "127.0.0.1");
  EXPECT_EQ(use.Stack().ResolveHost("0:0:0:0:0:0:0:1", Id_IPv6), "::1");
}

TEST(NameResolution, AnUnresolvableNameRaisesHostNotFound) {
  TStackUse use;
  // A 64-character label is refused before any query leaves the machine.
  std::string name = std::string(64, 'a') + ".example";
  auto e = Raised<EIdSocketError>([&] { use.Stack().ResolveHost(name, Id_IPv4); });
  EXPECT_EQ(e.LastError(), 11001);
  EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
}

TEST(AddressText, DottedQuadsAreRecognised) {
  EXPECT_TRUE(TIdStack::IsIP("1.2.3.4"));
  EXPECT_TRUE(TIdStack::IsIP("255.255.255.255"));
  EXPECT_FALSE(TIdStack::IsIP("256.1.1.1"));
  EXPECT_FALSE(TIdStack::IsIP("1.2.3"));
  EXPECT_FALSE(TIdStack::IsIP("1.2.3.4.5"));
  EXPECT_FALSE(TIdStack::IsIP("1..3.4"));
  EXPECT_FALSE(TIdStack::IsIP("1.2.3.x"));
  EXPECT_FALSE(TIdStack::IsIP("-1.2.3.4"));
  EXPECT_FALSE(TIdStack::IsIP("localhost"));
}

TEST(AddressText, IPv6LiteralsAreCanonicalised) {
  EXPECT_TRUE(TIdStack::IsValidIPv6("::1"));
  EXPECT_FALSE(TIdStack::IsValidIPv6("127.0.0.1"));
  EXPECT_EQ(TIdStack::CompressIPv6("2001:0db8:0000:0000:0000:0000:0000:0001"), "2001:db8::1");
}

}  // namespace
}  // namespace qtx
