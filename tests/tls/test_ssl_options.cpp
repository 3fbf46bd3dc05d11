#include <gtest/gtest.h>

#include "tls/qtxIdSSLOpenSSL.h"

namespace qtx {
namespace {

TEST(TIdSSLOptions, DefaultsToTLS12And13ThroughTheFlexibleMethod) {
  TIdSSLOptions options;
  EXPECT_EQ(options.Method(), sslvSSLv23);
  EXPECT_EQ(options.SSLVersions(), (TIdSSLVersions{sslvTLSv1_2, sslvTLSv1_3}));
  EXPECT_EQ(options.Mode(), sslmUnassigned);
  EXPECT_EQ(options.VerifyDepth(), 0);
  EXPECT_TRUE(options.VerifyMode().Empty());
}

TEST(TIdSSLOptions, SSLv23AloneMeansEveryOtherVersion) {
  TIdSSLOptions options;
  options.SetSSLVersions({sslvSSLv23});
  EXPECT_EQ(options.SSLVersions().Bits(), 125u);
  EXPECT_EQ(options.Method(), sslvSSLv23);
}

TEST(TIdSSLOptions, SSLv23AmongOthersIsDropped) {
  TIdSSLOptions options;
  options.SetSSLVersions({sslvSSLv23, sslvTLSv1_2, sslvTLSv1_3});
  EXPECT_EQ(options.SSLVersions(), (TIdSSLVersions{sslvTLSv1_2, sslvTLSv1_3}));
  EXPECT_EQ(options.Method(), sslvSSLv23);
}

TEST(TIdSSLOptions, SeveralVersionsOrNoneUseTheFlexibleMethod) {
  TIdSSLOptions options;
  options.SetSSLVersions({sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2, sslvTLSv1_3});
  EXPECT_EQ(options.SSLVersions(), (TIdSSLVersions{sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2, sslvTLSv1_3}));
  EXPECT_EQ(options.Method(), sslvSSLv23);
  options.SetSSLVersions({});
  EXPECT_TRUE(options.SSLVersions().Empty());
  EXPECT_EQ(options.Method(), sslvSSLv23);
}

TEST(TIdSSLOptions, ASingleVersionIsAlsoTheMethod) {
  TIdSSLOptions options;
  options.SetSSLVersions({sslvTLSv1_3});
  EXPECT_EQ(options.Method(), sslvTLSv1_3);
  options.SetSSLVersions({sslvSSLv23, sslvTLSv1_2});
  EXPECT_EQ(options.Method(), sslvTLSv1_2);
}

TEST(TIdSSLOptions, SettingTheMethodSetsTheVersions) {
  TIdSSLOptions options;
  options.SetMethod(sslvSSLv23);
  EXPECT_EQ(options.SSLVersions().Bits(), 125u);
  options.SetMethod(sslvTLSv1_2);
  EXPECT_EQ(options.SSLVersions(), TIdSSLVersions{sslvTLSv1_2});
}

TEST(TIdSSLOptions, CopiesAsAValue) {
  TIdSSLOptions options;
  options.SetRootCertFile("ca.pem");
  options.SetVerifyMode({sslvrfPeer});
  TIdSSLOptions copy = options;
  options.SetRootCertFile("other.pem");
  EXPECT_EQ(copy.RootCertFile(), "ca.pem");
  EXPECT_TRUE(copy.VerifyMode().Contains(sslvrfPeer));
  EXPECT_EQ(copy.VerifyMode().Bits(), 1u) << "verify bits go to OpenSSL unchanged";
}

}  // namespace
}  // namespace qtx
