#include "core/globals.h"

#include <utility>

#include "platform/com_error.h"
#include "platform/resource_loader.h"
#include "platform/runtime.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

// The loader of this thread and the factory that made it. A loader from one
// factory is never served for another one.
struct ThreadLoader {
  uint64_t factory_id = 0;
  std::shared_ptr<ResourceLoader> loader;
};

ResourceLoader& LoaderFor(const ComponentFactory& factory) {
  thread_local ThreadLoader cached;
  if (cached.loader == nullptr || cached.factory_id != factory.id()) {
    cached.loader.reset();
    cached.factory_id = factory.id();
    cached.loader = factory.CreateAs<ResourceLoader>(ResourceLoader::kProgID);
  }
  return *cached.loader;
}

}  // namespace

std::string LoadResString(std::string_view text, std::string_view language_id,
                          const ComponentFactory& factory) {
  // A message is never worth failing a call for: without a translation the
  // caller gets the simplified-Chinese text.
  try {
    ResourceLoader& loader = LoaderFor(factory);
    // Set on every call: the same thread serves callers of any language.
    loader.set_res_file_base_name("R8Base");
    loader.set_language_id(std::string(language_id));
    return loader.LoadString(text);
  } catch (...) {
    return std::string(text);
  }
}

std::string LoadResString(std::string_view text, std::string_view language_id) {
  return LoadResString(text, language_id, Runtime::Default().components());
}

int32_t CurrentUserID(const CDataSource& data_source) {
  const std::shared_ptr<CParse>& parse = data_source.ParseObject();
  if (parse == nullptr) throw RuntimeError(errors::kTypeMismatch);
  return parse->UserID();
}

std::string LanguageColumn(std::string_view column, std::string_view language_id) {
  if (language_id == "chs") return std::string(column);
  std::string base(TrimSpaces(column));
  // Column names compare without regard to case, so "CHT" and "En" name the
  // same columns as "cht" and "en"; the text appended is always our own.
  if (EqualsIgnoreCase(language_id, "cht")) return base + "_CHT";
  if (EqualsIgnoreCase(language_id, "en")) return base + "_EN";
  // Any other language names a column no table has ("CHS" included). Refuse
  // it here, with the database's own error, so that the language ID never
  // reaches SQL text.
  throw ComError(errors::kDatabase, std::string(kRuntimeErrorSource),
                 "Invalid column name '" + base + "_" + std::string(language_id) + "'.");
}

std::shared_ptr<Dictionary> RecordToDictionary(const Recordset& recordset) {
  std::shared_ptr<Dictionary> dictionary = Dictionary::Create();
  const std::vector<Field>& fields = recordset.Fields();
  for (size_t index = 0; index < fields.size(); ++index) {
    dictionary->Set(fields[index].name, recordset.Value(index));
  }
  return dictionary;
}

std::string StampToText(const Variant& value) {
  const Bytes* bytes = value.TryGet<Bytes>();
  if (bytes == nullptr) return std::string(kZeroStamp);
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  text.reserve(2 + bytes->size() * 2);
  for (uint8_t byte : *bytes) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace lxm
