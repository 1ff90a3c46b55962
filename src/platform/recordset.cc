#include "platform/recordset.h"

#include <array>
#include <utility>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

struct TypeName {
  FieldType type;
  std::string_view name;
};

constexpr std::array<TypeName, 9> kTypeNames = {{
    {FieldType::kEmpty, "Empty"},
    {FieldType::kSmallInt, "SmallInt"},
    {FieldType::kInteger, "Integer"},
    {FieldType::kDouble, "Double"},
    {FieldType::kBoolean, "Boolean"},
    {FieldType::kBigInt, "BigInt"},
    {FieldType::kBinary, "Binary"},
    {FieldType::kVarWChar, "VarWChar"},
    {FieldType::kVarBinary, "VarBinary"},
}};

std::optional<double> NumberOf(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kLong: return value.AsLong();
    case VariantKind::kDouble: return value.AsDouble();
    case VariantKind::kBoolean: return value.AsBool() ? -1.0 : 0.0;
    case VariantKind::kString: return ParseNumericText(value.AsString());
    default: return std::nullopt;
  }
}

// Filter comparison: texts without regard to case, numbers by value.
bool FilterMatches(const Variant& cell, const Variant& wanted) {
  if (cell.kind() == VariantKind::kString && wanted.kind() == VariantKind::kString) {
    return EqualsIgnoreCase(cell.AsString(), wanted.AsString());
  }
  if (cell.IsNull() || wanted.IsNull()) return cell.IsNull() && wanted.IsNull();
  std::optional<double> a = NumberOf(cell);
  std::optional<double> b = NumberOf(wanted);
  if (a && b) return *a == *b;
  return cell == wanted;
}

// The memory a kept text holds: its characters, and roughly the string, its
// shared block and the allocator's headers.
constexpr size_t kKeptTextOverhead = 64;
size_t TextBytes(const std::string& text) { return text.capacity() + kKeptTextOverhead; }

}  // namespace

std::string_view FieldTypeName(FieldType type) {
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return "Empty";
}

bool FieldTypeFromName(std::string_view name, FieldType* type) {
  for (const TypeName& entry : kTypeNames) {
    if (EqualsIgnoreCase(entry.name, name)) {
      *type = entry.type;
      return true;
    }
  }
  return false;
}

RecordsetData::RecordsetData(std::vector<Field> fields, std::vector<Row> rows)
    : fields_(std::move(fields)), rows_(std::move(rows)) {}

int RecordsetData::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsIgnoreCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::shared_ptr<const std::string> RecordsetData::Encoded(
    const std::function<std::string(const RecordsetData&)>& encode) const {
  {
    std::lock_guard<std::mutex> lock(encoded_mutex_);
    if (encoded_ != nullptr) return encoded_;
  }
  // Encoded outside the lock: a large level takes a while, and readers of an
  // already encoded level must not wait for it.
  auto text = std::make_shared<const std::string>(encode(*this));
  std::vector<std::weak_ptr<EncodedTextWatcher>> watchers;
  {
    std::lock_guard<std::mutex> lock(encoded_mutex_);
    if (encoded_ != nullptr) return encoded_;  // another caller was first
    encoded_ = std::move(text);
    watchers.swap(watchers_);
  }
  // Told outside the lock: a watcher takes its own locks, which in turn may
  // be held while asking EncodedBytes.
  const size_t bytes = TextBytes(*encoded_);
  for (const auto& weak : watchers) {
    if (std::shared_ptr<EncodedTextWatcher> watcher = weak.lock()) watcher->TextMade(*this, bytes);
  }
  return encoded_;
}

size_t RecordsetData::EncodedBytes() const {
  std::lock_guard<std::mutex> lock(encoded_mutex_);
  return encoded_ != nullptr ? TextBytes(*encoded_) : 0;
}

void RecordsetData::WatchEncoded(const std::shared_ptr<EncodedTextWatcher>& watcher) const {
  std::lock_guard<std::mutex> lock(encoded_mutex_);
  if (encoded_ != nullptr) return;
  // A level that is cached, dropped and cached again is watched once; expired
  // watchers go on the way.
  std::erase_if(watchers_, [](const auto& weak) { return weak.expired(); });
  for (const auto& weak : watchers_) {
    if (!weak.owner_before(watcher) && !watcher.owner_before(weak)) return;
  }
  watchers_.push_back(watcher);
}

Recordset::Recordset()
    : data_(std::make_shared<const RecordsetData>(std::vector<Field>{}, std::vector<Row>{})) {}

Recordset::Recordset(std::shared_ptr<const RecordsetData> data) : data_(std::move(data)) {}

Recordset::Recordset(std::vector<Field> fields, std::vector<Row> rows)
    : data_(std::make_shared<const RecordsetData>(std::move(fields), std::move(rows))) {}

int32_t Recordset::RecordCount() const { return static_cast<int32_t>(data_->rows().size()); }

bool Recordset::Eof() const { return before_first_ ? data_->rows().empty() : position_ >= data_->rows().size(); }

bool Recordset::Bof() const { return before_first_ || data_->rows().empty(); }

void Recordset::MoveFirst() {
  position_ = 0;
  before_first_ = false;
}

void Recordset::MoveNext() {
  if (before_first_) {
    before_first_ = false;
    return;
  }
  if (position_ >= data_->rows().size()) throw NoCurrentRecordError();
  ++position_;
}

int32_t Recordset::AbsolutePosition() const {
  if (before_first_ || Eof()) return 0;
  return static_cast<int32_t>(position_ + 1);
}

const Row& Recordset::CurrentRow() const {
  if (before_first_ || position_ >= data_->rows().size()) {
    throw NoCurrentRecordError();
  }
  return data_->rows()[position_];
}

const Variant& Recordset::Value(std::string_view field_name) const {
  int index = data_->FieldIndex(field_name);
  if (index < 0) {
    throw ComError(errors::kItemNotFound, std::string(kRuntimeErrorSource),
                   "Item cannot be found in the collection corresponding to the "
                   "requested name or ordinal.");
  }
  return Value(static_cast<size_t>(index));
}

const Variant& Recordset::Value(size_t field_index) const {
  const Row& row = CurrentRow();
  if (field_index >= row.size()) {
    throw ComError(errors::kItemNotFound, std::string(kRuntimeErrorSource),
                   "Item cannot be found in the collection corresponding to the "
                   "requested name or ordinal.");
  }
  return row[field_index];
}

Recordset Recordset::Filter(std::string_view field_name, const Variant& value) const {
  int index = data_->FieldIndex(field_name);
  if (index < 0) {
    throw ComError(errors::kItemNotFound, std::string(kRuntimeErrorSource),
                   "Item cannot be found in the collection corresponding to the "
                   "requested name or ordinal.");
  }
  std::vector<Row> rows;
  for (const Row& row : data_->rows()) {
    if (FilterMatches(row[static_cast<size_t>(index)], value)) rows.push_back(row);
  }
  return Recordset(data_->fields(), std::move(rows));
}

Recordset Recordset::WithFieldTypes(std::span<const ColumnType> types) const {
  std::vector<Field> fields = data_->fields();
  for (const ColumnType& column : types) {
    int index = data_->FieldIndex(column.name);
    if (index >= 0) fields[static_cast<size_t>(index)].type = column.type;
  }
  return Recordset(std::move(fields), data_->rows());
}

}  // namespace lxm
