// The refresh component of a subsystem: the object a subsystem's "FClassName"
// names by ProgID, asked for the subsystem's current sub-functions.
//
// Two kinds are registered in the component factory: in-process providers
// (code of this process registers a creator under its ProgID) and HTTP
// callouts named in the server's configuration (server/refresh_callout.h).
// A name read from the database only ever selects one of these; it never
// loads a library or runs a program.
#ifndef LXM_PLATFORM_REFRESH_COMPONENT_H_
#define LXM_PLATFORM_REFRESH_COMPONENT_H_

#include <cstddef>
#include <string>

#include "platform/variant.h"

namespace lxm {

class RefreshComponent : public Object {
 public:
  // The sub-function list for the refresh that `dictionary` describes: a
  // vector of dictionaries, or Empty for none. The component may change the
  // dictionary (its refresh type, node ID, "DelAll").
  virtual Variant GetRefreshFunc(Variant& dictionary) = 0;
};

// A refresh component served by another program over HTTP: the service POSTs
// {"args": [dictionary]} to `url` and reads {"result": [...], "out": {...}}.
struct RefreshCalloutSettings {
  std::string prog_id;
  std::string url;  // "http://host:port/path"
  int timeout_seconds = 10;
  size_t max_reply_bytes = size_t{16} << 20;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_REFRESH_COMPONENT_H_
