// The superuser over HTTP: the guestbook list with the delete links, the
// tools (mail addresses, account look-up, site-wide deletion by a column),
// deleting a guestbook or its messages, and every tool refusing whoever is
// not logged in as the superuser.
#include <gtest/gtest.h>

#include "tests/server/flow_browser.h"

namespace tb::testing {
namespace {

using server::http::Status;

// Two guestbooks: xiaoming with a public and a private message from 小红,
// honghong with one message each from 小红 and 小刚.
void Populate(FlowSite& site) {
  Browser b(site.port());
  Register(b, kXiaoming);
  Register(b, kHonghong);
  auto post = [&](std::string_view book, Fields fields) {
    PostThroughForm(b, "add.asp?name=" + std::string(book), fields);
  };
  post("xiaoming", MessageFields("小红", "公开的话", "大家好"));
  Fields secret = MessageFields("小红", "私下的话", "只给板主看的秘密");
  secret.push_back({"priviteword", "1"});
  post("xiaoming", secret);
  post("honghong", MessageFields("小红", "红红你好", "你好"));
  post("honghong", MessageFields("小刚", "路过", "路过看看"));
  EXPECT_EQ(site.Count("select * from liuyan"), 4);
}

struct Request {
  bool post;
  std::string target;
  Fields fields;
};

Page Send(Browser& b, const Request& r) {
  return r.post ? b.Post(r.target, r.fields) : b.Get(r.target);
}

TEST(FlowAdminTest, TheToolsRefuseEveryoneButTheSuperuser) {
  FlowSite site;
  Populate(site);
  Browser anonymous(site.port());
  Browser owner(site.port());
  LogIn(owner, "xiaoming", "pass1234");

  const Request tools[] = {
      {false, "admin_deluser.asp?name=honghong", {}},
      {false, "admin_delinfo.asp?name=honghong", {}},
      {false, "admin_tools_mail.asp", {}},
      {false, "GETPASS.ASP", {}},
      {true, "getpass.asp", {{"name", "honghong"}}},
      {false, "admin_tools_db.asp", {}},
      {true, "admin_tools_db.asp", {{"r1", "guestname"}, {"what", "小红"}}},
  };
  for (Browser* b : {&anonymous, &owner}) {
    for (const Request& r : tools) {
      Page page = Send(*b, r);
      EXPECT_EQ(page.status, Status::ok) << r.target;
      EXPECT_TRUE(page.Has(kNoPermission)) << r.target << "\n" << page.text;
      EXPECT_FALSE(page.Has("<form")) << r.target;
      EXPECT_FALSE(page.Has("hong5678")) << r.target;
      EXPECT_FALSE(page.Has("hh@example.com")) << r.target;
    }
    Page list = b->Get("userlist.asp");
    EXPECT_TRUE(list.Has("共有3个留言板  共有4条留言")) << list.text;
    EXPECT_FALSE(list.Has("javascript:deluser("));
    EXPECT_FALSE(list.Has("用&nbsp; 户"));
  }
  EXPECT_EQ(site.Count("select * from user"), 3);
  EXPECT_EQ(site.Count("select * from liuyan"), 4);
  // An owner's password does not open the superuser's account.
  EXPECT_TRUE(owner.Post("admin_login.asp", {{"name", "admin"}, {"password", "pass1234"}})
                  .Has("用户：admin密码错误！"));
  EXPECT_TRUE(owner.Get("admin_tools_mail.asp").Has(kNoPermission));
}

TEST(FlowAdminTest, TheSuperuserListsLooksUpAndDeletes) {
  FlowSite site({"--set", "AdminEmail=boss@example.com"});
  Populate(site);
  Browser super(site.port());
  Page menu = LogIn(super, "admin", FlowSite::kSuperPassword);
  EXPECT_TRUE(menu.Has("<p align=\"center\">超级用户</p>"));
  EXPECT_TRUE(menu.Has("<p>超级用户管理（仅供超级用户使用）</p>"));

  Page list = super.Get("userlist.asp");
  EXPECT_TRUE(list.Has("function deluser(name)"));
  EXPECT_TRUE(list.Has("共有3个留言板  共有4条留言"));
  EXPECT_TRUE(list.Has("      用&nbsp; 户    </td>"));
  for (std::string_view name : {"xiaoming", "honghong", "admin"}) {
    const std::string n(name);
    EXPECT_TRUE(list.Has("<a href=\"javascript:deluser('" + n + "')\">删除</a>")) << n;
    EXPECT_TRUE(list.Has("<a href=\"javascript:delinfo('" + n + "')\">删除</a>")) << n;
  }

  // The superuser reads private messages and deletes in any guestbook.
  Page show = super.Get("show.asp?name=xiaoming");
  EXPECT_TRUE(show.Has("只给板主看的秘密"));
  const std::string secret =
      site.Scalar("select id from liuyan where subject = '私下的话'");
  super.Post("show.asp?name=xiaoming&del=1", {{"lydelno", secret}});
  EXPECT_EQ(site.Count("select * from liuyan where subject = '私下的话'"), 0);

  Page mail = super.Get("admin_tools_mail.asp");
  EXPECT_TRUE(
      mail.Has("所有注册用户的电子邮件如下：<br>boss@example.com<br>hh@example.com<br>"
               "xm@example.com<br>读取完成！"))
      << mail.text;
  EXPECT_TRUE(mail.Has("mailto:boss@example.com"));

  EXPECT_TRUE(super.Get("GETPASS.ASP").Has("action=\"GETPASS.ASP\""));
  Page account = super.Post("getpass.asp", {{"name", "xiaoming"}});
  for (std::string_view cell : {"xiaoming", "pass1234", "xm@example.com"}) {
    EXPECT_TRUE(account.Has("<td width=\"74%\">" + std::string(cell) + "</td>")) << cell;
  }
  EXPECT_TRUE(
      super.Post("GetPass.asp", {{"name", "nobody"}}).Has("没有这个用户：nobody"));

  Page db_form = super.Get("admin_tools_db.asp");
  EXPECT_TRUE(db_form.Has("action=\"admin_tools_db.asp\""));
  EXPECT_TRUE(db_form.Has("<option value=\"guestname\""));
  struct Deletion {
    Fields fields;
    std::string text;
    std::int64_t left;
  } deletions[] = {
      {{{"r1", "guestname"}, {"what", ""}}, "请输入要删除的内容！", 3},
      {{{"r1", "name = name or 1"}, {"what", "x"}}, "r1:参数错误！", 3},
      {{{"r1", "guestname"}, {"what", "小刚"}},
       "如果：guestname = 小刚那么将他无条件删除。。。<br>删除完成！",
       2},
  };
  for (const Deletion& d : deletions) {
    EXPECT_TRUE(super.Post("admin_tools_db.asp", d.fields).Has(d.text)) << d.text;
    EXPECT_EQ(site.Count("select * from liuyan"), d.left) << d.text;
  }

  Page info = super.Get("admin_delinfo.asp?name=honghong");
  EXPECT_TRUE(info.Has("正在删除：honghong 。。。<br>已经删除：honghong留言。"))
      << info.text;
  EXPECT_TRUE(info.Has("href=\"userlist.asp\""));
  EXPECT_EQ(site.Query("select name from liuyan"), (Rows{{"xiaoming"}}));
  EXPECT_EQ(site.Count("select * from user where name = 'honghong'"), 1);

  Browser owner(site.port());
  LogIn(owner, "xiaoming", "pass1234");
  Page user = super.Get("admin_deluser.asp?name=xiaoming");
  EXPECT_TRUE(user.Has("正在删除：xiaoming 。。。<br>已经删除：xiaoming用户和留言内容。"))
      << user.text;
  EXPECT_TRUE(owner.Get("admin_jiemian.asp").Has(kNoPermission)) << "logged out";
  EXPECT_TRUE(
      super.Get("admin_deluser.asp?name=ADMIN").Has("admin为系统帐号，不能删除！"));
  EXPECT_EQ(site.Query("select name from user order by id"),
            (Rows{{"admin"}, {"honghong"}}));
  EXPECT_EQ(site.Count("select * from liuyan"), 0);
  EXPECT_TRUE(super.Get("userlist.asp").Has("共有2个留言板  共有0条留言"));

  // After logging off the tools refuse again.
  super.Get("admin_log_off.asp");
  EXPECT_TRUE(super.Get("admin_tools_mail.asp").Has(kNoPermission));
}

}  // namespace
}  // namespace tb::testing
