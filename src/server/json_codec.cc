#include "server/json_codec.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/dictionary.h"

namespace lxm::server {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Length of the well-formed UTF-8 sequence starting at text[i] (a byte of
// 0x80 or more), or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t k) -> unsigned {
    return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
  };
  auto continuation = [&](size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
  unsigned lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    unsigned second = byte(1);
    // No overlong forms (E0 80..9F) and no surrogates (ED A0..BF).
    if (lead == 0xE0 && second < 0xA0) return 0;
    if (lead == 0xED && second > 0x9F) return 0;
    return continuation(1) && continuation(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    unsigned second = byte(1);
    if (lead == 0xF0 && second < 0x90) return 0;
    if (lead == 0xF4 && second > 0x8F) return 0;
    return continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}

void AppendInt(int64_t value, std::string* out) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, end);
}

// Always with a fraction or an exponent, so that a Double reads back as a
// Double and not as a Long.
void AppendDouble(double value, std::string* out) {
  if (!std::isfinite(value)) {
    out->append("null");
    return;
  }
  char buffer[40];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string_view text(buffer, static_cast<size_t>(end - buffer));
  out->append(text);
  if (text.find_first_of(".e") == std::string_view::npos) out->append(".0");
}

class Encoder {
 public:
  explicit Encoder(std::string* out, Pieces* pieces = nullptr) : out_(out), pieces_(pieces) {}

  void Value(const Variant& value, int depth) {
    switch (value.kind()) {
      case VariantKind::kEmpty: out_->append(R"({"$empty":true})"); return;
      case VariantKind::kNull: out_->append("null"); return;
      case VariantKind::kBoolean: out_->append(value.AsBool() ? "true" : "false"); return;
      case VariantKind::kLong: AppendInt(value.AsLong(), out_); return;
      case VariantKind::kDouble: AppendDouble(value.AsDouble(), out_); return;
      case VariantKind::kString: AppendJsonString(value.AsString(), out_); return;
      case VariantKind::kBytes:
        out_->append(R"({"$bytes":")");
        AppendBase64(value.AsBytes(), out_);
        out_->append("\"}");
        return;
      case VariantKind::kDictionary: WriteDictionary(value.AsDictionary().get(), depth); return;
      case VariantKind::kVector: WriteVector(value.AsVector().get(), depth); return;
      case VariantKind::kRecordset: {
        const std::shared_ptr<lxm::Recordset>& recordset = value.AsRecordset();
        if (recordset == nullptr) {
          out_->append("null");
          return;
        }
        std::shared_ptr<const std::string> text = EncodedRecordset(*recordset);
        if (pieces_ != nullptr && text->size() >= kSharedPieceBytes) {
          pieces_->push_back(std::make_shared<const std::string>(std::move(*out_)));
          out_->clear();
          pieces_->push_back(std::move(text));
        } else {
          out_->append(*text);
        }
        return;
      }
      case VariantKind::kObject:
        if (value.AsObject() == nullptr) {
          out_->append("null");
        } else {
          out_->append(R"({"$object":"Object"})");
        }
        return;
    }
  }

  void WriteRecordset(const lxm::RecordsetData& data) {
    const std::vector<Field>& fields = data.fields();
    const std::vector<Row>& rows = data.rows();
    // A rough guess that saves most reallocations of a large level.
    out_->reserve(out_->size() + 64 + fields.size() * 40 + rows.size() * (fields.size() * 12 + 4));
    out_->append(R"({"$recordset":{"fields":[)");
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out_->push_back(',');
      out_->append(R"({"name":)");
      AppendJsonString(fields[i].name, out_);
      out_->append(R"(,"type":")");
      out_->append(FieldTypeName(fields[i].type));
      out_->append("\"}");
    }
    out_->append(R"(],"rows":[)");
    for (size_t r = 0; r < rows.size(); ++r) {
      if (r > 0) out_->push_back(',');
      out_->push_back('[');
      const Row& row = rows[r];
      for (size_t c = 0; c < row.size(); ++c) {
        if (c > 0) out_->push_back(',');
        Value(row[c], 1);
      }
      out_->push_back(']');
    }
    out_->append("]}}");
  }

 private:
  void CheckDepth(int depth) {
    // Also stops a container that holds itself.
    if (depth > kMaxNestingDepth) {
      throw std::runtime_error("The value is nested too deeply to be sent as JSON.");
    }
  }

  void WriteDictionary(const lxm::Dictionary* dictionary, int depth) {
    if (dictionary == nullptr) {
      out_->append("null");
      return;
    }
    CheckDepth(depth + 1);
    const auto& entries = dictionary->entries();
    bool wrap = entries.size() == 1 && !entries.front().first.empty() &&
                entries.front().first.front() == '$';
    if (wrap) out_->append(R"({"$dictionary":)");
    out_->push_back('{');
    bool first = true;
    for (const auto& [key, item] : entries) {
      if (!first) out_->push_back(',');
      first = false;
      AppendJsonString(key, out_);
      out_->push_back(':');
      Value(item, depth + 1);
    }
    out_->push_back('}');
    if (wrap) out_->push_back('}');
  }

  void WriteVector(const lxm::Vector* vector, int depth) {
    if (vector == nullptr) {
      out_->append("null");
      return;
    }
    CheckDepth(depth + 1);
    out_->push_back('[');
    bool first = true;
    for (const Variant& item : vector->items()) {
      if (!first) out_->push_back(',');
      first = false;
      Value(item, depth + 1);
    }
    out_->push_back(']');
  }

  std::string* out_;
  Pieces* pieces_;
};

