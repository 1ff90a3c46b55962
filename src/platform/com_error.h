// ComError: the automation error object (number, source, description, help
// file, help context) raised as a C++ exception.
//
// Every failure that reaches a caller of the public classes is a ComError.
// The numbers the service raises are named in errors:: below. A database
// failure carries errors::kDatabase, the backend's message as description and
// the backend's name ("SQLite", "PostgreSQL") as source.
#ifndef LXM_PLATFORM_COM_ERROR_H_
#define LXM_PLATFORM_COM_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace lxm {

namespace errors {
// &H80044044: the descriptor could not be parsed (source "ParseString").
inline constexpr int32_t kParseString = -2147205052;
// &H80044040: a favourite group of that name exists.
inline constexpr int32_t kGroupExists = -2147205056;
// &H80040E14: any failure reported by the database.
inline constexpr int32_t kDatabase = -2147217900;
// &H800A0CC1: a recordset field or collection item that does not exist.
inline constexpr int32_t kItemNotFound = -2146825023;
// &H800A0BCD: a recordset read or move with no current row (source
// "ADODB.Field", see NoCurrentRecordError).
inline constexpr int32_t kNoCurrentRecord = -2146825267;
// Automation runtime errors.
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kCannotCreateObject = 429;
inline constexpr int32_t kDuplicateKey = 457;
}  // namespace errors

// Source given to automation runtime errors raised inside the service.
inline constexpr std::string_view kRuntimeErrorSource = "LXMDataFlow";

class ComError : public std::exception {
 public:
  ComError(int32_t number, std::string source, std::string description,
           std::string help_file = {}, int32_t help_context = 0);

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  const std::string& help_file() const { return help_file_; }
  int32_t help_context() const { return help_context_; }

  // The same error under another source (the "trap and raise again" style).
  ComError WithSource(std::string source) const;

  // "number (source): description", for logs and the command line.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  int32_t help_context_;
  std::string what_;
};

// An automation runtime error (5, 6, 7, 9, 11, 13, 53, 70, 94, 429, 457) with the
// runtime's own description and kRuntimeErrorSource.
ComError RuntimeError(int32_t number);

// What the data-access layer raises for a read or a move with no current
// row (at BOF or EOF): errors::kNoCurrentRecord, source "ADODB.Field".
ComError NoCurrentRecordError();

// A database failure: errors::kDatabase, source = backend name.
ComError DatabaseError(std::string_view backend, std::string message);

}  // namespace lxm

#endif  // LXM_PLATFORM_COM_ERROR_H_
