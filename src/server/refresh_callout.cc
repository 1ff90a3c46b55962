#include "server/refresh_callout.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "platform/com_error.h"
#include "platform/dictionary.h"
#include "server/http_client.h"
#include "server/json_codec.h"

namespace lxm::server {

namespace {

ComError CalloutError(const RefreshCalloutSettings& settings, const std::string& why) {
  return ComError(kCalloutFailed, settings.prog_id,
                  "The remote procedure call failed: " + settings.url + ": " + why);
}

// The error an error reply describes; garbage when it describes none.
ComError ReplyError(const RefreshCalloutSettings& settings, const Dictionary& reply) {
  Variant error;
  if (!reply.Lookup("error", &error) || error.kind() != VariantKind::kDictionary) {
    return CalloutError(settings, "the reply is neither a result nor an error");
  }
  const Dictionary& fields = *error.AsDictionary();
  Variant number = fields.ValueOr("number", Variant());
  Variant source = fields.ValueOr("source", Variant(""));
  Variant description = fields.ValueOr("description", Variant(""));
  if (number.kind() != VariantKind::kLong || source.kind() != VariantKind::kString ||
      description.kind() != VariantKind::kString) {
    return CalloutError(settings, "the error reply has no number, source and description");
  }
  return ComError(number.AsLong(), source.AsString(), description.AsString());
}

}  // namespace

Variant HttpRefreshComponent::GetRefreshFunc(Variant& dictionary) {
  // "http://host:port/path": the client takes the first part, the request
  // line the path.
  constexpr std::string_view kScheme = "http://";
  std::string_view url = settings_.url;
  size_t path_start = url.find('/', kScheme.size());
  std::string base(url.substr(0, path_start));
  std::string path = path_start == std::string_view::npos ? "/" : std::string(url.substr(path_start));

  std::string body = "{\"args\":[";
  EncodeValue(dictionary, &body);
  body += "]}";

  HttpLimits limits;
  limits.reply_timeout = std::chrono::seconds(settings_.timeout_seconds);
  limits.connect_timeout = std::min(limits.connect_timeout, limits.reply_timeout);
  limits.max_reply_bytes = settings_.max_reply_bytes;
  HttpReply reply;
  try {
    reply = HttpPost(base, path, body, {}, limits);
  } catch (const std::exception& failure) {
    throw CalloutError(settings_, failure.what());
  }

  Variant decoded;
  try {
    decoded = ParseValue(reply.body);
  } catch (const DecodeError& failure) {
    throw CalloutError(settings_, "HTTP " + std::to_string(reply.status) + ", not a JSON reply: " + failure.what());
  }
  if (decoded.kind() != VariantKind::kDictionary) {
    throw CalloutError(settings_, "HTTP " + std::to_string(reply.status) + ", the reply is not a JSON object");
  }
  const Dictionary& fields = *decoded.AsDictionary();
  if (reply.status != 200 || !fields.Exists("result")) throw ReplyError(settings_, fields);

  Variant result = fields.Item("result");
  if (!result.IsNull() && !result.IsEmpty() && result.kind() != VariantKind::kVector) {
    throw CalloutError(settings_, "the result is not a list");
  }
  Variant out;
  if (fields.Lookup("out", &out)) {
    if (out.kind() != VariantKind::kDictionary) throw CalloutError(settings_, "\"out\" is not an object");
    Variant changed;
    if (out.AsDictionary()->Lookup("dict", &changed)) {
      if (changed.kind() != VariantKind::kDictionary) {
        throw CalloutError(settings_, "\"out\".\"dict\" is not a dictionary");
      }
      dictionary = changed;
    }
  }
  return result.IsNull() ? Variant() : result;
}

void RegisterRefreshCallouts(ComponentFactory& factory, const std::vector<RefreshCalloutSettings>& callouts) {
  for (const RefreshCalloutSettings& settings : callouts) {
    factory.Register(settings.prog_id, [settings] { return std::make_shared<HttpRefreshComponent>(settings); });
  }
}

}  // namespace lxm::server
