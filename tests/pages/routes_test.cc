#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/http/style.h"
#include "tests/pages/fake_env.h"

namespace tb {
namespace {

using testing::PagesTest;

// What a page answers: a document of the site's frame holding `needle`, a
// redirect, or the member's bare text.
enum class Kind { kDocument, kRedirect, kBare };

struct PageCase {
  std::string_view path, method;
  std::vector<std::pair<std::string_view, std::string_view>> query;
  Kind kind;
  std::string_view needle;  // in the body; for kRedirect the target
};

class PagesAnswerTest : public PagesTest {};

TEST_F(PagesAnswerTest, EveryPageAnswersGetAndPost) {
  AddBook("abc");
  AddBook("admin");
  AddMessage("abc", {{"subject", "第一个留言"}});
  const std::vector<std::pair<std::string_view, std::string_view>> abc = {
      {"name", "abc"}};
  constexpr std::string_view kNoLogin = "用户操作超时，请重新登陆，或没有权限！";
  const PageCase cases[] = {
      {"", "GET", {}, Kind::kRedirect, "index.asp"},
      {"index.asp", "GET", {}, Kind::kDocument, "action=\"reg_check.asp\""},
      {"reg_check.asp", "POST", {}, Kind::kDocument, "错误号码：01"},
      {"admin.asp", "GET", {}, Kind::kDocument, "action=\"admin_login.asp\""},
      {"admin_login.asp", "POST", {}, Kind::kDocument, "错误号码：03"},
      {"admin_log_off.asp", "GET", {}, Kind::kDocument, "你已经退出管理。"},
      {"show.asp", "GET", abc, Kind::kDocument, "第一个留言"},
      {"show.asp", "POST", abc, Kind::kDocument, "function del_check()"},
      {"add.asp", "GET", abc, Kind::kDocument, "action=\"add_check.asp?name=abc&key2="},
      {"add.asp", "GET", {}, Kind::kRedirect, "user_name_error.asp"},
      {"add_bak.asp", "GET", abc, Kind::kDocument, "function add_check()"},
      {"add_bak.asp", "GET", {}, Kind::kRedirect, "user_name_error.asp"},
      {"add_check.asp", "POST", abc, Kind::kRedirect, "guanshui.asp"},
      {"lostpassword.asp", "GET", {}, Kind::kDocument, "action=\"lostpassword.asp\""},
      {"lostpassword.asp",
       "POST",
       {},
       Kind::kDocument,
       "请检查用户名是否正确或用户不存在!"},
      {"lostpassword_check.asp", "POST", abc, Kind::kDocument, "找回密码"},
      {"confirm.asp", "GET", abc, Kind::kDocument, "认证失败：用户名或认证号码不正确！"},
      {"userdelme.asp", "GET", {}, Kind::kDocument, "function delme_check()"},
      {"userdelme.asp", "POST", {}, Kind::kDocument, "用户信息填写不完整！请重新填写"},
      {"admin_del_all.asp", "GET", abc, Kind::kDocument, kNoLogin},
      {"admin_jiemian.asp", "GET", {}, Kind::kDocument, kNoLogin},
      {"admin_jiemian_bak.asp", "GET", {}, Kind::kDocument, ""},
      {"admin_jiemian_check.asp", "POST", {}, Kind::kDocument, ""},
      {"admin_jiemian2.asp", "GET", {}, Kind::kDocument, ""},
      {"admin_jiemian_check2.asp", "POST", {}, Kind::kDocument, ""},
      {"admin_jiemian3.asp", "GET", {}, Kind::kDocument, ""},
      {"admin_jiemian3_check.asp", "POST", {}, Kind::kDocument, ""},
      {"userlist.asp", "GET", {}, Kind::kDocument, "function deluser(name)"},
      {"admin_deluser.asp", "GET", abc, Kind::kDocument, kNoLogin},
      {"admin_delinfo.asp", "GET", abc, Kind::kDocument, kNoLogin},
      {"admin_tools_mail.asp", "GET", {}, Kind::kDocument, ""},
      {"GETPASS.ASP", "GET", {}, Kind::kDocument, kNoLogin},
      {"GETPASS.ASP", "POST", {}, Kind::kDocument, ""},
      {"admin_tools_db.asp", "GET", {}, Kind::kDocument, kNoLogin},
      {"admin_tools_db.asp", "POST", {}, Kind::kDocument, ""},
      {"help1.asp", "GET", {}, Kind::kDocument, "帮助：留言板基本资料"},
      {"help2.asp", "GET", {}, Kind::kDocument, "帮助：发表留言界面的提示信息"},
      {"help3.asp", "GET", {}, Kind::kDocument, "帮助：发表留言界面配置"},
      {"user_name_error.asp", "GET", {}, Kind::kDocument, "你要访问的留言板不存在"},
      {"guanshui.asp", "GET", {}, Kind::kDocument, "请不要重复发表留言！"},
      {"feifa.asp", "GET", {}, Kind::kDocument, "含有本站不允许的词语"},
      {"test.asp", "GET", {}, Kind::kBare, "this is a test!"},
  };
  for (const PageCase& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + std::string(c.path));
    page().session_values.clear();
    Fresh();
    for (const auto& [k, v] : c.query) page().query.Add(k, v);
    const std::string body = Run(c.path, c.method);
    switch (c.kind) {
      case Kind::kRedirect:
        EXPECT_EQ(page().redirect.value_or("(none)"), c.needle);
        EXPECT_EQ(body, "");
        break;
      case Kind::kBare:
        EXPECT_EQ(body, c.needle);
        break;
      case Kind::kDocument:
        EXPECT_FALSE(page().redirect.has_value());
        EXPECT_TRUE(body.starts_with(
            "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gb2312\">"))
            << body.substr(0, 80);
        EXPECT_NE(body.find("<title>留言本"), std::string::npos);
        EXPECT_NE(body.find("<link rel=\"stylesheet\" href=\"" +
                            server::http::StylesheetHref() + "\">"),
                  std::string::npos);
        EXPECT_NE(body.find("<div class=\"foot\"><a href=\"index.asp\">首页</a>"),
                  std::string::npos);
        EXPECT_TRUE(body.ends_with("</body>\n</html>\n"));
        EXPECT_NE(body.find(c.needle), std::string::npos) << body;
        break;
    }
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
  Run("add_check.asp", "POST");
  page().body.clear();
  book().test();
  EXPECT_EQ(page().body, "this is a test!");

  Fresh();
  book().SetDSNtemp("nosuchengine:x");
  page().Set("ly_tijiao", Value("0"));
  page().Set("ly_fgs", Value("123456789"));
  page().query.Add("name", "abc");
  page().query.Add("key2", "123456789");
  page().form.Add("guestname", "访客");
  page().form.Add("subject", "主题");
  page().form.Add("html", "0");
  EXPECT_ANY_THROW(Run("add_check.asp", "POST"));
  page().body.clear();
  book().test();
  EXPECT_EQ(page().body, "this is a test!");
}

}  // namespace
}  // namespace tb
