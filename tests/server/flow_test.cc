// The site as visitors and owners use it, over HTTP against the built
// `tavobook serve`: registration, the message form and its one post per
// visit, replies, private messages, the guestbook page with its paging and
// the owner's deletion, the settings, the lost password, self-deletion, and
// Chinese text through the forms and back.
#include <gtest/gtest.h>

#include <cctype>
#include <regex>
#include <set>
#include <thread>

#include "check/convert.h"
#include "check/ubb.h"
#include "component/messages.h"
#include "host/encoding.h"
#include "tests/server/flow_browser.h"

namespace tb::testing {
namespace {

using server::http::Status;

constexpr std::string_view kPrivate = "悄悄话。。。";

// The acceptance's whole answer to a stored message.
std::string SuccessPage(std::string_view book) {
  const std::string show = "show.asp?name=" + std::string(book);
  return "<html>\r<head>\r"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r"
         "<meta HTTP-EQUIV=\"refresh\" CONTENT=\"2; URL=" +
         show +
         "\">\r</head>\r<body>\r"
         "<p>&nbsp;</p><p>&nbsp;</p><p>&nbsp;</p><p>&nbsp;</p><p align=\"center\">"
         "<a href=\"" +
         show + "\">留言添加成功 2 秒钟后自动返回</a></p>\r</body>\r</html>\r";
}

std::string Msg(int number) { return std::string(Message(number)) + "<br>"; }

// Percent-encoding of the text's UTF-8 bytes, as a page served as UTF-8
// would send it.
std::string Utf8UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::size_t Occurrences(std::string_view text, std::string_view piece) {
  std::size_t n = 0;
  for (auto at = text.find(piece); at != std::string_view::npos;
       at = text.find(piece, at + 1)) {
    ++n;
  }
  return n;
}

// Posts a new message to `book` from a fresh visit to its form.
void Post(Browser& b, std::string_view book, Fields fields) {
  Page page = PostThroughForm(b, "add.asp?name=" + std::string(book), fields);
  EXPECT_EQ(page.text, SuccessPage(book));
}

// The basic settings form as the owner sends it.
Fields BasicSettings(std::string_view title, std::string_view per_page) {
  return {{"titletop", std::string(title)},
          {"topimage", ""},
          {"topformat", "0"},
          {"infolistno", std::string(per_page)},
          {"html", "2"},
          {"backimage", ""},
          {"sendinfo", "0"},
          {"nettype", "电脑网络"},
          {"homepage", "http://xm.example.com/"}};
}

TEST(FlowTest, RegistrationStoresTheFormAndRefusesATakenName) {
  FlowSite site;
  Browser visitor(site.port());
  Page home = visitor.Get("index.asp");
  EXPECT_TRUE(home.Has("action=\"reg_check.asp\""));
  EXPECT_TRUE(home.Has("<option value=\"0\" selected>请选择</option>"));

  Page done = Register(visitor, kXiaoming);
  EXPECT_TRUE(
      done.Has("<p></p>恭喜！用户：xiaoming注册成功！<p></p>留言板连接代码：&nbsp;&nbsp; "
               "<a href='show.asp?name=xiaoming' target='_blank'>http://127.0.0.1:" +
               std::to_string(site.port()) + "/show.asp?name=xiaoming</a>"))
      << done.text;
  EXPECT_EQ(site.Query("select name, password, email, homepage, html, titletop, question,"
                       " answer, idcard, nettype, ip from user where name = 'xiaoming'"),
            (Rows{{"xiaoming", "pass1234", "xm@example.com", "http://xm.example.com/",
                   "2", "小明的留言本", "我最喜欢的颜色", "天蓝色的",
                   "110101199001011234", "电脑网络", "127.0.0.1"}}));

  // A taken name is refused in any letter case.
  for (std::string name : {"xiaoming", "XiaoMing"}) {
    Account again = kXiaoming;
    again.name = name;
    Page taken = visitor.Post("reg_check.asp", RegistrationFields(again));
    EXPECT_TRUE(
        taken.Has("<br><br>用户：" + name +
                  " 已经存在!请用其他名字注册！<a href=javascript:history.go(-1);>"
                  "点这里回上一步</a>"))
        << taken.text;
  }

  // A faulty form gets every message at once.
  Account bad = kHonghong;
  bad.name = "hh";
  bad.idcard = "12345";
  Fields fields = RegistrationFields(bad);
  fields[2].second = "other999";
  Page refused = visitor.Post("reg_check.asp", fields);
  EXPECT_TRUE(
      refused.Has(Msg(2) + Msg(4) + Msg(11) +
                  "<p></p><a href=javascript:history.go(-1);>返回上一步，重新填写</a>"))
      << refused.text;
  EXPECT_EQ(site.Query("select name from user order by id"),
            (Rows{{"admin"}, {"xiaoming"}}));
}

TEST(FlowTest, AVisitorPostsOnceFromEachVisitToTheForm) {
  FlowSite site({"--set", "StopThisWord=发票"});
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Browser visitor(site.port());

  // The first visit of the day counts; the visit cookies keep the same
  // visitor from counting twice.
  Page empty = visitor.Get("show.asp?name=xiaoming");
  EXPECT_TRUE(empty.Has("<img border=\"0\" src=\"nothing.gif\">"));
  EXPECT_EQ(visitor.Cookie("xiaomingly_hasfw"), "1");
  EXPECT_EQ(visitor.Cookie("xiaomingly_name"), "xiaoming");
  visitor.Get("show.asp?name=xiaoming");
  // The site writes the counts it gathers every 200 ms.
  auto counter_reaches = [&site](std::string_view want) {
    std::string got;
    for (int i = 0; i < 300 && got != want; ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      got = site.Scalar("select counter from user where name = 'xiaoming'");
    }
    return got;
  };
  EXPECT_EQ(counter_reaches("1"), "1");
  Browser(site.port()).Get("SHOW.ASP?name=xiaoming");
  EXPECT_EQ(counter_reaches("2"), "2");

  Page form = visitor.Get("add.asp?name=xiaoming");
  EXPECT_TRUE(form.Has("function add_check()"));
  const std::string action = FindLink(form.text, "add_check.asp?");
  std::smatch key;
  ASSERT_TRUE(std::regex_match(
      action, key,
      std::regex("add_check\\.asp\\?name=xiaoming&key2=([0-9]{8,9})&reply=0&replyid=")))
      << action;

  Fields fields = MessageFields("小红", "你好，留言本！", "第一条留言[b]加粗[/b]");
  fields.insert(fields.end(),
                {{"email", "xh@example.com"}, {"tx", "3"}, {"savemyinfo", "1"}});

  // A key that is not this visit's is refused; a stop word sends the visitor
  // to feifa.asp. Neither stores anything nor uses up the visit.
  std::string forged = std::regex_replace(action, std::regex("key2=[0-9]+"), "key2=1");
  EXPECT_TRUE(visitor.Post(forged, fields).Has("url:error!"));
  Fields spam = fields;
  spam[1].second = "代开发票";
  Page stop = visitor.Post(action, spam);
  EXPECT_EQ(stop.status, Status::found);
  EXPECT_EQ(stop.location, "feifa.asp");
  EXPECT_TRUE(visitor.Get(stop.location).Has("你的留言主题或内容中含有本站不允许的词语"));
  EXPECT_EQ(site.Count("select * from liuyan"), 0);

  Page posted = visitor.Post(action, fields);
  EXPECT_EQ(posted.status, Status::ok);
  EXPECT_EQ(posted.text, SuccessPage("xiaoming"));
  EXPECT_EQ(
      site.Query("select name, guestname, email, subject, message, html, touxiang,"
                 " newinfo, whoinfo, priviteword, infono, infoseekno, ip from liuyan"),
      (Rows{{"xiaoming", "小红", "xh@example.com", "你好，留言本！",
             "第一条留言[b]加粗[/b]", "2", "3", "0", "0", "0", "0", "19999",
             "127.0.0.1"}}));
  EXPECT_EQ(site.Scalar("select infoserial from user where name = 'xiaoming'"), "1");

  // The same visit cannot post again.
  Page again = visitor.Post(action, fields);
  EXPECT_EQ(again.status, Status::found);
  EXPECT_EQ(again.location, "guanshui.asp");
  EXPECT_TRUE(visitor.Get(again.location).Has("请不要重复发表留言！"));
  EXPECT_EQ(site.Count("select * from liuyan"), 1);

  // The remembered data fills the next form, which has a key of its own.
  EXPECT_EQ(visitor.Cookie("ly_name"), "小红");
  Page next = visitor.Get("add.asp?name=xiaoming");
  EXPECT_TRUE(next.HasInput("guestname", "小红")) << next.text;
  EXPECT_TRUE(next.HasInput("email", "xh@example.com"));
  EXPECT_TRUE(
      std::regex_search(next.text, std::regex("name=\"savemyinfo\"[^>]* checked")));
  EXPECT_NE(FindLink(next.text, "add_check.asp?"), action);

  Page show = visitor.Get("show.asp?name=xiaoming");
  EXPECT_EQ(Occurrences(show.text, "<body"), 1u) << "the component writes the body tag";
  EXPECT_TRUE(show.Has("xiaoming</title>")) << show.text;
  EXPECT_TRUE(show.Has("小明的留言本</font>"));
  EXPECT_TRUE(show.Has("第1/1页  现有留言1条"));
  EXPECT_TRUE(show.Has("<font size = \"3\">第0条留言</font>"));
  EXPECT_TRUE(show.Has("<font size=\"3\" color=\"#FF0000\">你好，留言本！</font>"));
  EXPECT_TRUE(show.Has(check::UbbCode("第一条留言[b]加粗[/b]")));
  EXPECT_TRUE(show.Has("<img border=\"0\" src=\"pic/3.gif\">"));
  EXPECT_TRUE(show.Has("邮件：<a href=\"mailto:xh@example.com\">xh@example.com</a>"));
  EXPECT_TRUE(show.Has("(127.0.*.*)的小红在"));
  EXPECT_FALSE(show.Has("name=\"lydelno\"")) << "no delete boxes for a visitor";
}

TEST(FlowTest, AReplyFollowsTheLinkOnTheGuestbookPage) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Register(owner, kHonghong);
  Browser visitor(site.port());
  Fields first = MessageFields("小红", "你好，留言本！", "第一条");
  first.push_back({"email", "xh@example.com"});
  Post(visitor, "xiaoming", first);
  const std::string id = site.Scalar("select id from liuyan");

