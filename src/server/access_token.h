// Access tokens: who a caller is, from the bearer token it presents.
//
// The serve configuration binds each token to a user ID and a role. The file
// holds the token's SHA-256 digest only, so that reading the file does not
// give anyone a token; the host hashes what a request presents and looks the
// digest up.
//
//   [[access_token]]
//   sha256 = "<64 hex digits>"     # printf %s "$TOKEN" | sha256sum
//   user_id = 16394
//   role = "user"                  # or "administrator"
//
// Thread-safety: a built TokenMap is immutable and read from any thread.
#ifndef LXM_SERVER_ACCESS_TOKEN_H_
#define LXM_SERVER_ACCESS_TOKEN_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lxm::server {

using Sha256Digest = std::array<unsigned char, 32>;

enum class Role {
  kUser,           // acts on its own user's tree and favourites only
  kAdministrator,  // any user, the template and the administrative operations
};

// "user" or "administrator".
std::string_view RoleName(Role role);
// The role of that name (exactly as RoleName spells it), or nothing.
std::optional<Role> RoleNamed(std::string_view name);

// What a request's token grants.
struct AccessGrant {
  Sha256Digest digest{};
  int32_t user_id = 0;
  Role role = Role::kUser;
};

Sha256Digest Sha256(std::string_view data);
// 64 hexadecimal digits (either case), or nothing.
std::optional<Sha256Digest> ParseSha256Hex(std::string_view hex);

class TokenMap {
 public:
  TokenMap() = default;
  explicit TokenMap(std::vector<AccessGrant> grants) : grants_(std::move(grants)) {}

  bool empty() const { return grants_.empty(); }
  size_t size() const { return grants_.size(); }

  // The grant of a presented token, or nullptr. Every entry is compared,
  // each byte of each, so that the time taken tells nothing of how close a
  // guess came.
  const AccessGrant* Find(std::string_view token) const;

 private:
  std::vector<AccessGrant> grants_;
};

}  // namespace lxm::server

#endif  // LXM_SERVER_ACCESS_TOKEN_H_
