// The host adds refusals but never changes what a method does: every method
// of the type library, given a descriptor that does not parse, answers over
// HTTP exactly what the in-process call answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/com_error.h"
#include "server/http_server.h"
#include "server/json_codec.h"
#include "server/raw_http.h"
#include "test_support/account_fixture.h"
#include "test_support/test_server.h"

namespace lxm::server {
namespace {

using Json = nlohmann::ordered_json;

// An argument of the parameter's type that no method refuses by shape.
std::string PlaceholderFor(const ParamInfo& param) {
  switch (param.type) {
    case ValueType::kString: return R"("x")";
    case ValueType::kLong: return "1";
    case ValueType::kBoolean: return "false";
    case ValueType::kDouble: return "1.5";
    case ValueType::kDictionary: return "{}";
    case ValueType::kVector: return "[]";
    default: return "null";
  }
}

std::string BodyWithDescriptor(const MethodInfo& method, const std::string& descriptor) {
  std::string body = R"({"args":[)";
  for (size_t i = 0; i < method.params.size(); ++i) {
    if (i > 0) body.push_back(',');
    if (static_cast<int>(i) == method.DescriptorIndex()) {
      AppendJsonString(descriptor, &body);
    } else {
      body += PlaceholderFor(method.params[i]);
    }
  }
  return body + "]}";
}

class HostParityTest : public test::AccountTest {
 protected:
  HostParityTest() { demo_ = true; }

  void SetUp() override {
    AccountTest::SetUp();
    HttpServerOptions options = test::ServerOptionsFor(connect_string_);
    options.dispatch.enable_exec = true;
    server_ = std::make_unique<test::TestServer>(runtime_, PublicTypeLibrary(), options);
    port_ = server_->port();
  }

  void TearDown() override { server_.reset(); }

  std::unique_ptr<test::TestServer> server_;
  int port_ = 0;
};

TEST_F(HostParityTest, DescriptorThatDoesNotParseReachesTheMethodOverHttp) {
  DispatcherOptions in_process;
  in_process.enable_exec = true;
  Dispatcher direct(runtime_, PublicTypeLibrary(), in_process);
  test::TempDir elsewhere;
  std::filesystem::path unserved = elsewhere.path() / "account.db";
  const std::string descriptors[] = {
      Dsn(16394) + ";UserID=1",                                       // this database
      MakeDescriptor(unserved.string(), 16394, "chs") + ";UserID=1",  // one not served
  };

  test::RawConnection connection(port_);
  int methods = 0;
  for (const std::string& descriptor : descriptors) {
    for (const auto& info : PublicTypeLibrary().classes()) {
      for (const MethodInfo& method : info->methods()) {
        if (method.DescriptorIndex() < 0) continue;
        SCOPED_TRACE(info->prog_id() + "." + method.name + " with " + descriptor);
        ++methods;
        std::string body = BodyWithDescriptor(method, descriptor);
        Reply expected = direct.Call(info->prog_id(), method.name, body);
        test::RawReply over_http = connection.Post("/rpc/" + info->prog_id() + "/" + method.name, body);
        EXPECT_EQ(over_http.status, expected.status) << over_http.body;
        EXPECT_EQ(Json::parse(over_http.body), Json::parse(expected.Text()));
        // Nothing was refused by the host: only the method's own answer.
        if (expected.status != 200) {
          EXPECT_FALSE(Json::parse(expected.Text())["error"].contains("kind"));
        }
      }
    }
  }
  EXPECT_GT(methods, 0);
  EXPECT_FALSE(std::filesystem::exists(unserved));

  // What some of those methods answer, as their traps decide.
  struct Case {
    const char* prog_id;
    const char* method;
    const char* result;  // JSON, or nullptr for an error
    const char* source;  // of the error
  };
  const Case cases[] = {
      {"LXMDataFlow.DatasInfo", "GetNextIndex", "0", nullptr},
      {"LXMDataFlow.DatasInfo", "GetNextID", "0", nullptr},
      {"LXMDataFlow.DatasInfo", "IsReFreshBaseData", "true", nullptr},
      {"LXMDataFlow.DatasInfo", "GetProfileValue", R"("")", nullptr},
      {"LXMDataFlow.DatasInfo", "GetSubSystemHelp", nullptr, "LxmDataFlow.DatasInfo:GetSubSystemHelp"},
      {"LXMDataFlow.DatasInfo", "GetHelpCodeInfo", nullptr, "LxmDataFlow.DatasInfo:GetHelpCodeInfo"},
      {"LXMDataFlow.DatasInfo", "GetRecordset", "null", nullptr},
      {"LXMDataFlow.DatasInfo", "ExportUserData", nullptr, "LXMDataFlow"},
      {"LXMDataFlow.DatasUpdate", "ImportUserData", nullptr, "LXMDataFlow"},
      {"LXMDataFlow.DatasUpdate", "AppendNormalItem", "false", nullptr},
      {"LXMDataFlow.DatasUpdate", "UpdateDetailFunc", nullptr, nullptr},
      {"LXMDataFlow.DatasUpdate", "DelNormalFunc", nullptr, nullptr},
      {"LXMDataFlow.DatasUpdate", "SetDetailFuncNotNormal", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const MethodInfo* method = PublicTypeLibrary().Find(c.prog_id)->Find(c.method);
    ASSERT_NE(method, nullptr);
    test::RawReply reply = connection.Post(std::string("/rpc/") + c.prog_id + "/" + c.method,
                                           BodyWithDescriptor(*method, descriptors[0]));
    Json json = Json::parse(reply.body);
    if (c.source != nullptr) {
      EXPECT_EQ(reply.status, 500);
      EXPECT_EQ(json["error"]["number"], errors::kDuplicateKey);
      EXPECT_EQ(json["error"]["source"], c.source);
    } else {
      EXPECT_EQ(reply.status, 200) << reply.body;
      if (c.result != nullptr) {
        EXPECT_EQ(json["result"], Json::parse(c.result));
      }
    }
  }
}

}  // namespace
}  // namespace lxm::server
