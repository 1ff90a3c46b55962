#include "server/type_library.h"

#include <stdexcept>

#include "info/datas_info.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/text_util.h"
#include "tree/cls_data_info.h"

namespace lxm::server {

std::string_view ValueTypeName(ValueType type) {
  switch (type) {
    case ValueType::kVoid: return "Void";
    case ValueType::kString: return "String";
    case ValueType::kLong: return "Long";
    case ValueType::kBoolean: return "Boolean";
    case ValueType::kDouble: return "Double";
    case ValueType::kDictionary: return "Dictionary";
    case ValueType::kVector: return "Vector";
    case ValueType::kRecordset: return "Recordset";
    case ValueType::kVariant: return "Variant";
  }
  return "Variant";
}

ParamInfo In(std::string name, ValueType type) { return {std::move(name), type, false, false, {}}; }

ParamInfo Ref(std::string name, ValueType type) { return {std::move(name), type, true, false, {}}; }

ParamInfo Optional(std::string name, ValueType type, Variant default_value) {
  return {std::move(name), type, false, true, std::move(default_value)};
}

ParamInfo OptionalRef(std::string name, ValueType type, Variant default_value) {
  return {std::move(name), type, true, true, std::move(default_value)};
}

int MethodInfo::DescriptorIndex() const {
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i].type == ValueType::kString && EqualsIgnoreCase(params[i].name, "sDsn")) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

size_t MethodInfo::RequiredCount() const {
  size_t count = 0;
  for (const ParamInfo& param : params) {
    if (!param.optional) ++count;
  }
  return count;
}

ClassInfo& ClassInfo::Add(MethodInfo method) {
  if (Find(method.name) != nullptr) {
    throw std::logic_error(prog_id_ + "." + method.name + " is in the type library twice");
  }
  bool seen_optional = false;
  for (ParamInfo& param : method.params) {
    // The default of an optional object parameter given as Empty or Null is
    // Nothing of the parameter's type.
    if (param.optional && (param.default_value.IsEmpty() || param.default_value.IsNull())) {
      if (param.type == ValueType::kDictionary) param.default_value = Variant(std::shared_ptr<Dictionary>());
      if (param.type == ValueType::kVector) param.default_value = Variant(std::shared_ptr<Vector>());
      if (param.type == ValueType::kRecordset) param.default_value = Variant(std::shared_ptr<Recordset>());
    }
    // Only trailing parameters can be left out of a positional call.
    if (seen_optional && !param.optional) {
      throw std::logic_error(prog_id_ + "." + method.name + ": optional parameters must come last");
    }
    seen_optional = seen_optional || param.optional;
  }
  methods_.push_back(std::move(method));
  return *this;
}

const MethodInfo* ClassInfo::Find(std::string_view name) const {
  for (const MethodInfo& method : methods_) {
    if (EqualsIgnoreCase(method.name, name)) return &method;
  }
  return nullptr;
}

ClassInfo& TypeLibrary::Class(std::string_view prog_id) {
  for (const auto& info : classes_) {
    if (EqualsIgnoreCase(info->prog_id(), prog_id)) return *info;
  }
  classes_.push_back(std::make_unique<ClassInfo>(std::string(prog_id)));
  return *classes_.back();
}

const ClassInfo* TypeLibrary::Find(std::string_view prog_id) const {
  for (const auto& info : classes_) {
    if (EqualsIgnoreCase(info->prog_id(), prog_id)) return info.get();
  }
  return nullptr;
}

const TypeLibrary& PublicTypeLibrary() {
  static const TypeLibrary* const library = [] {
    auto* built = new TypeLibrary();
    AddDatasInfoMethods(built->Class(DatasInfo::kProgID));
    AddDatasUpdateMethods(built->Class("LXMDataFlow.DatasUpdate"));
    AddClsDataInfoMethods(built->Class(clsDataInfo::kProgID));
    return built;
  }();
  return *library;
}

}  // namespace lxm::server
