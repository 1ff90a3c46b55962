#include "platform/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "platform/com_error.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

enum class ParseStatus { kNumber, kNotNumber, kOverflow };

struct ParseResult {
  ParseStatus status = ParseStatus::kNotNumber;
  double value = 0;
};

constexpr uint64_t kMaxUint32 = 0xFFFFFFFFull;
// Exponents are clamped while read; anything this far out is already
// infinite or zero, and the clamp keeps the arithmetic in range.
constexpr int64_t kExponentClamp = 100000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsExponentMarker(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct RadixDigits {
  uint64_t value = 0;
  size_t count = 0;
  bool too_big = false;  // more than 32 bits of value
};

// Reads digits of `radix` (8 or 16) starting at *pos and advances past them.
RadixDigits ScanRadixDigits(std::string_view text, size_t* pos, int radix) {
  RadixDigits out;
  while (*pos < text.size()) {
    int digit = HexDigitValue(text[*pos]);
    if (digit < 0 || digit >= radix) break;
    if (!out.too_big) {
      out.value = out.value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
      if (out.value > kMaxUint32) out.too_big = true;
    }
    ++out.count;
    ++*pos;
  }
  return out;
}

// Radix of an "&H" / "&O" prefix at text[pos], or 0 when there is none.
int RadixPrefix(std::string_view text, size_t pos) {
  if (pos + 1 >= text.size() || text[pos] != '&') return 0;
  char marker = text[pos + 1];
  if (marker == 'h' || marker == 'H') return 16;
  if (marker == 'o' || marker == 'O') return 8;
  return 0;
}

// A decimal number as read from text, before conversion to double.
struct DecimalText {
  bool negative = false;
  std::string integer_digits;
  std::string fraction_digits;
  int64_t exponent = 0;
  size_t end = 0;  // position just past the number
};

// Reads [sign] digits [. digits] [E|D [sign] digits] starting at `pos`.
// With `allow_thousands`, commas after the first integer digit are skipped.
// An exponent marker is taken only when digits follow it. False when no
// mantissa digit was found.
bool ScanDecimal(std::string_view text, size_t pos, bool allow_thousands,
                 DecimalText* out) {
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    out->negative = text[pos] == '-';
    ++pos;
  }
  while (pos < text.size()) {
    char c = text[pos];
    if (IsDigit(c)) {
      out->integer_digits += c;
    } else if (c == ',' && allow_thousands && !out->integer_digits.empty()) {
      // Thousands separator: VB reads "1,000" as 1000.
    } else {
      break;
    }
    ++pos;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) out->fraction_digits += text[pos++];
  }
  if (out->integer_digits.empty() && out->fraction_digits.empty()) return false;

  if (pos < text.size() && IsExponentMarker(text[pos])) {
    size_t exponent_pos = pos + 1;
    bool exponent_negative = false;
    if (exponent_pos < text.size() && (text[exponent_pos] == '+' || text[exponent_pos] == '-')) {
      exponent_negative = text[exponent_pos] == '-';
      ++exponent_pos;
    }
    if (exponent_pos < text.size() && IsDigit(text[exponent_pos])) {
      int64_t exponent = 0;
      while (exponent_pos < text.size() && IsDigit(text[exponent_pos])) {
        exponent = std::min(exponent * 10 + (text[exponent_pos] - '0'), kExponentClamp);
        ++exponent_pos;
      }
      out->exponent = exponent_negative ? -exponent : exponent;
      pos = exponent_pos;
    }
  }
  out->end = pos;
  return true;
}

// Decimal order of magnitude of the number: > 0 when it is at least 1.
int64_t Magnitude(const DecimalText& number) {
  size_t first = number.integer_digits.find_first_not_of('0');
  if (first != std::string::npos) {
    return static_cast<int64_t>(number.integer_digits.size() - first) + number.exponent;
  }
  size_t zeros = number.fraction_digits.find_first_not_of('0');
  if (zeros == std::string::npos) return std::numeric_limits<int64_t>::min();  // zero
  return number.exponent - static_cast<int64_t>(zeros);
}

ParseResult DecimalToDouble(const DecimalText& number) {
  std::string text = number.integer_digits.empty() ? "0" : number.integer_digits;
  if (!number.fraction_digits.empty()) text += "." + number.fraction_digits;
  if (number.exponent != 0) text += "e" + std::to_string(number.exponent);

  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Out of range both ways: too large is overflow, too small reads as 0.
    if (Magnitude(number) > 0) return {ParseStatus::kOverflow, 0};
    value = 0;
  } else if (error != std::errc() || end != text.data() + text.size()) {
    return {ParseStatus::kNotNumber, 0};
  }
  if (std::isinf(value)) return {ParseStatus::kOverflow, 0};
  return {ParseStatus::kNumber, number.negative ? -value : value};
}

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// The CLng/CDbl reading of a text: the whole trimmed text must be one number.
ParseResult ParseText(std::string_view raw) {
  std::string_view text = TrimBlanks(raw);
  if (text.empty()) return {};

  if (int radix = RadixPrefix(text, 0); radix != 0) {
    size_t pos = 2;
    RadixDigits digits = ScanRadixDigits(text, &pos, radix);
    if (digits.count == 0 || pos != text.size()) return {};
    if (digits.too_big) return {ParseStatus::kOverflow, 0};
    // Up to 32 bits, read as a signed Long: "&HFFFFFFFF" is -1.
    int32_t as_long = static_cast<int32_t>(static_cast<uint32_t>(digits.value));
    return {ParseStatus::kNumber, static_cast<double>(as_long)};
  }

  DecimalText number;
  if (!ScanDecimal(text, 0, /*allow_thousands=*/true, &number)) return {};
  if (number.end != text.size()) return {};
  return DecimalToDouble(number);
}