  Browser replier(site.port());
  Page show = replier.Get("show.asp?name=xiaoming");
  const std::string link = FindLink(show.text, "add.asp?replysubject=");
  EXPECT_EQ(link, "add.asp?replysubject=" + host::UrlEncode("回复：你好，留言本！") +
                      "&name=xiaoming&replyemail=" + host::UrlEncode("xh@example.com") +
                      "&reply=1&replyid=" + id + "&replywithemail=0");

  Page form = replier.Get(link);
  EXPECT_TRUE(form.HasInput("subject", "回复：你好，留言本！")) << form.text;
  const std::string action = FindLink(form.text, "add_check.asp?");
  EXPECT_TRUE(std::regex_match(
      action,
      std::regex("add_check\\.asp\\?name=xiaoming&key2=[0-9]+&reply=1&replyid=" + id)))
      << action;
  EXPECT_EQ(
      replier.Post(action, MessageFields("小刚", "回复：你好，留言本！", "同意！")).text,
      SuccessPage("xiaoming"));
  EXPECT_EQ(site.Query("select subject, newinfo, infono, infoseekno from liuyan"
                       " order by id"),
            (Rows{{"你好，留言本！", "0", "0", "19999"},
                  {"回复：你好，留言本！", "1", "1", "19899"}}));

