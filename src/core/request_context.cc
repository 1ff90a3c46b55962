#include "core/request_context.h"

#include <string>
#include <unordered_map>

#include "platform/com_error.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

// The descriptors a thread parsed lately, by their exact text.
class RecentDescriptors {
 public:
  std::shared_ptr<CParse> Find(std::string_view text) const {
    auto it = parsed_.find(text);
    return it == parsed_.end() ? nullptr : it->second;
  }
  void Keep(std::string_view text, std::shared_ptr<CParse> parse) {
    if (text.size() > kMaxKeptText) return;
    // A handful of users and languages per thread is the rule; a flood of
    // new texts only costs the parses kept so far.
    if (parsed_.size() >= kMaxKept) parsed_.clear();
    parsed_.emplace(std::string(text), std::move(parse));
  }

 private:
  static constexpr size_t kMaxKept = 64;
  // Real descriptors are a few hundred bytes; a huge one is not worth keeping.
  static constexpr size_t kMaxKeptText = 4096;
  std::unordered_map<std::string, std::shared_ptr<CParse>, TransparentStringHash, std::equal_to<>>
      parsed_;
};

thread_local RecentDescriptors recent_descriptors;

}  // namespace

RequestContext PrepareContext(Runtime& runtime, std::string_view sDsn) {
  RequestContext context;
  context.parse = ParseDescriptor(sDsn);
  context.data_source = std::make_shared<CDataSource>(runtime);
  context.data_source->SetParseObject(context.parse);
  return context;
}

std::shared_ptr<CParse> ParseDescriptor(std::string_view sDsn) {
  if (std::shared_ptr<CParse> kept = recent_descriptors.Find(sDsn)) return kept;
  auto parse = std::make_shared<CParse>();
  if (!parse->ParseString(sDsn)) {
    throw ComError(errors::kParseString, "ParseString", "");
  }
  recent_descriptors.Keep(sDsn, parse);
  return parse;
}

}  // namespace lxm
