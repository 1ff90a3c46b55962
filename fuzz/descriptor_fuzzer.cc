// The descriptor parser: the "ConnectString={...};UserID=..;LANGUAGE=.." text
// every public method takes, parsed as a method's request context parses it,
// its properties read as the methods read them, and its connect string
// checked as the server checks it against the databases it serves.
//
// Expected outcomes: a parse, or a ComError (457 for a name given twice;
// 13 or 6 from UserID; the provider error from the connect string).
// A parse kept for the thread must read as a fresh one, and a refused text
// must leave an earlier parse as it was.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/cparse.h"
#include "core/request_context.h"
#include "fuzz/request_body.h"
#include "platform/com_error.h"
#include "platform/db/connect_string.h"
#include "server/database_allowlist.h"

namespace {

using lxm::fuzz::Fail;

constexpr std::string_view kKnownNames[] = {"ConnectString", "UserID", "UserName", "LANGUAGE",
                                            "AcctType", "DBMS Name", "DBMS Version"};

const lxm::server::DatabaseAllowlist& Allowlist() {
  static const lxm::server::DatabaseAllowlist allowlist = [] {
    lxm::server::DatabaseAllowlist list;
    list.Add("Provider=SQLite;Data Source=/srv/lxm/acct.db");
    list.Add("Provider=PostgreSQL;Host=127.0.0.1;Port=5432;Database=acct;User ID=lxm");
    return list;
  }();
  return allowlist;
}

void ReadProperties(const lxm::CParse& parse) {
  parse.UserName();
  parse.LanguageID();
  parse.IsIndustry();
  parse.ConDBMSName();
  try {
    parse.UserID();
  } catch (const lxm::ComError&) {
  }
  Allowlist().Allows(parse.ConStr());
  try {
    lxm::ConnectString connect = lxm::ParseConnectString(parse.ConStr());
    // The SQLite identity resolves a path on disk: not for random text.
    if (connect.backend == lxm::Backend::kPostgreSQL) lxm::DatabaseIdentity(connect);
  } catch (const lxm::ComError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::shared_ptr<lxm::CParse> kept;
  try {
    kept = lxm::ParseDescriptor(text);
  } catch (const lxm::ComError&) {
  }
  // The second time the thread's kept parse answers.
  std::shared_ptr<lxm::CParse> again;
  try {
    again = lxm::ParseDescriptor(text);
  } catch (const lxm::ComError&) {
  }
  if ((kept == nullptr) != (again == nullptr)) Fail("the same descriptor parsed and then not");

  lxm::CParse fresh;
  fresh.ParseString("UserID=1;LANGUAGE=en");
  bool parsed = true;
  try {
    fresh.ParseString(text);
  } catch (const lxm::ComError&) {
    parsed = false;
  }
  if (parsed != (kept != nullptr)) Fail("a kept parse and a fresh one disagree on success");
  if (!parsed) {
    if (fresh.PropsString() != "UserID=1;LANGUAGE=en" || fresh.property_count() != 2) {
      Fail("a refused descriptor changed the earlier parse");
    }
    return 0;
  }
  if (fresh.PropsString() != text || fresh.property_count() != again->property_count()) {
    Fail("a kept parse and a fresh one differ");
  }
  for (std::string_view name : kKnownNames) {
    if (fresh.GetProperty(name) != again->GetProperty(name)) Fail("property " + std::string(name) + " differs");
  }
  ReadProperties(*again);
  return 0;
}
