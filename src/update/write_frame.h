// The frame every DatasUpdate write runs in, and the stamp bump it ends with.
//
// A write votes abort before it touches anything, builds the request context,
// runs its statements on one connection of the call and votes complete at the
// end. Since the call scope rolls back whatever an aborted call wrote, a
// failure anywhere leaves no change behind, also when the write swallows it.
//
//   void DatasUpdate::UpdateTopClassName(...) {
//     RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
//       request.connection.Execute(kRename, {Variant(name), Variant(id)});
//       BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
//     });
//   }
//
// Each helper states one failure style:
//   RunStandardWrite    failure re-raised with its number, source,
//                       description, help file and help context; the
//                       abort vote stands.
//   RunStepwiseWrite    as the standard frame, without the abort vote at
//                       entry: its steps stand alone.
//   RunSwallowingWrite  failure swallowed, the call returns normally; the
//                       abort vote stands, so what the write did is undone.
#ifndef LXM_UPDATE_WRITE_FRAME_H_
#define LXM_UPDATE_WRITE_FRAME_H_

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include "core/request_context.h"
#include "platform/db_connection.h"
#include "platform/runtime.h"

namespace lxm {

// What a write's statements work with. Valid for the body's run only. The
// request holds its own share of the context, so a nested call on the same
// object, which replaces the object's context, cannot free what `parse` and
// `data_source` refer to.
struct WriteRequest {
  explicit WriteRequest(RequestContext request_context)
      : context(std::move(request_context)),
        parse(*context.parse),
        data_source(*context.data_source),
        connection(data_source.Connection()) {}
  WriteRequest(const WriteRequest&) = delete;
  WriteRequest& operator=(const WriteRequest&) = delete;

  const RequestContext context;
  const CParse& parse;
  CDataSource& data_source;
  DbConnection connection;  // from data_source.Connection()
};

using WriteBody = std::function<void(WriteRequest& request)>;

// The standard frame: abort vote, `context` replaced from sDsn, a connection,
// `body`, completion vote. Any ComError is raised again as a new error with
// the failure's number, source and description (help file and context are not
// carried). Joins an outer call when there is one.
void RunStandardWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                      const WriteBody& body);

// The standard frame without the abort vote at entry, for a write whose
// steps stand alone (each skipped on failure under its own savepoint): what
// they did stays when a nested call it makes votes complete. Failures outside
// the steps are raised as in the standard frame.
void RunStepwiseWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                      const WriteBody& body);

// The frame of a write whose failures the caller never hears of: as the
// standard frame, but every failure, a descriptor that does not parse
// included, is swallowed and leaves the abort vote standing. The body runs
// under a savepoint, so a swallowed failure leaves nothing of the body behind
// even when an outer call later votes complete. With `logged_as` (the
// method's name) a swallowed failure is logged with the descriptor's user;
// never the descriptor itself, which may hold a password.
void RunSwallowingWrite(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                        const WriteBody& body, std::string_view logged_as = {});

// The log line of a failure a write did not report: method, user, error.
void LogSwallowedFailure(std::string_view method, const RequestContext* context, const std::exception& failure);

// Touches one stamp row so that its row version moves: the template's
// ("DataFlow") when `template_stamp`, else the request user's ("DataFlow" and
// parse.UserID()). Never inserts: a missing row stays missing. Raises what the
// statement raises, and error 13 when the descriptor has no numeric UserID.
void BumpStamp(const DbConnection& connection, const CParse& parse, bool template_stamp);

// Touches the stamp row of one user ("DataFlow" and `user_id`); never inserts.
void BumpUserStamp(const DbConnection& connection, int32_t user_id);

// Touches every user's stamp row, and the template's too when
// `with_template`: for writes that change every overlay at once.
void BumpEveryStamp(const DbConnection& connection, bool with_template);

}  // namespace lxm

#endif  // LXM_UPDATE_WRITE_FRAME_H_
