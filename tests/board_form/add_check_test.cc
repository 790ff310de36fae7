#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "component/messages.h"
#include "data/error.h"
#include "tests/board_form/form_fixture.h"

namespace tb {
namespace {

using Fields = testing::PostFields;

constexpr std::string_view kBack = "<br><a href=javascript:history.go(-1);>回上一步</a>";
constexpr std::string_view kExpires = "2027-03-05 14:07:09";

class AddCheckTest : public testing::FormTest {
 protected:
  AddCheckTest() { ArmForm(); }

  std::int64_t Stored() { return Count("select * from liuyan"); }
  std::int64_t LastId() { return std::stoll(Scalar("select max(id) from liuyan")); }
  std::string Stored(std::string_view column) {
    return Scalar("select " + std::string(column) +
                  " from liuyan order by id desc limit 1");
  }
  std::string ErrorList(std::initializer_list<int> numbers) {
    std::string list;
    for (int n : numbers) (list += Message(n)) += "<br>";
    return list + std::string(kBack);
  }
};

TEST_F(AddCheckTest, StoresVisitorPost) {
  Post({{"message", "第一行\r\n它's <b>"}, {"priviteword", "1"}});
  testing::ExpectGolden("AddCheck/stored.html", page().body);
  EXPECT_EQ(page().redirect, std::nullopt);
  ASSERT_EQ(Stored(), 1);
  const std::map<std::string, std::string> want = {
      {"name", "abc"},
      {"message", "第一行\r\n它's <b>"},
      {"guestname", "小明"},
      {"regtime", "2026-03-05 14:07:09"},
      {"ip", "10.1.2.3"},
      {"touxiang", "3"},
      {"email", "ming@example.cn"},
      {"subject", "问候"},
      {"homepage", "http://ming.example/"},
      {"replymail", "1"},
      {"oicq", "12345"},
      {"html", "0"},
      {"font", "宋体"},
      {"fontsize", "3"},
      {"fontcolor", "#000000"},
      {"newinfo", "0"},
      {"whoinfo", "0"},
      {"infoseekno", "19999"},
      {"priviteword", "1"},
      {"hailfrom", "中国广东广州"},
      {"infono", "0"},
  };
  EXPECT_EQ(MessageRow(LastId()), want);
  EXPECT_EQ(Infoserial(), "1");

  EXPECT_EQ(page().Get("ly_tijiao"), Value("1"));
}

// A post binds its values, so its statements are those of any other post:
// a second post of other texts prepares nothing anew.
TEST_F(AddCheckTest, PostsOfOtherTextsPrepareNothingNew) {
  Post();
  const std::size_t prepared = Prepared();
  PostAgain({{"message", "另一条 it's \"x\""}, {"guestname", "小红"}});
  EXPECT_EQ(Prepared(), prepared);
  EXPECT_EQ(Stored("message"), "另一条 it's \"x\"");
  EXPECT_EQ(Stored(), 2);
}

TEST_F(AddCheckTest, PostingGuard) {
  // No visit to the form page, or a stored message since: a second post.
  for (const char* flag : {"", "1", "yes"}) {
    NextRequest();
    page().session_values.clear();
    if (*flag) page().Set("ly_tijiao", Value(flag));
    page().Set("ly_fgs", Value(std::string(kKey)));
    Post();
    EXPECT_EQ(page().redirect, "guanshui.asp") << flag;
    EXPECT_EQ(page().body, "");
  }
  EXPECT_EQ(Stored(), 0);

  // A refused post leaves the form valid; once stored, the same form is not.
  PostAgain({{"guestname", "明"}});
  EXPECT_EQ(page().body, ErrorList({15}));
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  NextRequest();
  Post();
  EXPECT_EQ(Stored(), 1);
  NextRequest();
  Post();
  EXPECT_EQ(page().redirect, "guanshui.asp");
  EXPECT_EQ(Stored(), 1);
}

TEST_F(AddCheckTest, FormKeyComparedAsNumber) {
  struct Case {
    std::optional<std::string> key2;
    Value issued;
    bool accepted;
  } cases[] = {
      {"123456789", Value("123456789"), true},
      {"0123456789", Value("123456789"), true},
      {" 123456789 ", Value("123456789"), true},
      {"1.23456789e8", Value("123456789"), true},
      {"123456789", Value(123456789), true},  // the number the legacy form keeps
      {"123456788", Value("123456789"), false},
      {"abc", Value("123456789"), false},
      {"", Value("123456789"), false},
      {std::nullopt, Value("123456789"), false},
      {"0", Value(), false},  // no key issued
  };
  for (const auto& c : cases) {
    NextRequest();
    ArmForm();
    page().Set("ly_fgs", c.issued);
    Post({}, {{"key2", c.key2}});
    EXPECT_EQ(page().body.starts_with("<html>"), c.accepted) << c.key2.value_or("(none)");
    if (!c.accepted) {
      EXPECT_EQ(page().body, "url:error!");
    }
  }
  EXPECT_EQ(Stored(), 5);
}

TEST_F(AddCheckTest, RefusalsAndTheirPrecedence) {
  const Fields all_errors = {
      {"guestname", "明"}, {"password", "a>bcd"},           {"email", "bad-address"},
      {"subject", "x"},    {"homepage", "ftp://a.example"}, {"oicq", "12a"}};
  struct Case {
    const char* label;
    Fields form;
    Fields query;
    std::string body;
    std::optional<std::string> redirect;
  } cases[] = {
      {"name", {}, {{"name", "a-b"}}, ErrorList({1}), {}},
      {"short name", {}, {{"name", "ab"}}, ErrorList({1}), {}},
      {"password", {{"password", "abc"}}, {}, ErrorList({3}), {}},
      {"blank password", {{"password", "   "}}, {}, ErrorList({3}), {}},
      {"poster", {{"guestname", " 明 "}}, {}, ErrorList({15}), {}},
      {"no poster", {{"guestname", std::nullopt}}, {}, ErrorList({15}), {}},
      {"email", {{"email", "a@.cn"}}, {}, ErrorList({5}), {}},
      {"email of marks", {{"email", "'<>\""}}, {}, ErrorList({5}), {}},
      {"subject", {{"subject", "题"}}, {}, ErrorList({16}), {}},
      {"homepage", {{"homepage", "HTTP://a.example"}}, {}, ErrorList({6}), {}},
      {"oicq", {{"oicq", "12 34"}}, {}, ErrorList({17}), {}},
      {"all seven in order",
       all_errors,
       {{"name", "a b"}},
       ErrorList({1, 3, 15, 5, 16, 6, 17}),
       {}},
      {"format",
       {{"html", "3"}},
       {},
       "没有选择留言方式，文本格式，html方式，ubb方式",
       {}},
      {"no format",
       {{"html", std::nullopt}},
       {},
       "没有选择留言方式，文本格式，html方式，ubb方式",
       {}},
      {"format before errors",
       {{"html", " 1"}, {"guestname", "明"}},
       {},
       "没有选择留言方式，文本格式，html方式，ubb方式",
       {}},
      {"stop word in subject",
       {{"subject", "买SPAM吧"}, {"html", "9"}, {"guestname", ""}},
       {},
       "",
       "feifa.asp"},
      {"stop word in message",
       {{"message", "看广告"}, {"guestname", ""}},
       {},
       "",
       "feifa.asp"},
      {"format before message stop word",
       {{"message", "看广告"}, {"html", "x"}},
       {},
       "没有选择留言方式，文本格式，html方式，ubb方式",
       {}},
      {"no such guestbook", {}, {{"name", "nobody"}}, "", {}},
      {"wrong password",
       {{"password", "Secret"}},
       {},
       "斑竹密码错误！<br><a "
       "href=\"javascript:history.go(-1);\">请返回上页，重新填写</a>",
       {}},
  };
  for (const auto& c : cases) {
    NextRequest();
    ArmForm();
    book().SetStopThisWord("广告;spam");
    Post(c.form, c.query);
    EXPECT_EQ(page().body, c.body) << c.label;
    EXPECT_EQ(page().redirect, c.redirect) << c.label;
    EXPECT_EQ(page().Get("ly_tijiao"), Value("0")) << c.label;
  }
  EXPECT_EQ(Stored(), 0);
  EXPECT_EQ(Infoserial(), "0");
  testing::ExpectGolden("AddCheck/all_errors.html", cases[11].body);
}

TEST_F(AddCheckTest, LocationAndTreatedFields) {
  struct Case {
    Fields form;
    std::string column, want;
  } cases[] = {
      {{{"guo", "中国"}, {"sheng", "广东"}, {"xian", "广州"}},
       "hailfrom",
       "中国广东广州"},
      {{{"guo", "美国"}, {"sheng", "广东"}, {"xian", "广州"}}, "hailfrom", "美国广州"},
      {{{"guo", "请选择国家"}, {"sheng", "广东"}, {"xian", "广州"}}, "hailfrom", "广州"},
      {{{"guo", "中国"}, {"sheng", "请选择省市"}, {"xian", "广州"}},
       "hailfrom",
       "中国广州"},
      {{{"guo", " 中国 "}, {"sheng", " 北京 "}, {"xian", " 100 "}},
       "hailfrom",
       "中国北京1"},
      {{{"guo", "<中'国>"}, {"xian", ""}}, "hailfrom", "〈中’国〉"},
      {{{"guestname", " 'Tom' <b> "}}, "guestname", "’Tom’ 〈b〉"},
      {{{"subject", "It's <ok>"}}, "subject", "It’s 〈ok〉"},
      {{{"email", " <a\"b@c.cn> "}}, "email", "ab@c.cn"},
      {{{"email", ""}}, "email", ""},
      {{{"homepage", " http://x.cn/'a' "}}, "homepage", "http://x.cn/a"},
      {{{"oicq", " 007 "}}, "oicq", "007"},
      {{{"replymail", " 0 "}}, "replymail", "0"},
      {{{"replymail", "yes"}}, "replymail", "0"},
      {{{"priviteword", " 1"}}, "priviteword", "0"},
      {{{"tx", std::nullopt}}, "touxiang", "0"},
      {{{"tx", ""}}, "touxiang", "0"},
      {{{"tx", "20"}}, "touxiang", "20"},
  };
  for (const auto& c : cases) {
    PostAgain(c.form);
    EXPECT_EQ(Stored(c.column), c.want) << c.column << " " << c.want;
  }
}

TEST_F(AddCheckTest, MessageCutToLybMsgLen) {
  struct Case {
    Value limit;
    std::string posted, stored;
  } cases[] = {
      {Value(10), "一二三四五六七八九十ab", "一二三四五六七八九十"},
      {Value("10"), "0123456789ab", "0123456789"},
      {Value(), "一二三", ""},  // unset counts as 0; an empty message is not refused
      {Value(3), "a'b'c", "a'b"},
      {Value(100), "", ""},
  };
  for (const auto& c : cases) {
    NextRequest();
    ArmForm();
    for (const auto& [k, v] : Fields{{"name", "abc"}, {"key2", std::string(kKey)}})
      page().query.Add(k, *v);
    for (const auto& [k, v] : Fields{{"guestname", "小明"},
                                     {"subject", "问候"},
                                     {"html", "0"},
                                     {"message", c.posted}})
      page().form.Add(k, *v);
    book().SetLybMsgLen(c.limit);
    book().AddCheck();
    EXPECT_EQ(Stored("message"), c.stored) << c.posted;
    EXPECT_EQ(page().Get("abcadd_check_message"), Value(c.stored)) << c.posted;
  }
  EXPECT_EQ(Stored(), 5);

  NextRequest();
  ArmForm();
  page().query.Add("name", "abc");
  page().query.Add("key2", kKey);
  page().form.Add("html", "0");
  book().SetLybMsgLen(Value(-1));
  EXPECT_THROW(book().AddCheck(), std::invalid_argument);
}

TEST_F(AddCheckTest, SortKeysAndNumbers) {
  Post();  // first thread
  const auto first = LastId();
  PostAgain();  // second thread
  PostAgain({}, {{"reply", "1"}, {"replyid", std::to_string(first)}});
  PostAgain({}, {{"reply", " 1 "}, {"replyid", " " + std::to_string(first) + " "}});
  Seed("insert into liuyan(name, subject) values ('abc', 'no key')");
  PostAgain({}, {{"reply", "1"}, {"replyid", std::to_string(LastId())}});
  PostAgain({}, {{"reply", "yes"}, {"replyid", "abc"}});  // not a reply

  std::vector<std::tuple<std::string, std::string, std::string>> got;
  data::Connection conn(pool());
  conn.Open(dsn());
  auto rs = conn.Execute("select * from liuyan where guestname = '小明' order by id");
  for (; !rs.Eof(); rs.MoveNext())
    got.emplace_back(rs["infoseekno"].Text(), rs["infono"].Text(), rs["newinfo"].Text());
  const std::vector<std::tuple<std::string, std::string, std::string>> want = {
      {"19999", "0", "0"}, {"29999", "1", "0"}, {"19899", "2", "1"},
      {"19899", "3", "1"}, {"19999", "4", "1"}, {"69999", "5", "0"},
  };
  EXPECT_EQ(got, want);
  EXPECT_EQ(Infoserial(), "6");
}

TEST_F(AddCheckTest, ReplyTargetCheckedBeforeAnythingIsWritten) {
  Seed("insert into user(name) values ('other')");
  Seed("insert into liuyan(name, subject, infoseekno) values ('other', 'x', 19999)");
  const std::string foreign = std::to_string(LastId());
  for (const std::string& replyid :
       std::vector<std::string>{"", "abc", "1 or 1=1", "-1", "99999", foreign}) {
    PostAgain({}, {{"reply", "1"}, {"replyid", replyid}});
    EXPECT_EQ(page().body, "replyid:参数错误！") << replyid;
    EXPECT_EQ(page().Get("ly_tijiao"), Value("0")) << replyid;
  }
  EXPECT_EQ(Stored(), 1);
  EXPECT_EQ(Infoserial(), "0");
}

TEST_F(AddCheckTest, OwnerPosts) {
  Seed("update user set html = '0' where name = 'abc'");
  Post({{"password", " secret "}, {"html", "1"}});
  EXPECT_EQ(Stored("whoinfo"), "1");
  EXPECT_EQ(Stored("html"), "1");  // the owner's own post keeps its format
  PostAgain({{"password", "secret"}, {"html", "2"}});
  EXPECT_EQ(Stored("whoinfo"), "1");
  EXPECT_EQ(Stored("html"), "2");
  PostAgain({{"password", ""}, {"html", "1"}});
  EXPECT_EQ(Stored("whoinfo"), "0");
  EXPECT_EQ(Stored("html"), "0");
  EXPECT_EQ(Infoserial(), "3");
}

TEST_F(AddCheckTest, VisitorFormatFollowsTheGuestbookMode) {
  struct Case {
    std::optional<std::string> mode;
    std::string posted, stored;
  } cases[] = {
      {"0", "0", "0"},          {"0", "1", "0"},          {"0", "2", "0"},
      {"1", "0", "0"},          {"1", "1", "1"},          {"1", "2", "2"},
      {"2", "0", "0"},          {"2", "1", "0"},          {"2", "2", "2"},
      {std::nullopt, "1", "0"}, {std::nullopt, "2", "2"},
  };
  for (const auto& c : cases) {
    Seed("update user set html = " + (c.mode ? "'" + *c.mode + "'" : "null") +
         " where name = 'abc'");
    PostAgain({{"html", c.posted}});
    EXPECT_EQ(Stored("html"), c.stored) << c.mode.value_or("null") << c.posted;
  }
}

TEST_F(AddCheckTest, AttributeValuesAreSanitised) {
  struct Case {
    Fields form;
    std::string column, want;
  } cases[] = {
      {{{"font", "楷体_GB2312"}}, "font", "楷体_GB2312"},
      {{{"font", "Times New-Roman"}}, "font", "TimesNew-Roman"},
      {{{"font", "x onmouseover=alert(1)"}}, "font", "xonmouseoveralert1"},
      {{{"font", "\"><"}}, "font", "宋体"},
      {{{"font", std::nullopt}}, "font", "宋体"},
      {{{"fontsize", "7"}}, "fontsize", "7"},
      {{{"fontsize", "8"}}, "fontsize", "3"},
      {{{"fontsize", "0"}}, "fontsize", "3"},
      {{{"fontsize", "22"}}, "fontsize", "3"},
      {{{"fontsize", "1 x=y"}}, "fontsize", "3"},
      {{{"fontcolor", "#00aaFF"}}, "fontcolor", "#00aaFF"},
      {{{"fontcolor", "red"}}, "fontcolor", "red"},
      {{{"fontcolor", "#00aaF"}}, "fontcolor", "#000000"},
      {{{"fontcolor", "red onclick=x"}}, "fontcolor", "#000000"},
      {{{"fontcolor", ""}}, "fontcolor", "#000000"},
      {{{"tx", "5 onerror=alert(1)"}}, "touxiang", "0"},
      {{{"tx", "-1"}}, "touxiang", "0"},
  };
  for (const auto& c : cases) {
    PostAgain(c.form);
    EXPECT_EQ(Stored(c.column), c.want) << c.column << " " << c.want;
  }
}

TEST_F(AddCheckTest, RememberedDataCookies) {
  Post({{"homepage", " http://ming.example/ "}});
  const std::map<std::string, std::string> remembered = {
      {"ly_savemyinfo", "1"},
      {"ly_name", "小明"},
      {"ly_guo", "中国"},
      {"ly_sheng", "广东"},
      {"ly_xian", "广州"},
      {"ly_email", "ming@example.cn"},
      {"ly_zhuye", "http://ming.example/"},
      {"ly_oicq", "12345"},
  };
  ASSERT_EQ(page().response_cookies.size(), remembered.size());
  for (const auto& [name, value] : remembered) {
    ASSERT_TRUE(page().response_cookies.count(name)) << name;
    EXPECT_EQ(page().response_cookies[name].value, value) << name;
    EXPECT_EQ(page().response_cookies[name].expires, kExpires) << name;
  }

  // Not remembered: every cookie set is cleared. Fields left empty (or a
  // one-character county) set none.
  PostAgain({{"savemyinfo", "0"},
             {"xian", "区"},
             {"email", ""},
             {"homepage", ""},
             {"oicq", ""}});
  std::set<std::string> cleared;
  for (const auto& [name, cookie] : page().response_cookies) {
    EXPECT_EQ(cookie.value, "") << name;
    EXPECT_EQ(cookie.expires, kExpires) << name;
    cleared.insert(name);
  }
  EXPECT_EQ(cleared,
            (std::set<std::string>{"ly_savemyinfo", "ly_name", "ly_guo", "ly_sheng"}));

  // Cookies set before a refusal stay set; a failing field sets none.
  PostAgain({{"email", "bad"}, {"subject", "x"}});
  EXPECT_EQ(page().body, ErrorList({5, 16}));
  EXPECT_EQ(page().response_cookies.count("ly_email"), 0u);
  EXPECT_EQ(page().response_cookies["ly_name"].value, "小明");
  EXPECT_EQ(page().response_cookies["ly_zhuye"].value, "http://ming.example/");
}

TEST_F(AddCheckTest, FailedInsertLeavesTheCounter) {
  Seed(
      "create trigger refuse before insert on liuyan begin select raise(abort, 'full'); "
      "end");
  EXPECT_THROW(Post(), data::Error);
  EXPECT_EQ(Infoserial(), "0");
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  Seed("drop trigger refuse");
  NextRequest();
  Post();
  EXPECT_EQ(Stored("infono"), "0");
  EXPECT_EQ(Infoserial(), "1");
}

TEST_F(AddCheckTest, ConcurrentPostsGetDistinctNumbers) {
  constexpr int kThreads = 8, kPostsEach = 5;
  std::vector<std::thread> threads;
  std::vector<std::string> bodies(kThreads * kPostsEach);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPostsEach; ++i) {
        host::MemoryPage visitor(pool());
        visitor.Set("ly_tijiao", Value("0"));
        visitor.Set("ly_fgs", Value(std::string(kKey)));
        visitor.query.Add("name", "abc");
        visitor.query.Add("key2", kKey);
        visitor.form.Add("guestname", "访客" + std::to_string(t));
        visitor.form.Add("subject", "第" + std::to_string(i) + "条");
        visitor.form.Add("html", "0");
        visitor.form.Add("message", "并发");
        Guestbook guestbook;
        guestbook.SetDSNtemp(dsn());
        guestbook.SetLybMsgLen(Value(8000));
        guestbook.OnStartPage(visitor);
        guestbook.AddCheck();
        guestbook.OnEndPage();
        bodies[t * kPostsEach + i] = visitor.body;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& body : bodies) EXPECT_TRUE(body.starts_with("<html>")) << body;

  constexpr int kAll = kThreads * kPostsEach;
  EXPECT_EQ(Stored(), kAll);
  EXPECT_EQ(Count("select distinct infono from liuyan"), kAll);
  EXPECT_EQ(Count("select distinct infoseekno from liuyan"), kAll);
  EXPECT_EQ(Scalar("select min(infono) || '-' || max(infono) from liuyan"),
            "0-" + std::to_string(kAll - 1));
  EXPECT_EQ(Infoserial(), std::to_string(kAll));
}

}  // namespace
}  // namespace tb
