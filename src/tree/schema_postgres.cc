// PostgreSQL DDL of the function tree: the same tables, columns and indexes
// as the SQLite script, in PostgreSQL's dialect.
#include <string>

#include "platform/db/column_spelling.h"
#include "tree/schema.h"

namespace lxm::schema {

extern const char kPostgresScript[];

const char kPostgresScript[] = R"SQL(-- Text compares without regard to letter case, as NOCASE does in SQLite:
-- citext keeps "=", IN, ORDER BY and LIKE working on the same statements
-- (LIKE is refused on nondeterministic ICU collations in PostgreSQL 15).
-- Under the "C" collation, whatever the database's own, it folds ASCII
-- letters only and then compares bytes, exactly as NOCASE does.
CREATE EXTENSION IF NOT EXISTS citext;

-- The row-version column's type: its bytes, told apart from other bytea
-- columns by the backend.
CREATE DOMAIN rowversion AS BYTEA;

CREATE TABLE t_DataFlowTopClass (
  FTopClassID INTEGER NOT NULL PRIMARY KEY,
  FTopClassName CITEXT COLLATE "C",
  FTopClassName_CHT CITEXT COLLATE "C",
  FTopClassName_EN CITEXT COLLATE "C",
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FShowSysType INTEGER NOT NULL DEFAULT 0,
  FAcctType CITEXT COLLATE "C" DEFAULT '',
  FToolTips CITEXT COLLATE "C",
  FToolTips_CHT CITEXT COLLATE "C",
  FToolTips_EN CITEXT COLLATE "C"
);

CREATE TABLE t_DataFlowSubSystem (
  FSubSysID INTEGER NOT NULL PRIMARY KEY,
  FTopClassID INTEGER NOT NULL DEFAULT 0,
  FName CITEXT COLLATE "C",
  FName_CHT CITEXT COLLATE "C",
  FName_EN CITEXT COLLATE "C",
  FClassName CITEXT COLLATE "C" DEFAULT '',
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FShowSysType INTEGER NOT NULL DEFAULT 0,
  FAcctType CITEXT COLLATE "C" DEFAULT '',
  FRefresh INTEGER NOT NULL DEFAULT 0,
  FNote CITEXT COLLATE "C",
  FNote_CHT CITEXT COLLATE "C",
  FNote_EN CITEXT COLLATE "C",
  FAppClassName CITEXT COLLATE "C" DEFAULT '',
  FHelpFileName CITEXT COLLATE "C" DEFAULT '',
  FTipID INTEGER NOT NULL DEFAULT 0,
  FUpdateBaseData INTEGER NOT NULL DEFAULT 0,
  FSubID CITEXT COLLATE "C" DEFAULT '',
  FSubsystemID INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_DataFlowSubSystem_TopClass ON t_DataFlowSubSystem (FTopClassID);
CREATE INDEX ix_DataFlowSubSystem_SubID ON t_DataFlowSubSystem (FSubID);

CREATE TABLE t_DataFlowSubFunc (
  FSubFuncID INTEGER NOT NULL PRIMARY KEY,
  FSubSysID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName CITEXT COLLATE "C",
  FFuncName_CHT CITEXT COLLATE "C",
  FFuncName_EN CITEXT COLLATE "C",
  FClassName CITEXT COLLATE "C" DEFAULT '',
  FClassParam CITEXT COLLATE "C" DEFAULT '',
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType CITEXT COLLATE "C" DEFAULT '',
  FFuncType INTEGER NOT NULL DEFAULT 0,
  FRefresh INTEGER NOT NULL DEFAULT 0,
  FSetEnable INTEGER NOT NULL DEFAULT 0,
  FSubID CITEXT COLLATE "C" DEFAULT '',
  FIsEdit INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_DataFlowSubFunc_SubSys ON t_DataFlowSubFunc (FSubSysID);

CREATE TABLE t_DataFlowDetailFunc (
  FDetailFuncID INTEGER NOT NULL PRIMARY KEY,
  FSubFuncID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName CITEXT COLLATE "C",
  FFuncName_CHT CITEXT COLLATE "C",
  FFuncName_EN CITEXT COLLATE "C",
  FClassName CITEXT COLLATE "C" DEFAULT '',
  FClassParam CITEXT COLLATE "C" DEFAULT '',
  FIsNormal INTEGER NOT NULL DEFAULT 0,
  FHelpCode CITEXT COLLATE "C" DEFAULT '',
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType CITEXT COLLATE "C" DEFAULT '',
  FFuncType INTEGER NOT NULL DEFAULT 0,
  FEnable INTEGER NOT NULL DEFAULT 1,
  FShowName CITEXT COLLATE "C",
  FShowName_CHT CITEXT COLLATE "C",
  FShowName_EN CITEXT COLLATE "C",
  FIsEdit INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ix_DataFlowDetailFunc_SubFunc ON t_DataFlowDetailFunc (FSubFuncID);
-- Help codes are looked up ignoring case and trailing blanks.
CREATE INDEX ix_DataFlowDetailFunc_HelpCode ON t_DataFlowDetailFunc (UPPER(RTRIM(FHelpCode)));

CREATE TABLE t_UserTopClass (
  FTopClassID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FTopClassName CITEXT COLLATE "C",
  FTopClassName_CHT CITEXT COLLATE "C",
  FTopClassName_EN CITEXT COLLATE "C",
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType CITEXT COLLATE "C" DEFAULT '',
  PRIMARY KEY (FUserID, FTopClassID)
);

CREATE TABLE t_UserSubSystem (
  FSubSysID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FTopClassID INTEGER NOT NULL DEFAULT 0,
  FName CITEXT COLLATE "C",
  FName_CHT CITEXT COLLATE "C",
  FName_EN CITEXT COLLATE "C",
  FIndex INTEGER NOT NULL DEFAULT 0,
  FVisible INTEGER NOT NULL DEFAULT 1,
  FAcctType CITEXT COLLATE "C" DEFAULT '',
  PRIMARY KEY (FUserID, FSubSysID)
);

CREATE TABLE t_UserSubFunc (
  FSubFuncID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FSubSysID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName CITEXT COLLATE "C",
  FFuncName_CHT CITEXT COLLATE "C",
  FFuncName_EN CITEXT COLLATE "C",
  FVisible INTEGER NOT NULL DEFAULT 1,
  PRIMARY KEY (FUserID, FSubFuncID)
);

CREATE TABLE t_UserDetailFunc (
  FDetailFuncID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FSubFuncID INTEGER NOT NULL DEFAULT 0,
  FIndex INTEGER NOT NULL DEFAULT 0,
  FFuncName CITEXT COLLATE "C",
  FFuncName_CHT CITEXT COLLATE "C",
  FFuncName_EN CITEXT COLLATE "C",
  FClassName CITEXT COLLATE "C" DEFAULT '',
  FClassParam CITEXT COLLATE "C" DEFAULT '',
  FVisible INTEGER NOT NULL DEFAULT 1,
  FHelpCode CITEXT COLLATE "C" DEFAULT '',
  FEnable INTEGER NOT NULL DEFAULT 1,
  PRIMARY KEY (FUserID, FDetailFuncID)
);
CREATE INDEX ix_UserDetailFunc_HelpCode ON t_UserDetailFunc (UPPER(RTRIM(FHelpCode)));

CREATE TABLE t_DataFlowAcctType (
  FAcctType INTEGER NOT NULL PRIMARY KEY,
  FacctTrade INTEGER NOT NULL DEFAULT 0,
  FName CITEXT COLLATE "C",
  FName_CHT CITEXT COLLATE "C",
  FName_EN CITEXT COLLATE "C",
  FDesc CITEXT COLLATE "C",
  FDesc_CHT CITEXT COLLATE "C",
  FDesc_EN CITEXT COLLATE "C",
  FShowName CITEXT COLLATE "C",
  FShowName_CHT CITEXT COLLATE "C",
  FShowName_EN CITEXT COLLATE "C",
  FNumber CITEXT COLLATE "C" DEFAULT '',
  FForbidden INTEGER NOT NULL DEFAULT 0,
  FDeleted INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE t_DataFlowProfile (
  FName CITEXT COLLATE "C" NOT NULL PRIMARY KEY,
  FValue CITEXT COLLATE "C"
);

CREATE TABLE t_UserDataFlowProfile (
  FName CITEXT COLLATE "C" NOT NULL,
  FValue CITEXT COLLATE "C",
  FUserID INTEGER NOT NULL,
  PRIMARY KEY (FUserID, FName)
);

-- Read on every call. The planner prices a citext comparison like a plain
-- one and so scans a small table rather than probe its index, though each
-- comparison folds both sides (about 0.6 us a row): with a row per user, a
-- site of a few hundred users paid for a scan on every call. Pages kept 10%
-- full make the index the cheaper plan from about a hundred rows on, and
-- leave room for the updates every write makes to these rows.
CREATE TABLE t_DataFlowTimeStamp (
  FName CITEXT COLLATE "C" NOT NULL UNIQUE,
  FTimeStamp rowversion
) WITH (fillfactor = 10);

-- Row versions come from one sequence: database-wide, increasing, never
-- handed out twice (also not after a rollback or a deleted stamp row).
CREATE SEQUENCE sq_DataFlowRowVersion AS BIGINT;

-- A BEFORE ROW trigger fires on every insert and every update of a row,
-- also one that sets a column to itself. int8send gives the 8 bytes most
-- significant first.
CREATE FUNCTION fn_DataFlowTimeStamp() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  NEW.FTimeStamp := int8send(nextval('sq_DataFlowRowVersion'));
  RETURN NEW;
END
$$;
CREATE TRIGGER tr_DataFlowTimeStamp BEFORE INSERT OR UPDATE ON t_DataFlowTimeStamp
  FOR EACH ROW EXECUTE FUNCTION fn_DataFlowTimeStamp();

CREATE TABLE t_NormalFuncGroup (
  FFuncGroupID INTEGER PRIMARY KEY,
  FUserID INTEGER NOT NULL,
  FFuncGroupName CITEXT COLLATE "C",
  FShowName CITEXT COLLATE "C"
);
CREATE INDEX ix_NormalFuncGroup_User ON t_NormalFuncGroup (FUserID);
-- IDs as SQLite's AUTOINCREMENT gives them: a row inserted without one gets
-- one past the greatest ever stored, also one stored with its ID given (the
-- demo data, an import), and never one of a deleted row.
CREATE SEQUENCE sq_NormalFuncGroup AS INTEGER;
CREATE FUNCTION fn_NormalFuncGroupID() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF NEW.FFuncGroupID IS NULL THEN
    NEW.FFuncGroupID := nextval('sq_NormalFuncGroup');
  -- A fresh sequence shows last_value 1 before handing out any.
  ELSIF NEW.FFuncGroupID > (SELECT CASE WHEN is_called THEN last_value ELSE 0 END
                              FROM sq_NormalFuncGroup) THEN
    PERFORM setval('sq_NormalFuncGroup', NEW.FFuncGroupID);
  END IF;
  RETURN NEW;
END
$$;
CREATE TRIGGER tr_NormalFuncGroupID BEFORE INSERT ON t_NormalFuncGroup
  FOR EACH ROW EXECUTE FUNCTION fn_NormalFuncGroupID();

-- No key: the same item may be stored twice.
CREATE TABLE t_NormalFunc (
  FFuncGroupID INTEGER NOT NULL,
  FUserID INTEGER NOT NULL,
  FDetailFuncID INTEGER NOT NULL,
  FHelpCode CITEXT COLLATE "C" DEFAULT '',
  FShowName CITEXT COLLATE "C",
  FFuncName CITEXT COLLATE "C"
);
CREATE INDEX ix_NormalFunc_UserGroup ON t_NormalFunc (FUserID, FFuncGroupID);
CREATE INDEX ix_NormalFunc_HelpCode ON t_NormalFunc (UPPER(RTRIM(FHelpCode)));
CREATE INDEX ix_NormalFunc_Detail ON t_NormalFunc (FDetailFuncID);

CREATE TABLE t_base_FlowChartTree (
  FID INTEGER PRIMARY KEY,
  FDetailFuncID INTEGER NOT NULL DEFAULT 0,
  FName CITEXT COLLATE "C",
  FacctType CITEXT COLLATE "C" DEFAULT ''
);
CREATE INDEX ix_base_FlowChartTree_Detail ON t_base_FlowChartTree (FDetailFuncID);

CREATE TABLE t_SubSystem (
  FSubSysID INTEGER NOT NULL PRIMARY KEY,
  FNumber CITEXT COLLATE "C",
  FName CITEXT COLLATE "C",
  FName_CHT CITEXT COLLATE "C",
  FName_EN CITEXT COLLATE "C"
);

CREATE TABLE t_SystemProfile (
  FCategory CITEXT COLLATE "C" NOT NULL,
  FKey CITEXT COLLATE "C" NOT NULL,
  FValue CITEXT COLLATE "C",
  PRIMARY KEY (FCategory, FKey)
);

CREATE TABLE t_SupportedProc (
  FProcName CITEXT COLLATE "C" NOT NULL PRIMARY KEY
);

CREATE TABLE t_DataTypeInfo (
  FDataType INTEGER NOT NULL PRIMARY KEY,
  FTypeName CITEXT COLLATE "C",
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
  FName CITEXT COLLATE "C",
  FFunctionID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE ICClassWorkFlow (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE ICListTemplate (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_DataAccess (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_DataObject (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_FieldObject (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_LogFunction (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_SysFunction (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSysID INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE t_TableDescription (
  FID INTEGER PRIMARY KEY,
  FName CITEXT COLLATE "C",
  FSubSystemID INTEGER NOT NULL DEFAULT 0
);
-- A row inserted without an FID gets one past the greatest stored, as
-- SQLite's INTEGER PRIMARY KEY gives it. Writers take turns (the write
-- lock), so two inserts never see the same greatest.
CREATE FUNCTION fn_NextRowID() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF NEW.FID IS NULL THEN
    EXECUTE format('SELECT COALESCE(MAX(FID), 0) + 1 FROM %I', TG_TABLE_NAME) INTO NEW.FID;
  END IF;
  RETURN NEW;
END
$$;
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_base_FlowChartTree FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON ICClassType FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON ICClassWorkFlow FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON ICListTemplate FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_DataAccess FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_DataObject FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_FieldObject FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_LogFunction FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_SysFunction FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();
CREATE TRIGGER tr_NextRowID BEFORE INSERT ON t_TableDescription FOR EACH ROW EXECUTE FUNCTION fn_NextRowID();

-- schema::kSchemaVersion (SQLite keeps it in PRAGMA user_version).
CREATE TABLE t_DataFlowSchemaVersion (
  FVersion INTEGER NOT NULL
);
INSERT INTO t_DataFlowSchemaVersion (FVersion) VALUES (1);
)SQL";

}  // namespace lxm::schema

namespace lxm {

// Every name the script spells, by lower case: the canonical spelling of
// the tables and columns. Where two spellings differ only in case
// (FAcctType, FacctType) the first one wins; fields are found by name
// without regard to case anyway.
const SpellingMap& SchemaSpelling() {
  static const SpellingMap* names = new SpellingMap(ColumnSpelling(schema::kPostgresScript).names());
  return *names;
}

}  // namespace lxm