// The number a Variant stands for under the CLng/CDbl rules.
double NumberOf(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kEmpty: return 0;
    case VariantKind::kNull: throw RuntimeError(errors::kInvalidUseOfNull);
    case VariantKind::kBoolean: return value.AsBool() ? -1.0 : 0.0;
    case VariantKind::kLong: return value.AsLong();
    case VariantKind::kDouble: return value.AsDouble();
    case VariantKind::kString: {
      ParseResult parsed = ParseText(value.AsString());
      if (parsed.status == ParseStatus::kOverflow) throw RuntimeError(errors::kOverflow);
      if (parsed.status == ParseStatus::kNotNumber) throw RuntimeError(errors::kTypeMismatch);
      return parsed.value;
    }
    default: throw RuntimeError(errors::kTypeMismatch);
  }
}

std::string DoubleToText(double value) {
  if (value == 0) return "0";  // also for -0
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  // VB shows up to 15 significant digits, switching to the E form as %G does:
  // 1E+15, 1.5E-07.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value,
                              std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

}  // namespace

std::optional<double> ParseNumericText(std::string_view text) {
  ParseResult parsed = ParseText(text);
  if (parsed.status != ParseStatus::kNumber) return std::nullopt;
  return parsed.value;
}

double BankersRound(double value) {
  double floor_value = std::floor(value);
  double fraction = value - floor_value;
  if (fraction < 0.5) return floor_value;
  if (fraction > 0.5) return floor_value + 1;
  return std::fmod(floor_value, 2.0) == 0 ? floor_value : floor_value + 1;
}

int32_t CLng(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kLong: return value.AsLong();
    case VariantKind::kBoolean: return value.AsBool() ? -1 : 0;
    default: break;
  }
  double number = BankersRound(NumberOf(value));
  // The NaN check is folded in: every comparison with NaN is false.
  if (!(number >= static_cast<double>(std::numeric_limits<int32_t>::min()) &&
        number <= static_cast<double>(std::numeric_limits<int32_t>::max()))) {
    throw RuntimeError(errors::kOverflow);
  }
  return static_cast<int32_t>(number);
}

double CDbl(const Variant& value) { return NumberOf(value); }

bool CBool(const Variant& value) {
  if (value.kind() == VariantKind::kString) {
    std::string_view text = TrimBlanks(value.AsString());
    if (EqualsIgnoreCase(text, "True")) return true;
    if (EqualsIgnoreCase(text, "False")) return false;
  }
  return NumberOf(value) != 0;
}

std::string CStr(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kEmpty: return "";
    case VariantKind::kNull: throw RuntimeError(errors::kInvalidUseOfNull);
    case VariantKind::kBoolean: return value.AsBool() ? "True" : "False";
    case VariantKind::kLong: return std::to_string(value.AsLong());
    case VariantKind::kDouble: return DoubleToText(value.AsDouble());
    case VariantKind::kString: return value.AsString();
    case VariantKind::kBytes: {
      const Bytes& bytes = value.AsBytes();
      return std::string(bytes.begin(), bytes.end());
    }
    default: throw RuntimeError(errors::kTypeMismatch);
  }
}

double Val(std::string_view raw) {
  // Val ignores blanks anywhere in the text: " 1 2 3" reads as 123.
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') text += c;
  }

  if (int radix = RadixPrefix(text, 0); radix != 0) {
    size_t pos = 2;
    RadixDigits digits = ScanRadixDigits(text, &pos, radix);
    if (digits.count == 0) return 0;
    if (digits.too_big) throw RuntimeError(errors::kOverflow);
    // As in VB, a value that fits 16 bits is an Integer ("&HFFFF" is -1)
    // unless a trailing "&" marks it as a Long.
    bool long_suffix = pos < text.size() && text[pos] == '&';
    if (digits.value <= 0xFFFF && !long_suffix) {
      return static_cast<int16_t>(static_cast<uint16_t>(digits.value));
    }
    return static_cast<int32_t>(static_cast<uint32_t>(digits.value));
  }

  DecimalText number;
  if (!ScanDecimal(text, 0, /*allow_thousands=*/false, &number)) return 0;
  ParseResult parsed = DecimalToDouble(number);
  if (parsed.status == ParseStatus::kOverflow) throw RuntimeError(errors::kOverflow);
  return parsed.value;
}

int32_t CheckedNarrow(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    throw RuntimeError(errors::kOverflow);
  }
  return static_cast<int32_t>(value);
}

int32_t CheckedAdd(int32_t a, int32_t b) {
  return CheckedNarrow(static_cast<int64_t>(a) + static_cast<int64_t>(b));
}

int32_t CheckedSub(int32_t a, int32_t b) {
  return CheckedNarrow(static_cast<int64_t>(a) - static_cast<int64_t>(b));
}

int32_t CheckedMul(int32_t a, int32_t b) {
  return CheckedNarrow(static_cast<int64_t>(a) * static_cast<int64_t>(b));
}

}  // namespace lxm
