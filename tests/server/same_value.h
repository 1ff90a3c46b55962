// Structural equality of Variants for tests: same kind and same contents,
// containers compared item by item (Variant's own operator== compares
// objects by identity).
#ifndef LXM_TESTS_SERVER_SAME_VALUE_H_
#define LXM_TESTS_SERVER_SAME_VALUE_H_

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/variant.h"

namespace lxm::test {

inline ::testing::AssertionResult SameValue(const Variant& a, const Variant& b,
                                            const std::string& where = "value") {
  if (a.kind() != b.kind()) {
    return ::testing::AssertionFailure() << where << ": kind " << KindName(a.kind()) << " vs "
                                         << KindName(b.kind());
  }
  if (a.IsObject() && (a.IsNothing() || b.IsNothing())) {
    if (a.IsNothing() == b.IsNothing()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << where << ": Nothing vs an object";
  }
  switch (a.kind()) {
    case VariantKind::kDouble:
      if (a.AsDouble() == b.AsDouble() && std::signbit(a.AsDouble()) == std::signbit(b.AsDouble())) {
        return ::testing::AssertionSuccess();
      }
      return ::testing::AssertionFailure() << where << ": " << a.AsDouble() << " vs " << b.AsDouble();
    case VariantKind::kDictionary: {
      const auto& x = a.AsDictionary()->entries();
      const auto& y = b.AsDictionary()->entries();
      if (x.size() != y.size()) {
        return ::testing::AssertionFailure() << where << ": " << x.size() << " vs " << y.size() << " keys";
      }
      for (size_t i = 0; i < x.size(); ++i) {
        if (x[i].first != y[i].first) {
          return ::testing::AssertionFailure() << where << ": key " << i + 1 << " is \"" << x[i].first
                                               << "\" vs \"" << y[i].first << "\"";
        }
        auto item = SameValue(x[i].second, y[i].second, where + "." + x[i].first);
        if (!item) return item;
      }
      return ::testing::AssertionSuccess();
    }
    case VariantKind::kVector: {
      const auto& x = a.AsVector()->items();
      const auto& y = b.AsVector()->items();
      if (x.size() != y.size()) {
        return ::testing::AssertionFailure() << where << ": " << x.size() << " vs " << y.size() << " items";
      }
      for (size_t i = 0; i < x.size(); ++i) {
        auto item = SameValue(x[i], y[i], where + "[" + std::to_string(i + 1) + "]");
        if (!item) return item;
      }
      return ::testing::AssertionSuccess();
    }
    case VariantKind::kRecordset: {
      const Recordset& x = *a.AsRecordset();
      const Recordset& y = *b.AsRecordset();
      if (x.Fields().size() != y.Fields().size()) {
        return ::testing::AssertionFailure() << where << ": " << x.Fields().size() << " vs "
                                             << y.Fields().size() << " fields";
      }
      for (size_t i = 0; i < x.Fields().size(); ++i) {
        if (x.Fields()[i].name != y.Fields()[i].name || x.Fields()[i].type != y.Fields()[i].type) {
          return ::testing::AssertionFailure()
                 << where << ": field " << i + 1 << " is " << x.Fields()[i].name << "/"
                 << FieldTypeName(x.Fields()[i].type) << " vs " << y.Fields()[i].name << "/"
                 << FieldTypeName(y.Fields()[i].type);
        }
      }
      if (x.Rows().size() != y.Rows().size()) {
        return ::testing::AssertionFailure() << where << ": " << x.Rows().size() << " vs "
                                             << y.Rows().size() << " rows";
      }
      for (size_t r = 0; r < x.Rows().size(); ++r) {
        for (size_t c = 0; c < x.Fields().size(); ++c) {
          auto cell = SameValue(x.Rows()[r][c], y.Rows()[r][c],
                                where + " row " + std::to_string(r + 1) + " " + x.Fields()[c].name);
          if (!cell) return cell;
        }
      }
      return ::testing::AssertionSuccess();
    }
    default:
      if (a == b) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << where << ": values differ";
  }
}

}  // namespace lxm::test

#endif  // LXM_TESTS_SERVER_SAME_VALUE_H_
