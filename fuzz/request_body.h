// The request body read as the server reads it before a method runs, with
// a check that the quick flat reader and the full decoder agree.
#ifndef LXM_FUZZ_REQUEST_BODY_H_
#define LXM_FUZZ_REQUEST_BODY_H_

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_util.h"
#include "platform/variant.h"
#include "server/arguments.h"
#include "server/flat_arguments.h"
#include "server/json_codec.h"
#include "server/request_error.h"

namespace lxm::fuzz {

// Stops the run with a message: a broken promise of the code under test.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

inline std::string EncodeAll(const std::vector<Variant>& values) {
  std::string out = "[";
  for (const Variant& value : values) {
    if (out.size() > 1) out.push_back(',');
    server::EncodeValue(value, &out);
  }
  out.push_back(']');
  return out;
}

// The body's arguments as the server reads them. Where the flat reader
// answers, the full decoder must give the very same values.
inline std::vector<Variant> ReadArguments(std::string_view body) {
  if (TrimSpaces(body).empty()) return {};
  std::optional<std::vector<Variant>> flat = server::ReadFlatArguments(body);
  if (!flat) return server::ParseArguments(body);
  std::vector<Variant> full;
  try {
    full = server::DecodeArgumentsJson(body);
  } catch (const server::RequestError& error) {
    Fail("the flat reader took a body the full decoder refuses: " + std::string(error.what()));
  }
  if (EncodeAll(*flat) != EncodeAll(full)) {
    Fail("the flat reader and the full decoder differ: " + EncodeAll(*flat) + " vs " +
         EncodeAll(full));
  }
  return std::move(*flat);
}

}  // namespace lxm::fuzz

#endif  // LXM_FUZZ_REQUEST_BODY_H_
