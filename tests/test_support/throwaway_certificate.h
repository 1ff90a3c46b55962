// A self-signed certificate for 127.0.0.1 and localhost, made by the
// `openssl` command in a folder of its own, for tests that speak HTTPS.
#ifndef LXM_TESTS_TEST_SUPPORT_THROWAWAY_CERTIFICATE_H_
#define LXM_TESTS_TEST_SUPPORT_THROWAWAY_CERTIFICATE_H_

#include <string>

#include "test_support/scratch_account.h"

namespace lxm::test {

class ThrowawayCertificate {
 public:
  // Throws std::runtime_error when openssl fails.
  ThrowawayCertificate();

  // Makes a new key and certificate in the same two files (a renewal).
  void Renew();

  const std::string& certificate_file() const { return certificate_file_; }
  const std::string& key_file() const { return key_file_; }

 private:
  TempDir dir_;
  std::string certificate_file_;
  std::string key_file_;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_THROWAWAY_CERTIFICATE_H_
