// The type library: every public method of every public class, one entry
// each, with what COM's type library held (parameter names and types,
// by-reference and optional flags, defaults, the result type) and a small
// invoker that creates a fresh object of the class and calls the method.
//
// Dispatch, argument conversion, the command line's `call` and the
// description served at GET /rpc/{ProgID} all read this table, so adding a
// public method means adding its one entry (server/methods_*.cc).
//
// Names of classes and methods are matched without regard to case, as
// automation's dispatch by name matches them.
//
// Thread-safety: a built library is immutable and read from any thread.
#ifndef LXM_SERVER_TYPE_LIBRARY_H_
#define LXM_SERVER_TYPE_LIBRARY_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime.h"
#include "platform/variant.h"

namespace lxm::server {

// The declared type of a parameter or result. kVoid is the result of a
// method that returns nothing (a Sub).
enum class ValueType {
  kVoid,
  kString,
  kLong,
  kBoolean,
  kDouble,
  kDictionary,
  kVector,
  kRecordset,
  kVariant,
};

// "String", "Long", ...; "Void" for kVoid.
std::string_view ValueTypeName(ValueType type);

struct ParamInfo {
  std::string name;
  ValueType type = ValueType::kVariant;
  bool by_ref = false;
  bool optional = false;
  Variant default_value;  // taken when an optional argument is left out
};

// A by-value parameter.
ParamInfo In(std::string name, ValueType type);
// A by-reference parameter: what the method leaves in it goes back to the
// caller.
ParamInfo Ref(std::string name, ValueType type);
// An optional parameter and its default.
ParamInfo Optional(std::string name, ValueType type, Variant default_value);
ParamInfo OptionalRef(std::string name, ValueType type, Variant default_value);

// One argument per parameter, in order, each already of its parameter's type
// (String, Long, Boolean, Double; a Dictionary, Vector or Recordset
// reference, possibly nothing; any kind for Variant). The invoker writes the
// final values of by-reference parameters back into it.
using Arguments = std::vector<Variant>;
using Invoker = std::function<Variant(Runtime& runtime, Arguments& args)>;

struct MethodInfo {
  std::string name;
  std::vector<ParamInfo> params;
  ValueType result = ValueType::kVoid;
  Invoker invoke;

  // Position of the descriptor parameter ("sDsn", a String), or -1.
  int DescriptorIndex() const;
  // Number of parameters that must be given.
  size_t RequiredCount() const;
};

class ClassInfo {
 public:
  explicit ClassInfo(std::string prog_id) : prog_id_(std::move(prog_id)) {}

  const std::string& prog_id() const { return prog_id_; }
  const std::vector<MethodInfo>& methods() const { return methods_; }

  // Adds one method. A name given twice (any letter case) is a programming
  // error and throws std::logic_error.
  ClassInfo& Add(MethodInfo method);
  const MethodInfo* Find(std::string_view name) const;

 private:
  std::string prog_id_;
  std::vector<MethodInfo> methods_;
};

class TypeLibrary {
 public:
  // The class of that ProgID, created empty when new.
  ClassInfo& Class(std::string_view prog_id);
  const ClassInfo* Find(std::string_view prog_id) const;
  const std::vector<std::unique_ptr<ClassInfo>>& classes() const { return classes_; }

 private:
  std::vector<std::unique_ptr<ClassInfo>> classes_;
};

// The public classes "LXMDataFlow.DatasInfo", "LXMDataFlow.DatasUpdate" and
// "LXMDataFlow.clsDataInfo" with all their methods.
const TypeLibrary& PublicTypeLibrary();

// The entries of each public class (server/methods_*.cc).
void AddDatasInfoMethods(ClassInfo& info);
void AddDatasUpdateMethods(ClassInfo& info);
void AddClsDataInfoMethods(ClassInfo& info);

}  // namespace lxm::server

#endif  // LXM_SERVER_TYPE_LIBRARY_H_
