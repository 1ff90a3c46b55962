// The VB conversion rules the service leans on, in one place.
//
// CLng: numbers and numeric text to a 32-bit integer. Text may carry spaces
//   around it; fractions round half to even (2.5 -> 2, 3.5 -> 4); "&H1F" and
//   "&O17" read as hex and octal; True is -1. Text that is not a number raises
//   type mismatch (13), a value outside 32 bits raises overflow (6), Null
//   raises invalid use of Null (94). Empty is 0.
// CBool: "True"/"False" in any letter case, numeric text, numbers (non-zero
//   is True). Other text raises 13; Null 94; Empty is False.
// CStr: Boolean as "True"/"False", numbers in their shortest VB form, Null
//   raises 94, Empty is "".
// CDbl: like CLng without rounding or the 32-bit bound.
// Val: the number at the start of a text, skipping blanks (space, tab, line
//   feed) anywhere in it; 0 when the text does not begin with a number.
//
// Integer arithmetic on IDs (ID x 100 + index and the like) goes through the
// Checked* helpers: a result outside 32 bits raises overflow (6), never wraps.
#ifndef LXM_PLATFORM_CONVERT_H_
#define LXM_PLATFORM_CONVERT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/variant.h"

namespace lxm {

int32_t CLng(const Variant& value);
bool CBool(const Variant& value);
std::string CStr(const Variant& value);
double CDbl(const Variant& value);
double Val(std::string_view text);

// The number a text stands for under the CLng/CDbl text rules (spaces around
// it allowed, hex and octal forms), or nullopt when it is not a number.
std::optional<double> ParseNumericText(std::string_view text);

// Round half to even, as CLng and CInt do.
double BankersRound(double value);

int32_t CheckedAdd(int32_t a, int32_t b);
int32_t CheckedSub(int32_t a, int32_t b);
int32_t CheckedMul(int32_t a, int32_t b);
// A 64-bit intermediate brought back into 32 bits, or overflow (6).
int32_t CheckedNarrow(int64_t value);

}  // namespace lxm

#endif  // LXM_PLATFORM_CONVERT_H_
