#include "tree/snapshot_statements.h"

#include "core/globals.h"
#include "platform/com_error.h"

namespace lxm {

namespace {

std::string L(std::string_view column, std::string_view language_id) {
  return LanguageColumn(column, language_id);
}

// Ties in FIndex are broken by the node ID on every level, top classes too, so
// the order never depends on the engine. The language columns are looked up
// first, in statement order, so a bad language fails naming the first one.
std::string TemplateColumns(Level level, std::string_view lang, ColumnSet columns) {
  bool narrow = columns == ColumnSet::kLevelCache;
  switch (level) {
    case Level::kTopClass: {
      std::string name = L("FTopClassName", lang);
      std::string tips = L("FToolTips", lang);
      return " FTopClassID,FTopClassName as FTopClassName_CHS, FTopClassName_CHT, FTopClassName_EN," +
             name +
             (narrow ? " As FTopClassName,FIndex,FVisible,FAcctType,"
                     : " As FTopClassName,FIndex,FVisible,FShowSysType,FAcctType,") +
             tips + " As FToolTips ";
    }
    case Level::kSubSystem: {
      std::string name = L("FName", lang);
      std::string note = L("FNote", lang);
      return " FSubSysID,FName as FName_CHS, FName_CHT, FName_EN," + name +
             " As FName,FTopClassID,FClassName,FIndex," +
             (narrow ? " FVisible,FAcctType,FRefresh," : " FVisible,FShowSysType,FAcctType,FRefresh,") +
             note + " As FNote,FAppClassName,FHelpFileName," + " FTipID,FUpdateBaseData,FSubID ";
    }
    case Level::kSubFunc: {
      std::string name = L("FFuncName", lang);
      return " FSubFuncID,FSubSysID,FIndex,FFuncName as FFuncName_CHS, FFuncName_CHT, FFuncName_EN," +
             name + " As FFuncName,FClassName,FClassParam,FVisible," +
             " FAcctType,FFuncType,FRefresh,FSetEnable,FSubID,FIsEdit";
    }
    case Level::kDetailFunc: {
      std::string name = L("FFuncName", lang);
      std::string show = L("FShowName", lang);
      return " FDetailFuncID, FFuncName as FFuncName_CHS, FFuncName_CHT, FFuncName_EN," + name +
             " As FFuncName,FSubFuncID,FIndex,FClassName,FClassParam," +
             " FIsNormal,FHelpCode,FVisible,FAcctType,FFuncType,FEnable," + show + " As FShowName,FIsEdit";
    }
    case Level::kAcctType: {
      std::string name = L("FName", lang);
      std::string desc = L("FDesc", lang);
      std::string show = L("FShowName", lang);
      // SQLite names a bare column as the table declares it; the alias keeps
      // the spelling clients know ("FAccttype").
      return " FAccttype As FAccttype,FacctTrade," + name + " As FName," + desc + " As FDesc," + show +
             " As FShowName,FNumber,FForbidden,FDeleted ";
    }
    case Level::kProfile:
      break;
  }
  return {};
}

struct TemplateTable {
  std::string_view table;
  std::string_view order;
};

TemplateTable TemplateTableOf(Level level) {
  switch (level) {
    case Level::kTopClass: return {"t_DataFlowTopClass", " Order by FIndex,FTopClassID"};
    case Level::kSubSystem: return {"t_DataFlowSubSystem", " Order by FIndex,FSubSysID"};
    case Level::kSubFunc: return {"t_DataFlowSubFunc", " Order by FIndex,FSubFuncID"};
    case Level::kDetailFunc: return {"t_DataFlowDetailFunc", " Order by FIndex,FDetailFuncID"};
    case Level::kAcctType: return {"t_DataFlowAcctType", " Order by FAccttype"};
    case Level::kProfile: return {"t_DataFlowProfile", ""};
  }
  return {};
}

// Ordered as SQLite's key (FUserID, FName) gives the rows; PostgreSQL keeps
// no order of its own.
constexpr std::string_view kUserProfile =
    "Select * From t_UserDataFlowProfile Where FUserID = ? Order by FName";

ComError NoSuchLevel() {
  return ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                  "The overlay has no account-type level.");
}

}  // namespace

std::string_view LevelKey(Level level) {
  switch (level) {
    case Level::kTopClass: return "TopClass";
    case Level::kSubSystem: return "SubSystem";
    case Level::kSubFunc: return "SubFunc";
    case Level::kDetailFunc: return "DetailFunc";
    case Level::kAcctType: return "AcctType";
    case Level::kProfile: return "Profile";
  }
  return {};
}

std::string TemplateLevelStatement(Level level, std::string_view language_id, ColumnSet columns) {
  TemplateTable table = TemplateTableOf(level);
  if (level == Level::kProfile) return "Select * From " + std::string(table.table);
  return "Select " + TemplateColumns(level, language_id, columns) + " From " +
         std::string(table.table) + std::string(table.order);
}

