#include "core/request_context.h"

#include "platform/com_error.h"

namespace lxm {

namespace {
thread_local ParsedDescriptorScope* current_parsed = nullptr;
}  // namespace

ParsedDescriptorScope::ParsedDescriptorScope(std::string_view text, std::shared_ptr<CParse> parse)
    : outer_(current_parsed), text_(text), parse_(std::move(parse)) {
  current_parsed = this;
}

ParsedDescriptorScope::~ParsedDescriptorScope() { current_parsed = outer_; }

RequestContext PrepareContext(Runtime& runtime, std::string_view sDsn) {
  RequestContext context;
  if (current_parsed != nullptr && current_parsed->text_ == sDsn) {
    context.parse = current_parsed->parse_;
  } else {
    context.parse = std::make_shared<CParse>();
    if (!context.parse->ParseString(sDsn)) {
      throw ComError(errors::kParseString, "ParseString", "");
    }
  }
  context.data_source = std::make_shared<CDataSource>(runtime);
  context.data_source->SetParseObject(context.parse);
  return context;
}

}  // namespace lxm
