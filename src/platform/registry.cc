#include "platform/registry.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/com_error.h"

namespace lxm {

namespace {

std::string_view WithoutTrailingBackslashes(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

ComError RegistryError(std::string_view origin, const std::string& detail) {
  return ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                  "Registry file " + std::string(origin) + ": " + detail);
}

}  // namespace

std::shared_ptr<const RegistryData> RegistryData::Parse(std::string_view text, std::string_view origin) {
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::parse_error& error) {
    throw RegistryError(origin, std::string("not JSON: ") + error.what());
  }
  if (!json.is_object()) throw RegistryError(origin, "the file holds one object of keys");
  auto data = std::make_shared<RegistryData>();
  for (const auto& [key, values] : json.items()) {
    if (!values.is_object()) throw RegistryError(origin, "key \"" + key + "\" holds no object of values");
    Values& target = data->keys_[std::string(WithoutTrailingBackslashes(key))];
    for (const auto& [name, value] : values.items()) {
      if (value.is_string()) {
        target[name] = Variant(value.get<std::string>());
      } else if (value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
                 value.get<int64_t>() <= INT32_MAX) {
        target[name] = Variant(static_cast<int32_t>(value.get<int64_t>()));
      } else {
        throw RegistryError(origin, "value \"" + name + "\" of key \"" + key + "\" is neither text nor an integer");
      }
    }
  }
  return data;
}

std::shared_ptr<const RegistryData> RegistryData::LoadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw RegistryError(path, "cannot be read");
  std::ostringstream text;
  text << file.rdbuf();
  return Parse(text.str(), path);
}

std::optional<Variant> RegistryData::Find(std::string_view key, std::string_view value_name) const {
  auto found_key = keys_.find(std::string(WithoutTrailingBackslashes(key)));
  if (found_key == keys_.end()) return std::nullopt;
  auto found_value = found_key->second.find(std::string(value_name));
  if (found_value == found_key->second.end()) return std::nullopt;
  return found_value->second;
}

Variant RegistryReader::ReadValue(std::string_view key, std::string_view value_name,
                                  const Variant& default_value) const {
  if (data_ == nullptr) return default_value;
  return data_->Find(key, value_name).value_or(default_value);
}

}  // namespace lxm