  // A newer thread goes on top; the reply stays under its parent, indented.
  Post(visitor, "xiaoming", MessageFields("小红", "第二个主题", "又来了"));
  show = replier.Get("show.asp?name=xiaoming");
  const auto newer = show.text.find("第二个主题");
  const auto parent = show.text.find(">你好，留言本！<");
  const auto reply = show.text.find(">回复：你好，留言本！<");
  EXPECT_LT(newer, parent);
  EXPECT_LT(parent, reply);
  EXPECT_EQ(Occurrences(show.text, "src=\"white.GIF\" width=\"30\" height=\"6\""), 1u);

  // A reply to a message of another guestbook is refused.
  Page elsewhere = PostThroughForm(replier, "add.asp?name=honghong&reply=1&replyid=" + id,
                                   MessageFields("小刚", "串门", "这里不是那个留言板"));
  EXPECT_TRUE(elsewhere.Has("replyid:参数错误！")) << elsewhere.text;
  EXPECT_EQ(site.Count("select * from liuyan where name = 'honghong'"), 0);
}

TEST(FlowTest, APrivateMessageIsShownOnlyToTheOwner) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Register(owner, kHonghong);
  Browser visitor(site.port());
  Post(visitor, "xiaoming", MessageFields("小红", "公开的话", "大家都能看"));
  Fields secret = MessageFields("小红", "私下的话", "只给板主看的秘密");
  secret.push_back({"priviteword", "1"});
  Post(visitor, "xiaoming", secret);
  EXPECT_EQ(site.Scalar("select priviteword from liuyan where subject = '私下的话'"),
            "1");

  struct Viewer {
    std::string who;
    std::string name, password;  // empty: not logged in
    bool sees;
  } viewers[] = {
      {"a visitor", "", "", false},
      {"the owner of another guestbook", "honghong", "hong5678", false},
      {"the owner", "xiaoming", "pass1234", true},
      {"the owner, logged in with another letter case", "XIAOMING", "pass1234", true},
  };
  for (const Viewer& v : viewers) {
    Browser b(site.port());
    if (!v.name.empty()) LogIn(b, v.name, v.password);
    Page show = b.Get("show.asp?name=xiaoming");
    EXPECT_TRUE(show.Has("大家都能看")) << v.who;
    EXPECT_EQ(show.Has("只给板主看的秘密"), v.sees) << v.who;
    EXPECT_EQ(show.Has(kPrivate), !v.sees) << v.who;
    // The subject of a private message is not hidden.
    EXPECT_TRUE(show.Has("私下的话")) << v.who;
  }

