// The request body read as the server reads it before a method runs: the
// flat fast path first, else the depth-limited parse and the value decoder.
// The dispatcher keeps its own copy private; this one follows it step for
// step so that the fuzz targets reach the same code with the same limits.
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

// The body's arguments through the full decoder. Raises RequestError (400)
// as the server does.
inline std::vector<Variant> DecodeArguments(std::string_view body) {
  nlohmann::ordered_json json;
  try {
    // The body and "args" are two levels above the arguments' own.
    json = server::ParseJson(body, server::kMaxNestingDepth + 2);
  } catch (const server::MalformedJson& error) {
    throw server::RequestError(400, "malformed_json", error.what());
  }
  if (!json.is_object()) throw server::RequestError(400, "bad_request", "not an object");
  auto args = json.find("args");
  if (args == json.end()) return {};
  if (!args->is_array()) throw server::RequestError(400, "bad_request", "args not an array");
  std::vector<Variant> values;
  for (const auto& arg : *args) {
    try {
      values.push_back(server::DecodeValue(arg));
    } catch (const server::DecodeError& error) {
      throw server::RequestError(400, "bad_request", error.what());
    }
  }
  return values;
}

// The body's arguments as the server reads them. Where the flat reader
// answers, the full decoder must give the very same values.
inline std::vector<Variant> ReadArguments(std::string_view body) {
  if (TrimSpaces(body).empty()) return {};
  std::optional<std::vector<Variant>> flat = server::ReadFlatArguments(body);
  if (!flat) return DecodeArguments(body);
  std::vector<Variant> full;
  try {
    full = DecodeArguments(body);
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
