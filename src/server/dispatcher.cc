#include "server/dispatcher.h"

#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "core/cparse.h"
#include "core/request_context.h"
#include "platform/call_scope.h"
#include "platform/convert.h"
#include "platform/recordset.h"
#include "platform/text_util.h"
#include "server/arguments.h"
#include "server/json_codec.h"
#include "server/request_error.h"

namespace lxm::server {

namespace {

// E_FAIL: what automation reports for a failure that carries no error
// object of its own.
constexpr int32_t kUnspecifiedError = -2147467259;

void AppendNamedNumber(std::string_view name, int64_t value, std::string* out) {
  AppendJsonString(name, out);
  out->push_back(':');
  out->append(std::to_string(value));
}

void AppendNamedText(std::string_view name, std::string_view value, std::string* out) {
  AppendJsonString(name, out);
  out->push_back(':');
  AppendJsonString(value, out);
}

}  // namespace

std::string Reply::Text() const {
  if (pieces.empty()) return body;
  std::string text;
  for (const auto& piece : pieces) text += *piece;
  return text;
}

Reply HostErrorReply(int status, std::string_view kind, std::string_view description) {
  Reply reply{status, {}};
  reply.body.append(R"({"error":{)");
  AppendNamedText("kind", kind, &reply.body);
  reply.body.push_back(',');
  AppendNamedText("description", description, &reply.body);
  reply.body.append("}}");
  return reply;
}

Reply AutomationErrorReply(const ComError& error) {
  Reply reply{500, {}};
  std::string& out = reply.body;
  out.append(R"({"error":{)");
  AppendNamedNumber("number", error.number(), &out);
  out.push_back(',');
  AppendNamedText("source", error.source(), &out);
  out.push_back(',');
  AppendNamedText("description", error.description(), &out);
  out.push_back(',');
  AppendNamedText("helpFile", error.help_file(), &out);
  out.push_back(',');
  AppendNamedNumber("helpContext", error.help_context(), &out);
  out.append("}}");
  return reply;
}

bool IsCommandMethod(std::string_view method_name) {
  return EqualsIgnoreCase(method_name, "ExecCmd") || EqualsIgnoreCase(method_name, "RegMiddle");
}

Dispatcher::Dispatcher(Runtime& runtime, const TypeLibrary& library, DispatcherOptions options)
    : runtime_(runtime), library_(library), options_(std::move(options)) {}

const ClassInfo& Dispatcher::FindClass(std::string_view prog_id) const {
  const ClassInfo* info = library_.Find(prog_id);
  if (info == nullptr) {
    std::string known;
    for (const auto& each : library_.classes()) {
      known += known.empty() ? "" : ", ";
      known += each->prog_id();
    }
    throw RequestError(404, "unknown_class",
                       "There is no class \"" + std::string(prog_id) + "\" (the classes are " +
                           known + ").");
  }
  return *info;
}

void Dispatcher::CheckDescriptor(const MethodInfo& method, Arguments& args) const {
  int index = method.DescriptorIndex();
  if (!options_.databases || index < 0) return;
  // A descriptor that does not parse goes to the method as it came: the
  // method's own trap decides what the caller sees (some swallow it), and its
  // parse fails before anything is opened.
  std::shared_ptr<CParse> parse;
  try {
    parse = ParseDescriptor(CStr(args[static_cast<size_t>(index)]));
  } catch (const ComError&) {
    return;
  }
  const std::string* configured = options_.databases->Find(parse->ConStr());
  if (configured == nullptr) {
    throw RequestError(403, "database_not_configured",
                       "The descriptor's ConnectString names a database this server does not "
                       "serve; it serves only the databases it was started with.");
  }
  // The host connects with its own credentials, whatever password (if any)
  // the caller gave.
  if (*configured != parse->ConStr()) {
    args[static_cast<size_t>(index)] = Variant(WithProperty(parse->PropsString(), "ConnectString", *configured));
  }
}

CallsInFlight::Ticket Dispatcher::EnterCall(const MethodInfo& method, const Arguments& args,
                                            const Caller* caller) const {
  if (!options_.calls_in_flight) return nullptr;
  std::string user;
  if (caller != nullptr) {
    user = std::to_string(caller->user_id);
  } else if (int index = method.DescriptorIndex(); index >= 0) {
    try {
      user = std::to_string(ParseDescriptor(CStr(args[static_cast<size_t>(index)]))->UserID());
    } catch (const ComError&) {
      return nullptr;  // the method's own trap answers a descriptor without a user
    }
  } else {
    return nullptr;
  }
  CallsInFlight::Ticket ticket = options_.calls_in_flight->Enter(user);
  if (ticket == nullptr) {
    throw RequestError(429, "too_many_calls",
                       "User " + user + " has " + std::to_string(options_.calls_in_flight->max_per_user()) +
                           " calls running already, this server's bound per user; send the next when one "
                           "has been answered.");
  }
  return ticket;
}

Variant Dispatcher::InvokeCheckingGroup(const ClassInfo& info, const MethodInfo& method, Arguments& args,
                                       const Caller& caller, int32_t group) const {
  // The method joins this scope: the owner read and the method's own work
  // are one transaction, and a scope of the writing class takes the write
  // lock at the read.
  CallScope scope(runtime_, EqualsIgnoreCase(info.prog_id(), "LXMDataFlow.DatasUpdate"));
  std::optional<int32_t> owner;
  try {
    // CheckAccess let only a parsed descriptor through with a group to check.
    std::shared_ptr<CParse> parse = ParseDescriptor(CStr(args[static_cast<size_t>(method.DescriptorIndex())]));
    Recordset found = scope.TransactionFor(parse->ConStr())
                          .Query("SELECT FUserID FROM t_NormalFuncGroup WHERE FFuncGroupID = ?", {Variant(group)});
    if (!found.Eof()) owner = CLng(found.Value("FUserID"));
  } catch (const ComError& error) {
    throw RequestError(403, "forbidden",
                       method.name + " refused: the owner of favourite group " + std::to_string(group) +
                           " could not be read (" + error.description() + ")");
  }
  CheckGroupOwner(caller, method.name, group, owner);
  Variant result = method.invoke(runtime_, args);
  scope.Finish();
  return result;
}

Reply Dispatcher::Call(std::string_view prog_id, std::string_view method_name, std::string_view body,
                       const Caller* caller, bool counted) const {
  try {
    const ClassInfo& info = FindClass(prog_id);
    if (!options_.enable_exec && IsCommandMethod(method_name)) {
      throw RequestError(403, "exec_disabled",
                         std::string(method_name) +
                             " runs commands on the server; this server was started without "
                             "--enable-exec.");
    }
    const MethodInfo* method = info.Find(method_name);
    if (method == nullptr) {
      throw RequestError(404, "unknown_method",
                         info.prog_id() + " has no method \"" + std::string(method_name) +
                             "\" (GET /rpc/" + info.prog_id() + " lists them).");
    }
    Arguments args = BindArguments(*method, ParseArguments(body));
    // The call finds the descriptor parsed here (ParseDescriptor keeps it).
    CheckDescriptor(*method, args);
    CallsInFlight::Ticket ticket = counted ? EnterCall(*method, args, caller) : nullptr;
    std::optional<int32_t> group;
    if (caller != nullptr) group = CheckAccess(*caller, info.prog_id(), *method, args);

    std::vector<std::string> before(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      if (method->params[i].by_ref) before[i] = EncodeValue(args[i]);
    }
    ReplyHolds holds;
    Variant result = group ? InvokeCheckingGroup(info, *method, args, *caller, *group)
                           : method->invoke(runtime_, args);

    Reply reply;
    reply.held = holds.Take();
    std::string& out = reply.body;
    out.push_back('{');
    if (method->result != ValueType::kVoid) {
      out.append(R"("result":)");
      EncodeValue(result, &out, &reply.pieces);
    }
    result = Variant();  // a file's bytes go once they are encoded
    bool any_out = false;
    for (size_t i = 0; i < args.size(); ++i) {
      if (!method->params[i].by_ref) continue;
      std::string after = EncodeValue(args[i]);
      if (after == before[i]) continue;
      if (!any_out) {
        if (method->result != ValueType::kVoid) out.push_back(',');
        out.append(R"("out":{)");
      } else {
        out.push_back(',');
      }
      any_out = true;
      AppendJsonString(method->params[i].name, &out);
      out.push_back(':');
      out.append(after);
    }
    if (any_out) out.push_back('}');
    out.push_back('}');
    if (!reply.pieces.empty()) {
      reply.pieces.push_back(std::make_shared<const std::string>(std::move(out)));
      out.clear();
    }
    return reply;
  } catch (const RequestError& error) {
    Reply reply = HostErrorReply(error.status(), error.kind(), error.what());
    if (error.status() == 429) reply.extra_fields = "Retry-After: 1\r\n";
    return reply;
  } catch (const ComError& error) {
    return AutomationErrorReply(error);
  } catch (const std::exception& error) {
    return AutomationErrorReply(
        ComError(kUnspecifiedError, std::string(kRuntimeErrorSource), error.what()));
  }
}

Reply Dispatcher::Describe(std::string_view prog_id) const {
  const ClassInfo* info = nullptr;
  try {
    info = &FindClass(prog_id);
  } catch (const RequestError& error) {
    return HostErrorReply(error.status(), error.kind(), error.what());
  }
  Reply reply;
  std::string& out = reply.body;
  out.push_back('{');
  AppendNamedText("progId", info->prog_id(), &out);
  out.append(R"(,"methods":[)");
  bool first_method = true;
  for (const MethodInfo& method : info->methods()) {
    if (!first_method) out.push_back(',');
    first_method = false;
    out.push_back('{');
    AppendNamedText("name", method.name, &out);
    out.push_back(',');
    AppendNamedText("result", ValueTypeName(method.result), &out);
    out.append(R"(,"params":[)");
    bool first_param = true;
    for (const ParamInfo& param : method.params) {
      if (!first_param) out.push_back(',');
      first_param = false;
      out.push_back('{');
      AppendNamedText("name", param.name, &out);
      out.push_back(',');
      AppendNamedText("type", ValueTypeName(param.type), &out);
      out.append(param.by_ref ? R"(,"byRef":true)" : R"(,"byRef":false)");
      out.append(param.optional ? R"(,"optional":true)" : R"(,"optional":false)");
      if (param.optional) {
        out.append(R"(,"default":)");
        EncodeValue(param.default_value, &out);
      }
      out.push_back('}');
    }
    out.append("]}");
  }
  out.append("]}");
  return reply;
}

Reply Dispatcher::ListClasses() const {
  Reply reply;
  reply.body = R"({"classes":[)";
  bool first = true;
  for (const auto& info : library_.classes()) {
    if (!first) reply.body.push_back(',');
    first = false;
    AppendJsonString(info->prog_id(), &reply.body);
  }
  reply.body.append("]}");
  return reply;
}

}  // namespace lxm::server
