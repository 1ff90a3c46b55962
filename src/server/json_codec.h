// The JSON form of a Variant, as the server sends and receives values.
//
//   Null            null                 Empty      {"$empty": true}
//   Boolean         true / false         Long       42
//   Double          2.5, 3.0 (always with a fraction or exponent)
//   String          "text"               Bytes      {"$bytes": "<base64>"}
//   Dictionary      {"key": value, ...}  (key order kept)
//   Vector          [value, ...]
//   Recordset       {"$recordset": {"fields": [{"name": "FID", "type": "Integer"}, ...],
//                                   "rows": [[1, "x", null], ...]}}
//
// Reading, an integer that fits in 32 bits is a Long and any other number a
// Double. A dictionary whose only key begins with "$" is written as
// {"$dictionary": {...}} so that it cannot be taken for one of the tagged
// forms. Objects that are nothing are written as null; a Double that is not
// finite too. Other objects (components) have no JSON form and are written as
// {"$object": "Object"}, which reads back as an error.
//
// Writing is a hand-written streaming encoder (a level of thousands of rows
// is written straight from the recordset); a recordset's text is kept with
// its shared rows, so a level handed to many callers is encoded once.
// Reading goes through nlohmann::ordered_json, built by a depth-limited SAX
// parse.
#ifndef LXM_SERVER_JSON_CODEC_H_
#define LXM_SERVER_JSON_CODEC_H_

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/recordset.h"
#include "platform/variant.h"

namespace lxm::server {

// A JSON text or document that names no value (malformed, an unknown tag,
// a recordset row of the wrong length, nesting too deep, ...).
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Containers nested deeper than this are refused when reading.
inline constexpr int kMaxNestingDepth = 64;

// A text that is not JSON, holds a number no double can hold, or nests
// containers deeper than the parse allows. `path()` locates the value being
// read when it failed: keys and 0-based indices from the outside in.
class MalformedJson : public DecodeError {
 public:
  MalformedJson(const std::string& what, std::vector<std::string> path)
      : DecodeError(what), path_(std::move(path)) {}
  const std::vector<std::string>& path() const { return path_; }

 private:
  std::vector<std::string> path_;
};

// Parses a JSON text, refusing (MalformedJson) containers nested more than
// `max_depth` deep as soon as the parse reaches them, so that a text of
// brackets costs no more than its size.
nlohmann::ordered_json ParseJson(std::string_view text, int max_depth);

// Appends the JSON form of `value` to `out`.
void EncodeValue(const Variant& value, std::string* out);
std::string EncodeValue(const Variant& value);

// Shared texts in a reply: recordset texts at least this long are not
// copied into the reply but sent from where they are kept.
inline constexpr size_t kSharedPieceBytes = 64 * 1024;
using Pieces = std::vector<std::shared_ptr<const std::string>>;

// Appends like EncodeValue, except that a recordset text of at least
// kSharedPieceBytes is not copied: what `out` holds moves into `pieces`
// first, then the shared text follows it. The whole JSON text is the pieces,
// then `out`.
void EncodeValue(const Variant& value, std::string* out, Pieces* pieces);

// The JSON form of a recordset's data; made once per shared data and kept
// with it.
std::shared_ptr<const std::string> EncodedRecordset(const Recordset& recordset);

// Appends `text` as a JSON string literal. Bytes that are not UTF-8 are
// written as U+FFFD.
void AppendJsonString(std::string_view text, std::string* out);

// The value a parsed document stands for. Raises DecodeError.
Variant DecodeValue(const nlohmann::ordered_json& json);
// Parses and decodes a JSON text. Raises DecodeError.
Variant ParseValue(std::string_view text);

std::string EncodeBase64(const Bytes& bytes);
// Appends the base64 text of `bytes` to `out`, growing it once.
void AppendBase64(const Bytes& bytes, std::string* out);
// Raises DecodeError on characters outside the alphabet or a bad length;
// the trailing "=" padding may be left out.
Bytes DecodeBase64(std::string_view text);

}  // namespace lxm::server

#endif  // LXM_SERVER_JSON_CODEC_H_
