// The demo account, and the line format it ships in.
//
// data/demo_tree.txt holds a believable function tree with users, overlays,
// favourites and the side tables a reader needs; the build compiles it into
// the library as kDemoTreeText. Its first lines describe the format: one row
// per line, TAB-separated, a record kind first (TopClass, SubSystem, SubFunc,
// DetailFunc, UserTopClass, ...), then the columns in a fixed order.
//
//   CallScope scope(runtime, /*writes=*/true);
//   Transaction& txn = scope.TransactionFor(connect_string);
//   schema::CreateSchema(txn);
//   demo::LoadDemo(txn);
//   scope.Finish();
//
// Thread-safety: the functions keep no state between calls; a RecordWriter
// belongs to its transaction's thread.
#ifndef LXM_TREE_DEMO_DATA_H_
#define LXM_TREE_DEMO_DATA_H_

#include <string_view>

#include "platform/call_scope.h"

namespace lxm::demo {

// The text of data/demo_tree.txt (generated source).
extern const std::string_view kDemoTreeText;

// Inserts rows of the record kinds of the demo format. Each kind has one
// INSERT text, so the connection prepares it once and reuses it.
class RecordWriter {
 public:
  explicit RecordWriter(Transaction& transaction) : transaction_(transaction) {}

  // Number of values a row of `kind` takes, or -1 for an unknown kind.
  static int ValueCount(std::string_view kind);

  // Inserts one row; `values` follow the kind's column order (the table at
  // the top of data/demo_tree.txt). An unknown kind or a wrong number of
  // values raises ComError errors::kInvalidCall; database errors pass through.
  void Insert(std::string_view kind, const Params& values);

 private:
  Transaction& transaction_;
};

// Parses `text` in the demo format and inserts every row. A malformed line
// (unknown kind, wrong field count, a non-integer in an integer column)
// raises ComError errors::kInvalidCall whose description names the line
// number; a database failure on a line is raised with the line number added.
// Rows inserted before the failure stay in the transaction, which the caller
// rolls back.
void LoadTreeText(Transaction& transaction, std::string_view text);

// Loads kDemoTreeText. REQUIRES: the schema exists and its tables are empty.
// Stamp rows are not written: the first read creates them.
void LoadDemo(Transaction& transaction);

}  // namespace lxm::demo

#endif  // LXM_TREE_DEMO_DATA_H_
