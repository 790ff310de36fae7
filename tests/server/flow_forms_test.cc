// Every form of the site sent the way a browser sends it: the fields the page
// wrote, with their defaults, filled in only where a person types. This
// proves that each page's form carries the fields its check page reads, and
// that a settings form saved unchanged changes nothing.
#include <gtest/gtest.h>

#include "tests/server/flow_browser.h"

namespace tb::testing {
namespace {

using server::http::Status;

// The form of `page` whose action starts with `action`; fails the test when
// there is none.
HtmlForm FormOf(const Page& page, std::string_view action) {
  auto form = FindForm(page.text, action);
  EXPECT_TRUE(form) << "no form to " << action << " in\n" << page.text;
  return form.value_or(HtmlForm{});
}

// The owner's settings that the basic and display forms show.
constexpr std::string_view kSettingsSql =
    "select titletop, topimage, topformat, infolistno, html, backimage, sendinfo, "
    "nettype,"
    " homepage, infostyle, infoname, infomail, infohomepage, infowhere, infooicq,"
    " infosubject from user where name = 'xiaoming'";

TEST(FlowFormsTest, EveryFormSendsWhatItsPageReads) {
  FlowSite site;
  Browser owner(site.port());

  HtmlForm reg = FormOf(owner.Get("index.asp"), "reg_check.asp");
  reg.Set("name", "xiaoming")
      .Set("password", "pass1234")
      .Set("password2", "pass1234")
      .Set("email", "xm@example.com")
      .Set("homepage", "http://xm.example.com/")
      .Set("titletop", "小明的留言本")
      .Set("question", "我最喜欢的颜色")
      .Set("answer", "天蓝色的")
      .Set("idcard", "110101199001011234")
      .Set("nettype", "电脑网络");
  EXPECT_TRUE(owner.Post(reg.action, reg.fields).Has("恭喜！用户：xiaoming注册成功！"));
  EXPECT_EQ(site.Scalar("select html from user where name = 'xiaoming'"), "2")
      << "UBB is the default mode";

  HtmlForm login = FormOf(owner.Get("admin.asp"), "admin_login.asp");
  login.Set("name", "xiaoming").Set("password", "pass1234");
  EXPECT_TRUE(owner.Post(login.action, login.fields).Has("登陆成功"));

  // The message form with only the three typed fields filled in.
  Browser visitor(site.port());
  HtmlForm message = FormOf(visitor.Get("add.asp?name=xiaoming"), "add_check.asp?");
  message.Set("guestname", "小红").Set("subject", "你好").Set("message", "[b]第一条[/b]");
  Page posted = visitor.Post(message.action, message.fields);
  EXPECT_EQ(posted.status, Status::ok);
  EXPECT_TRUE(posted.Has("留言添加成功 2 秒钟后自动返回")) << posted.text;
  EXPECT_EQ(
      site.Query("select guestname, subject, message, html, touxiang, font, fontsize,"
                 " fontcolor, replymail, priviteword, hailfrom, whoinfo from liuyan"),
      (Rows{{"小红", "你好", "[b]第一条[/b]", "2", "0", "宋体", "3", "#000000", "1", "0",
             "", "0"}}));

  // The settings forms saved unchanged leave the settings as they were.
  const auto before = site.Query(kSettingsSql);
  HtmlForm basic = FormOf(owner.Get("admin_jiemian.asp"), "admin_jiemian_check.asp");
  EXPECT_TRUE(owner.Post(basic.action, basic.fields).Has("修改成功！"));
  HtmlForm display = FormOf(owner.Get("admin_jiemian2.asp"), "admin_jiemian_check2.asp");
  EXPECT_TRUE(owner.Post(display.action, display.fields).Has("界面设置修改成功！"));
  EXPECT_EQ(site.Query(kSettingsSql), before);

  // Changes typed into them are stored.
  basic = FormOf(owner.Get("admin_jiemian.asp"), "admin_jiemian_check.asp");
  basic.Set("titletop", "小明的新留言本")
      .Set("infolistno", "7")
      .Set("nettype", "生活资讯");
  EXPECT_TRUE(owner.Post(basic.action, basic.fields).Has("修改成功！"));
  display = FormOf(owner.Get("admin_jiemian2.asp"), "admin_jiemian_check2.asp");
  display.Set("infoname", "网名：").Remove("C6");
  EXPECT_TRUE(owner.Post(display.action, display.fields).Has("界面设置修改成功！"));
  EXPECT_EQ(
      site.Query("select titletop, infolistno, nettype, infoname, infostyle from user"
                 " where name = 'xiaoming'"),
      (Rows{{"小明的新留言本", "7", "生活资讯", "网名：", "11111011111101111111"}}));

  HtmlForm account = FormOf(owner.Get("admin_jiemian3.asp"), "admin_jiemian3_check.asp");
  account.Set("oldpassword", "pass1234")
      .Set("password", "newpass9")
      .Set("password2", "newpass9");
  EXPECT_TRUE(owner.Post(account.action, account.fields).Has("修改信息成功！"));
  EXPECT_EQ(site.Query("select password, question, answer, idcard, email from user"
                       " where name = 'xiaoming'"),
            (Rows{{"newpass9", "我最喜欢的颜色", "天蓝色的", "110101199001011234",
                   "xm@example.com"}}))
      << "the fields left empty keep what was stored";

  Browser forgetful(site.port());
  HtmlForm lost = FormOf(forgetful.Get("lostpassword.asp"), "lostpassword.asp");
  lost.Set("name", "xiaoming");
  HtmlForm proof =
      FormOf(forgetful.Post(lost.action, lost.fields), "lostpassword_check.asp?");
  proof.Set("answer", "天蓝色的").Set("idcard", "110101199001011234");
  EXPECT_TRUE(forgetful.Post(proof.action, proof.fields).Has("你的密码是：newpass9"));

  HtmlForm leave = FormOf(forgetful.Get("userdelme.asp"), "userdelme.asp");
  leave.Set("name", "xiaoming")
      .Set("password", "newpass9")
      .Set("email", "xm@example.com");
  EXPECT_TRUE(forgetful.Post(leave.action, leave.fields).Has("用户：xiaoming注销成功！"));
  EXPECT_EQ(site.Count("select * from user where name = 'xiaoming'"), 0);
  EXPECT_EQ(site.Count("select * from liuyan"), 0);
}

TEST(FlowFormsTest, TheSuperusersFormsSendWhatTheirPagesRead) {
  FlowSite site;
  Browser super(site.port());
  Register(super, kXiaoming);
  Browser visitor(site.port());
  PostThroughForm(visitor, "add.asp?name=xiaoming",
                  MessageFields("小红", "你好", "内容"));
  PostThroughForm(visitor, "add.asp?name=xiaoming",
                  MessageFields("小刚", "路过", "内容"));
  LogIn(super, "admin", FlowSite::kSuperPassword);

  HtmlForm lookup = FormOf(super.Get("GETPASS.ASP"), "GETPASS.ASP");
  lookup.Set("name", "xiaoming");
  EXPECT_TRUE(super.Post(lookup.action, lookup.fields).Has(">pass1234</td>"));

  HtmlForm db = FormOf(super.Get("admin_tools_db.asp"), "admin_tools_db.asp");
  EXPECT_EQ(db.Value("r1"), "ip") << "the address is the usual choice";
  db.Set("r1", "guestname").Set("what", "小刚");
  EXPECT_TRUE(super.Post(db.action, db.fields).Has("删除完成！"));
  EXPECT_EQ(site.Query("select guestname from liuyan"), (Rows{{"小红"}}));
}

}  // namespace
}  // namespace tb::testing