  // Logging off hides it again.
  Browser b(site.port());
  LogIn(b, "xiaoming", "pass1234");
  Page off = b.Get("admin_log_off.asp");
  EXPECT_TRUE(off.Has("你已经退出管理。"));
  EXPECT_EQ(b.SessionId(), "");
  EXPECT_TRUE(b.Get("show.asp?name=xiaoming").Has(kPrivate));
}

TEST(FlowTest, TheOwnerPagesAndDeletesTickedMessages) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Register(owner, kHonghong);
  Browser visitor(site.port());
  for (int i = 1; i <= 5; ++i) {
    const std::string n = std::to_string(i);
    Post(visitor, "xiaoming",
         MessageFields("小红", "第" + n + "个主题", i % 2 ? "说说春天" : "说说夏天"));
  }
  LogIn(owner, "xiaoming", "pass1234");
  EXPECT_TRUE(owner.Post("admin_jiemian_check.asp", BasicSettings("小明的留言本", "2"))
                  .Has("修改成功！"));

  struct Paging {
    std::string query, bar;
    std::vector<std::string> subjects;
  } pages[] = {
      {"", "第1/3页  现有留言5条", {"第5个主题", "第4个主题"}},
      {"&Page=2", "第2/3页  现有留言5条", {"第3个主题", "第2个主题"}},
      {"&move=next&Page=2", "第3/3页  现有留言5条", {"第1个主题"}},
      {"&move=end", "第3/3页  现有留言5条", {"第1个主题"}},
      {"&Page=9", "第3/3页  现有留言5条", {"第1个主题"}},
      {"&move=prev&Page=2", "第1/3页  现有留言5条", {"第5个主题", "第4个主题"}},
  };
  for (const Paging& p : pages) {
    Page show = visitor.Get("show.asp?name=xiaoming" + p.query);
    EXPECT_TRUE(show.Has(p.bar)) << p.query;
    EXPECT_EQ(Occurrences(show.text, "个主题</font>"), p.subjects.size()) << p.query;
    for (const auto& s : p.subjects) EXPECT_TRUE(show.Has(s + "</font>")) << p.query;
    EXPECT_TRUE(
        show.Has("<font color=\"#008080\">留言板其他页面：</font>"
                 "<a href=\"show.asp?name=xiaoming&Page=1&jsfs=&keyword=&showhtml="
                 "\">[1]</a> "))
        << p.query;
  }
  EXPECT_TRUE(visitor.Get("show.asp?name=xiaoming&Page=x").Has("page:参数错误！"));

  // A search typed into the form; its page links carry the search text
  // GB18030-encoded, and following one keeps to the matches.
  Page found =
      visitor.Post("show.asp?name=xiaoming", {{"jsfs", "2"}, {"search", "春天"}});
  EXPECT_TRUE(found.Has("第1/2页  现有留言3条")) << found.text;
  const std::string second =
      "show.asp?name=xiaoming&Page=2&jsfs=2&keyword=" + host::UrlEncode("春天") +
      "&showhtml=";
  EXPECT_TRUE(found.Has("<a href=\"" + second + "\">[2]</a>"));
  Page next = visitor.Get(second);
  EXPECT_TRUE(next.Has("第2/2页  现有留言3条")) << next.text;
  EXPECT_TRUE(next.Has("第1个主题</font>"));
  EXPECT_EQ(Occurrences(next.text, "个主题</font>"), 1u);

  auto id_of = [&](int n) {
    return site.Scalar("select id from liuyan where subject = '第" + std::to_string(n) +
                       "个主题'");
  };
  const std::string form = "show.asp?name=xiaoming&del=1";

  // Nobody but the owner (or the superuser) deletes.
  EXPECT_TRUE(owner.Get("admin_log_off.asp").Has("你已经退出管理。"));
  visitor.Post(form, {{"lydelno", id_of(5)}});
  Browser other(site.port());
  LogIn(other, "honghong", "hong5678");
  EXPECT_TRUE(other.Post(form, {{"lydelno", id_of(5)}})
                  .Has("删除留言时发生错误，可那是超时或没有权限，请重新登陆！"));
  EXPECT_EQ(site.Count("select * from liuyan"), 5);

  // The owner ticks two boxes: the browser sends the field twice.
  LogIn(owner, "xiaoming", "pass1234");
  Page mine = owner.Get("show.asp?name=xiaoming");
  EXPECT_TRUE(
      mine.Has("<input type=\"checkbox\" name=\"lydelno\" value=\"" + id_of(5) + "\">"));
  EXPECT_TRUE(
      mine.Has("<input type=\"submit\" value=\"删除所选择的留言\" name=\"myform\">"));
  EXPECT_EQ(FindLink(mine.text, "show.asp?name=xiaoming&del="), form);
  Page deleted = owner.Post(form, {{"lydelno", id_of(5)}, {"lydelno", id_of(4)}});
  EXPECT_TRUE(deleted.Has("第1/2页  现有留言3条")) << deleted.text;
  EXPECT_EQ(site.Query("select subject from liuyan order by id"),
            (Rows{{"第1个主题"}, {"第2个主题"}, {"第3个主题"}}));

  struct Refusal {
    Fields fields;
    std::string text;
  } refusals[] = {
      {{}, "<br>lydelno:参数错误,没有给出帖子的编号"},
      {{{"lydelno", "1 or 1=1"}}, "<br>lydelno:参数错误！"},
      {{{"lydelno", "99999"}}, "<br>将要删除的帖子编号在留言板中没有找到"},
  };
  for (const Refusal& r : refusals) {
    EXPECT_TRUE(owner.Post(form, r.fields).Has(r.text)) << r.text;
  }
  EXPECT_EQ(site.Count("select * from liuyan"), 3);

  // An owner's post: the owner's password marks it.
  Fields by_owner = MessageFields("小明", "板主公告", "欢迎大家");
  by_owner.push_back({"password", "wrong999"});
  EXPECT_TRUE(
      PostThroughForm(visitor, "add.asp?name=xiaoming", by_owner).Has("斑竹密码错误！"));
  by_owner.back().second = "pass1234";
  Post(visitor, "xiaoming", by_owner);
  EXPECT_EQ(site.Scalar("select whoinfo from liuyan where subject = '板主公告'"), "1");
  EXPECT_TRUE(visitor.Get("show.asp?name=xiaoming").Has("★斑竹发表★"));
}

