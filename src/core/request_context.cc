#include "core/request_context.h"

#include "platform/com_error.h"

namespace lxm {

RequestContext PrepareContext(Runtime& runtime, std::string_view sDsn) {
  RequestContext context;
  context.parse = std::make_shared<CParse>();
  if (!context.parse->ParseString(sDsn)) {
    throw ComError(errors::kParseString, "ParseString", "");
  }
  context.data_source = std::make_shared<CDataSource>(runtime);
  context.data_source->SetParseObject(context.parse);
  return context;
}

}  // namespace lxm