class Decoder {
 public:
  Variant Value(const Json& json, int depth) {
    switch (json.type()) {
      case Json::value_t::null: return Variant::Null();
      case Json::value_t::boolean: return Variant(json.get<bool>());
      case Json::value_t::number_integer: return Variant::FromInt64(json.get<int64_t>());
      case Json::value_t::number_unsigned: {
        uint64_t value = json.get<uint64_t>();
        if (value <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
          return Variant(static_cast<int32_t>(value));
        }
        return Variant(static_cast<double>(value));
      }
      case Json::value_t::number_float: return Variant(json.get<double>());
      case Json::value_t::string: return Variant(json.get_ref<const std::string&>());
      case Json::value_t::array: {
        CheckDepth(depth + 1);
        auto vector = lxm::Vector::Create();
        for (const Json& item : json) vector->Append(Value(item, depth + 1));
        return Variant(vector);
      }
      case Json::value_t::object: return ReadObject(json, depth);
      case Json::value_t::binary:
      case Json::value_t::discarded: break;
    }
    throw DecodeError("The JSON value has no Variant form.");
  }

 private:
  static void CheckDepth(int depth) {
    if (depth > kMaxNestingDepth) {
      throw DecodeError("Containers are nested more than " + std::to_string(kMaxNestingDepth) +
                        " deep.");
    }
  }

  Variant ReadObject(const Json& json, int depth) {
    CheckDepth(depth + 1);
    if (json.size() == 1) {
      const std::string& key = json.begin().key();
      if (!key.empty() && key.front() == '$') return ReadTagged(key, json.begin().value(), depth);
    }
    return Variant(ReadDictionary(json, depth));
  }

  std::shared_ptr<lxm::Dictionary> ReadDictionary(const Json& json, int depth) {
    auto dictionary = lxm::Dictionary::Create();
    for (auto it = json.begin(); it != json.end(); ++it) {
      dictionary->Set(it.key(), Value(it.value(), depth + 1));
    }
    return dictionary;
  }

  Variant ReadTagged(const std::string& tag, const Json& inner, int depth) {
    if (tag == "$empty") return Variant();
    if (tag == "$bytes") {
      if (!inner.is_string()) throw DecodeError("\"$bytes\" takes a base64 text.");
      return Variant(DecodeBase64(inner.get_ref<const std::string&>()));
    }
    if (tag == "$dictionary") {
      if (!inner.is_object()) throw DecodeError("\"$dictionary\" takes an object.");
      return Variant(ReadDictionary(inner, depth));
    }
    if (tag == "$recordset") return Variant(ReadRecordset(inner));
    throw DecodeError("Unknown tag \"" + tag +
                      "\" (a dictionary with one key beginning with \"$\" is written as "
                      "{\"$dictionary\": {...}}).");
  }

  static FieldType ReadFieldType(const Json& type) {
    FieldType result;
    if (type.is_string()) {
      if (FieldTypeFromName(type.get_ref<const std::string&>(), &result)) return result;
    } else if (type.is_number_integer()) {
      int64_t code = type.get<int64_t>();
      if (code >= 0 && code <= std::numeric_limits<int32_t>::max()) {
        result = static_cast<FieldType>(code);
        FieldType named;
        if (FieldTypeFromName(FieldTypeName(result), &named) && named == result) return result;
      }
    }
    throw DecodeError("Unknown recordset field type " + type.dump() + ".");
  }

