#include "server/value_text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/convert.h"
#include "platform/dictionary.h"
#include "platform/log.h"
#include "server/json_codec.h"

namespace lxm::server {

namespace {

// Code points that terminals show two columns wide: CJK ideographs, kana,
// Hangul, full-width forms.
bool IsWide(uint32_t code_point) {
  return (code_point >= 0x1100 && code_point <= 0x115F) ||
         (code_point >= 0x2E80 && code_point <= 0x303E) ||
         (code_point >= 0x3041 && code_point <= 0x33FF) ||
         (code_point >= 0x3400 && code_point <= 0x4DBF) ||
         (code_point >= 0x4E00 && code_point <= 0x9FFF) ||
         (code_point >= 0xA000 && code_point <= 0xA4CF) ||
         (code_point >= 0xAC00 && code_point <= 0xD7A3) ||
         (code_point >= 0xF900 && code_point <= 0xFAFF) ||
         (code_point >= 0xFE30 && code_point <= 0xFE4F) ||
         (code_point >= 0xFF00 && code_point <= 0xFF60) ||
         (code_point >= 0xFFE0 && code_point <= 0xFFE6) ||
         (code_point >= 0x20000 && code_point <= 0x3FFFD);
}

std::string Indent(int indent) { return std::string(static_cast<size_t>(indent), ' '); }

std::string PadRight(const std::string& text, size_t width) {
  size_t used = DisplayWidth(text);
  return used >= width ? text : text + std::string(width - used, ' ');
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    uint32_t code_point = lead;
    size_t length = 1;
    if (lead >= 0xF0) {
      code_point = lead & 0x07u;
      length = 4;
    } else if (lead >= 0xE0) {
      code_point = lead & 0x0Fu;
      length = 3;
    } else if (lead >= 0xC0) {
      code_point = lead & 0x1Fu;
      length = 2;
    }
    for (size_t k = 1; k < length && i + k < text.size(); ++k) {
      code_point = (code_point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    i += length;
    width += IsWide(code_point) ? 2 : 1;
  }
  return width;
}

std::string FormatScalar(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kEmpty: return "Empty";
    case VariantKind::kNull: return "Null";
    case VariantKind::kBytes: {
      const Bytes& bytes = value.AsBytes();
      return "<" + std::to_string(bytes.size()) + " bytes, base64 " + EncodeBase64(bytes) + ">";
    }
    case VariantKind::kString:
      // Data never drives the terminal: control characters are shown escaped.
      return EscapeControlCharacters(value.AsString());
    case VariantKind::kBoolean:
    case VariantKind::kLong:
    case VariantKind::kDouble: return CStr(value);
    default: return value.IsNothing() ? "Nothing" : std::string(KindName(value.kind()));
  }
}

std::string FormatTable(const Recordset& recordset, int indent) {
  const std::vector<Field>& fields = recordset.Fields();
  std::vector<std::vector<std::string>> cells;
  std::vector<size_t> widths(fields.size());
  for (size_t c = 0; c < fields.size(); ++c) widths[c] = DisplayWidth(fields[c].name);
  for (const Row& row : recordset.Rows()) {
    std::vector<std::string>& line = cells.emplace_back();
    for (size_t c = 0; c < fields.size() && c < row.size(); ++c) {
      line.push_back(FormatScalar(row[c]));
      widths[c] = std::max(widths[c], DisplayWidth(line.back()));
    }
  }
  std::string out;
  auto append_line = [&](const std::vector<std::string>& line) {
    std::string text = Indent(indent);
    for (size_t c = 0; c < line.size(); ++c) {
      // The last column is not padded: no trailing blanks.
      text += c + 1 < line.size() ? PadRight(line[c], widths[c]) + "  " : line[c];
    }
    out += text + "\n";
  };
  std::vector<std::string> header;
  std::vector<std::string> rule;
  for (size_t c = 0; c < fields.size(); ++c) {
    header.push_back(fields[c].name);
    rule.push_back(std::string(widths[c], '-'));
  }
  if (!fields.empty()) {
    append_line(header);
    append_line(rule);
  }
  for (const auto& line : cells) append_line(line);
  size_t count = recordset.Rows().size();
  out += Indent(indent) + "(" + std::to_string(count) + (count == 1 ? " row)\n" : " rows)\n");
  return out;
}

std::string FormatValue(const Variant& value, int indent) {
  if (value.IsNothing() && value.IsObject()) return Indent(indent) + "Nothing\n";
  switch (value.kind()) {
    case VariantKind::kDictionary: {
      std::string out;
      for (const auto& [key, item] : value.AsDictionary()->entries()) {
        if (item.IsObject() && !item.IsNothing()) {
          out += Indent(indent) + key + ":\n" + FormatValue(item, indent + 2);
        } else {
          out += Indent(indent) + key + ": " + FormatScalar(item) + "\n";
        }
      }
      if (value.AsDictionary()->Count() == 0) out += Indent(indent) + "(empty dictionary)\n";
      return out;
    }
    case VariantKind::kVector: {
      std::string out;
      int position = 0;
      for (const Variant& item : value.AsVector()->items()) {
        std::string label = Indent(indent) + "[" + std::to_string(++position) + "]";
        if (item.IsObject() && !item.IsNothing()) {
          out += label + "\n" + FormatValue(item, indent + 2);
        } else {
          out += label + " " + FormatScalar(item) + "\n";
        }
      }
      if (position == 0) out += Indent(indent) + "(empty vector)\n";
      return out;
    }
    case VariantKind::kRecordset: return FormatTable(*value.AsRecordset(), indent);
    default: return Indent(indent) + FormatScalar(value) + "\n";
  }
}

}  // namespace lxm::server
