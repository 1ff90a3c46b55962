// RequestError: a request the host refuses before any method runs (bad JSON,
// wrong arguments, unknown names, a database it does not serve, ...). It
// carries the HTTP status and a short machine-readable kind; the reply is
// {"error": {"kind": ..., "description": ...}}.
//
// Errors a method raises are ComErrors and travel as automation errors
// instead (HTTP 500, with number, source and description).
#ifndef LXM_SERVER_REQUEST_ERROR_H_
#define LXM_SERVER_REQUEST_ERROR_H_

#include <stdexcept>
#include <string>

namespace lxm::server {

class RequestError : public std::runtime_error {
 public:
  RequestError(int status, std::string kind, const std::string& description)
      : std::runtime_error(description), status_(status), kind_(std::move(kind)) {}

  int status() const { return status_; }
  const std::string& kind() const { return kind_; }

 private:
  int status_;
  std::string kind_;
};

}  // namespace lxm::server

#endif  // LXM_SERVER_REQUEST_ERROR_H_
