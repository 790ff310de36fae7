#include "tests/pages/fake_env.h"

namespace tb::testing {

void PagesTest::Fresh() {
  NextRequest();
  book().SetPageTitle(Value("留言本"));
  book().SetAdminEmail(Value("webmaster@example.com"));
  book().SetLybMsgLen(Value(8000));
  book().SetMaxNum(Value(1000));
  book().SetLybUrl(Value("http://127.0.0.1:8080/"));
}

void PagesTest::Fresh(const Fields& query, const Fields& form) {
  Fresh();
  for (const auto& [k, v] : query) page().query.Add(k, v);
  for (const auto& [k, v] : form) page().form.Add(k, v);
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
  Columns columns;
  for (const auto& [column, value] :
       FieldsOf("password=pass1234&email=" + n + "@example.com&homepage=http://" + n +
                ".example/&regtime=2026-01-02 03:04:05&ip=10.0.0.1&html=2&titletop=" + n +
                "的留言板&question=我的问题&answer=我的回答&idcard=123456789012345&"
                "nettype=电脑网络"))
    columns.emplace_back(column, Value(value));
  PageTest::AddBook(name, columns);
}

std::string WithMarker(std::string body, std::string_view part) {
  const auto at = part.empty() ? std::string::npos : body.find(part);
  EXPECT_NE(at, std::string::npos) << "the member's output is not in the page";
  if (at != std::string::npos) body.replace(at, part.size(), "<!-- member -->");
  return body;
}

}  // namespace tb::testing
