#include "platform/variant.h"

#include <limits>

#include "platform/com_error.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"

namespace lxm {

std::string_view KindName(VariantKind kind) {
  switch (kind) {
    case VariantKind::kEmpty: return "Empty";
    case VariantKind::kNull: return "Null";
    case VariantKind::kBoolean: return "Boolean";
    case VariantKind::kLong: return "Long";
    case VariantKind::kDouble: return "Double";
    case VariantKind::kString: return "String";
    case VariantKind::kBytes: return "Byte()";
    case VariantKind::kDictionary: return "Dictionary";
    case VariantKind::kVector: return "Vector";
    case VariantKind::kRecordset: return "Recordset";
    case VariantKind::kObject: return "Object";
  }
  return "Unknown";
}

Variant::Variant(std::shared_ptr<Dictionary> value) : value_(std::move(value)) {}
Variant::Variant(std::shared_ptr<Vector> value) : value_(std::move(value)) {}
Variant::Variant(std::shared_ptr<Recordset> value) : value_(std::move(value)) {}
Variant::Variant(std::shared_ptr<Object> value) : value_(std::move(value)) {}
Variant::Variant(const Recordset& value)
    : value_(std::make_shared<Recordset>(value)) {}

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant Variant::FromInt64(int64_t value) {
  if (value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    return Variant(static_cast<int32_t>(value));
  }
  return Variant(static_cast<double>(value));
}

VariantKind Variant::kind() const {
  // The order of Storage's alternatives matches VariantKind.
  return static_cast<VariantKind>(value_.index());
}

bool Variant::IsObject() const {
  VariantKind k = kind();
  return k == VariantKind::kDictionary || k == VariantKind::kVector ||
         k == VariantKind::kRecordset || k == VariantKind::kObject;
}

bool Variant::IsNothing() const {
  switch (kind()) {
    case VariantKind::kEmpty: return true;
    case VariantKind::kDictionary: return std::get<std::shared_ptr<Dictionary>>(value_) == nullptr;
    case VariantKind::kVector: return std::get<std::shared_ptr<Vector>>(value_) == nullptr;
    case VariantKind::kRecordset: return std::get<std::shared_ptr<Recordset>>(value_) == nullptr;
    case VariantKind::kObject: return std::get<std::shared_ptr<Object>>(value_) == nullptr;
    default: return false;
  }
}

namespace {
template <typename T, typename Storage>
const T& Checked(const Storage& storage) {
  const T* value = std::get_if<T>(&storage);
  if (value == nullptr) throw RuntimeError(errors::kTypeMismatch);
  return *value;
}
}  // namespace

bool Variant::AsBool() const { return Checked<bool>(value_); }
int32_t Variant::AsLong() const { return Checked<int32_t>(value_); }
double Variant::AsDouble() const { return Checked<double>(value_); }
const std::string& Variant::AsString() const { return Checked<std::string>(value_); }
const Bytes& Variant::AsBytes() const { return Checked<Bytes>(value_); }
const std::shared_ptr<Dictionary>& Variant::AsDictionary() const {
  return Checked<std::shared_ptr<Dictionary>>(value_);
}
const std::shared_ptr<Vector>& Variant::AsVector() const {
  return Checked<std::shared_ptr<Vector>>(value_);
}
const std::shared_ptr<Recordset>& Variant::AsRecordset() const {
  return Checked<std::shared_ptr<Recordset>>(value_);
}
const std::shared_ptr<Object>& Variant::AsObject() const {
  return Checked<std::shared_ptr<Object>>(value_);
}

bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

}  // namespace lxm
