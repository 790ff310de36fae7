#include <gtest/gtest.h>

#include <string>

#include "server/http/style.h"
#include "tests/pages/fake_env.h"

namespace tb {
namespace {

class PagesAnswerTest : public testing::PagesTest {};

// What every page answers with an empty session: a document of the site's
// frame holding a text, a redirect, or the member's bare text.
TEST_F(PagesAnswerTest, EveryPageAnswersGetAndPost) {
  AddBook("admin");
  AddMessage("abc", {{"subject", "第一个留言"}});
  const std::string frame[] = {
      "<title>留言本",
      "<link rel=\"stylesheet\" href=\"" + server::http::StylesheetHref() + "\">",
      "<div class=\"foot\"><a href=\"index.asp\">首页</a>"};
  for (const auto& c : testing::ReadCases("pages/answers.txt")) {
    SCOPED_TRACE(c[0] + " " + c[1]);
    page().session_values.clear();
    Fresh(testing::FieldsOf(c[2]));
    const std::string body = Run(c[1] == "(none)" ? "" : c[1], c[0]), &needle = c[3];
    if (needle.starts_with("->") || needle.starts_with("=")) {
      EXPECT_EQ(
          (needle[0] == '=' ? "" : "->" + page().redirect.value_or("(none)")) + body,
          needle.substr(needle[0] == '=' ? 1 : 0));
      continue;
    }
    EXPECT_FALSE(page().redirect.has_value());
    EXPECT_TRUE(
        body.starts_with("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gb2312\">"));
    EXPECT_TRUE(body.ends_with("</body>\n</html>\n"));
    for (const std::string& part : frame)
      EXPECT_NE(body.find(part), std::string::npos) << part;
    const std::string own = needle == "NOLOGIN" ? "用户操作超时，请重新登陆，或没有权限！"
                            : needle == "-" ? ""
                                            : needle;
    EXPECT_NE(body.find(own), std::string::npos) << own << "\n" << body;
  }
}

TEST_F(PagesAnswerTest, LogOffEndsTheSession) {
  LogIn("admin");
  page().query.Add("name", "admin");
  Run("admin_log_off.asp");
  EXPECT_TRUE(ended());
  EXPECT_TRUE(page().session_values.empty());
  testing::ExpectGolden("pages/admin_log_off.html", page().body);
}

// The component stays bound to the page after a member ran on a captured
// response, also when that member fails with a store error.
TEST_F(PagesAnswerTest, ComponentStaysBoundAfterACapturedCall) {
  for (const bool fails : {false, true}) {
    Fresh({{"name", "abc"}, {"key2", "123456789"}},
          {{"guestname", "访客"}, {"subject", "主题"}, {"html", "0"}});
    if (fails) {
      book().SetDSNtemp("nosuchengine:x");
      page().Set("ly_tijiao", Value("0"));
      page().Set("ly_fgs", Value("123456789"));
      EXPECT_ANY_THROW(Run("add_check.asp", "POST"));
    } else {
      Run("add_check.asp", "POST");
    }
    page().body.clear();
    book().test();
    EXPECT_EQ(page().body, "this is a test!");
  }
}

}  // namespace
}  // namespace tb
