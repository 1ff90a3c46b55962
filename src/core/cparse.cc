#include "core/cparse.h"

#include <utility>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/variant.h"

namespace lxm {

namespace {

using PropertyTable =
    std::unordered_map<std::string, std::string, CaseInsensitiveHash, CaseInsensitiveEqual>;

// Splits `remainder` at the first `separator`: returns the text before it and
// keeps the text after it. Without a separator the whole remainder is the
// token and nothing remains.
std::string_view TakeToken(std::string_view& remainder, char separator) {
  size_t at = remainder.find(separator);
  std::string_view token = remainder.substr(0, at);
  remainder = at == std::string_view::npos ? std::string_view() : remainder.substr(at + 1);
  return token;
}

// The name runs to the first "=", even across ";".
std::string_view TakePropertyName(std::string_view& remainder) {
  return TrimSpaces(TakeToken(remainder, '='));
}

// A braced value ends at the first "}"; whatever stands between it and the
// next ";" is dropped.
std::string_view TakePropertyValue(std::string_view& remainder) {
  remainder = TrimSpaces(remainder);
  std::string_view value;
  if (!remainder.empty() && remainder.front() == '{') {
    remainder.remove_prefix(1);
    value = TakeToken(remainder, '}');
    TakeToken(remainder, ';');
  } else {
    value = TakeToken(remainder, ';');
  }
  return TrimSpaces(value);
}

}  // namespace

bool CParse::ParseString(std::string_view sToParse) {
  // Build the new table aside so that a rejected descriptor leaves the
  // earlier one (and PropsString) as they were.
  PropertyTable table;
  std::string_view remainder = sToParse;
  while (true) {
    std::string_view name = TakePropertyName(remainder);
    std::string_view value = TakePropertyValue(remainder);
    if (name.empty()) break;
    if (!table.emplace(std::string(name), std::string(value)).second) {
      throw RuntimeError(errors::kDuplicateKey);
    }
  }
  properties_ = std::move(table);
  props_string_ = std::string(sToParse);
  return true;
}

std::string WithProperty(std::string_view descriptor, std::string_view name, std::string_view value) {
  std::string replacement = std::string(name) + "={" + std::string(value) + "}";
  std::string_view remainder = descriptor;
  while (true) {
    size_t start = static_cast<size_t>(remainder.data() - descriptor.data());
    std::string_view found = TakePropertyName(remainder);
    TakePropertyValue(remainder);
    if (found.empty()) break;
    if (EqualsIgnoreCase(found, name)) {
      // Up to where the next property starts, so the ";" after it goes too.
      size_t end = remainder.empty() ? descriptor.size() : static_cast<size_t>(remainder.data() - descriptor.data());
      std::string text(descriptor.substr(0, start));
      text += replacement;
      if (end < descriptor.size()) text += ';';
      text += descriptor.substr(end);
      return text;
    }
  }
  std::string text(descriptor);
  if (!text.empty() && text.back() != ';') text += ';';
  return text + replacement;
}

std::string CParse::GetProperty(std::string_view sPropName) const { return PropertyRef(sPropName); }

const std::string& CParse::PropertyRef(std::string_view name) const {
  static const std::string kNone;
  auto it = properties_.find(name);
  return it == properties_.end() ? kNone : it->second;
}

int32_t CParse::UserID() const { return CLng(Variant(GetProperty("UserID"))); }

std::string CParse::LanguageID() const {
  std::string language = GetProperty("LANGUAGE");
  return language.empty() ? std::string("chs") : language;
}

bool CParse::IsIndustry() const { return ToUpperAscii(GetProperty("AcctType")) == "GY"; }

}  // namespace lxm
