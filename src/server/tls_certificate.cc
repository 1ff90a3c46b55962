// Boost 1.74's Asio uses std::exchange without including <utility> (GCC 12).
#include <utility>

#include "server/tls_certificate.h"

#include <openssl/ssl.h>

#include <stdexcept>

namespace lxm::server {

namespace ssl = boost::asio::ssl;

TlsCertificate::TlsCertificate(std::string certificate_file, std::string key_file)
    : certificate_file_(std::move(certificate_file)), key_file_(std::move(key_file)), current_(Load()) {}

std::shared_ptr<ssl::context> TlsCertificate::Load() const {
  auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_compression |
                       ssl::context::single_dh_use);
  SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_2_VERSION);
  boost::system::error_code ec;
  context->use_certificate_chain_file(certificate_file_, ec);
  if (ec) {
    throw std::runtime_error("Cannot use the TLS certificate " + certificate_file_ + " (" + ec.message() +
                             "): it must be a PEM file, the certificate first, then any chain.");
  }
  context->use_private_key_file(key_file_, ssl::context::pem, ec);
  if (ec) {
    throw std::runtime_error("Cannot use the TLS key " + key_file_ + " (" + ec.message() +
                             "): it must be the PEM private key of " + certificate_file_ + ".");
  }
  if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
    throw std::runtime_error("The TLS key " + key_file_ + " is not the key of the certificate " +
                             certificate_file_ + ".");
  }
  return context;
}

std::shared_ptr<ssl::context> TlsCertificate::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_;
}

std::string TlsCertificate::Reload() {
  std::shared_ptr<ssl::context> fresh;
  try {
    fresh = Load();
  } catch (const std::exception& error) {
    return error.what();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  current_ = std::move(fresh);
  return {};
}

}  // namespace lxm::server
