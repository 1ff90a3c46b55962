// SyncNamedItem: one detail function matched by name, inserted into the
// template or the caller's overlay.
#include <string>

#include "platform/convert.h"
#include "update/detail_items.h"
#include "update/detail_statements.h"
#include "update/item_values.h"

namespace lxm::detail_items {

namespace {

// Sub-function and name; the name column follows the request's language.
constexpr std::string_view kTemplateByName[] = {
    "SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID=? AND FFuncName=?",
    "SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID=? AND FFuncName_CHT=?",
    "SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID=? AND FFuncName_EN=?",
};
// Sub-function, name, user.
constexpr std::string_view kOwnByName[] = {
    "SELECT FDetailFuncID FROM t_UserDetailFunc WHERE FSubFuncID=? AND FFuncName=? AND FUserID=?",
    "SELECT FDetailFuncID FROM t_UserDetailFunc WHERE FSubFuncID=? AND FFuncName_CHT=? AND FUserID=?",
    "SELECT FDetailFuncID FROM t_UserDetailFunc WHERE FSubFuncID=? AND FFuncName_EN=? AND FUserID=?",
};
// New ID, sub-function, class parameter.
constexpr std::string_view kMoveUsersToID =
    "UPDATE t_UserDetailFunc SET FDetailFuncID=? WHERE FSubFuncID=? AND UPPER(RTRIM(FClassParam))=UPPER(RTRIM(?))";
// New ID, old (marked) ID.
constexpr std::string_view kRepointFavourites = "UPDATE t_NormalFunc SET FDetailFuncID=? WHERE FDetailFuncID=?";

// 0 for the base column, 1 for "_CHT", 2 for "_EN"; the language ID is
// compared exactly, anything else reads the base column.
int NameColumn(const std::string& language_id) {
  if (language_id == "en") return 2;
  if (language_id == "cht") return 1;
  return 0;
}

}  // namespace

int32_t SyncNamedItem(const WriteRequest& request, int32_t sub_func_id, int32_t index, const Dictionary& item,
                      bool template_mode) {
  const DbConnection& connection = request.connection;
  const std::string name = ItemText(item, "FFuncName", " ");
  const std::string name_cht = ItemText(item, "FFuncName_CHT", name);
  const std::string name_en = ItemText(item, "FFuncName_En", name);
  // The caller's ID only where a statement needs it: a template item with
  // its own ID needs none.
  auto user_id = [&] { return request.parse.UserID(); };

  int32_t old_id = 0;
  int32_t new_id = ItemLong(item, "FDetailFuncID", 0);
  if (new_id == 0) {
    const int column = NameColumn(request.parse.LanguageID());
    Recordset found = connection.Query(kTemplateByName[column], {Variant(sub_func_id), Variant(name)});
    if (!found.Eof()) {
      old_id = new_id = CLng(found.Value("FDetailFuncID"));
    } else {
      Recordset own = connection.Query(kOwnByName[column], {Variant(sub_func_id), Variant(name), Variant(user_id())});
      if (!own.Eof()) old_id = CLng(own.Value("FDetailFuncID"));
      new_id = CheckedAdd(CheckedMul(sub_func_id, 100), index);
    }
  }

  const std::string class_name = ItemText(item, "FClassName", " ");
  const std::string help_code = ItemText(item, "FHelpCode", " ");
  const int32_t visible = ItemFlag(item, "FVisible", Variant(true));
  if (template_mode) {
    connection.Execute(
        kInsertTemplateDetail,
        {Variant(new_id), Variant(sub_func_id), Variant(name), Variant(name_cht), Variant(name_en), Variant(class_name),
         Variant(ItemText(item, "FClassParam", " ")), Variant(ItemFlag(item, "FIsNormal", Variant(false))),
         Variant(help_code), Variant(visible), Variant(ItemText(item, "FAcctType", " ")),
         Variant(ItemLong(item, "FFuncType", 0)), Variant(index)});
    if (sub_func_id == kClassParamSubFunc) {
      connection.Execute(kMoveUsersToID,
                         {Variant(new_id), Variant(kClassParamSubFunc), Variant(ItemText(item, "FClassParam", ""))});
      BumpEveryStamp(connection, /*with_template=*/true);
    }
  } else {
    connection.Execute(kInsertOwnDetail,
                       {Variant(new_id), Variant(sub_func_id), Variant(user_id()), Variant(name), Variant(name_cht),
                        Variant(name_en), Variant(class_name), Variant(ItemText(item, "FClassParam", " ")),
                        Variant(visible), Variant(index), Variant(help_code)});
    // A marked own row was replaced: its favourites follow.
    if (old_id < 0) connection.Execute(kRepointFavourites, {Variant(new_id), Variant(old_id)});
    if (sub_func_id == kClassParamSubFunc) {
      connection.Execute(kCopyTemplateNames,
                         {Variant(kClassParamSubFunc), Variant(ItemText(item, "FClassParam", "")), Variant(user_id())});
    }
  }
  return new_id;
}

}  // namespace lxm::detail_items
