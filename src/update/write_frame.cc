#include "update/write_frame.h"

#include <exception>
#include <string>

#include "platform/call_scope.h"
#include "platform/com_error.h"
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

}  // namespace

void RunStandardWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                      const WriteBody& body) {
  RunInCallScope(runtime, /*writes=*/true, [&] {
    try {
      WriteRequest request(OpenWrite(runtime, context, sDsn));
      body(request);
    } catch (const ComError& error) {
      // Cast again: a nested call on this object may have voted complete
      // before the failure.
      GetObjectContext().SetAbort();
      throw ComError(error.number(), error.source(), error.description());
    } catch (...) {
      GetObjectContext().SetAbort();
      throw;
    }
    GetObjectContext().SetComplete();
  });
}

void RunSwallowingWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                        const WriteBody& body) {
  RunInCallScope(runtime, /*writes=*/true, [&] {
    try {
      WriteRequest request(OpenWrite(runtime, context, sDsn));
      if (RunSkippingFailure(request.connection.transaction(), [&] { body(request); })) {
        GetObjectContext().SetComplete();
      }
    } catch (const std::exception&) {
      // The caller is not told; the abort vote stands.
    }
  });
}

void BumpStamp(const DbConnection& connection, const CParse& parse, bool template_stamp) {
  TouchStamp(connection, template_stamp ? std::string(kTemplateStampName) : UserStampName(parse.UserID()));
}

void BumpUserStamp(const DbConnection& connection, int32_t user_id) {
  TouchStamp(connection, UserStampName(user_id));
}

}  // namespace lxm
