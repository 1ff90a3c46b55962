#include "update/write_frame.h"

#include <exception>
#include <optional>
#include <string>

#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/log.h"
#include "tree/stamps.h"

namespace lxm {

namespace {

// Setting the name to itself changes nothing but the row version.
constexpr std::string_view kTouchStamp = "UPDATE t_DataFlowTimeStamp SET FName = ? WHERE FName = ?";

void TouchStamp(const DbConnection& connection, const std::string& name) {
  connection.Execute(kTouchStamp, {Variant(name), Variant(name)});
}

// The opening of every write: the abort vote first, then the context and
// the call's connection.
RequestContext OpenWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn) {
  GetObjectContext().SetAbort();
  context = PrepareContext(runtime, sDsn);
  return context;
}

// The standard frame, with or without the abort vote at entry.
void RunRaisingWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn, const WriteBody& body,
                     bool abort_first) {
  RunInCallScope(runtime, /*writes=*/true, [&] {
    try {
      if (abort_first) GetObjectContext().SetAbort();
      context = PrepareContext(runtime, sDsn);
      WriteRequest request(context);
      body(request);
    } catch (const ComError& error) {
      // Cast again: a nested call on this object may have voted complete
      // before the failure.
      GetObjectContext().SetAbort();
      throw ComError(error.number(), error.source(), error.description(), error.help_file(), error.help_context());
    } catch (...) {
      GetObjectContext().SetAbort();
      throw;
    }
    GetObjectContext().SetComplete();
  });
}

}  // namespace

void RunStandardWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                      const WriteBody& body) {
  RunRaisingWrite(runtime, context, sDsn, body, /*abort_first=*/true);
}

void RunStepwiseWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                      const WriteBody& body) {
  RunRaisingWrite(runtime, context, sDsn, body, /*abort_first=*/false);
}

void RunSwallowingWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                        const WriteBody& body, std::string_view logged_as) {
  RunInCallScope(runtime, /*writes=*/true, [&] {
    std::optional<WriteRequest> request;
    try {
      request.emplace(OpenWrite(runtime, context, sDsn));
      bool done = RunSkippingFailure(
          request->connection.transaction(), [&] { body(*request); },
          [&](const std::exception& failure) {
            if (!logged_as.empty()) LogSwallowedFailure(logged_as, &request->context, failure);
          });
      if (done) GetObjectContext().SetComplete();
    } catch (const std::exception& failure) {
      // The descriptor or the connection failed. The caller is not told;
      // the abort vote stands.
      if (!logged_as.empty()) {
        LogSwallowedFailure(logged_as, request ? &request->context : nullptr, failure);
      }
    }
  });
}

void LogSwallowedFailure(std::string_view method, const RequestContext* context, const std::exception& failure) {
  std::string user = "?";
  if (context != nullptr && context->parse != nullptr) user = context->parse->GetProperty("UserID");
  LogLine(std::string(method) + " (user " + user + "): not reported: " + failure.what());
}

void BumpStamp(const DbConnection& connection, const CParse& parse, bool template_stamp) {
  TouchStamp(connection, template_stamp ? std::string(kTemplateStampName) : UserStampName(parse.UserID()));
}

void BumpUserStamp(const DbConnection& connection, int32_t user_id) {
  TouchStamp(connection, UserStampName(user_id));
}

void BumpEveryStamp(const DbConnection& connection, bool with_template) {
  if (with_template) {
    connection.Execute("UPDATE t_DataFlowTimeStamp SET FName = FName");
  } else {
    connection.Execute("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName <> ?",
                       {Variant(std::string(kTemplateStampName))});
  }
}

}  // namespace lxm
