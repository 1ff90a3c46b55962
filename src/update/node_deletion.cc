// DatasUpdate::DeleteItem: one node's row, from the template or from the
// overlay rows the caller sees. Children stay where they are.
#include <string>

#include "platform/com_error.h"
#include "update/datas_update.h"
#include "update/overlay_levels.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

constexpr std::string_view kDeleteCatalogueRow = "DELETE FROM t_SubSystem WHERE FSubSysID=?";

// The level a level code names; nullptr for any other code.
const OverlayLevel* LevelOfCode(int32_t code) {
  switch (code) {
    case 1000: return &kOverlayLevels[0];
    case 100000: return &kOverlayLevels[1];
    case 10000000: return &kOverlayLevels[2];
    case 1000000000: return &kOverlayLevels[3];
    default: return nullptr;
  }
}

}  // namespace

void DatasUpdate::DeleteItem(std::string_view sDsn, int32_t lBase, int32_t lID, bool blnTemplate) {
  RunSwallowingWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    int32_t user_id = request.parse.UserID();
    const OverlayLevel* level = LevelOfCode(lBase);
    if (level == nullptr) throw RuntimeError(errors::kInvalidCall);
    if (blnTemplate) {
      request.connection.Execute("DELETE FROM " + std::string(level->template_table) + " WHERE " +
                                     std::string(level->key) + "=?",
                                 {Variant(lID)});
      // A template subsystem takes its catalogue row with it.
      if (level == &kOverlayLevels[1]) request.connection.Execute(kDeleteCatalogueRow, {Variant(lID)});
    } else {
      // The shared default's row goes as well as the caller's own.
      request.connection.Execute("DELETE FROM " + std::string(level->user_table) + " WHERE " +
                                     std::string(level->key) + "=? AND FUserID IN (0,?)",
                                 {Variant(lID), Variant(user_id)});
    }
    DbConnection fresh = request.data_source.Connection();
    BumpStamp(fresh, request.parse, blnTemplate);
    // User 0's own levels lost a row too: their cached copy must not outlive it.
    if (!blnTemplate && user_id != 0) BumpUserStamp(fresh, 0);
  });
}

}  // namespace lxm
