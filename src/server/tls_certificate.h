// TlsCertificate: the server's certificate and key, as a TLS context that
// new connections take, re-read on demand (SIGHUP) without a restart.
//
// Only TLS 1.2 and later are spoken. A reload that fails (a file missing,
// the key not matching the certificate) keeps the context in use, so a
// half-renewed certificate never takes the service down.
//
// Thread-safety: every method may be called from any thread.
#ifndef LXM_SERVER_TLS_CERTIFICATE_H_
#define LXM_SERVER_TLS_CERTIFICATE_H_

#include <memory>
#include <mutex>
#include <string>

#include <boost/asio/ssl/context.hpp>

namespace lxm::server {

class TlsCertificate {
 public:
  // Reads both files now; throws std::runtime_error naming the file that
  // could not be used.
  TlsCertificate(std::string certificate_file, std::string key_file);

  // The context for a new connection; it lives as long as one holds it.
  std::shared_ptr<boost::asio::ssl::context> Current() const;

  // Reads the files again. Empty when the new certificate is in use, else
  // why not (the old one stays).
  std::string Reload();

 private:
  std::shared_ptr<boost::asio::ssl::context> Load() const;

  const std::string certificate_file_;
  const std::string key_file_;
  mutable std::mutex mutex_;
  std::shared_ptr<boost::asio::ssl::context> current_;
};

}  // namespace lxm::server

#endif  // LXM_SERVER_TLS_CERTIFICATE_H_
