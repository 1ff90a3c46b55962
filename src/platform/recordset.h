// Recordset: a detached, in-memory table with a cursor.
//
// The fields (name and type) and the rows are immutable and shared: copying a
// Recordset copies a pointer and a cursor, so the level cache can hand one
// level to many callers without copying a row. Field names keep the spelling
// the statement gave them; lookup by name ignores letter case, as ADO's does.
//
// Every recordset is detached from the start: there is no active connection to
// clear.
//
// Thread-safety: the shared data is immutable and may be read from any thread;
// the cursor belongs to one Recordset object and is not synchronised.
#ifndef LXM_PLATFORM_RECORDSET_H_
#define LXM_PLATFORM_RECORDSET_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace lxm {

// Field types, numbered as ADO's DataTypeEnum so that clients recognise them.
enum class FieldType : int32_t {
  kEmpty = 0,
  kSmallInt = 2,
  kInteger = 3,
  kDouble = 5,
  kBoolean = 11,
  kBigInt = 20,
  kBinary = 128,
  kVarWChar = 202,
  kVarBinary = 204,
};

std::string_view FieldTypeName(FieldType type);  // "Integer", "VarWChar", ...
// The type for a name given by FieldTypeName; false when unknown.
bool FieldTypeFromName(std::string_view name, FieldType* type);

struct Field {
  std::string name;
  FieldType type = FieldType::kEmpty;
};

using Row = std::vector<Variant>;

// The type a statement gives one of its result columns by name, for columns
// the engine cannot type from a table (literals, expressions, the columns of
// a UNION): without it such a column's type would follow the values of the
// rows that came back, and differ when none did.
struct ColumnType {
  std::string_view name;
  FieldType type;
};

class RecordsetData;

// Told when a recordset's encoded text is made, so that whoever keeps the
// rows (the cache) can count the text's memory too.
class EncodedTextWatcher {
 public:
  virtual ~EncodedTextWatcher() = default;
  // Called once per watcher, without any lock of `data` held.
  virtual void TextMade(const RecordsetData& data, size_t bytes) = 0;
};

// The immutable part of a recordset.
class RecordsetData {
 public:
  RecordsetData(std::vector<Field> fields, std::vector<Row> rows);

  const std::vector<Field>& fields() const { return fields_; }
  const std::vector<Row>& rows() const { return rows_; }
  // Position of the field named `name` (letter case ignored), or -1.
  int FieldIndex(std::string_view name) const;

  // The whole data in an encoded form (the server's JSON text), made by
  // `encode` on first use and kept with the rows, which never change: a level
  // the cache hands to many callers is encoded once. Two first uses at the
  // same time may both encode; the first stored result is kept.
  std::shared_ptr<const std::string> Encoded(
      const std::function<std::string(const RecordsetData&)>& encode) const;
  // The memory the kept text holds, 0 while there is none.
  size_t EncodedBytes() const;
  // Has `watcher` told when the text is made. Nothing happens when the text
  // exists already (EncodedBytes says so) or the watcher is watching. A
  // watcher that has expired by then is skipped.
  void WatchEncoded(const std::shared_ptr<EncodedTextWatcher>& watcher) const;

 private:
  std::vector<Field> fields_;
  std::vector<Row> rows_;
  mutable std::mutex encoded_mutex_;
  mutable std::shared_ptr<const std::string> encoded_;  // GUARDED_BY(encoded_mutex_)
  // Weak: a cache that goes away must not be kept by the rows it held.
  mutable std::vector<std::weak_ptr<EncodedTextWatcher>> watchers_;  // GUARDED_BY(encoded_mutex_)
};

class Recordset {
 public:
  // An empty recordset with no fields.
  Recordset();
  explicit Recordset(std::shared_ptr<const RecordsetData> data);
  Recordset(std::vector<Field> fields, std::vector<Row> rows);

  const std::vector<Field>& Fields() const { return data_->fields(); }
  int FieldIndex(std::string_view name) const { return data_->FieldIndex(name); }
  int32_t RecordCount() const;

  // Cursor. A fresh recordset stands on its first row (or at Eof when empty).
  bool Eof() const;
  bool Bof() const;
  void MoveFirst();
  void MoveNext();
  int32_t AbsolutePosition() const;  // 1-based; 0 when not on a row

  // Values of the current row. REQUIRES: !Eof(). Error kItemNotFound for a
  // field name that does not exist; NoCurrentRecordError() when the cursor
  // stands on no row.
  const Variant& Value(std::string_view field_name) const;
  const Variant& Value(size_t field_index) const;
  const Row& CurrentRow() const;

  // The rows whose `field_name` value equals `value` (text compared without
  // regard to case, numbers by value), as a new recordset on its first row.
  Recordset Filter(std::string_view field_name, const Variant& value) const;

  // The same rows with the named fields given these types (names compared
  // without regard to case; names that match no field are ignored). Values
  // are left as they are. The result stands on its first row.
  Recordset WithFieldTypes(std::span<const ColumnType> types) const;

  const std::vector<Row>& Rows() const { return data_->rows(); }
  const std::shared_ptr<const RecordsetData>& data() const { return data_; }

 private:
  std::shared_ptr<const RecordsetData> data_;
  size_t position_ = 0;
  bool before_first_ = false;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_RECORDSET_H_
