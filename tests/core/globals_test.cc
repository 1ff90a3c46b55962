#include "core/globals.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/cdatasource.h"
#include "core/cparse.h"
#include "platform/com_error.h"
#include "platform/component_factory.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/resource_loader.h"
#include "platform/runtime.h"

namespace lxm {
namespace {

constexpr std::string_view kFavorites = "常用功能组";
constexpr std::string_view kGroupExists = "功能组已存在";
constexpr std::string_view kBadTemplate = "无效或错误的模板文件，请重新选择。";

// Loader that shows the properties it was given instead of translating.
class EchoLoader : public ResourceLoader {
 public:
  std::string LoadString(std::string_view key) const override {
    return res_file_base_name() + "|" + language_id() + "|" + std::string(key);
  }
};

class ThrowingLoader : public ResourceLoader {
 public:
  std::string LoadString(std::string_view) const override {
    throw RuntimeError(errors::kInvalidCall);
  }
};

// The factories live in static storage for the whole run: the thread's loader
// is remembered per factory, and a factory built and destroyed per test could
// reappear at the address of another test's factory.
ComponentFactory& StandardFactory() {
  static ComponentFactory factory;
  static const bool registered = [] {
    factory.Register(ResourceLoader::kProgID, [] { return std::make_shared<ResourceLoader>(); });
    return true;
  }();
  (void)registered;
  return factory;
}

ComponentFactory& EmptyFactory() {
  static ComponentFactory factory;
  return factory;
}

ComponentFactory& ThrowingFactory() {
  static ComponentFactory factory;
  static const bool registered = [] {
    factory.Register(ResourceLoader::kProgID, [] { return std::make_shared<ThrowingLoader>(); });
    return true;
  }();
  (void)registered;
  return factory;
}

std::atomic<int> echo_loaders_created{0};

ComponentFactory& EchoFactory() {
  static ComponentFactory factory;
  static const bool registered = [] {
    factory.Register(ResourceLoader::kProgID, [] {
      ++echo_loaders_created;
      return std::make_shared<EchoLoader>();
    });
    return true;
  }();
  (void)registered;
  return factory;
}

TEST(LoadResStringTest, TranslatesKnownMessages) {
  struct Case {
    std::string_view key;
    std::string_view language;
    std::string_view expected;
  };
  const std::vector<Case> cases = {
      {kFavorites, "chs", kFavorites},
      {kFavorites, "cht", "常用功能組"},
      {kFavorites, "en", "Favorites"},
      {kGroupExists, "chs", kGroupExists},
      {kGroupExists, "cht", "功能組已存在"},
      {kGroupExists, "en", "The function group already exists"},
      {kBadTemplate, "chs", kBadTemplate},
      {kBadTemplate, "cht", "無效或錯誤的範本檔案，請重新選擇。"},
      {kBadTemplate, "en", "Invalid or incorrect template file. Please select again."},
      // Unknown languages and keys come back as the key.
      {kFavorites, "fr", kFavorites},
      // Language IDs compare as the column names they select.
      {kFavorites, "EN", "Favorites"},
      {kFavorites, "CHS", kFavorites},
      {kFavorites, "", kFavorites},
      {"未知消息", "en", "未知消息"},
      {"", "en", ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(std::string(test_case.key) + " / " + std::string(test_case.language));
    EXPECT_EQ(LoadResString(test_case.key, test_case.language, StandardFactory()),
              test_case.expected);
  }
}

TEST(LoadResStringTest, LanguageIsSetOnEveryCall) {
  // One loader serves the thread; a previous caller's language must not stick.
  EXPECT_EQ(LoadResString(kFavorites, "en", StandardFactory()), "Favorites");
  EXPECT_EQ(LoadResString(kFavorites, "chs", StandardFactory()), kFavorites);
  EXPECT_EQ(LoadResString(kFavorites, "cht", StandardFactory()), "常用功能組");
  EXPECT_EQ(LoadResString(kFavorites, "en", StandardFactory()), "Favorites");
}

TEST(LoadResStringTest, SetsResFileBaseNameAndLanguage) {
  EXPECT_EQ(LoadResString("key", "cht", EchoFactory()), "R8Base|cht|key");
  EXPECT_EQ(LoadResString("key", "en", EchoFactory()), "R8Base|en|key");
}

TEST(LoadResStringTest, FailuresReturnTheText) {
  EXPECT_EQ(LoadResString(kFavorites, "en", EmptyFactory()), kFavorites);
  EXPECT_EQ(LoadResString(kFavorites, "en", ThrowingFactory()), kFavorites);

  ComponentFactory failing_creator;
  failing_creator.Register(ResourceLoader::kProgID,
                           []() -> std::shared_ptr<Object> { throw RuntimeError(5); });
  EXPECT_EQ(LoadResString(kFavorites, "en", failing_creator), kFavorites);

  ComponentFactory wrong_type;
  wrong_type.Register(ResourceLoader::kProgID, [] { return std::make_shared<Object>(); });
  EXPECT_EQ(LoadResString(kFavorites, "en", wrong_type), kFavorites);
}

TEST(LoadResStringTest, LoaderBelongsToItsFactory) {
  // Alternating factories on one thread: each call uses its own factory's loader.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(LoadResString(kFavorites, "en", StandardFactory()), "Favorites");
    EXPECT_EQ(LoadResString(kFavorites, "en", ThrowingFactory()), kFavorites);
    EXPECT_EQ(LoadResString(kFavorites, "en", EmptyFactory()), kFavorites);
    EXPECT_EQ(LoadResString(kFavorites, "en", EchoFactory()), "R8Base|en|" + std::string(kFavorites));
  }
}

TEST(LoadResStringTest, OneLoaderPerThread) {
  // Switch away first, so that this thread's next Echo loader is new.
  LoadResString("key", "en", StandardFactory());
  int before = echo_loaders_created.load();
  LoadResString("key", "en", EchoFactory());
  LoadResString("key", "cht", EchoFactory());
  LoadResString("key", "chs", EchoFactory());
  EXPECT_EQ(echo_loaders_created.load(), before + 1);

  std::string other_thread_result;
  std::thread worker([&] {
    other_thread_result = LoadResString("key", "en", EchoFactory());
    LoadResString("key", "en", EchoFactory());
  });
  worker.join();
  EXPECT_EQ(other_thread_result, "R8Base|en|key");
  EXPECT_EQ(echo_loaders_created.load(), before + 2);
}

TEST(LoadResStringTest, DefaultRuntimeHasTheLoader) {
  EXPECT_EQ(LoadResString(kGroupExists, "en"), "The function group already exists");
  EXPECT_EQ(LoadResString(kGroupExists, "chs"), kGroupExists);
}

TEST(CurrentUserIDTest, ReadsTheDescriptorsUserID) {
  Runtime runtime;
  CDataSource data_source(runtime);
  auto parse = std::make_shared<CParse>();
  parse->ParseString("ConnectString={Data Source=x};UserID= 16394 ;LANGUAGE=en");
  data_source.SetParseObject(parse);
  EXPECT_EQ(CurrentUserID(data_source), 16394);
}

TEST(CurrentUserIDTest, MissingUserIDOrParserRaises13) {
  Runtime runtime;
  CDataSource data_source(runtime);
  for (const char* descriptor : {"LANGUAGE=en", "UserID=abc"}) {
    SCOPED_TRACE(descriptor);
    auto parse = std::make_shared<CParse>();
    parse->ParseString(descriptor);
    data_source.SetParseObject(parse);
    try {
      CurrentUserID(data_source);
      ADD_FAILURE() << "no error raised";
    } catch (const ComError& error) {
      EXPECT_EQ(error.number(), errors::kTypeMismatch);
    }
  }
  CDataSource without_parser(runtime);
  try {
    CurrentUserID(without_parser);
    ADD_FAILURE() << "no error raised";
  } catch (const ComError& error) {
    EXPECT_EQ(error.number(), errors::kTypeMismatch);
  }
}

TEST(LanguageColumnTest, KnownLanguages) {
  struct Case {
    std::string_view column;
    std::string_view language;
    std::string_view expected;
  };
  for (const Case& test_case : std::vector<Case>{
           {"FName", "chs", "FName"},
           {" FName ", "chs", " FName "},
           {"FName", "cht", "FName_CHT"},
           {"FName", "CHT", "FName_CHT"},
           {"FName", "Cht", "FName_CHT"},
           {"FName", "en", "FName_EN"},
           {"FName", "EN", "FName_EN"},
           {"FName", "eN", "FName_EN"},
           {"  FSubSysName ", "en", "FSubSysName_EN"},
           {" FName\t", "cht", "FName\t_CHT"},
       }) {
    SCOPED_TRACE(std::string(test_case.column) + " / " + std::string(test_case.language));
    EXPECT_EQ(LanguageColumn(test_case.column, test_case.language), test_case.expected);
  }
}

TEST(LanguageColumnTest, OtherLanguagesRaiseTheMissingColumnError) {
  struct Case {
    std::string_view column;
    std::string_view language;
    std::string_view missing_column;
  };
  for (const Case& test_case : std::vector<Case>{
           {"FName", "CHS", "FName_CHS"},
           {"FName", "Chs", "FName_Chs"},
           {" FName ", "", "FName_"},
           {"FName", "fr", "FName_fr"},
           {"FName", "en ", "FName_en "},
           {"FName", "x;drop", "FName_x;drop"},
       }) {
    SCOPED_TRACE(std::string(test_case.column) + " / " + std::string(test_case.language));
    try {
      LanguageColumn(test_case.column, test_case.language);
      ADD_FAILURE() << "no error raised";
    } catch (const ComError& error) {
      EXPECT_EQ(error.number(), errors::kDatabase);
      EXPECT_EQ(error.source(), kRuntimeErrorSource);
      EXPECT_EQ(error.description(),
                "Invalid column name '" + std::string(test_case.missing_column) + "'.");
    }
  }
}

TEST(StampToTextTest, Forms) {
  struct Case {
    const char* name;
    Variant value;
    std::string_view expected;
  };
  const std::vector<Case> cases = {
      {"row version", Variant(Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F, 0xA0}),
       "0x0000000000001FA0"},
      {"all digits upper case",
       Variant(Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}), "0x0123456789ABCDEF"},
      {"single byte keeps its leading zero", Variant(Bytes{0x0A}), "0x0A"},
      {"empty bytes", Variant(Bytes{}), "0x"},
      {"Null", Variant::Null(), kZeroStamp},
      {"Empty", Variant(), kZeroStamp},
      {"Long", Variant(int32_t{8096}), kZeroStamp},
      {"text", Variant("0x0000000000001FA0"), kZeroStamp},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(StampToText(test_case.value), test_case.expected);
  }
}

