#include "server/access_token.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace lxm::server {

std::string_view RoleName(Role role) {
  return role == Role::kAdministrator ? "administrator" : "user";
}

std::optional<Role> RoleNamed(std::string_view name) {
  if (name == "user") return Role::kUser;
  if (name == "administrator") return Role::kAdministrator;
  return std::nullopt;
}

Sha256Digest Sha256(std::string_view data) {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    throw std::runtime_error("SHA-256 is not available from OpenSSL");
  }
  return digest;
}

std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex) {
  Sha256Digest digest{};
  if (hex.size() != digest.size() * 2) return std::nullopt;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < digest.size(); ++i) {
    int high = nibble(hex[2 * i]);
    int low = nibble(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return digest;
}

const AccessGrant* TokenMap::Find(std::string_view token) const {
  const Sha256Digest presented = Sha256(token);
  const AccessGrant* found = nullptr;
  for (const AccessGrant& grant : grants_) {
    unsigned char difference = 0;
    for (size_t i = 0; i < presented.size(); ++i) difference |= presented[i] ^ grant.digest[i];
    // No early exit: the reader refuses a digest given twice, so at most one
    // entry matches.
    if (difference == 0) found = &grant;
  }
  return found;
}

}  // namespace lxm::server
