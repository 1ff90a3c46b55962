// Dispatcher: one call by class and method name, from a JSON request body to
// a JSON reply, as the server (and the command line's `call`) run it.
//
//   request  {"args": [value, ...]}          (positional; see arguments.h)
//   reply    {"result": value}               200
//            {"result": value, "out": {"lTopClassID": value}}
//                                            by-reference arguments the method changed
//            {}                              a method that returns nothing
//            {"error": {"number", "source", "description", "helpFile", "helpContext"}}
//                                            500: an automation error the call raised
//            {"error": {"kind", "description"}}
//                                            a request refused before any method ran:
//                                            400 malformed_json, bad_request, bad_arguments;
//                                            404 unknown_class, unknown_method;
//                                            403 exec_disabled, database_not_configured,
//                                            forbidden (method_access.h)
//
// Each call creates a fresh object of the class (the type library's
// invoker); objects share the runtime's pools and caches.
//
// Thread-safety: Call() may run on many threads at once.
#ifndef LXM_SERVER_DISPATCHER_H_
#define LXM_SERVER_DISPATCHER_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/cparse.h"
#include "platform/byte_budget.h"
#include "platform/com_error.h"
#include "platform/runtime.h"
#include "server/calls_in_flight.h"
#include "server/database_allowlist.h"
#include "server/json_codec.h"
#include "server/method_access.h"
#include "server/type_library.h"

namespace lxm::server {

struct DispatcherOptions {
  // When given, a descriptor ("sDsn") whose ConnectString names none of
  // these databases is refused (403) before the method runs, so nothing is
  // opened. Without it any database may be named (in-process use).
  std::optional<DatabaseAllowlist> databases;
  // ExecCmd and RegMiddle run commands on the server: refused (403) unless
  // enabled.
  bool enable_exec = false;
  // When given, a user (the token map's, else the descriptor's) with this
  // many calls running gets 429 for the next. Calls that name no user are
  // not counted.
  std::shared_ptr<CallsInFlight> calls_in_flight;
};

struct Reply {
  int status = 200;
  std::string body;  // JSON
  // A reply holding large shared levels comes in pieces instead, so that a
  // cached level's text is sent without a copy: the JSON text is the pieces
  // in order, and `body` is empty.
  Pieces pieces;
  // JSON, but for the web page's own files.
  std::string_view content_type = "application/json; charset=utf-8";
  // Header lines ("Name: value\r\n") sent besides the usual ones; static
  // text only, as the reply may outlive the call that made it.
  std::string_view extra_fields;
  // What the call kept for its reply (shares of the file-bytes budget),
  // given back once the reply is gone.
  std::vector<ByteBudget::Share> held;

  // The whole JSON text.
  std::string Text() const;
};

// The reply of a request refused by the host: {"error": {"kind", "description"}}.
Reply HostErrorReply(int status, std::string_view kind, std::string_view description);
// The reply of an automation error: HTTP 500.
Reply AutomationErrorReply(const ComError& error);

// Whether a method runs commands on the server (ExecCmd, RegMiddle).
bool IsCommandMethod(std::string_view method_name);

class Dispatcher {
 public:
  Dispatcher(Runtime& runtime, const TypeLibrary& library, DispatcherOptions options);

  // Runs one call. `body` is the request body (empty means no arguments).
  // With a `caller` (a token of the host's token map), what its role does
  // not allow is refused with 403 before the method runs, and a favourite
  // group's owner is checked in the call's own transaction, so that no
  // other call can change it in between.
  // `counted` calls are bounded per user (DispatcherOptions::calls_in_flight):
  // the host counts those that take a worker.
  Reply Call(std::string_view prog_id, std::string_view method_name, std::string_view body,
             const Caller* caller = nullptr, bool counted = true) const;

  // The type library entry of one class (GET /rpc/{ProgID}):
  // {"progId", "methods": [{"name", "result", "params": [{"name", "type",
  //  "byRef", "optional", "default"}]}]}; 404 for an unknown class.
  Reply Describe(std::string_view prog_id) const;
  // {"classes": [ProgID, ...]} (GET /rpc).
  Reply ListClasses() const;

  const TypeLibrary& library() const { return library_; }

 private:
  const ClassInfo& FindClass(std::string_view prog_id) const;
  // Refuses (403) a descriptor naming a database this server does not serve,
  // and points one that does at the configured text (its credentials).
  // One that does not parse goes on to the method, whose own trap decides.
  void CheckDescriptor(const MethodInfo& method, Arguments& args) const;
  // The call's place among its user's calls in flight (429 beyond the
  // bound); null when nothing is counted.
  CallsInFlight::Ticket EnterCall(const MethodInfo& method, const Arguments& args, const Caller* caller) const;
  // Runs the method inside a call scope that first reads the owner of
  // favourite group `group` and refuses (403) one not the caller's.
  Variant InvokeCheckingGroup(const ClassInfo& info, const MethodInfo& method, Arguments& args,
                              const Caller& caller, int32_t group) const;

  Runtime& runtime_;
  const TypeLibrary& library_;
  DispatcherOptions options_;
};

}  // namespace lxm::server

#endif  // LXM_SERVER_DISPATCHER_H_
