#pragma once
// A GoogleTest suite whose tests share one set of test certificates, made once
// for the suite in a folder of its own. Without the openssl command there are
// none, and every test of the suite is skipped.
#include <gtest/gtest.h>

#include <memory>

#include "temp_dir.h"
#include "test_certificates.h"

namespace kalvoran::test {

class CertificateSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TestCertificates::Openssl().empty()) return;
    pki = std::make_unique<TempDir>("kalvoran-pki");
    certificates = std::make_unique<TestCertificates>(pki->Path());
  }
  static void TearDownTestSuite() {
    certificates.reset();
    pki.reset();
  }
  void SetUp() override {
    if (!certificates) GTEST_SKIP() << "openssl is not installed";
  }

  inline static std::unique_ptr<TempDir> pki;
  inline static std::unique_ptr<TestCertificates> certificates;
};

}  // namespace kalvoran::test
