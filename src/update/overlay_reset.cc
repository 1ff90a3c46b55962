// DatasUpdate: rewriting whole overlays. SetDefault resets the caller's
// overlay to the shared default's nodes with the template's attributes;
// ApplyAllUser hands one user's overlay to listed users, or makes it the
// shared default of everybody. Both end by touching every user's stamp.
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "update/datas_update.h"
#include "update/dictionary_values.h"
#include "update/overlay_levels.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

constexpr std::string_view kSetDefaultSource = "LXMDataFlow.DatasUpdate.SetDefault";
constexpr std::string_view kBuildSource = ":ExcuteBuildSQL";

// Users are copied ten at a time, by their position in the list.
constexpr int32_t kUsersPerChunk = 10;

constexpr std::string_view kCreateTargets =
    "CREATE TEMP TABLE IF NOT EXISTS t_ApplyUserTarget (FUserID INTEGER NOT NULL, FChunk INTEGER NOT NULL)";
constexpr std::string_view kClearTargets = "DELETE FROM t_ApplyUserTarget";
constexpr std::string_view kAddTarget = "INSERT INTO t_ApplyUserTarget (FUserID, FChunk) VALUES (?,?)";
constexpr std::string_view kDropTargets = "DROP TABLE t_ApplyUserTarget";

std::string Table(std::string_view name) { return std::string(name); }

void ResetToDefault(const DbConnection& connection, int32_t user_id) {
  for (const OverlayLevel& level : kOverlayLevels) {
    connection.Execute("DELETE FROM " + Table(level.user_table) + " WHERE FUserID=?", {Variant(user_id)});
  }
  // Shared-default rows whose template node is gone.
  for (const OverlayLevel& level : kOverlayLevels) {
    std::string key(level.key);
    connection.Execute("DELETE FROM " + Table(level.user_table) + " WHERE FUserID=0 AND NOT EXISTS (SELECT 1 FROM " +
                       Table(level.template_table) + " t2 WHERE t2." + key + "=" + Table(level.user_table) + "." +
                       key + ")");
  }
  // The default's node set with the template's names, order and visibility.
  for (const OverlayLevel& level : kOverlayLevels) {
    std::string key(level.key);
    connection.Execute("INSERT INTO " + Table(level.user_table) + " (" + Table(level.columns) + ") SELECT " +
                           CopySelectList(level, "t2.", "?") + " FROM " + Table(level.user_table) +
                           " t1 INNER JOIN " + Table(level.template_table) + " t2 ON t1." + key + "=t2." + key +
                           " WHERE t1.FUserID=0",
                       {Variant(user_id)});
  }
  BumpEveryStamp(connection, /*with_template=*/false);
}

// The all-users batch: every overlay but the default's and `template_user`'s
// is dropped, and the default takes `template_user`'s rows.
void MakeSharedDefault(const DbConnection& connection, int32_t template_user) {
  Variant user(template_user);
  for (const OverlayLevel& level : kOverlayLevels) {
    connection.Execute("DELETE FROM " + Table(level.user_table) + " WHERE FUserID<>0 AND FUserID<>?", {user});
  }
  for (const OverlayLevel& level : kOverlayLevels) {
    std::string key(level.key);
    connection.Execute("DELETE FROM " + Table(level.user_table) + " WHERE FUserID<>? AND " + key + " IN (SELECT " +
                           key + " FROM " + Table(level.user_table) + " WHERE FUserID=?)",
                       {user, user});
  }
  // The default copied onto itself would only double its rows.
  if (template_user != 0) {
    for (const OverlayLevel& level : kOverlayLevels) {
      connection.Execute("INSERT INTO " + Table(level.user_table) + " (" + Table(level.columns) + ") SELECT " +
                             CopySelectList(level, "", "0") + " FROM " + Table(level.user_table) +
                             " WHERE FUserID=?",
                         {user});
    }
  }
  BumpEveryStamp(connection, /*with_template=*/false);
}

// The users to copy to, each with its chunk (position in the list / 10): the
// template user and repeated users are left out, but keep their positions.
struct Target {
  int32_t user_id;
  int32_t chunk;
};

std::vector<Target> TargetsOf(const Vector& users, int32_t template_user) {
  std::vector<Target> targets;
  std::unordered_set<int32_t> seen;
  for (int32_t position = 1; position <= users.Count(); ++position) {
    int32_t user_id = CLng(users.Item(position));
    if (user_id == template_user || !seen.insert(user_id).second) continue;
    targets.push_back({user_id, (position - 1) / kUsersPerChunk});
  }
  return targets;
}

}  // namespace

void DatasUpdate::ExcuteBuildSQL(const DbConnection& connection, const Vector& users, int32_t template_user) {
  try {
    std::vector<Target> targets = TargetsOf(users, template_user);
    connection.Execute(kCreateTargets);
    connection.Execute(kClearTargets);
    for (const Target& target : targets) {
      connection.Execute(kAddTarget, {Variant(target.user_id), Variant(target.chunk)});
    }
    for (const OverlayLevel& level : kOverlayLevels) {
      connection.Execute("DELETE FROM " + Table(level.user_table) +
                         " WHERE FUserID IN (SELECT FUserID FROM t_ApplyUserTarget)");
    }
    int32_t last_chunk = targets.empty() ? -1 : targets.back().chunk;
    for (int32_t chunk = 0; chunk <= last_chunk; ++chunk) {
      for (const OverlayLevel& level : kOverlayLevels) {
        connection.Execute("INSERT INTO " + Table(level.user_table) + " (" + Table(level.columns) + ") SELECT " +
                               CopySelectList(level, "s.", "t.FUserID") + " FROM " + Table(level.user_table) +
                               " s CROSS JOIN t_ApplyUserTarget t WHERE s.FUserID=? AND t.FChunk=?",
                           {Variant(template_user), Variant(chunk)});
      }
    }
    connection.Execute(kDropTargets);
    BumpEveryStamp(connection, /*with_template=*/false);
  } catch (const ComError& error) {
    throw ComError(error.number(), std::string(kBuildSource), error.description(), error.help_file(),
                   error.help_context());
  }
}

void DatasUpdate::SetDefault(std::string_view sDsn) {
  try {
    RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
      int32_t user_id = request.parse.UserID();
      // The shared default cannot be reset to itself: that would empty it for
      // everybody.
      if (user_id == 0) {
        throw ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                       "The shared default (user 0) has no default to be reset to.");
      }
      ResetToDefault(request.connection, user_id);
      BumpStamp(request.data_source.Connection(), request.parse, /*template_stamp=*/false);
    });
  } catch (const ComError& error) {
    throw ComError(error.number(), std::string(kSetDefaultSource), error.description());
  }
}

bool DatasUpdate::ApplyAllUser(std::string_view sDsn, const std::shared_ptr<Vector>& vctUser,
                               const std::shared_ptr<Dictionary>& dctInfo) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    std::optional<int32_t> named = TemplateUserID(dctInfo);
    // The caller's ID only when no template user is named: a descriptor
    // without one is fine then.
    int32_t template_user = named ? *named : request.parse.UserID();
    if (vctUser == nullptr) throw RuntimeError(errors::kInvalidCall);
    if (!named && vctUser->Count() == 0) {
      MakeSharedDefault(request.connection, template_user);
    } else {
      ExcuteBuildSQL(request.connection, *vctUser, template_user);
    }
  });
  return true;
}

}  // namespace lxm