TEST(FlowTest, TheOwnerDeletesAllMessagesAfterConfirming) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Register(owner, kHonghong);
  Browser visitor(site.port());
  Post(visitor, "xiaoming", MessageFields("小红", "第一条", "内容"));
  Post(visitor, "xiaoming", MessageFields("小红", "第二条", "内容"));
  Post(visitor, "honghong", MessageFields("小红", "给红红", "内容"));

  Page menu = LogIn(owner, "xiaoming", "pass1234");
  const std::string ask = FindLink(menu.text, "admin_del_all.asp?");
  EXPECT_EQ(ask, "admin_del_all.asp?name=xiaoming");
  Page question = owner.Get(ask);
  EXPECT_TRUE(question.Has("你确认删除<b>全部</b>留言信息吗？"));
  const std::string yes = FindLink(question.text, "admin_del_all.asp?");
  EXPECT_EQ(yes, "admin_del_all.asp?name=xiaoming&del=1");
  EXPECT_EQ(site.Count("select * from liuyan"), 3) << "asking deletes nothing";

  // Nobody else deletes by following the same link.
  Browser other(site.port());
  LogIn(other, "honghong", "hong5678");
  EXPECT_TRUE(other.Get(yes).Has("删除失败，请重新登陆、或操作超时！"));
  Browser stranger(site.port());
  EXPECT_TRUE(stranger.Get(yes).Has(kNoPermission));
  EXPECT_EQ(site.Count("select * from liuyan"), 3);

  EXPECT_TRUE(owner.Get(yes).Has("<p></p>删除全部留言开始。。。删除成功！"));
  EXPECT_EQ(site.Query("select name from liuyan"), (Rows{{"honghong"}}));
  // The numbering goes on.
  Post(visitor, "xiaoming", MessageFields("小红", "第三条", "内容"));
  EXPECT_EQ(site.Scalar("select infono from liuyan where subject = '第三条'"), "2");

  // The menu's log-off link ends the login.
  const std::string off = FindLink(menu.text, "admin_log_off.asp?");
  EXPECT_EQ(off.rfind("admin_log_off.asp?name=xiaoming&key=", 0), 0u) << off;
  EXPECT_TRUE(owner.Get(off).Has("你已经退出管理。"));
  EXPECT_TRUE(owner.Get(yes).Has(kNoPermission));
}

