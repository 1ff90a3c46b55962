#include "tree/synthetic_data.h"

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/com_error.h"
#include "tree/demo_data.h"

namespace lxm {

namespace {

ComError BadShape(const std::string& message) {
  return ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                  "synthetic shape: " + message);
}

void CheckCount(const char* what, int32_t count) {
  if (count < 1) {
    throw BadShape(std::string(what) + " must be at least 1, not " + std::to_string(count));
  }
  if (count > kMaxSyntheticPerParent) {
    throw BadShape(std::string(what) + " must be at most " +
                   std::to_string(kMaxSyntheticPerParent) + " per parent, not " +
                   std::to_string(count));
  }
}

void CheckShape(const SyntheticShape& shape) {
  CheckCount("top classes", shape.top_classes);
  CheckCount("subsystems", shape.subsystems);
  CheckCount("sub-functions", shape.sub_functions);
  CheckCount("detail functions", shape.detail_functions);
  if (shape.users < 0) throw BadShape("users must not be negative");
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "3-2-7" from the path of a node.
std::string Path(std::initializer_list<int32_t> parts) {
  std::string text;
  for (int32_t part : parts) text += (text.empty() ? "" : "-") + std::to_string(part);
  return text;
}

// The node a user's overlay row lands on: spread over the tree by a
// multiplier so that neighbouring users touch different nodes.
int32_t Spread(int32_t user_index, int32_t multiplier, int32_t count) {
  return static_cast<int32_t>((static_cast<int64_t>(user_index) * multiplier) % count);
}

std::string DetailAcctType(int32_t d) {
  switch (d % 10) {
    case 3:
      return ",1,2,";
    case 7:
      return ",12,";
    case 9:
      return ",3,";
    default:
      return "";
  }
}

class Generator {
 public:
  Generator(Transaction& transaction, const SyntheticShape& shape)
      : writer_(transaction), shape_(shape) {}

  void Run() {
    for (int32_t t = 1; t <= shape_.top_classes; ++t) Top(t);
    AccountRows();
    for (int32_t k = 0; k < shape_.users; ++k) User(k);
  }

 private:
  void Top(int32_t t) {
    const std::string path = Path({t});
    const std::string acct = t % 4 == 0 ? ",1,2," : "";
    writer_.Insert("TopClass", {t, t * 10, 1, 0, acct, "类别 " + path, "類別 " + path,
                                "Class " + path, "类别 " + path + " 的功能",
                                "類別 " + path + " 的功能", "Functions of class " + path});
    writer_.Insert("UserTopClass",
                   {t, 0, t * 10, 1, acct, "类别 " + path, "類別 " + path, "Class " + path});
    for (int32_t s = 1; s <= shape_.subsystems; ++s) SubSystem(t, s);
  }

  void SubSystem(int32_t t, int32_t s) {
    const int32_t id = t * 1000 + s;
    const std::string path = Path({t, s});
    const std::string code = "M" + std::to_string(id);
    const bool refresh = s == 1;
    writer_.Insert("SubSystem", {id,
                                 t,
                                 s * 10,
                                 1,
                                 0,
                                 "",
                                 refresh ? 1 : 0,
                                 0,
                                 code,
                                 id,
                                 refresh ? "SYN" + std::to_string(id) + ".Refresh" : "",
                                 "",
                                 "",
                                 0,
                                 "系统 " + path,
                                 "系統 " + path,
                                 "Subsystem " + path,
                                 "系统 " + path + " 说明",
                                 "系統 " + path + " 說明",
                                 "Notes on subsystem " + path});
    writer_.Insert("UserSubSystem",
                   {id, 0, t, s * 10, 1, "", "系统 " + path, "系統 " + path, "Subsystem " + path});
    writer_.Insert("SubSystemReg", {id, code, "系统 " + path, "系統 " + path, "Subsystem " + path});
    for (int32_t f = 1; f <= shape_.sub_functions; ++f) SubFunc(t, s, f);
  }

  void SubFunc(int32_t t, int32_t s, int32_t f) {
    const int32_t parent = t * 1000 + s;
    const int32_t id = parent * 100 + f;
    const std::string path = Path({t, s, f});
    writer_.Insert("SubFunc", {id, parent, f * 10, 1, "", 0, 0, 0, 0, "", "", "", "功能组 " + path,
                               "功能組 " + path, "Function group " + path});
    for (int32_t d = 1; d <= shape_.detail_functions; ++d) Detail(t, s, f, d);
  }

  void Detail(int32_t t, int32_t s, int32_t f, int32_t d) {
    const int32_t parent = (t * 1000 + s) * 100 + f;
    const int32_t id = parent * 100 + d;
    const std::string path = Path({t, s, f, d});
    writer_.Insert("DetailFunc",
                   {id, parent, d * 10, 1, 1, DetailAcctType(d), d % 4, 0, 0,
                    "GN" + std::to_string(id), "SYN" + std::to_string(t) + ".Function",
                    std::to_string(d), "功能项 " + path, "功能項 " + path, "Function " + path,
                    "功能项 " + path, "功能項 " + path, "Function " + path});
  }

  void AccountRows() {
    static constexpr struct {
      const char* chs;
      const char* cht;
      const char* en;
    } kTypes[] = {
        {"企业会计制度", "企業會計制度", "Enterprise accounting system"},
        {"小企业会计准则", "小企業會計準則", "Small enterprise standards"},
        {"企业会计准则", "企業會計準則", "Business enterprise standards"},
        {"行政事业单位会计制度", "行政事業單位會計制度", "Public institution accounting"}};
    int32_t number = 0;
    for (const auto& type : kTypes) {
      ++number;
      std::string code = (number < 10 ? "0" : "") + std::to_string(number);
      writer_.Insert("AcctType", {number, 0, code, 0, 0, type.chs, type.cht, type.en, type.chs,
                                  type.cht, type.en, type.chs, type.cht, type.en});
    }
    writer_.Insert("SystemProfile", {"Base", "ServicePack", "V12.01.SP3"});
  }

  // A renamed detail, a hidden subsystem and a reordered sub-function.
  void User(int32_t k) {
    const int32_t user = 20001 + k;
    const int32_t subs_per_top = shape_.subsystems;
    const int32_t funcs_per_sub = shape_.sub_functions;
    const int32_t details_per_func = shape_.detail_functions;

    int32_t n =
        Spread(k, 7919, shape_.top_classes * subs_per_top * funcs_per_sub * details_per_func);
    const int32_t d = n % details_per_func + 1;
    n /= details_per_func;
    const int32_t f = n % funcs_per_sub + 1;
    n /= funcs_per_sub;
    const int32_t s = n % subs_per_top + 1;
    const int32_t t = n / subs_per_top + 1;
    const int32_t func_id = (t * 1000 + s) * 100 + f;
    const int32_t detail_id = func_id * 100 + d;
    // "我的功能" reads the same in both Chinese scripts.
    const std::string name = "我的功能 " + std::to_string(user);
    writer_.Insert("UserDetailFunc",
                   {detail_id, user, func_id, d * 10, 1, 1, "GN" + std::to_string(detail_id),
                    "SYN" + std::to_string(t) + ".Function", std::to_string(d), name, name,
                    "My function " + std::to_string(user)});

    const int32_t hidden = Spread(k, 31, shape_.top_classes * subs_per_top);
    const int32_t ht = hidden / subs_per_top + 1;
    const int32_t hs = hidden % subs_per_top + 1;
    const std::string hpath = Path({ht, hs});
    writer_.Insert("UserSubSystem", {ht * 1000 + hs, user, ht, hs * 10, 0, "", "系统 " + hpath,
                                     "系統 " + hpath, "Subsystem " + hpath});

    int32_t r = Spread(k, 131, shape_.top_classes * subs_per_top * funcs_per_sub);
    const int32_t rf = r % funcs_per_sub + 1;
    r /= funcs_per_sub;
    const int32_t rs = r % subs_per_top + 1;
    const int32_t rt = r / subs_per_top + 1;
    const std::string rpath = Path({rt, rs, rf});
    writer_.Insert("UserSubFunc",
                   {(rt * 1000 + rs) * 100 + rf, user, rt * 1000 + rs, 5, 1, "功能组 " + rpath,
                    "功能組 " + rpath, "Function group " + rpath});
  }

  demo::RecordWriter writer_;
  const SyntheticShape& shape_;
};

}  // namespace

SyntheticShape ParseSyntheticShape(std::string_view text) {
  constexpr const char* kNames[] = {"TOP", "SUB", "FUNC", "DETAIL"};
  auto mismatch = [&](const std::string& why) {
    return ComError(errors::kTypeMismatch, std::string(kRuntimeErrorSource),
                    "The shape '" + std::string(text) +
                        "' is four whole numbers TOP,SUB,FUNC,DETAIL: " + why + ".");
  };
  int32_t counts[4] = {};
  size_t filled = 0;
  std::string_view rest = text;
  while (true) {
    size_t comma = rest.find(',');
    std::string_view part = Trim(rest.substr(0, comma));
    if (filled == 4) throw mismatch("it has more than four values");
    if (part.empty()) throw mismatch(std::string(kNames[filled]) + " is missing");
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), counts[filled]);
    if (error != std::errc() || end != part.data() + part.size()) {
      throw mismatch("'" + std::string(part) + "' (" + kNames[filled] + ") is not a whole number");
    }
    ++filled;
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  if (filled != 4) throw mismatch(std::string(kNames[filled]) + " is missing");
  SyntheticShape shape;
  shape.top_classes = counts[0];
  shape.subsystems = counts[1];
  shape.sub_functions = counts[2];
  shape.detail_functions = counts[3];
  CheckShape(shape);
  return shape;
}

void LoadSynthetic(Transaction& transaction, const SyntheticShape& shape) {
  CheckShape(shape);
  Generator(transaction, shape).Run();
}

}  // namespace lxm
