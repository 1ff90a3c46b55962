// The installed-module check over the file-backed registry, and parameter
// descriptions turned into bound parameters.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "platform/db/parameter_spec.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "test_support/error_matchers.h"
#include "tree/installed_modules.h"

namespace lxm {
namespace {

TEST(InstalledModulesTest, AListIsInstalledWhenAnyOfItsCodesReadsOne) {
  struct Case {
    std::string values;  // the InstallSys key's values, as JSON
    std::string list;
    bool installed;
  };
  const std::vector<Case> cases = {
      {R"({})", "", true},
      {R"({"GL": "1"})", "GL", true},
      {R"({"gl": 1})", "GL", true},  // names compare without regard to case
      {R"({"GL": "1.0"})", "GL", true},
      {R"({"GL": " 1 module"})", "GL", true},
      {R"({"GL": "0"})", "GL", false},
      {R"({"GL": ""})", "GL", false},
      {R"({"GL": "yes"})", "GL", false},
      {R"({"GL": "11"})", "GL", false},
      {R"({})", "GL", false},
      {R"({"AR": "1"})", "GL,AR", true},
      {R"({"GL": "1"})", "GL,AR", true},
      {R"({"GL": "0", "AR": "2"})", "GL,AR", false},
      // An empty part reads the key's unnamed value, and one that reads 1
      // makes the result false.
      {R"({"GL": "1"})", "GL,", true},
      {R"({"GL": "1", "": "1"})", "GL,", false},
      {R"({"": "1"})", ",", false},
  };
  for (const Case& c : cases) {
    RuntimeOptions options;
    options.registry = RegistryData::Parse(
        R"({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\oxa\\InstallSys": )" + c.values + "}", "test");
    Runtime runtime(options);
    EXPECT_EQ(IsModuleInstalled(runtime, c.list), c.installed) << c.values << " " << c.list;
  }

  // A registry that cannot be read is the caller's failure.
  Runtime runtime;
  runtime.components().Unregister(RegistryReader::kProgID);
  EXPECT_EQ(test::ErrorNumberOf([&] { IsModuleInstalled(runtime, "GL"); }), errors::kCannotCreateObject);
  EXPECT_TRUE(IsModuleInstalled(runtime, ""));
}

TEST(ParameterSpecTest, DescriptionsBecomeBoundValuesOfTheirType) {
  auto descriptions = Vector::Create();
  descriptions->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant("12"))));
  auto two = Vector::Create();
  two->Append(Variant(3));
  two->Append(Variant(4));
  descriptions->Append(Variant(two));  // not a description: skipped
  descriptions->Append(Variant("junk"));
  descriptions->Append(Variant(MakeParameterSpec(kParamVarWChar, 50, Variant(true))));
  descriptions->Append(Variant(MakeParameterSpec(kParamBoolean, 2, Variant(-1))));
  descriptions->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant::Null())));
  descriptions->Append(Variant(MakeParameterSpec(130 + 1000, 0, Variant(2.5))));  // unknown type: as given
  Params params;
  AppendCommandParameters(params, Variant(descriptions));
  EXPECT_EQ(params, (Params{Variant(12), Variant("True"), Variant(true), Variant::Null(), Variant(2.5)}));

  Params none;
  AppendCommandParameters(none, Variant("not a list"));
  AppendCommandParameters(none, Variant());
  EXPECT_TRUE(none.empty());

  // A value that does not fit its type fails there; what came before stays.
  auto failing = Vector::Create();
  failing->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant(1))));
  failing->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant("x"))));
  failing->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant(3))));
  Params partial;
  EXPECT_EQ(test::ErrorNumberOf([&] { AppendCommandParameters(partial, Variant(failing)); }), errors::kTypeMismatch);
  EXPECT_EQ(partial, (Params{Variant(1)}));
  auto negative = Vector::Create();
  negative->Append(Variant(MakeParameterSpec(kParamVarChar, -1, Variant("x"))));
  EXPECT_NE(test::ErrorNumberOf([&] { AppendCommandParameters(partial, Variant(negative)); }), 0);
}

}  // namespace
}  // namespace lxm