TEST(FlowTest, SettingsAreSavedAndApplied) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);

  // Without a login every settings page refuses, and nothing changes.
  Browser stranger(site.port());
  for (std::string_view page :
       {"admin_jiemian.asp", "admin_jiemian2.asp", "admin_jiemian3.asp"}) {
    Page refused = stranger.Get(page);
    EXPECT_TRUE(refused.Has(kNoPermission)) << page;
    EXPECT_FALSE(refused.Has("<form")) << page;
  }
  for (std::string_view page : {"admin_jiemian_check.asp", "admin_jiemian_check2.asp",
                                "admin_jiemian3_check.asp"}) {
    EXPECT_TRUE(
        stranger.Post(page, BasicSettings("陌生人的标题", "3")).Has(kNoPermission))
        << page;
  }
  EXPECT_EQ(site.Scalar("select titletop from user where name = 'xiaoming'"),
            "小明的留言本");

  LogIn(owner, "xiaoming", "pass1234");
  Page basic = owner.Get("admin_jiemian.asp");
  EXPECT_TRUE(basic.Has("action=\"admin_jiemian_check.asp\""));
  EXPECT_TRUE(basic.HasInput("titletop", "小明的留言本"));
  EXPECT_TRUE(basic.Has("<option value=\"电脑网络\" selected>电脑网络</option>"));

  Fields faulty = BasicSettings("新标题", "5");
  faulty[7].second = "0";
  faulty[8].second = "ftp://xm.example.com/";
  EXPECT_TRUE(owner.Post("admin_jiemian_check.asp", faulty).Has(Msg(6) + Msg(12)));

  Fields settings = BasicSettings("小明的新留言本", "5");
  settings[4].second = "0";
  settings[5].second = "http://img.example.com/bg.gif";
  settings[8].second = "http://new.example.com/";
  EXPECT_TRUE(owner.Post("admin_jiemian_check.asp", settings)
                  .Has("<p></p>留言板：<font color=\"#FF0000\">小明的新留言本</font> "
                       "修改成功！"));
  EXPECT_EQ(site.Query("select titletop, infolistno, html, backimage, homepage from user"
                       " where name = 'xiaoming'"),
            (Rows{{"小明的新留言本", "5", "0", "http://img.example.com/bg.gif",
                   "http://new.example.com/"}}));
  Page show = stranger.Get("show.asp?name=xiaoming");
  EXPECT_TRUE(show.Has("<body background=\"http://img.example.com/bg.gif\">"));
  EXPECT_TRUE(show.Has("小明的新留言本</font>"));
  EXPECT_TRUE(show.Has("<a href=\"http://new.example.com/\" target=\"_blank\">"));
  Page add = stranger.Get("add.asp?name=xiaoming");
  EXPECT_TRUE(add.HasInput("html", "0") && !add.HasInput("html", "1") &&
              !add.HasInput("html", "2"))
      << "plain text only";
  EXPECT_TRUE(add.Has("小明的新留言本"));

  // The message form's captions and optional rows.
  Page display = owner.Get("admin_jiemian2.asp");
  EXPECT_TRUE(display.Has("admin_jiemian_check2.asp")) << display.text;
  Page saved = owner.Post("admin_jiemian_check2.asp", {{"infoname", "网名："},
                                                       {"infomail", "信箱："},
                                                       {"infohomepage", "主页："},
                                                       {"infowhere", "来自："},
                                                       {"infooicq", "QQ："},
                                                       {"infosubject", "题目："},
                                                       {"C1", "1"},
                                                       {"C5", "1"},
                                                       {"C11", "1"}});
  EXPECT_TRUE(saved.Has("用户：xiaoming留言板“发表留言”界面设置修改成功！"));
  EXPECT_EQ(site.Scalar("select infostyle from user where name = 'xiaoming'"),
            "10001000001001111111");
  add = stranger.Get("add.asp?name=xiaoming");
  EXPECT_TRUE(add.Has("网名：")) << add.text;
  EXPECT_TRUE(add.Has("信箱："));
  EXPECT_TRUE(add.Has("题目："));
  EXPECT_TRUE(add.Has("name=\"oicq\""));
  EXPECT_TRUE(add.Has("name=\"priviteword\""));
  for (std::string_view absent : {"name=\"homepage\"", "name=\"guo\"", "name=\"xian\"",
                                  "pic/Boy1.gif", "name=\"password\""}) {
    EXPECT_FALSE(add.Has(absent)) << absent;
  }

  // The account: the old password proves the owner.
  Browser elsewhere(site.port());
  LogIn(elsewhere, "XiaoMing", "pass1234");
  Page account = owner.Get("admin_jiemian3.asp");
  EXPECT_TRUE(account.Has("admin_jiemian3_check.asp")) << account.text;
  Fields change = {{"oldPassWord", "wrong999"},
                   {"PassWord", "newpass9"},
                   {"PassWord2", "newpass9"},
                   {"question", ""},
                   {"answer", ""},
                   {"idcard", ""},
                   {"email", "new@example.com"}};
  EXPECT_TRUE(owner.Post("admin_jiemian3_check.asp", change).Has("原始密码错误！<br>"));
  change[0].second = "pass1234";
  EXPECT_TRUE(
      owner.Post("admin_jiemian3_check.asp", change)
          .Has("<p align=\"center\">用户：xiaoming&nbsp;&nbsp;修改信息成功！</p>"));
  EXPECT_EQ(
      site.Query("select password, email, hascrc from user where name = 'xiaoming'"),
      (Rows{{"newpass9", "new@example.com", "0"}}));
  EXPECT_TRUE(elsewhere.Get("admin_jiemian3.asp").Has(kNoPermission));
  EXPECT_TRUE(owner.Get("admin_jiemian3.asp").Has("admin_jiemian3_check.asp"));
  Browser again(site.port());
  EXPECT_TRUE(
      again.Post("admin_login.asp", {{"name", "xiaoming"}, {"password", "pass1234"}})
          .Has("用户：xiaoming密码错误！"));
  LogIn(again, "xiaoming", "newpass9");
}

