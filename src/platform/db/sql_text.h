// Finding one's way through statement text outside quotes and comments, for
// the few places that read our own statements (placeholders, identifiers).
#ifndef LXM_PLATFORM_DB_SQL_TEXT_H_
#define LXM_PLATFORM_DB_SQL_TEXT_H_

#include <cstddef>
#include <string_view>

namespace lxm {

// Just past the quoted text (a literal or a quoted name) whose opening quote
// is at `at`; a doubled quote stays inside. The end of `sql` when unclosed.
size_t EndOfQuoted(std::string_view sql, size_t at);

// The newline that ends the "--" comment starting at `at`, or the end of
// `sql`.
size_t EndOfComment(std::string_view sql, size_t at);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_SQL_TEXT_H_
