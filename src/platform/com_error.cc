#include "platform/com_error.h"

#include <utility>

namespace lxm {

namespace {
std::string RuntimeDescription(int32_t number) {
  switch (number) {
    case errors::kInvalidCall: return "Invalid procedure call or argument";
    case errors::kOverflow: return "Overflow";
    case errors::kOutOfMemory: return "Out of memory";
    case errors::kFileNotFound: return "File not found";
    case errors::kPermissionDenied: return "Permission denied";
    case errors::kObjectNotSet: return "Object variable or With block variable not set";
    case errors::kSubscriptOutOfRange: return "Subscript out of range";
    case errors::kDivisionByZero: return "Division by zero";
    case errors::kTypeMismatch: return "Type mismatch";
    case errors::kInvalidUseOfNull: return "Invalid use of Null";
    case errors::kCannotCreateObject: return "ActiveX component can't create object";
    case errors::kDuplicateKey:
      return "This key is already associated with an element of this collection";
    default: return "Application-defined or object-defined error";
  }
}
}  // namespace

ComError::ComError(int32_t number, std::string source, std::string description,
                   std::string help_file, int32_t help_context)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      help_file_(std::move(help_file)),
      help_context_(help_context) {
  what_ = std::to_string(number_) + " (" + source_ + "): " + description_;
}

ComError ComError::WithSource(std::string source) const {
  return ComError(number_, std::move(source), description_, help_file_, help_context_);
}

ComError RuntimeError(int32_t number) {
  return ComError(number, std::string(kRuntimeErrorSource), RuntimeDescription(number));
}

ComError NoCurrentRecordError() {
  return ComError(errors::kNoCurrentRecord, "ADODB.Field",
                  "Either BOF or EOF is True, or the current record has been deleted. Requested "
                  "operation requires a current record.");
}

ComError DatabaseError(std::string_view backend, std::string message) {
  return ComError(errors::kDatabase, std::string(backend), std::move(message));
}

}  // namespace lxm