TEST(FlowTest, ALostPasswordIsRecoveredWithTheHintAnswerAndIdCard) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);

  Browser b(site.port());
  EXPECT_TRUE(b.Get("lostpassword.asp").Has("action=\"lostpassword.asp\""));
  Page question = b.Post("lostpassword.asp", {{"name", "xiaoming"}});
  EXPECT_TRUE(question.Has("<td width=\"50%\">我最喜欢的颜色</td>")) << question.text;
  const std::string check = FindLink(question.text, "lostpassword_check.asp?");
  EXPECT_EQ(check, "lostpassword_check.asp?name=xiaoming");

  struct Case {
    std::string answer, idcard, text;
  } cases[] = {
      {"天蓝色的", "110101199001011234", "你的密码是：pass1234"},
      {" 天蓝色的 ", "110101199001011234", "你的密码是：pass1234"},
      {"深蓝色的", "110101199001011234", "你填写的信息不正确,找回密码失败！"},
      {"天蓝色的", "110101199001011235", "你填写的信息不正确,找回密码失败！"},
      {"", "", "你填写的信息不正确,找回密码失败！"},
  };
  for (const Case& c : cases) {
    Page answer = b.Post(check, {{"answer", c.answer}, {"idcard", c.idcard}});
    EXPECT_TRUE(answer.Has(c.text)) << c.answer << " " << c.idcard << "\n" << answer.text;
    EXPECT_EQ(answer.Has("pass1234"), c.text.find("pass1234") != std::string::npos);
  }

  EXPECT_TRUE(b.Post("lostpassword.asp", {{"name", "nobody"}})
                  .Has("请检查用户名是否正确或用户不存在!"));
  EXPECT_TRUE(b.Post("lostpassword.asp", {{"name", "admin"}})
                  .Has("用户注册时没有填写密码提示或密码回答，找回密码失败！"))
      << "the superuser has no hint";
  EXPECT_FALSE(
      b.Post("lostpassword_check.asp?name=admin", {{"answer", ""}, {"idcard", ""}})
          .Has(FlowSite::kSuperPassword));
}

TEST(FlowTest, AnOwnerDeletesTheGuestbookWithNamePasswordAndEmail) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Register(owner, kHonghong);
  Browser visitor(site.port());
  Post(visitor, "xiaoming", MessageFields("小红", "给小明", "你好"));
  Post(visitor, "honghong", MessageFields("小红", "给红红", "你好"));

  Browser elsewhere(site.port());
  LogIn(elsewhere, "xiaoming", "pass1234");
  LogIn(owner, "xiaoming", "pass1234");
  EXPECT_TRUE(owner.Get("userdelme.asp").Has("action=\"userdelme.asp\""));
  struct Case {
    std::string name, password, email, text;
  } refusals[] = {
      {"xiaoming", "pass9999", "xm@example.com", "你填写的信息不正确，用户注销失败！"},
      {"xiaoming", "pass1234", "xx@example.com", "你填写的信息不正确，用户注销失败！"},
      {"nobody", "pass1234", "xm@example.com", "用户：nobody不存在！"},
      {"xm", "pass1234", "xm@example.com", "用户信息填写不完整！请重新填写"},
      {"admin", std::string(FlowSite::kSuperPassword), "",
       "admin 为系统帐号，不能删除！"},
  };
  for (const Case& c : refusals) {
    EXPECT_TRUE(
        owner
            .Post("userdelme.asp",
                  {{"name", c.name}, {"password", c.password}, {"email", c.email}})
            .Has(c.text))
        << c.name;
  }
  EXPECT_EQ(site.Count("select * from user"), 3);

  EXPECT_TRUE(owner
                  .Post("userdelme.asp", {{"name", "xiaoming"},
                                          {"password", "pass1234"},
                                          {"email", "xm@example.com"}})
                  .Has("用户：xiaoming注销成功！"));
  EXPECT_EQ(site.Query("select name from user order by id"),
            (Rows{{"admin"}, {"honghong"}}));
  EXPECT_EQ(site.Query("select name from liuyan"), (Rows{{"honghong"}}));
  EXPECT_TRUE(owner.Get("admin_jiemian.asp").Has(kNoPermission));
  EXPECT_TRUE(elsewhere.Get("admin_jiemian.asp").Has(kNoPermission));
  EXPECT_TRUE(visitor.Get("show.asp?name=xiaoming").Has("没有这个用户"));
  Page gone = visitor.Get("add.asp?name=xiaoming");
  EXPECT_EQ(gone.status, Status::found);
  EXPECT_EQ(gone.location, "user_name_error.asp");
}