  lxm::Recordset ReadRecordset(const Json& inner) {
    if (!inner.is_object() || !inner.contains("fields") || !inner["fields"].is_array()) {
      throw DecodeError("\"$recordset\" takes {\"fields\": [...], \"rows\": [...]}.");
    }
    std::vector<Field> fields;
    for (const Json& field : inner["fields"]) {
      if (!field.is_object() || !field.contains("name") || !field["name"].is_string() ||
          !field.contains("type")) {
        throw DecodeError("A recordset field is {\"name\": text, \"type\": type name}.");
      }
      fields.push_back({field["name"].get<std::string>(), ReadFieldType(field["type"])});
    }
    std::vector<Row> rows;
    if (inner.contains("rows")) {
      const Json& json_rows = inner["rows"];
      if (!json_rows.is_array()) throw DecodeError("Recordset \"rows\" is an array of arrays.");
      rows.reserve(json_rows.size());
      for (const Json& json_row : json_rows) {
        if (!json_row.is_array() || json_row.size() != fields.size()) {
          throw DecodeError("Each recordset row is an array of " + std::to_string(fields.size()) +
                            " values.");
        }
        Row row;
        row.reserve(fields.size());
        for (const Json& cell : json_row) {
          Variant value = Value(cell, 0);
          if (value.IsObject()) throw DecodeError("A recordset cell cannot hold a container.");
          row.push_back(std::move(value));
        }
        rows.push_back(std::move(row));
      }
    }
    return lxm::Recordset(std::move(fields), std::move(rows));
  }
};

}  // namespace

void AppendJsonString(std::string_view text, std::string* out) {
  out->push_back('"');
  size_t run_start = 0;
  size_t i = 0;
  auto flush = [&] { out->append(text.data() + run_start, i - run_start); };
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      if (size_t length = Utf8SequenceLength(text, i); length > 0) {
        i += length;
        continue;
      }
      flush();
      out->append(kReplacementCharacter);
    } else {
      flush();
      switch (c) {
        case '"': out->append("\\\""); break;
        case '\\': out->append("\\\\"); break;
        case '\b': out->append("\\b"); break;
        case '\f': out->append("\\f"); break;
        case '\n': out->append("\\n"); break;
        case '\r': out->append("\\r"); break;
        case '\t': out->append("\\t"); break;
        default: {
          static constexpr char kHex[] = "0123456789abcdef";
          char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
          out->append(escape, sizeof escape);
        }
      }
    }
    ++i;
    run_start = i;
  }
  flush();
  out->push_back('"');
}

void EncodeValue(const Variant& value, std::string* out) { Encoder(out).Value(value, 0); }

void EncodeValue(const Variant& value, std::string* out, Pieces* pieces) {
  Encoder(out, pieces).Value(value, 0);
}

std::string EncodeValue(const Variant& value) {
  std::string out;
  EncodeValue(value, &out);
  return out;
}

std::shared_ptr<const std::string> EncodedRecordset(const Recordset& recordset) {
  return recordset.data()->Encoded([](const RecordsetData& data) {
    std::string out;
    Encoder(&out).WriteRecordset(data);
    // The text is kept (and counted in the cache's bound) as long as the
    // rows: room the guess or the doubling left over would be kept with it.
    if (out.capacity() - out.size() > out.size() / 16) out.shrink_to_fit();
    return out;
  });
}

namespace {

// Builds the document as nlohmann's own DOM parser does, but stops at the
// first container past the depth limit and remembers where it failed.
class LimitedDomBuilder {
 public:
  using NumberInteger = Json::number_integer_t;
  using NumberUnsigned = Json::number_unsigned_t;
  using NumberFloat = Json::number_float_t;
  using String = Json::string_t;
  using Binary = Json::binary_t;

  explicit LimitedDomBuilder(int max_depth) : max_depth_(max_depth) {}

  bool null() { return Add(nullptr); }
  bool boolean(bool value) { return Add(value); }
  bool number_integer(NumberInteger value) { return Add(value); }
  bool number_unsigned(NumberUnsigned value) { return Add(value); }
  bool number_float(NumberFloat value, const String&) { return Add(value); }
  bool string(String& value) { return Add(std::move(value)); }
  bool binary(Binary& value) { return Add(Json::binary(std::move(value))); }
  bool start_object(std::size_t) { return Open(Json::object()); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool key(String& value) {
    key_ = value;
    path_.back() = value;
    return true;
  }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    // A number no double holds (1e309) comes here as out_of_range.
    std::string what = error.what();
    size_t detail = what.find("] ");
    message_ = "The body is not JSON: " + (detail == std::string::npos ? what : what.substr(detail + 2));
    return false;
  }

