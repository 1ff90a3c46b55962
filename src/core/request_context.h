// The request context each public method builds from its descriptor: a
// CParse (shared with earlier calls of the same text, see ParseDescriptor)
// and a fresh CDataSource per call.
#ifndef LXM_CORE_REQUEST_CONTEXT_H_
#define LXM_CORE_REQUEST_CONTEXT_H_

#include <memory>
#include <string_view>

#include "core/cdatasource.h"
#include "core/cparse.h"
#include "platform/runtime.h"

namespace lxm {

struct RequestContext {
  std::shared_ptr<CParse> parse;
  std::shared_ptr<CDataSource> data_source;
};

// Parses sDsn into a new context. Raises what ParseString raises (457 for a
// property named twice), and &H80044044 with source "ParseString" should the
// parser report failure.
RequestContext PrepareContext(Runtime& runtime, std::string_view sDsn);

// sDsn parsed, or the parse this thread made of the very same text lately:
// a client sends the same descriptor with every call, and a parsed
// descriptor is never changed, so one parse serves them all. Raises what
// ParseString raises (nothing is kept then).
std::shared_ptr<CParse> ParseDescriptor(std::string_view sDsn);

}  // namespace lxm

#endif  // LXM_CORE_REQUEST_CONTEXT_H_
