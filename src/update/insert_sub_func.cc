// InsertSubFunc: one new sub-function in the template or the caller's
// overlay.
#include <string>

#include "platform/convert.h"
#include "platform/text_util.h"
#include "update/detail_items.h"
#include "update/item_values.h"

namespace lxm::detail_items {

namespace {

// Names longer than the client's column are cut; the English one is not.
constexpr size_t kNameCharacters = 50;

// ID, subsystem, three names, class name, class parameter, visible, account
// types, function type, refresh flag, index.
constexpr std::string_view kInsertTemplateSubFunc =
    "INSERT INTO t_DataFlowSubFunc (FSubFuncID,FSubSysID,FFuncName,FFuncName_CHT,FFuncName_EN,FClassName,"
    "FClassParam,FVisible,FAcctType,FFuncType,FRefresh,FIndex) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";
// ID, user, subsystem, three names, visible, index.
constexpr std::string_view kInsertOwnSubFunc =
    "INSERT INTO t_UserSubFunc (FSubFuncID,FUserID,FSubSysID,FFuncName,FFuncName_CHT,FFuncName_EN,FVisible,"
    "FIndex) VALUES (?,?,?,?,?,?,?,?)";

}  // namespace

int32_t InsertSubFunc(const WriteRequest& request, int32_t sub_system_id, int32_t index, const Dictionary& item,
                      bool template_mode) {
  int32_t new_id = ItemLong(item, "FSubFuncID", 0);
  if (new_id == 0) new_id = CheckedAdd(CheckedMul(sub_system_id, 100), index);
  const std::string whole_name = ItemText(item, "FFuncName", " ");
  const std::string name_cht = LeftChars(ItemText(item, "FFuncName_CHT", whole_name), kNameCharacters);
  const std::string name_en = ItemText(item, "FFuncName_En", whole_name);
  const std::string name = LeftChars(whole_name, kNameCharacters);
  const int32_t visible = ItemFlag(item, "FVisible", Variant("True"));
  if (template_mode) {
    request.connection.Execute(
        kInsertTemplateSubFunc,
        {Variant(new_id), Variant(sub_system_id), Variant(name), Variant(name_cht), Variant(name_en),
         Variant(ItemText(item, "FClassName", " ")), Variant(ItemText(item, "FClassParam", " ")), Variant(visible),
         Variant(ItemText(item, "FAcctType", " ")), Variant(ItemLong(item, "FFuncType", 0)),
         Variant(ItemFlag(item, "FRefresh", Variant(false))), Variant(index)});
  } else {
    request.connection.Execute(kInsertOwnSubFunc,
                               {Variant(new_id), Variant(request.parse.UserID()), Variant(sub_system_id), Variant(name),
                                Variant(name_cht), Variant(name_en), Variant(visible), Variant(index)});
  }
  return new_id;
}

}  // namespace lxm::detail_items
