#include "tree/demo_data.h"

#include <charconv>
#include <string>
#include <vector>

#include "platform/com_error.h"

namespace lxm::demo {

namespace {

// One record kind: its table and columns in file order; "*" marks integers.
struct KindSpec {
  std::string_view kind;
  std::string_view table;
  std::string_view columns;
};

constexpr KindSpec kKindSpecs[] = {
    {"TopClass", "t_DataFlowTopClass",
     "*FTopClassID *FIndex *FVisible *FShowSysType FAcctType FTopClassName FTopClassName_CHT "
     "FTopClassName_EN FToolTips FToolTips_CHT FToolTips_EN"},
    {"SubSystem", "t_DataFlowSubSystem",
     "*FSubSysID *FTopClassID *FIndex *FVisible *FShowSysType FAcctType *FRefresh "
     "*FUpdateBaseData FSubID *FSubsystemID FClassName FAppClassName FHelpFileName *FTipID "
     "FName FName_CHT FName_EN FNote FNote_CHT FNote_EN"},
    {"SubFunc", "t_DataFlowSubFunc",
     "*FSubFuncID *FSubSysID *FIndex *FVisible FAcctType *FFuncType *FRefresh *FSetEnable "
     "*FIsEdit FSubID FClassName FClassParam FFuncName FFuncName_CHT FFuncName_EN"},
    {"DetailFunc", "t_DataFlowDetailFunc",
     "*FDetailFuncID *FSubFuncID *FIndex *FVisible *FEnable FAcctType *FFuncType *FIsNormal "
     "*FIsEdit FHelpCode FClassName FClassParam FFuncName FFuncName_CHT FFuncName_EN "
     "FShowName FShowName_CHT FShowName_EN"},
    {"UserTopClass", "t_UserTopClass",
     "*FTopClassID *FUserID *FIndex *FVisible FAcctType FTopClassName FTopClassName_CHT "
     "FTopClassName_EN"},
    {"UserSubSystem", "t_UserSubSystem",
     "*FSubSysID *FUserID *FTopClassID *FIndex *FVisible FAcctType FName FName_CHT FName_EN"},
    {"UserSubFunc", "t_UserSubFunc",
     "*FSubFuncID *FUserID *FSubSysID *FIndex *FVisible FFuncName FFuncName_CHT FFuncName_EN"},
    {"UserDetailFunc", "t_UserDetailFunc",
     "*FDetailFuncID *FUserID *FSubFuncID *FIndex *FVisible *FEnable FHelpCode FClassName "
     "FClassParam FFuncName FFuncName_CHT FFuncName_EN"},
    {"AcctType", "t_DataFlowAcctType",
     "*FAcctType *FacctTrade FNumber *FForbidden *FDeleted FName FName_CHT FName_EN FDesc "
     "FDesc_CHT FDesc_EN FShowName FShowName_CHT FShowName_EN"},
    {"Profile", "t_DataFlowProfile", "FName FValue"},
    {"UserProfile", "t_UserDataFlowProfile", "*FUserID FName FValue"},
    {"SystemProfile", "t_SystemProfile", "FCategory FKey FValue"},
    {"SubSystemReg", "t_SubSystem", "*FSubSysID FNumber FName FName_CHT FName_EN"},
    {"SupportedProc", "t_SupportedProc", "FProcName"},
    {"DataType", "t_DataTypeInfo",
     "*FDataType FTypeName *FMaxPrecision *FMinScale *FMaxScale *FActualType *FBindType "
     "*FActualSize"},
    {"FlowChart", "t_base_FlowChartTree", "*FID *FDetailFuncID FName FacctType"},
    {"FuncGroup", "t_NormalFuncGroup", "*FFuncGroupID *FUserID FFuncGroupName FShowName"},
    {"NormalFunc", "t_NormalFunc",
     "*FFuncGroupID *FUserID *FDetailFuncID FHelpCode FShowName FFuncName"},
};

struct Kind {
  std::string_view name;
  std::vector<bool> integer;  // per column
  std::string insert_sql;
};

std::vector<Kind> BuildKinds() {
  std::vector<Kind> kinds;
  for (const KindSpec& spec : kKindSpecs) {
    Kind kind{spec.kind, {}, {}};
    std::string names;
    std::string marks;
    std::string_view rest = spec.columns;
    while (!rest.empty()) {
      size_t end = rest.find(' ');
      std::string_view column = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      if (column.empty()) continue;
      bool integer = column.front() == '*';
      if (integer) column.remove_prefix(1);
      kind.integer.push_back(integer);
      names += (names.empty() ? "" : ", ") + std::string(column);
      marks += marks.empty() ? "?" : ", ?";
    }
    kind.insert_sql =
        "INSERT INTO " + std::string(spec.table) + " (" + names + ") VALUES (" + marks + ")";
    kinds.push_back(std::move(kind));
  }
  return kinds;
}

const Kind* FindKind(std::string_view name) {
  static const std::vector<Kind> kinds = BuildKinds();
  for (const Kind& kind : kinds) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

ComError Malformed(std::string message) {
  return ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource), std::move(message));
}

std::string LinePrefix(size_t line_number) {
  return "tree text line " + std::to_string(line_number) + ": ";
}

Variant ParseField(std::string_view field, bool integer, size_t line_number, size_t position) {
  if (field == "\\N") return Variant::Null();
  if (!integer) return Variant(field);
  int32_t value = 0;
  auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size()) {
    throw Malformed(LinePrefix(line_number) + "field " + std::to_string(position) + " '" +
                    std::string(field) + "' is not an integer");
  }
  return Variant(value);
}

}  // namespace

