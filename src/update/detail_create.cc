// DatasUpdate::CreateDetailFunc and CreateSubFunc: one new node from one
// item. Their failures never reach the caller and leave nothing written.
#include "platform/com_error.h"
#include "update/datas_update.h"
#include "update/detail_items.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

const Dictionary& RequireItem(const std::shared_ptr<Dictionary>& item) {
  if (item == nullptr) throw RuntimeError(errors::kInvalidCall);
  return *item;
}

}  // namespace

void DatasUpdate::CreateDetailFunc(std::string_view sDsn, int32_t lSubFuncID, int32_t lIndex,
                                   const std::shared_ptr<Dictionary>& oDict, bool blnTemplate) {
  RunSwallowingWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    detail_items::SyncNamedItem(request, lSubFuncID, lIndex, RequireItem(oDict), blnTemplate);
    BumpStamp(request.connection, request.parse, blnTemplate);
  });
}

int32_t DatasUpdate::CreateSubFunc(std::string_view sDsn, int32_t lSubSystemID, int32_t lIndex,
                                   const std::shared_ptr<Dictionary>& oDict, bool blnTemplate) {
  int32_t created = 0;
  RunSwallowingWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    int32_t new_id = detail_items::InsertSubFunc(request, lSubSystemID, lIndex, RequireItem(oDict), blnTemplate);
    BumpStamp(request.connection, request.parse, blnTemplate);
    created = new_id;  // only once nothing is left to fail
  });
  return created;
}

}  // namespace lxm
