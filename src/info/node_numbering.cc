// DatasInfo: the index and the ID a new node should get. Both read maxima
// without a lock: two callers may be told the same number, and the inserting
// writer must cope with that.
#include <cstdint>
#include <string>

#include "info/datas_info.h"
#include "info/node_query_support.h"
#include "platform/call_scope.h"
#include "platform/convert.h"
#include "tree/schema.h"

namespace lxm {

namespace {

struct IndexSources {
  std::string_view template_max;  // "Select Max(FIndex) From ..." of the template
  std::string_view user_max;      // the same over every user's overlay rows
  bool has_parent = false;        // both take the parent ID as parameter
};

bool IndexSourcesOf(int32_t type, IndexSources* sources) {
  switch (type) {
    case 1:
      *sources = {"Select Max(FIndex) From t_DataFlowTopClass", "Select Max(FIndex) From t_UserTopClass", false};
      return true;
    case 2:
      *sources = {"Select Max(FIndex) From t_DataFlowSubSystem Where FTopClassID=?",
                  "Select Max(FIndex) From t_UserSubSystem Where FTopClassID=?", true};
      return true;
    case 3:
      *sources = {"Select Max(FIndex) From t_DataFlowSubFunc Where FSubSysID=?",
                  "Select Max(FIndex) From t_UserSubFunc Where FSubSysID=?", true};
      return true;
    case 4:
      *sources = {"Select Max(FIndex) From t_DataFlowDetailFunc Where FSubFuncID=?",
                  "Select Max(FIndex) From t_UserDetailFunc Where FSubFuncID=?", true};
      return true;
    default:
      return false;
  }
}

// One past the greatest index; 0 when there is none.
int32_t IndexAfterMax(const DbConnection& connection, std::string_view sql, const Params& params) {
  Recordset rs = connection.Query(sql, params);
  if (rs.Eof()) return 0;
  const Variant& max = rs.Value(size_t{0});
  return max.IsNull() ? 0 : CheckedAdd(CLng(max), 1);
}

// A detail function's ID is its sub-function's ID x 100 plus a running
// number; a new one must also be placed after the greatest running number the
// template uses. The product is taken in 64 bits: large sub-function IDs do
// not overflow it.
int32_t AfterTemplateRunningNumber(const DbConnection& connection, int32_t sub_func_id, int32_t index) {
  Recordset rs = connection.Query("SELECT Max(FDetailFuncID) FROM t_DataFlowDetailFunc WHERE FSubFuncID = ?",
                                  {Variant(sub_func_id)});
  if (rs.RecordCount() == 0) return index;
  const Variant& max = rs.Value(size_t{0});
  int64_t greatest = max.IsNull() ? 0 : static_cast<int64_t>(Val(CStr(max)));
  int64_t running_number = greatest - int64_t{sub_func_id} * 100;
  return running_number > index ? CheckedNarrow(running_number + 1) : index;
}

struct IdSource {
  std::string_view user_max;
  int32_t base;
};

bool IdSourceOf(int32_t type, IdSource* source) {
  switch (type) {
    case 1: *source = {"SELECT Max(FTopClassID) FROM t_UserTopClass", schema::kTopClassBase}; return true;
    case 2: *source = {"SELECT Max(FSubSysID) FROM t_UserSubSystem", schema::kSubSystemBase}; return true;
    case 3: *source = {"SELECT Max(FSubFuncID) FROM t_UserSubFunc", schema::kSubFuncBase}; return true;
    case 4: *source = {"SELECT Max(FDetailFuncID) FROM t_UserDetailFunc", schema::kDetailFuncBase}; return true;
    default: return false;
  }
}

}  // namespace

int32_t DatasInfo::GetNextIndex(std::string_view sDsn, int32_t& lType, int32_t& lID) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    return AnswerOrFallback(int32_t{0}, [&] {
      PrepareContext(sDsn);
      IndexSources sources;
      if (!IndexSourcesOf(lType, &sources)) return 0;
      DbConnection connection = context_.data_source->UncommitedConnection();
      Params parent = sources.has_parent ? Params{Variant(lID)} : Params{};
      int32_t in_template = IndexAfterMax(connection, sources.template_max, parent);
      if (lType == 4) in_template = AfterTemplateRunningNumber(connection, lID, in_template);
      // Every user's rows and the default's alike.
      int32_t in_overlays = IndexAfterMax(connection, sources.user_max, parent);
      return in_template > in_overlays ? in_template : in_overlays;
    });
  });
}

int32_t DatasInfo::GetNextID(std::string_view sDsn, int32_t& lType, int32_t& /*lID*/) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    return AnswerOrFallback(int32_t{0}, [&] {
      PrepareContext(sDsn);
      IdSource source;
      if (!IdSourceOf(lType, &source)) return 0;
      // Only overlay rows carry user-created IDs; template IDs lie below
      // the bases.
      Recordset rs = context_.data_source->UncommitedConnection().Query(source.user_max);
      const Variant& max = rs.Value(size_t{0});
      if (max.IsNull()) return source.base;
      int32_t greatest = CLng(max);
      return greatest < source.base ? source.base : CheckedAdd(greatest, 1);
    });
  });
}

}  // namespace lxm