int RecordWriter::ValueCount(std::string_view kind) {
  const Kind* found = FindKind(kind);
  return found == nullptr ? -1 : static_cast<int>(found->integer.size());
}

void RecordWriter::Insert(std::string_view kind, const Params& values) {
  const Kind* found = FindKind(kind);
  if (found == nullptr) throw Malformed("unknown record kind '" + std::string(kind) + "'");
  if (values.size() != found->integer.size()) {
    throw Malformed("record kind " + std::string(kind) + " takes " +
                    std::to_string(found->integer.size()) + " values, not " +
                    std::to_string(values.size()));
  }
  transaction_.Execute(found->insert_sql, values);
}

void LoadTreeText(Transaction& transaction, std::string_view text) {
  RecordWriter writer(transaction);
  Params values;
  size_t line_number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    size_t tab = line.find('\t');
    std::string_view kind_name = line.substr(0, tab);
    const Kind* kind = FindKind(kind_name);
    if (kind == nullptr) {
      throw Malformed(LinePrefix(line_number) + "unknown record kind '" + std::string(kind_name) +
                      "'");
    }
    values.clear();
    while (tab != std::string_view::npos) {
      size_t start = tab + 1;
      tab = line.find('\t', start);
      std::string_view field =
          line.substr(start, tab == std::string_view::npos ? tab : tab - start);
      if (values.size() < kind->integer.size()) {
        values.push_back(
            ParseField(field, kind->integer[values.size()], line_number, values.size() + 1));
      } else {
        values.emplace_back();  // counted only, for the message below
      }
    }
    if (values.size() != kind->integer.size()) {
      throw Malformed(LinePrefix(line_number) + std::string(kind_name) + " takes " +
                      std::to_string(kind->integer.size()) + " fields, found " +
                      std::to_string(values.size()));
    }
    try {
      writer.Insert(kind_name, values);
    } catch (const ComError& error) {
      throw ComError(error.number(), error.source(), LinePrefix(line_number) + error.description(),
                     error.help_file(), error.help_context());
    }
  }
}

void LoadDemo(Transaction& transaction) { LoadTreeText(transaction, kDemoTreeText); }

}  // namespace lxm::demo
