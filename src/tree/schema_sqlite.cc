// SQLite DDL of the function tree. Kept apart from other dialects so each
// script reads as plain SQL.
#include <string>
#include <string_view>
#include <vector>

#include "tree/schema.h"

#include "platform/com_error.h"
#include "platform/db/stored_text.h"

namespace lxm::schema {

// In schema_postgres.cc.
extern const char kPostgresScript[];

namespace {

constexpr const char kSQLiteScript[] = R"SQL(
CREATE TABLE t_DataFlowTopClass (
  FTopClassID INTEGER NOT NULL PRIMARY KEY,
  FTopClassName VARCHAR(255) COLLATE NOCASE,
  FTopClassName_CHT VARCHAR(255) COLLATE NOCASE,
  FTopClassName_EN VARCHAR(255) COLLATE NOCASE,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FShowSysType INTEGER NOT NULL DEFAULT 0,
  FAcctType VARCHAR(510) COLLATE NOCASE DEFAULT '',
  FToolTips VARCHAR(255) COLLATE NOCASE,
  FToolTips_CHT VARCHAR(255) COLLATE NOCASE,
  FToolTips_EN VARCHAR(255) COLLATE NOCASE
);

CREATE TABLE t_DataFlowSubSystem (
  FSubSysID INTEGER NOT NULL PRIMARY KEY,
  FTopClassID INTEGER NOT NULL DEFAULT 0,
  FName VARCHAR(255) COLLATE NOCASE,
  FName_CHT VARCHAR(255) COLLATE NOCASE,
  FName_EN VARCHAR(255) COLLATE NOCASE,
  FClassName VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FShowSysType INTEGER NOT NULL DEFAULT 0,
  FAcctType VARCHAR(510) COLLATE NOCASE DEFAULT '',
  FRefresh INTEGER NOT NULL DEFAULT 0,
  FNote VARCHAR(255) COLLATE NOCASE,
  FNote_CHT VARCHAR(255) COLLATE NOCASE,
  FNote_EN VARCHAR(255) COLLATE NOCASE,
  FAppClassName VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FHelpFileName VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FTipID INTEGER NOT NULL DEFAULT 0,
  FUpdateBaseData INTEGER NOT NULL DEFAULT 0,
  FSubID VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FSubsystemID INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_DataFlowSubSystem_TopClass ON t_DataFlowSubSystem (FTopClassID);
CREATE INDEX ix_DataFlowSubSystem_SubID ON t_DataFlowSubSystem (FSubID);

CREATE TABLE t_DataFlowSubFunc (
  FSubFuncID INTEGER NOT NULL PRIMARY KEY,
  FSubSysID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName VARCHAR(255) COLLATE NOCASE,
  FFuncName_CHT VARCHAR(255) COLLATE NOCASE,
  FFuncName_EN VARCHAR(255) COLLATE NOCASE,
  FClassName VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FClassParam VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType VARCHAR(510) COLLATE NOCASE DEFAULT '',
  FFuncType INTEGER NOT NULL DEFAULT 0,
  FRefresh INTEGER NOT NULL DEFAULT 0,
  FSetEnable INTEGER NOT NULL DEFAULT 0,
  FSubID VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FIsEdit INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_DataFlowSubFunc_SubSys ON t_DataFlowSubFunc (FSubSysID);

CREATE TABLE t_DataFlowDetailFunc (
  FDetailFuncID INTEGER NOT NULL PRIMARY KEY,
  FSubFuncID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName VARCHAR(255) COLLATE NOCASE,
  FFuncName_CHT VARCHAR(255) COLLATE NOCASE,
  FFuncName_EN VARCHAR(255) COLLATE NOCASE,
  FClassName VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FClassParam VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FIsNormal INTEGER NOT NULL DEFAULT 0,
  FHelpCode VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType VARCHAR(510) COLLATE NOCASE DEFAULT '',
  FFuncType INTEGER NOT NULL DEFAULT 0,
  FEnable INTEGER NOT NULL DEFAULT 1,
  FShowName VARCHAR(100) COLLATE NOCASE,
  FShowName_CHT VARCHAR(100) COLLATE NOCASE,
  FShowName_EN VARCHAR(100) COLLATE NOCASE,
  FIsEdit INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_DataFlowDetailFunc_SubFunc ON t_DataFlowDetailFunc (FSubFuncID);
-- Help codes are looked up ignoring case and trailing blanks.
CREATE INDEX ix_DataFlowDetailFunc_HelpCode ON t_DataFlowDetailFunc (UPPER(RTRIM(FHelpCode)));

CREATE TABLE t_UserTopClass (
  FTopClassID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FTopClassName VARCHAR(255) COLLATE NOCASE,
  FTopClassName_CHT VARCHAR(255) COLLATE NOCASE,
  FTopClassName_EN VARCHAR(255) COLLATE NOCASE,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType VARCHAR(510) COLLATE NOCASE DEFAULT '',
  PRIMARY KEY (FUserID, FTopClassID)
);

CREATE TABLE t_UserSubSystem (
  FSubSysID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FTopClassID INTEGER NOT NULL DEFAULT 0,
  FName VARCHAR(255) COLLATE NOCASE,
  FName_CHT VARCHAR(255) COLLATE NOCASE,
  FName_EN VARCHAR(255) COLLATE NOCASE,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType VARCHAR(510) COLLATE NOCASE DEFAULT '',
  PRIMARY KEY (FUserID, FSubSysID)
);

CREATE TABLE t_UserSubFunc (
  FSubFuncID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FSubSysID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName VARCHAR(255) COLLATE NOCASE,
  FFuncName_CHT VARCHAR(255) COLLATE NOCASE,
  FFuncName_EN VARCHAR(255) COLLATE NOCASE,
  FVisible INTEGER NOT NULL DEFAULT 1,
  PRIMARY KEY (FUserID, FSubFuncID)
);

CREATE TABLE t_UserDetailFunc (
  FDetailFuncID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FSubFuncID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName VARCHAR(255) COLLATE NOCASE,
  FFuncName_CHT VARCHAR(255) COLLATE NOCASE,
  FFuncName_EN VARCHAR(255) COLLATE NOCASE,
  FClassName VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FClassParam VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FVisible INTEGER NOT NULL DEFAULT 1,
  FHelpCode VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FEnable INTEGER NOT NULL DEFAULT 1,
  PRIMARY KEY (FUserID, FDetailFuncID)
);
CREATE INDEX ix_UserDetailFunc_HelpCode ON t_UserDetailFunc (UPPER(RTRIM(FHelpCode)));

CREATE TABLE t_DataFlowAcctType (
  FAcctType INTEGER NOT NULL PRIMARY KEY,
  FacctTrade INTEGER NOT NULL DEFAULT 0,
  FName VARCHAR(255) COLLATE NOCASE,
  FName_CHT VARCHAR(255) COLLATE NOCASE,
  FName_EN VARCHAR(255) COLLATE NOCASE,
  FDesc VARCHAR(255) COLLATE NOCASE,
  FDesc_CHT VARCHAR(255) COLLATE NOCASE,
  FDesc_EN VARCHAR(255) COLLATE NOCASE,
  FShowName VARCHAR(100) COLLATE NOCASE,
  FShowName_CHT VARCHAR(100) COLLATE NOCASE,
  FShowName_EN VARCHAR(100) COLLATE NOCASE,
  FNumber VARCHAR(80) COLLATE NOCASE DEFAULT '',
  FForbidden INTEGER NOT NULL DEFAULT 0,
  FDeleted INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE t_DataFlowProfile (
  FName VARCHAR(255) COLLATE NOCASE NOT NULL PRIMARY KEY,
  FValue VARCHAR(255) COLLATE NOCASE
);

CREATE TABLE t_UserDataFlowProfile (
  FName VARCHAR(255) COLLATE NOCASE NOT NULL,
  FValue VARCHAR(255) COLLATE NOCASE,
  FUserID INTEGER NOT NULL,
  PRIMARY KEY (FUserID, FName)
);

CREATE TABLE t_DataFlowTimeStamp (
  FName VARCHAR(80) COLLATE NOCASE NOT NULL UNIQUE,
  FTimeStamp ROWVERSION
);

-- The last row version handed out; one row. Versions never repeat, also
-- after a stamp row is deleted.
CREATE TABLE t_DataFlowRowVersion (
  FLastVersion INTEGER NOT NULL
);
INSERT INTO t_DataFlowRowVersion (FLastVersion) VALUES (0);

CREATE TRIGGER tr_DataFlowTimeStamp_Insert AFTER INSERT ON t_DataFlowTimeStamp
BEGIN
  UPDATE t_DataFlowRowVersion SET FLastVersion = FLastVersion + 1;
  UPDATE t_DataFlowTimeStamp SET FTimeStamp = (SELECT FLastVersion FROM t_DataFlowRowVersion)
   WHERE rowid = NEW.rowid;
END;

-- Fires on every update of a row, also one that sets a column to itself. The
-- WHEN clause keeps the trigger's own update from firing it again.
CREATE TRIGGER tr_DataFlowTimeStamp_Update AFTER UPDATE ON t_DataFlowTimeStamp
WHEN NEW.FTimeStamp IS OLD.FTimeStamp
BEGIN
  UPDATE t_DataFlowRowVersion SET FLastVersion = FLastVersion + 1;
  UPDATE t_DataFlowTimeStamp SET FTimeStamp = (SELECT FLastVersion FROM t_DataFlowRowVersion)
   WHERE rowid = NEW.rowid;
END;

CREATE TABLE t_NormalFuncGroup (
  FFuncGroupID INTEGER PRIMARY KEY AUTOINCREMENT,
  FUserID INTEGER NOT NULL,
  FFuncGroupName VARCHAR(255) COLLATE NOCASE,
  FShowName VARCHAR(255) COLLATE NOCASE
);
CREATE INDEX ix_NormalFuncGroup_User ON t_NormalFuncGroup (FUserID);

-- No key: the same item may be stored twice.
CREATE TABLE t_NormalFunc (
  FFuncGroupID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FDetailFuncID INTEGER NOT NULL,
  FHelpCode VARCHAR(255) COLLATE NOCASE DEFAULT '',
  FShowName VARCHAR(255) COLLATE NOCASE,
  FFuncName VARCHAR(255) COLLATE NOCASE
);
CREATE INDEX ix_NormalFunc_UserGroup ON t_NormalFunc (FUserID, FFuncGroupID);
CREATE INDEX ix_NormalFunc_HelpCode ON t_NormalFunc (UPPER(RTRIM(FHelpCode)));
CREATE INDEX ix_NormalFunc_Detail ON t_NormalFunc (FDetailFuncID);

CREATE TABLE t_base_FlowChartTree (
  FID INTEGER PRIMARY KEY,
  FDetailFuncID INTEGER NOT NULL DEFAULT 0,
  FName VARCHAR(255) COLLATE NOCASE,
  FacctType VARCHAR(510) COLLATE NOCASE DEFAULT ''
);
CREATE INDEX ix_base_FlowChartTree_Detail ON t_base_FlowChartTree (FDetailFuncID);

CREATE TABLE t_SubSystem (
  FSubSysID INTEGER NOT NULL PRIMARY KEY,
  FNumber VARCHAR(80) COLLATE NOCASE,
  FName VARCHAR(255) COLLATE NOCASE,
  FName_CHT VARCHAR(255) COLLATE NOCASE,
  FName_EN VARCHAR(255) COLLATE NOCASE
);

CREATE TABLE t_SystemProfile (
  FCategory VARCHAR(80) COLLATE NOCASE NOT NULL,
  FKey VARCHAR(80) COLLATE NOCASE NOT NULL,
  FValue VARCHAR(255) COLLATE NOCASE,
  PRIMARY KEY (FCategory, FKey)
);

CREATE TABLE t_SupportedProc (
  FProcName VARCHAR(255) COLLATE NOCASE NOT NULL PRIMARY KEY
);

CREATE TABLE t_DataTypeInfo (
  FDataType INTEGER NOT NULL PRIMARY KEY,
  FTypeName VARCHAR(80) COLLATE NOCASE,
  FMaxPrecision INTEGER,
  FMinScale INTEGER,
  FMaxScale INTEGER,
  FActualType INTEGER,
  FBindType INTEGER,
  FActualSize INTEGER
);

-- Side tables that carry a subsystem ID and follow a renumbered subsystem.
CREATE TABLE ICClassType (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FFunctionID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE ICClassWorkFlow (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE ICListTemplate (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_DataAccess (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_DataObject (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_FieldObject (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_LogFunction (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_SysFunction (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_TableDescription (
  FID INTEGER PRIMARY KEY,
  FName VARCHAR(255) COLLATE NOCASE,
  FSubSystemID INTEGER NOT NULL DEFAULT 0
);
-- schema::kSchemaVersion
PRAGMA user_version = 1;
)SQL";

}  // namespace

std::string CreateScript(Backend backend) {
  switch (backend) {
    case Backend::kSQLite:
      return kSQLiteScript;
    case Backend::kPostgreSQL:
      return kPostgresScript;
  }
  throw DatabaseError("PostgreSQL", "unknown backend");
}

std::vector<std::string> TableNames(Backend backend) {
  std::string script = CreateScript(backend);
  std::vector<std::string> names;
  constexpr std::string_view kCreate = "CREATE TABLE ";
  for (size_t pos = script.find(kCreate); pos != std::string::npos; pos = script.find(kCreate, pos)) {
    pos += kCreate.size();
    size_t end = script.find_first_of(" (\n", pos);
    names.push_back(script.substr(pos, end - pos));
  }
  return names;
}

void CreateSchema(Transaction& transaction) {
  transaction.ExecuteScript(CreateScript(transaction.database().backend()));
}

}  // namespace lxm::schema

namespace lxm {

const DeclaredLengths& SchemaTextLengths() {
  static const DeclaredLengths* lengths = new DeclaredLengths(ParseDeclaredLengths(schema::kSQLiteScript));
  return *lengths;
}

}  // namespace lxm