  Json& root() { return root_; }
  const std::string& message() const { return message_; }
  // Where the parse stopped: the containers open and the slot being read.
  std::vector<std::string> Path() const {
    std::vector<std::string> path = path_;
    for (size_t i = 0; i < stack_.size(); ++i) {
      if (!stack_[i]->is_array()) continue;
      // An outer array's open slot is its last element; the innermost one's
      // is the next.
      size_t size = stack_[i]->size();
      path[i] = std::to_string(i + 1 == stack_.size() ? size : size - 1);
    }
    return path;
  }

 private:
  template <typename Value>
  bool Add(Value&& value) {
    if (stack_.empty()) {
      root_ = Json(std::forward<Value>(value));
    } else if (stack_.back()->is_array()) {
      stack_.back()->emplace_back(std::forward<Value>(value));
    } else {
      (*stack_.back())[key_] = Json(std::forward<Value>(value));
    }
    return true;
  }

  bool Open(Json container) {
    if (static_cast<int>(stack_.size()) >= max_depth_) {
      message_ = "The body is not JSON this server reads: containers are nested more than " +
                 std::to_string(max_depth_) + " deep.";
      return false;
    }
    Json* slot = nullptr;
    if (stack_.empty()) {
      root_ = std::move(container);
      slot = &root_;
    } else if (stack_.back()->is_array()) {
      stack_.back()->push_back(std::move(container));
      slot = &stack_.back()->back();
    } else {
      slot = &((*stack_.back())[key_] = std::move(container));
    }
    stack_.push_back(slot);
    path_.emplace_back();
    return true;
  }

  bool Close() {
    stack_.pop_back();
    path_.pop_back();
    return true;
  }

  int max_depth_;
  Json root_;
  std::vector<Json*> stack_;
  std::vector<std::string> path_;  // per open container: the key or index being read
  std::string key_;
  std::string message_;
};

}  // namespace

Json ParseJson(std::string_view text, int max_depth) {
  LimitedDomBuilder builder(max_depth);
  bool complete = false;
  try {
    complete = Json::sax_parse(text.begin(), text.end(), &builder);
  } catch (const Json::exception& error) {
    throw MalformedJson(std::string("The body is not JSON: ") + error.what(), builder.Path());
  }
  if (!complete) {
    throw MalformedJson(builder.message().empty() ? "The body is not JSON." : builder.message(),
                        builder.Path());
  }
  return std::move(builder.root());
}

Variant DecodeValue(const nlohmann::ordered_json& json) { return Decoder().Value(json, 0); }

Variant ParseValue(std::string_view text) {
  return DecodeValue(ParseJson(text, kMaxNestingDepth));
}

void AppendBase64(const Bytes& bytes, std::string* out) {
  // Room for the rest of a reply too, so that what follows the text does
  // not copy it again to grow.
  constexpr size_t kRoomAfter = 256;
  size_t start = out->size();
  size_t length = (bytes.size() + 2) / 3 * 4;
  if (out->capacity() < start + length) out->reserve(start + length + kRoomAfter);
  out->resize(start + length);
  char* next = out->data() + start;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t triple = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    *next++ = kBase64Alphabet[(triple >> 18) & 63];
    *next++ = kBase64Alphabet[(triple >> 12) & 63];
    *next++ = kBase64Alphabet[(triple >> 6) & 63];
    *next++ = kBase64Alphabet[triple & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t triple = uint32_t{bytes[i]} << 16;
    if (rest == 2) triple |= uint32_t{bytes[i + 1]} << 8;
    *next++ = kBase64Alphabet[(triple >> 18) & 63];
    *next++ = kBase64Alphabet[(triple >> 12) & 63];
    *next++ = rest == 2 ? kBase64Alphabet[(triple >> 6) & 63] : '=';
    *next++ = '=';
  }
}

std::string EncodeBase64(const Bytes& bytes) {
  std::string out;
  AppendBase64(bytes, &out);
  return out;
}

Bytes DecodeBase64(std::string_view text) {
  static const std::array<int8_t, 256> kValues = [] {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<int8_t>(i);
    return values;
  }();
  if (text.size() % 4 == 0 && text.ends_with("==")) {
    text.remove_suffix(2);
  } else if (text.size() % 4 == 0 && text.ends_with('=')) {
    text.remove_suffix(1);
  }
  if (text.size() % 4 == 1) throw DecodeError("The base64 text has a bad length.");
  Bytes out;
  out.reserve(text.size() * 3 / 4);
  uint32_t buffer = 0;
  int bits = 0;
  for (char c : text) {
    int8_t value = kValues[static_cast<unsigned char>(c)];
    if (value < 0) throw DecodeError("The base64 text holds a character outside its alphabet.");
    buffer = (buffer << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace lxm::server
