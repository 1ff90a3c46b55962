// The JSON request decoder and the value codec: a request body as the server
// reads it, each decoded value written back as JSON and as text for people.
//
// Expected outcomes: values, or the RequestError (400) the server answers a
// bad body with; for a bare value text, a DecodeError. Whatever is decoded
// must encode, read back and encode to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/request_body.h"
#include "server/json_codec.h"
#include "server/request_error.h"
#include "server/value_text.h"

namespace {

using lxm::Variant;
using lxm::fuzz::Fail;

void CheckRoundTrip(const Variant& value) {
  std::string text = lxm::server::EncodeValue(value);
  Variant again;
  try {
    again = lxm::server::ParseValue(text);
  } catch (const lxm::server::DecodeError& error) {
    Fail("an encoded value does not read back: " + std::string(error.what()) + " in " + text);
  }
  if (lxm::server::EncodeValue(again) != text) {
    Fail("a value changed on its way through JSON: " + text + " became " +
         lxm::server::EncodeValue(again));
  }
  // A reply in pieces is the same text.
  std::string out;
  lxm::server::Pieces pieces;
  lxm::server::EncodeValue(value, &out, &pieces);
  std::string joined;
  for (const auto& piece : pieces) joined += *piece;
  if (joined + out != text) Fail("a reply in pieces differs from the plain text");
  lxm::server::FormatValue(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  try {
    for (const Variant& value : lxm::fuzz::ReadArguments(body)) CheckRoundTrip(value);
  } catch (const lxm::server::RequestError& error) {
    if (error.status() != 400) Fail("a body refused with status " + std::to_string(error.status()));
  }
  // The same text as one value (the command line's `call` reads the
  // server's replies so).
  try {
    CheckRoundTrip(lxm::server::ParseValue(body));
  } catch (const lxm::server::DecodeError&) {
  }
  return 0;
}
