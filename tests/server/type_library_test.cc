#include "server/type_library.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "server/expected_methods.h"
#include "server/json_codec.h"

namespace lxm::server {
namespace {

std::string Signature(const MethodInfo& method) {
  std::string text = (method.result == ValueType::kVoid ? "Sub " : "Function ") + method.name + "(";
  for (size_t i = 0; i < method.params.size(); ++i) {
    const ParamInfo& param = method.params[i];
    if (i > 0) text += ", ";
    if (param.optional) text += "Optional ";
    if (param.by_ref) text += "ByRef ";
    text += param.name + " As " + std::string(ValueTypeName(param.type));
    if (param.optional) text += " = " + EncodeValue(param.default_value);
  }
  text += ")";
  if (method.result != ValueType::kVoid) text += " As " + std::string(ValueTypeName(method.result));
  return text;
}

std::string NameOf(std::string_view signature) {
  size_t start = signature.find(' ') + 1;
  return std::string(signature.substr(start, signature.find('(') - start));
}

TEST(TypeLibraryTest, HasEveryExpectedMethodWithItsSignature) {
  const TypeLibrary& library = PublicTypeLibrary();
  for (const test::ExpectedMethod& expected : test::kExpectedMethods) {
    SCOPED_TRACE(std::string(expected.prog_id) + " " + std::string(expected.signature));
    const ClassInfo* info = library.Find(expected.prog_id);
    ASSERT_NE(info, nullptr);
    const MethodInfo* method = info->Find(NameOf(expected.signature));
    ASSERT_NE(method, nullptr) << "missing from the type library";
    EXPECT_EQ(Signature(*method), expected.signature);
    EXPECT_TRUE(static_cast<bool>(method->invoke));
    // A method that takes a descriptor takes it first, so the command line
    // can put it there (the installation's file methods take none).
    EXPECT_LE(method->DescriptorIndex(), 0);
  }
}

TEST(TypeLibraryTest, ListsNoMethodThatIsNotExpected) {
  std::set<std::string> expected;
  for (const test::ExpectedMethod& method : test::kExpectedMethods) {
    expected.insert(std::string(method.prog_id) + "." + NameOf(method.signature));
  }
  for (const auto& info : PublicTypeLibrary().classes()) {
    for (const MethodInfo& method : info->methods()) {
      EXPECT_TRUE(expected.count(info->prog_id() + "." + method.name))
          << Signature(method) << " of " << info->prog_id()
          << " is not in tests/server/expected_methods.h";
    }
  }
}

// The public methods a class header declares: every name in its public
// section called with the descriptor first.
std::set<std::string> DeclaredPublicMethods(const std::string& header) {
  std::filesystem::path path =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "src" / header;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string source = text.str();
  size_t public_start = source.find(" public:");
  size_t public_end = source.find(" private:", public_start);
  std::string section = source.substr(public_start, public_end - public_start);
  std::set<std::string> names;
  const std::string kDescriptorFirst = "(std::string_view sDsn";
  for (size_t at = section.find(kDescriptorFirst); at != std::string::npos;
       at = section.find(kDescriptorFirst, at + 1)) {
    size_t start = at;
    while (start > 0 && (std::isalnum(static_cast<unsigned char>(section[start - 1])) || section[start - 1] == '_')) {
      --start;
    }
    if (start < at) names.insert(section.substr(start, at - start));
  }
  return names;
}

TEST(TypeLibraryTest, ServesEveryPublicMethodTheClassesDeclare) {
  struct ClassHeader {
    std::string_view prog_id;
    const char* header;
  };
  const ClassHeader classes[] = {{test::kDatasInfo, "info/datas_info.h"},
                                 {test::kDatasUpdate, "update/datas_update.h"},
                                 {test::kClsDataInfo, "tree/cls_data_info.h"}};
  for (const ClassHeader& each : classes) {
    SCOPED_TRACE(each.header);
    std::set<std::string> declared = DeclaredPublicMethods(each.header);
    ASSERT_FALSE(declared.empty()) << "cannot read the header";
    const ClassInfo* info = PublicTypeLibrary().Find(each.prog_id);
    ASSERT_NE(info, nullptr);
    for (const std::string& name : declared) {
      EXPECT_NE(info->Find(name), nullptr) << each.prog_id << "." << name << " has no type library entry";
    }
  }
}

TEST(TypeLibraryTest, FindsNamesWithoutRegardToCase) {
  const TypeLibrary& library = PublicTypeLibrary();
  const ClassInfo* info = library.Find("lxmdataflow.DATASINFO");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->prog_id(), "LXMDataFlow.DatasInfo");
  ASSERT_NE(info->Find("getsubsystem"), nullptr);
  EXPECT_EQ(info->Find("getsubsystem")->name, "GetSubSystem");
  EXPECT_EQ(library.Find("LXMDataFlow.Nothing"), nullptr);
}

TEST(TypeLibraryTest, RefusesAnEntryGivenTwiceOrAnOptionalBeforeARequired) {
  ClassInfo info("Test.Class");
  info.Add({"Run", {In("sDsn", ValueType::kString)}, ValueType::kVoid, {}});
  EXPECT_THROW(info.Add({"RUN", {}, ValueType::kVoid, {}}), std::logic_error);
  EXPECT_THROW(info.Add({"Other",
                         {Optional("a", ValueType::kLong, Variant(0)), In("b", ValueType::kLong)},
                         ValueType::kVoid,
                         {}}),
               std::logic_error);
}

}  // namespace
}  // namespace lxm::server