TEST(RecordToDictionaryTest, CopiesTheCurrentRowInFieldOrder) {
  Recordset recordset(
      {{"FSubSysID", FieldType::kInteger},
       {"FName", FieldType::kVarWChar},
       {"FAlias", FieldType::kVarWChar},
       {"FStamp", FieldType::kVarBinary},
       {"FEnable", FieldType::kBoolean}},
      {{Variant(int32_t{1001}), Variant("总账"), Variant::Null(), Variant(Bytes{1, 2}),
        Variant(true)},
       {Variant(int32_t{1002}), Variant("报表"), Variant("Reports"), Variant(Bytes{3}),
        Variant(false)}});
  recordset.MoveNext();

  std::shared_ptr<Dictionary> dictionary = RecordToDictionary(recordset);
  ASSERT_NE(dictionary, nullptr);
  const std::vector<std::pair<std::string, Variant>> expected = {
      {"FSubSysID", Variant(int32_t{1002})}, {"FName", Variant("报表")},
      {"FAlias", Variant("Reports")},        {"FStamp", Variant(Bytes{3})},
      {"FEnable", Variant(false)}};
  EXPECT_EQ(dictionary->entries(), expected);
  // The cursor stays where it was.
  EXPECT_EQ(recordset.AbsolutePosition(), 2);
}

TEST(RecordToDictionaryTest, NullValuesAndNoFields) {
  Recordset recordset({{"FAlias", FieldType::kVarWChar}}, {{Variant::Null()}});
  std::shared_ptr<Dictionary> dictionary = RecordToDictionary(recordset);
  ASSERT_EQ(dictionary->Count(), 1);
  EXPECT_TRUE(dictionary->Item("FAlias").IsNull());

  std::shared_ptr<Dictionary> empty = RecordToDictionary(Recordset());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->Count(), 0);
}

TEST(RecordToDictionaryTest, EachCallMakesANewDictionary) {
  Recordset recordset({{"FID", FieldType::kInteger}}, {{Variant(int32_t{1})}});
  std::shared_ptr<Dictionary> first = RecordToDictionary(recordset);
  std::shared_ptr<Dictionary> second = RecordToDictionary(recordset);
  EXPECT_NE(first, second);
  first->Set("FID", Variant(int32_t{2}));
  EXPECT_EQ(second->Item("FID"), Variant(int32_t{1}));
}

}  // namespace
}  // namespace lxm
