// The host adds refusals but never changes what a method does: every method
// of the type library, given a descriptor that does not parse, answers over
// HTTP (and HTTPS) exactly what the in-process call answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>

#include "platform/com_error.h"
#include "server/http_client.h"
#include "server/http_server.h"
#include "server/json_codec.h"
#include "server/raw_http.h"
#include "test_support/account_fixture.h"
#include "test_support/test_server.h"
#include "test_support/throwaway_certificate.h"

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

  void StartServer(const test::ThrowawayCertificate* certificate = nullptr) {
    HttpServerOptions options = test::ServerOptionsFor(connect_string_);
    options.dispatch.enable_exec = true;
    if (certificate != nullptr) {
      options.tls_certificate_file = certificate->certificate_file();
      options.tls_key_file = certificate->key_file();
    }
    server_ = std::make_unique<test::TestServer>(runtime_, PublicTypeLibrary(), options);
    port_ = server_->port();
  }

  void TearDown() override { server_.reset(); }

  // Status and body of a POST.
  using Post = std::function<std::pair<int, std::string>(const std::string& path, const std::string& body)>;
  void ExpectEveryMethodAnswersAsInProcess(const Post& post);

  std::unique_ptr<test::TestServer> server_;
  int port_ = 0;
};

TEST_F(HostParityTest, DescriptorThatDoesNotParseReachesTheMethodOverHttp) {
  StartServer();
  test::RawConnection connection(port_);
  ExpectEveryMethodAnswersAsInProcess([&](const std::string& path, const std::string& body) {
    test::RawReply reply = connection.Post(path, body);
    return std::make_pair(reply.status, reply.body);
  });
}

// The same over HTTPS, the client checking the server's certificate.
TEST_F(HostParityTest, DescriptorThatDoesNotParseReachesTheMethodOverHttps) {
  test::ThrowawayCertificate certificate;
  StartServer(&certificate);
  HttpLimits trust;
  trust.ca_file = certificate.certificate_file();
  const std::string url = "https://127.0.0.1:" + std::to_string(port_);
  ExpectEveryMethodAnswersAsInProcess([&](const std::string& path, const std::string& body) {
    HttpReply reply = HttpPost(url, path, body, "", trust);
    return std::make_pair(reply.status, reply.body);
  });
}

void HostParityTest::ExpectEveryMethodAnswersAsInProcess(const Post& post) {
  DispatcherOptions in_process;
  in_process.enable_exec = true;
  Dispatcher direct(runtime_, PublicTypeLibrary(), in_process);
  test::TempDir elsewhere;
  std::filesystem::path unserved = elsewhere.path() / "account.db";
  const std::string descriptors[] = {
      Dsn(16394) + ";UserID=1",                                       // this database
      MakeDescriptor(unserved.string(), 16394, "chs") + ";UserID=1",  // one not served
  };

  int methods = 0;
  for (const std::string& descriptor : descriptors) {
    for (const auto& info : PublicTypeLibrary().classes()) {
      for (const MethodInfo& method : info->methods()) {
        if (method.DescriptorIndex() < 0) continue;
        SCOPED_TRACE(info->prog_id() + "." + method.name + " with " + descriptor);
        ++methods;
        std::string body = BodyWithDescriptor(method, descriptor);
        Reply expected = direct.Call(info->prog_id(), method.name, body);
        auto [status, text] = post("/rpc/" + info->prog_id() + "/" + method.name, body);
        EXPECT_EQ(status, expected.status) << text;
        EXPECT_EQ(Json::parse(text), Json::parse(expected.Text()));
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
    auto [status, text] = post(std::string("/rpc/") + c.prog_id + "/" + c.method,
                               BodyWithDescriptor(*method, descriptors[0]));
    Json json = Json::parse(text);
    if (c.source != nullptr) {
      EXPECT_EQ(status, 500);
      EXPECT_EQ(json["error"]["number"], errors::kDuplicateKey);
      EXPECT_EQ(json["error"]["source"], c.source);
    } else {
      EXPECT_EQ(status, 200) << text;
      if (c.result != nullptr) {
        EXPECT_EQ(json["result"], Json::parse(c.result));
      }
    }
  }
}

}  // namespace
}  // namespace lxm::server
