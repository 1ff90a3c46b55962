// Refresh components served by other programs over HTTP ("callouts").
//
// A subsystem's refresh component may live in another program: the
// configuration names its ProgID and a URL, and GetRefreshFunc becomes
//
//   POST <url>   {"args": [<the refresh dictionary>]}
//   200          {"result": [<sub-function dictionaries>] or null,
//                 "out": {"dict": <the dictionary as the component changed it>}}
//
// in this service's own wire format (server/json_codec.h), so such a program
// answers as if it were one of the service's own methods. An error reply
// ({"error": {...}}) is raised as the error it describes; no reply within the
// time limit, a reply over the size limit or one that is not of this form
// raises "the remote procedure call failed" naming the URL.
#ifndef LXM_SERVER_REFRESH_CALLOUT_H_
#define LXM_SERVER_REFRESH_CALLOUT_H_

#include <vector>

#include "platform/component_factory.h"
#include "platform/refresh_component.h"

namespace lxm::server {

// The number raised when a callout gives no usable reply.
inline constexpr int32_t kCalloutFailed = -2147023170;  // &H800706BE

class HttpRefreshComponent : public RefreshComponent {
 public:
  explicit HttpRefreshComponent(RefreshCalloutSettings settings) : settings_(std::move(settings)) {}

  Variant GetRefreshFunc(Variant& dictionary) override;

 private:
  RefreshCalloutSettings settings_;
};

// Registers one creator per callout under its ProgID (replacing any creator
// registered under that name before).
void RegisterRefreshCallouts(ComponentFactory& factory, const std::vector<RefreshCalloutSettings>& callouts);

}  // namespace lxm::server

#endif  // LXM_SERVER_REFRESH_CALLOUT_H_