// Text in and out of the site travels as GB18030: every character of
// Unicode, not only those of GB2312, comes back as it was typed.
TEST(FlowTest, ChineseTextRoundTripsThroughTheForms) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Browser visitor(site.port());

  struct Case {
    std::string typed, stored_subject;
  } cases[] = {
      {"简体中文：留言本", "简体中文：留言本"}, {"繁體字：為什麼", "繁體字：為什麼"},
      {"四字节𠀀𪚥字", "四字节𠀀𪚥字"},         {"符号€™—“引号”…", "符号€™—“引号”…"},
      {"かなカナ한글", "かなカナ한글"},         {"表情😀", "表情😀"},
      {"it's <b>粗</b>", "it’s 〈b〉粗〈/b〉"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Post(visitor, "xiaoming", MessageFields(c.typed, c.typed, c.typed, "0"));
    EXPECT_EQ(site.Query("select guestname, subject, message from liuyan"
                         " order by id desc limit 1"),
              (Rows{{c.stored_subject, c.stored_subject, c.typed}}));
    Page show = visitor.Get("show.asp?name=xiaoming");
    EXPECT_TRUE(
        show.Has("<font size=\"3\" color=\"#FF0000\">" + c.stored_subject + "</font>"));
    EXPECT_TRUE(show.Has(check::HtmlText(c.typed)));
    EXPECT_EQ(visitor.Cookie("ly_name"), "") << "not asked to remember";
  }

  // A UTF-8 body that says so, and a multipart body, read the same.
  const std::string text = "多种编码：𠀀€";
  auto part = [](std::string_view name, std::string_view value) {
    return "--XyZ\r\nContent-Disposition: form-data; name=\"" + std::string(name) +
           "\"\r\n\r\n" + std::string(value) + "\r\n";
  };
  struct Body {
    std::string type, body;
  } bodies[] = {
      {"application/x-www-form-urlencoded; charset=utf-8",
       "guestname=" + Utf8UrlEncode("小红") + "&subject=" + Utf8UrlEncode("多种") +
           "&html=0&message=" + Utf8UrlEncode(text)},
      {"multipart/form-data; boundary=XyZ",
       part("guestname", host::ToGb18030("小红")) +
           part("subject", host::ToGb18030("多种")) + part("html", "0") +
           part("message", host::ToGb18030(text)) + "--XyZ--\r\n"},
  };
  for (const Body& b : bodies) {
    SCOPED_TRACE(b.type);
    const std::string action =
        FindLink(visitor.Get("add.asp?name=xiaoming").text, "add_check.asp?");
    EXPECT_EQ(visitor.PostBody(action, b.body, b.type).text, SuccessPage("xiaoming"));
    EXPECT_EQ(site.Query("select guestname, subject, message from liuyan"
                         " order by id desc limit 1"),
              (Rows{{"小红", "多种", text}}));
  }
}

// Every image a page refers to by a relative address is served by the site.
TEST(FlowTest, EveryImageThePagesReferToIsServed) {
  FlowSite site;
  Browser owner(site.port());
  Register(owner, kXiaoming);
  Browser visitor(site.port());
  Fields first = MessageFields("小红", "有头像的留言", "[b]UBB[/b]");
  first.insert(first.end(), {{"tx", "20"},
                             {"email", "xh@example.com"},
                             {"homepage", "http://xh.example.com/"},
                             {"oicq", "12345"}});
  Post(visitor, "xiaoming", first);
  const std::string id = site.Scalar("select id from liuyan");
  EXPECT_EQ(PostThroughForm(visitor, "add.asp?name=xiaoming&reply=1&replyid=" + id,
                            MessageFields("小刚", "回复：有头像的留言", "回复"))
                .text,
            SuccessPage("xiaoming"));
  LogIn(owner, "xiaoming", "pass1234");

  std::set<std::string> images;
  const std::regex src("src=\"([^\":]+)\"");
  for (std::string_view page :
       {"index.asp", "show.asp?name=xiaoming", "add.asp?name=xiaoming", "userlist.asp"}) {
    const std::string text = owner.Get(page).text;
    for (std::sregex_iterator it(text.begin(), text.end(), src), end; it != end; ++it) {
      images.insert((*it)[1]);
    }
  }
  for (std::string_view expected :
       {"pic/20.gif", "pic/Boy1.gif", "pic/Girl10.gif", "pic2/replay.gif",
        "pic2/mail.gif", "pic2/home.gif", "pic2/qq.gif", "white.GIF", "mfsq.GIF",
        "hpgtumassage.gif"}) {
    EXPECT_TRUE(images.count(std::string(expected))) << expected;
  }
  for (const std::string& image : images) {
    Page gif = visitor.Get(image);
    EXPECT_EQ(gif.status, Status::ok) << image;
    EXPECT_EQ(gif.content_type, "image/gif") << image;
  }
}

}  // namespace
}  // namespace tb::testing
