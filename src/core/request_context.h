// The request context each public method builds from its descriptor: a fresh
// CParse and CDataSource per call. Nothing of a descriptor outlives the call.
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

}  // namespace lxm

#endif  // LXM_CORE_REQUEST_CONTEXT_H_
