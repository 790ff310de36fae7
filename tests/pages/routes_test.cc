#include <gtest/gtest.h>

#include <string>

#include "server/http/style.h"
#include "tests/pages/fake_env.h"

namespace tb {
namespace {

class PagesAnswerTest : public testing::PagesTest {};

// What every page answers with an empty session: a document of the site's
// frame holding `needle`, a redirect to `needle` ("->" before it), or the
// member's bare text (test.asp).
TEST_F(PagesAnswerTest, EveryPageAnswersGetAndPost) {
  AddBook("admin");
  AddMessage("abc", {{"subject", "第一个留言"}});
  constexpr std::string_view kNoLogin = "用户操作超时，请重新登陆，或没有权限！";
  const struct {
    std::string_view path, method;
    bool abc;  // with name=abc
    std::string_view needle;
  } cases[] = {
      {"", "GET", false, "->index.asp"},
      {"index.asp", "GET", false, "action=\"reg_check.asp\""},
      {"reg_check.asp", "POST", false, "错误号码：01"},
      {"admin.asp", "GET", false, "action=\"admin_login.asp\""},
      {"admin_login.asp", "POST", false, "错误号码：03"},
      {"admin_log_off.asp", "GET", false, "你已经退出管理。"},
      {"show.asp", "GET", true, "第一个留言"},
      {"show.asp", "POST", true, "function del_check()"},
      {"add.asp", "GET", true, "action=\"add_check.asp?name=abc&key2="},
      {"add.asp", "GET", false, "->user_name_error.asp"},
      {"add_bak.asp", "GET", true, "function add_check()"},
      {"add_bak.asp", "GET", false, "->user_name_error.asp"},
      {"add_check.asp", "POST", true, "->guanshui.asp"},
      {"lostpassword.asp", "GET", false, "action=\"lostpassword.asp\""},
      {"lostpassword.asp", "POST", false, "请检查用户名是否正确或用户不存在!"},
      {"lostpassword_check.asp", "POST", true, "找回密码"},
      {"confirm.asp", "GET", true, "认证失败：用户名或认证号码不正确！"},
      {"userdelme.asp", "GET", false, "function delme_check()"},
      {"userdelme.asp", "POST", false, "用户信息填写不完整！请重新填写"},
      {"admin_del_all.asp", "GET", true, kNoLogin},
      {"admin_jiemian.asp", "GET", false, kNoLogin},
      {"admin_jiemian_bak.asp", "GET", false, ""},
      {"admin_jiemian_check.asp", "POST", false, ""},
      {"admin_jiemian2.asp", "GET", false, ""},
      {"admin_jiemian_check2.asp", "POST", false, ""},
      {"admin_jiemian3.asp", "GET", false, ""},
      {"admin_jiemian3_check.asp", "POST", false, ""},
      {"userlist.asp", "GET", false, "function deluser(name)"},
      {"admin_deluser.asp", "GET", true, kNoLogin},
      {"admin_delinfo.asp", "GET", true, kNoLogin},
      {"admin_tools_mail.asp", "GET", false, ""},
      {"GETPASS.ASP", "GET", false, kNoLogin},
      {"GETPASS.ASP", "POST", false, ""},
      {"admin_tools_db.asp", "GET", false, kNoLogin},
      {"admin_tools_db.asp", "POST", false, ""},
      {"help1.asp", "GET", false, "帮助：留言板基本资料"},
      {"help2.asp", "GET", false, "帮助：发表留言界面的提示信息"},
      {"help3.asp", "GET", false, "帮助：发表留言界面配置"},
      {"user_name_error.asp", "GET", false, "你要访问的留言板不存在"},
      {"guanshui.asp", "GET", false, "请不要重复发表留言！"},
      {"feifa.asp", "GET", false, "含有本站不允许的词语"},
      {"test.asp", "GET", false, "this is a test!"},
  };
  const std::string stylesheet =
      "<link rel=\"stylesheet\" href=\"" + server::http::StylesheetHref() + "\">";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + std::string(c.path));
    page().session_values.clear();
    Fresh(c.abc ? testing::Fields{{"name", "abc"}} : testing::Fields{});
    const std::string body = Run(c.path, c.method);
    if (c.needle.starts_with("->")) {
      EXPECT_EQ(page().redirect.value_or("(none)"), c.needle.substr(2));
      EXPECT_EQ(body, "");
    } else if (c.path == "test.asp") {
      EXPECT_EQ(body, c.needle);
    } else {
      EXPECT_FALSE(page().redirect.has_value());
      EXPECT_TRUE(
          body.starts_with("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gb2312\">"))
          << body.substr(0, 80);
      for (std::string_view part :
           {std::string_view("<title>留言本"), std::string_view(stylesheet),
            std::string_view("<div class=\"foot\"><a "
                             "href=\"index.asp\">首页</a>"),
            c.needle})
        EXPECT_NE(body.find(part), std::string::npos) << part << "\n" << body;
      EXPECT_TRUE(body.ends_with("</body>\n</html>\n"));
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
