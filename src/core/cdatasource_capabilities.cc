// CDataSource: the capabilities of the database product, read once per
// product, version and database and shared by every call of the process.
#include "core/cdatasource.h"
#include "platform/call_scope.h"
#include "platform/convert.h"
#include "platform/db/dbms_properties.h"
#include "platform/dictionary.h"

namespace lxm {

namespace {

// Group property names and the connection property each comes from.
constexpr std::pair<std::string_view, std::string_view> kProperties[] = {
    {"DBMSName", "DBMS Name"},
    {"DBMSVersion", "DBMS Version"},
    {"MultipleResults", "Multiple Results"},
    {"LikeEscapeClause", "Like Escape Clause"},
    {"IEF", "Integrity Enhancement Facility"},
    {"NumericFunctions", "Numeric Functions"},
    {"StringFunctions", "String Functions"},
    {"SystemFunctions", "System Functions"},
    {"DateTimeFunctions", "Time/Date Functions"},
};

constexpr std::string_view kSupportedProcs = "SELECT FProcName FROM t_SupportedProc";

std::shared_ptr<Dictionary> LoadCapabilities(CDataSource& data_source) {
  return RunInCallScope(data_source.runtime(), false, [&] {
    DbConnection connection = data_source.Connection();
    std::vector<std::pair<std::string, Variant>> reported =
        DbmsProperties(connection.transaction().database().backend(), connection.transaction().server_version());
    auto group = Dictionary::Create();
    for (const auto& [name, source] : kProperties) {
      Variant value;
      for (const auto& [property, found] : reported) {
        if (property == source) value = found;
      }
      if (name == "LikeEscapeClause") value = Variant(!value.IsEmpty() && CStr(value) == "Y");
      group->Set(name, value);
    }
    auto procedures = Dictionary::Create();
    for (Recordset rs = connection.Query(kSupportedProcs); !rs.Eof(); rs.MoveNext()) {
      procedures->Set(CStr(rs.Value(size_t{0})), Variant(true));
    }
    group->Set("SupportedProc", Variant(procedures));
    group->Set("ConnectString", Variant(data_source.ConnectString()));
    group->Set("Connected", Variant(true));
    return group;
  });
}

}  // namespace

Variant CDataSource::Capability(std::string_view name) {
  const CParse* parse = parse_.get();
  // Keyed by the database as well, so one account's procedure list is never
  // served for another on the same product.
  std::string group = (parse != nullptr ? parse->ConDBMSName() + parse->ConDBMSVersion() : std::string()) +
                      "DataSource" + "\n" + ConnectString();
  try {
    Variant kept = runtime_->shared_properties().GetOrMake(group, "Capabilities",
                                                           [&] { return Variant(LoadCapabilities(*this)); });
    return kept.AsDictionary()->ValueOr(name, Variant());
  } catch (const std::exception&) {
    return Variant();  // not kept: the next call tries again
  }
}

Variant CDataSource::DBMSName() { return Capability("DBMSName"); }
Variant CDataSource::DBMSVersion() { return Capability("DBMSVersion"); }
Variant CDataSource::MultipleResults() { return Capability("MultipleResults"); }
Variant CDataSource::LikeEscapeClause() { return Capability("LikeEscapeClause"); }
Variant CDataSource::IEF() { return Capability("IEF"); }
Variant CDataSource::NumericFunctions() { return Capability("NumericFunctions"); }
Variant CDataSource::StringFunctions() { return Capability("StringFunctions"); }
Variant CDataSource::SystemFunctions() { return Capability("SystemFunctions"); }
Variant CDataSource::DateTimeFunctions() { return Capability("DateTimeFunctions"); }

bool CDataSource::ProcSupported(const std::string& ProcName) {
  Variant procedures = Capability("SupportedProc");
  return procedures.kind() == VariantKind::kDictionary && procedures.AsDictionary() != nullptr &&
         procedures.AsDictionary()->Exists(ProcName);
}

bool CDataSource::IsOracle() {
  Variant name = Capability("DBMSName");
  return name.kind() == VariantKind::kString && name.AsString() == "Oracle";
}

}  // namespace lxm
