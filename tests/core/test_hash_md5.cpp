#include <gtest/gtest.h>

#include <string>

#include "core/qtxIdHashMessageDigest.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::Hex;


std::string Md5Of(std::string_view aText) {
  return Hex(TIdHashMessageDigest5::HashBytes(TIdBytes(aText.begin(), aText.end())));
}

// The test suite of RFC 1321, appendix A.5.
TEST(HashMD5, Rfc1321TestSuite) {
  EXPECT_EQ(Md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Of("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(HashMD5, PaddingBoundaryLengths) {
  // 55 bytes fit one block with the length; 56 and 64 need a second one.
  EXPECT_EQ(Md5Of(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Md5Of(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Md5Of(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(HashMD5, PiecewiseUpdatesEqualOneShot) {
  const std::string text(1000, 'x');
  TIdHashMessageDigest5 hash;
  size_t pos = 0;
  for (size_t step : {1u, 63u, 2u, 64u, 129u, 741u}) {
    hash.Update(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()) + pos, step));
    pos += step;
  }
  ASSERT_EQ(pos, text.size());
  EXPECT_EQ(Hex(hash.Final()), Md5Of(text));
  // Final starts the hash over.
  EXPECT_EQ(Hex(hash.Final()), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace qtx
