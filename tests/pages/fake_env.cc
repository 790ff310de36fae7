#include "tests/pages/fake_env.h"

#include <algorithm>

namespace tb::testing {

void PagesTest::Fresh() {
  NextRequest();
  book().SetPageTitle(Value("留言本"));
  book().SetAdminEmail(Value("webmaster@example.com"));
  book().SetLybMsgLen(Value(8000));
  book().SetMaxNum(Value(1000));
  book().SetLybUrl(Value("http://127.0.0.1:8080/"));
}

const std::string& PagesTest::Run(std::string_view path, std::string_view method) {
  const server::Route* route = server::FindRoute(path);
  EXPECT_NE(route, nullptr) << path;
  if (route) {
    FakeEnv env(page(), book(), std::string(method), limits_);
    route->handler(env);
    ended_ = env.ended();
  }
  return page().body;
}

void PagesTest::AddBook(std::string_view name) {
  const std::string n(name);
  Seed(
      "insert into user(name,password,email,homepage,regtime,ip,html,titletop,question,"
      "answer,idcard,nettype) values ('" +
      n + "','pass1234','" + n + "@example.com','http://" + n +
      ".example/','2026-01-02 03:04:05','10.0.0.1','2','" + n +
      "的留言板','我的问题','我的回答','123456789012345','电脑网络')");
}

void PagesTest::AddMessage(std::string_view name, std::string_view subject,
                           const Columns& columns) {
  auto quoted = [](std::string_view text) {
    std::string out(1, '\'');
    out.append(text).push_back('\'');
    return out;
  };
  const std::string book = quoted(name), title = quoted(subject);
  Columns row = {{"name", book},
                 {"subject", title},
                 {"message", "'你好'"},
                 {"guestname", "'访客'"},
                 {"regtime", "'2026-03-01 10:00:00'"},
                 {"ip", "'10.9.8.7'"},
                 {"touxiang", "0"},
                 {"html", "'0'"},
                 {"newinfo", "'0'"},
                 {"whoinfo", "'0'"},
                 {"infoseekno", "19999"},
                 {"priviteword", "'0'"},
                 {"infono", "0"}};
  for (const auto& [column, value] : columns) {
    // Named in the capture: clang 14 cannot capture a structured binding.
    auto same = [&name = column](const auto& c) { return c.first == name; };
    if (auto it = std::find_if(row.begin(), row.end(), same); it != row.end())
      it->second = value;
    else
      row.emplace_back(column, value);
  }
  std::string names, values;
  for (const auto& [column, value] : row) {
    if (!names.empty()) {
      names += ',';
      values += ',';
    }
    names.append(column);
    values.append(value);
  }
  Seed("insert into liuyan(" + names + ") values (" + values + ")");
}

std::string WithMarker(std::string body, std::string_view part) {
  const auto at = part.empty() ? std::string::npos : body.find(part);
  EXPECT_NE(at, std::string::npos) << "the member's output is not in the page";
  if (at != std::string::npos) body.replace(at, part.size(), "<!-- member -->");
  return body;
}

}  // namespace tb::testing
