#include "test_support/throwaway_certificate.h"

#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace lxm::test {

ThrowawayCertificate::ThrowawayCertificate()
    : certificate_file_((dir_.path() / "cert.pem").string()), key_file_((dir_.path() / "key.pem").string()) {
  Renew();
}

void ThrowawayCertificate::Renew() {
  // An elliptic-curve key: made in milliseconds, unlike RSA.
  std::vector<std::string> words = {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj",
                                    "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                                    "-keyout", key_file_, "-out", certificate_file_};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    // openssl's progress goes nowhere.
    freopen("/dev/null", "w", stderr);
    execvp("openssl", argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("openssl req could not make a certificate (is the openssl command installed?)");
  }
}

}  // namespace lxm::test
