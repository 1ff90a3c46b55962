// GET /config: what the web page needs to know before its first call, from
// what the server was started with.
//
//   {"databases": [{"connectString", "name"}], "exampleUser": N, "tokenRequired": bool}
//
// The connect strings are those the allow-list holds, so that the page can
// name them in its descriptors, each with "***" for its password: the host
// connects with its own credentials, so no caller needs them.
#ifndef LXM_SERVER_PAGE_CONFIG_H_
#define LXM_SERVER_PAGE_CONFIG_H_

#include "server/dispatcher.h"

namespace lxm::server {

Reply PageConfigReply(const DispatcherOptions& options, int example_user, bool token_required);

}  // namespace lxm::server

#endif  // LXM_SERVER_PAGE_CONFIG_H_
