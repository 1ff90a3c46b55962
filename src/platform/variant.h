// Variant: the automation value that crosses every public method.
//
// A Variant always knows its kind: Empty, Null, Boolean, Long (32-bit), Double,
// String (UTF-8), Bytes, or a shared reference to a Dictionary, Vector,
// Recordset or another object. Objects are shared, not copied: copying a
// Variant that holds a Dictionary copies the reference, as automation does.
//
// Conversions between kinds follow the VB rules and live in convert.h; the
// checked getters here never convert: asking a String for AsLong() raises
// type mismatch (13).
//
// Thread-safety: a Variant is a value; concurrent reads are safe, and so is
// sharing the immutable rows of a Recordset. Dictionaries and Vectors are not
// synchronised.
#ifndef LXM_PLATFORM_VARIANT_H_
#define LXM_PLATFORM_VARIANT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lxm {

class Dictionary;
class Vector;
class Recordset;

// Any other object a Variant may carry (a component created by ProgID).
class Object {
 public:
  virtual ~Object() = default;
};

using Bytes = std::vector<uint8_t>;

enum class VariantKind {
  kEmpty,
  kNull,
  kBoolean,
  kLong,
  kDouble,
  kString,
  kBytes,
  kDictionary,
  kVector,
  kRecordset,
  kObject,
};

// The kind's name as automation's TypeName reports it ("Long", "String", ...).
std::string_view KindName(VariantKind kind);

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(bool value) : value_(value) {}
  Variant(int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(std::string value) : value_(std::move(value)) {}
  Variant(std::string_view value) : value_(std::string(value)) {}
  Variant(const char* value) : value_(std::string(value)) {}
  Variant(Bytes value) : value_(std::move(value)) {}
  Variant(std::shared_ptr<Dictionary> value);
  Variant(std::shared_ptr<Vector> value);
  Variant(std::shared_ptr<Recordset> value);
  Variant(std::shared_ptr<Object> value);
  // A Recordset by value: the new Variant holds its own cursor over the same
  // shared rows.
  Variant(const Recordset& value);

  static Variant Null();
  // A Long when the value fits in 32 bits, else a Double (automation has no
  // 64-bit integer kind in this service).
  static Variant FromInt64(int64_t value);

  VariantKind kind() const;
  bool IsEmpty() const { return kind() == VariantKind::kEmpty; }
  bool IsNull() const { return kind() == VariantKind::kNull; }
  bool IsObject() const;  // Dictionary, Vector, Recordset or Object
  // Empty, or an object reference that is nothing.
  bool IsNothing() const;

  // Checked getters: the stored kind must match, else error 13.
  bool AsBool() const;
  int32_t AsLong() const;
  double AsDouble() const;
  const std::string& AsString() const;
  const Bytes& AsBytes() const;
  const std::shared_ptr<Dictionary>& AsDictionary() const;
  const std::shared_ptr<Vector>& AsVector() const;
  const std::shared_ptr<Recordset>& AsRecordset() const;
  const std::shared_ptr<Object>& AsObject() const;

  // Unchecked access for callers that switch on kind(); nullptr on mismatch.
  template <typename T>
  const T* TryGet() const {
    return std::get_if<T>(&value_);
  }

  // Same kind and equal value; objects compare by identity.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct EmptyTag {
    friend bool operator==(EmptyTag, EmptyTag) { return true; }
  };
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  using Storage =
      std::variant<EmptyTag, NullTag, bool, int32_t, double, std::string, Bytes,
                   std::shared_ptr<Dictionary>, std::shared_ptr<Vector>,
                   std::shared_ptr<Recordset>, std::shared_ptr<Object>>;

  Storage value_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_VARIANT_H_