std::string UserMergedStatement(Level level, std::string_view lang) {
  const std::string crlf = "\r\n";
  switch (level) {
    case Level::kTopClass:
      return "select t1.FTopClassID,t1.FTopClassName as FTopClassName_CHS, t1.FTopClassName_CHT, "
             "t1.FTopClassName_EN" + crlf +
             ",t1." + L("FTopClassName", lang) + " As FTopClassName" + crlf +
             ",t1.FIndex,t1.FAcctType,t1.FVisible" + crlf +
             " from t_UserTopClass t1 inner join (" + crlf +
             "    select FTopClassID,max(FuserID) FuserID from t_UserTopClass" + crlf +
             "    where FuserID in(?,0) group by FTopClassID" + crlf +
             ") t2 on t1.FTopClassID=t2.FTopClassID and  t1.FuserID=t2.FuserID "
             "Order by t1.FIndex,t1.FTopClassID";
    case Level::kSubSystem:
      return "select t1.FSubSysID,t1.FName as FName_CHS, t1.FName_CHT, t1.FName_EN" + crlf +
             ",t1." + L("FName", lang) + " As FName" + crlf +
             ",t1.FTopClassID,t1.FIndex,t1.FAcctType,t1.FVisible" + crlf +
             " from t_UserSubSystem t1 inner join (" + crlf +
             "    select FSubSysID,max(FuserID) FuserID from t_UserSubSystem" + crlf +
             "    where FuserID in(?,0) group by FSubSysID" + crlf +
             ") t2 on t1.FSubSysID=t2.FSubSysID and  t1.FuserID=t2.FuserID "
             "Order by t1.FIndex,t1.FSubSysID";
    case Level::kSubFunc:
      return "select t1.FSubFuncID,t1.FFuncName as FFuncName_CHS, FFuncName_CHT, FFuncName_EN" + crlf +
             ",t1." + L("FFuncName", lang) + " As FFuncName" + crlf +
             ",t1.FSubSysID,t1.FIndex,t1.FVisible" + crlf +
             " from t_UserSubFunc t1 inner join (" + crlf +
             "    select FSubFuncID,max(FuserID) FuserID from t_UserSubFunc" + crlf +
             "    where FuserID in(?,0) group by FSubFuncID" + crlf +
             ") t2 on t1.FSubFuncID=t2.FSubFuncID and  t1.FuserID=t2.FuserID "
             "Order by t1.FIndex,t1.FSubFuncID";
    case Level::kDetailFunc:
      return "select t1.FDetailFuncID,t1.FFuncName as FFuncName_CHS, t1.FFuncName_CHT, "
             "t1.FFuncName_EN" + crlf +
             ",t1." + L("FFuncName", lang) + " As FFuncName" + crlf +
             ",t1.FSubFuncID,t1.FIndex,t1.FClassName,t1.FClassParam,t1.FVisible,t1.FHelpCode,"
             "t1.FEnable" + crlf +
             " from t_UserDetailFunc t1 inner join (" + crlf +
             "    select FdetailFuncID,max(FuserID) FuserID from t_UserDetailFunc" + crlf +
             "    where FuserID in(?,0) group by FdetailFuncID" + crlf +
             ") t2 on t1.FdetailFuncID=t2.FdetailFuncID and  t1.FuserID=t2.FuserID "
             "Order by t1.FIndex,t1.FDetailFuncID";
    case Level::kProfile:
      return std::string(kUserProfile);
    case Level::kAcctType:
      break;
  }
  throw NoSuchLevel();
}

std::string UserOwnStatement(Level level, std::string_view lang) {
  switch (level) {
    case Level::kTopClass:
      return "Select  FTopClassID, FTopClassName as FTopClassName_CHS, FTopClassName_CHT, "
             "FTopClassName_EN," + L("FTopClassName", lang) +
             " As FTopClassName ,FIndex,FAcctType,FVisible From t_UserTopClass Where FUserID = ?"
             " Order by FIndex,FTopClassID";
    case Level::kSubSystem:
      return "Select  FSubSysID, FName as FName_CHS, FName_CHT, FName_EN," + L("FName", lang) +
             " As FName,FTopClassID,FIndex,FAcctType,FVisible From t_UserSubSystem Where FUserID = ?"
             " Order by FIndex,FSubSysID";
    case Level::kSubFunc:
      return "Select  FSubFuncID,FSubSysID,FIndex, FFuncName as FFuncName_CHS, FFuncName_CHT, "
             "FFuncName_EN," + L("FFuncName", lang) +
             " As FFuncName,FVisible From t_UserSubFunc Where FUserID = ? Order by FIndex,FSubFuncID";
    case Level::kDetailFunc:
      return "Select  FDetailFuncID,FFuncName as FFuncName_CHS, FFuncName_CHT, FFuncName_EN," +
             L("FFuncName", lang) +
             " As FFuncName,FSubFuncID,FIndex,FClassName,FClassParam,FVisible,FHelpCode,FEnable"
             " From t_UserDetailFunc Where FUserID = ? Order by FIndex,FDetailFuncID";
    case Level::kProfile:
      return std::string(kUserProfile);
    case Level::kAcctType:
      break;
  }
  throw NoSuchLevel();
}

}  // namespace lxm
