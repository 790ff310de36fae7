#include <gtest/gtest.h>

#include <thread>

#include "data/error.h"
#include "tests/board_form/form_fixture.h"

namespace tb {
namespace {

using Fields = testing::PostFields;
using testing::ExpectGolden;
using testing::Outcome;

class AddCheckTest : public testing::FormTest {
 protected:
  AddCheckTest() { ArmForm(); }

  std::int64_t Stored() { return Count("select * from liuyan"); }
  std::string Stored(std::string_view column) {
    return Scalar("select " + std::string(column) +
                  " from liuyan order by id desc limit 1");
  }
  // The changed fields of a case, as its transcript names them.
  static std::string Label(const Fields& form, const Fields& query = {}) {
    std::string label = "##";
    for (const Fields* fields : {&form, &query})
      for (const auto& [k, v] : *fields)
        label += " " + k + "=" + (v ? "[" + *v + "]" : "-");
    return label + "\n";
  }
};

// The stored row, the success page, the remembered-data cookies and the
// session; then a post not remembered, which clears every cookie it sets
// (fields left empty, or a one-character county, set none).
TEST_F(AddCheckTest, StoresVisitorPost) {
  Post({{"message", "第一行\r\n它's <b>"},
        {"priviteword", "1"},
        {"homepage", " http://ming.example/ "}});
  std::string log =
      Outcome(page()) + testing::RowsText(pool(), dsn(), "select * from liuyan");
  PostAgain({{"savemyinfo", "0"},
             {"xian", "区"},
             {"email", ""},
             {"homepage", ""},
             {"oicq", ""}});
  log += Outcome(page()) + "infoserial " + Infoserial() + "\n";
  ExpectGolden("AddCheck/stored.txt", log);
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
  // A refused post leaves the form valid; once stored, the same form is not.
  PostAgain({{"guestname", "明"}});
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  NextRequest();
  Post();
  EXPECT_EQ(Stored(), 1);
  NextRequest();
  Post();
  EXPECT_EQ(page().redirect, "guanshui.asp");
  EXPECT_EQ(Stored(), 1);
}

// Each refusal's page, redirect, cookies and session: the numbered errors
// in their order, the format checked before them, the stop words, the
// owner's password, a form key that does not match (FormKeyMatches), a reply
// to no message of the guestbook (checked before anything is written).
// Cookies set before a refusal stay set.
TEST_F(AddCheckTest, RefusalsAndTheirPrecedence) {
  struct Case {
    Fields form, query = {};
  } cases[] = {
      {{}, {{"name", "a-b"}}},
      {{}, {{"name", "ab"}}},
      {{{"password", "abc"}}},
      {{{"password", "   "}}},
      {{{"guestname", " 明 "}}},
      {{{"guestname", std::nullopt}}},
      {{{"email", "a@.cn"}}},
      {{{"email", "'<>\""}}},
      {{{"subject", "题"}}},
      {{{"homepage", "HTTP://a.example"}}},
      {{{"oicq", "12 34"}}},
      {{{"email", "bad"}, {"subject", "x"}}},
      {{{"guestname", "明"},
        {"password", "a>bcd"},
        {"email", "bad-address"},
        {"subject", "x"},
        {"homepage", "ftp://a.example"},
        {"oicq", "12a"}},
       {{"name", "a b"}}},
      {{{"html", "3"}}},
      {{{"html", std::nullopt}}},
      {{{"html", " 1"}, {"guestname", "明"}}},
      {{{"subject", "买SPAM吧"}, {"html", "9"}, {"guestname", ""}}},
      {{{"message", "看广告"}, {"guestname", ""}}},
      {{{"message", "看广告"}, {"html", "x"}}},
      {{}, {{"name", "nobody"}}},
      {{}, {{"key2", "123456788"}}},
      {{}, {{"key2", std::nullopt}}},
      // Message 1 is of another guestbook.
      {{}, {{"reply", "1"}, {"replyid", ""}}},
      {{}, {{"reply", "1"}, {"replyid", "abc"}}},
      {{}, {{"reply", "1"}, {"replyid", "1 or 1=1"}}},
      {{}, {{"reply", "1"}, {"replyid", "-1"}}},
      {{}, {{"reply", "1"}, {"replyid", "99999"}}},
      {{}, {{"reply", "1"}, {"replyid", "1"}}},
      {{{"password", "Secret"}}},
  };
  AddBook("other");
  AddMessage("other", {{"infoseekno", 19999}});
  std::string log;
  for (const auto& c : cases) {
    NextRequest();
    page().session_values.clear();
    ArmForm();
    book().SetStopThisWord("广告;spam");
    Post(c.form, c.query);
    log += Label(c.form, c.query) + Outcome(page());
  }
  ExpectGolden("AddCheck/refusals.txt", log);
  EXPECT_EQ(Stored(), 1);
  EXPECT_EQ(Infoserial(), "0");
}

// The stored form of each treated field, a section per post: the location,
// the marks made full-width or stripped, the flags, the values that end up
// in HTML attributes, the message cut to LybMsgLen characters (also kept in
// the session); then the stored format for each guestbook mode, posted by a
// visitor and by the owner.
TEST_F(AddCheckTest, TreatedFields) {
  struct Case {
    Fields form;
    Value limit = Value(8000);  // LybMsgLen
  } cases[] = {
      {{{"guo", "美国"}}},
      {{{"guo", "请选择国家"}}},
      {{{"sheng", "请选择省市"}}},
      {{{"guo", " 中国 "}, {"sheng", " 北京 "}, {"xian", " 100 "}}},
      {{{"guo", "<中'国>"}, {"xian", ""}}},
      {{{"guestname", " 'Tom' <b> "}, {"subject", "It's <ok>"}}},
      {{{"email", " <a\"b@c.cn> "},
        {"homepage", " http://x.cn/'a' "},
        {"oicq", " 007 "}}},
      {{{"email", ""}, {"replymail", " 0 "}, {"priviteword", " 1"}}},
      {{{"replymail", "yes"}, {"tx", std::nullopt}}},
      {{{"tx", ""}, {"font", std::nullopt}}},
      {{{"tx", "20"}, {"font", "x onmouseover=alert(1)"}}},
      {{{"tx", "5 onerror=alert(1)"}, {"fontsize", "7"}, {"fontcolor", "#00aaFF"}}},
      {{{"tx", "-1"}, {"fontsize", "8"}, {"fontcolor", "red"}}},
      {{{"fontsize", "0"}, {"fontcolor", "#00aaF"}}},
      {{{"fontsize", "22"}, {"fontcolor", "red onclick=x"}}},
      {{{"fontsize", "1 x=y"}, {"fontcolor", ""}}},
      {{{"password", " secret "}, {"html", "1"}}},
      {{{"message", "一二三四五六七八九十ab"}}, Value(10)},
      {{{"message", "0123456789ab"}}, Value("10")},
      {{{"message", "一二三"}},
       Value()},  // unset counts as 0; an empty message is not refused
      {{{"message", "a'b'c"}}, Value(3)},
      {{{"message", ""}}, Value(100)},
  };
  const std::string columns =
      "hailfrom, guestname, subject, email, homepage, oicq, replymail, priviteword, "
      "touxiang, font, fontsize, fontcolor, whoinfo, html, message";
  std::string log;
  for (const auto& c : cases) {
    msg_len_ = c.limit;
    PostAgain(c.form);
    log +=
        Label(c.form) + "limit " + testing::Shown(c.limit) + ", session message " +
        testing::Shown(page().Get("abcadd_check_message")) + "\n" +
        testing::RowsText(pool(), dsn(),
                          "select " + columns + " from liuyan order by id desc limit 1");
  }
  msg_len_ = Value(8000);
  for (const char* mode : {"'0'", "'1'", "'2'", "null"}) {
    Seed(std::string("update user set html = ") + mode + " where name = 'abc'");
    for (const char* password : {"", "secret"}) {
      for (const char* posted : {"0", "1", "2"}) {
        PostAgain({{"html", posted}, {"password", password}});
        log += std::string("mode ") + mode + " by " + (*password ? "owner" : "visitor") +
               " posted " + posted + ": " + Stored("html") + " " + Stored("whoinfo") +
               "\n";
      }
    }
  }
  ExpectGolden("AddCheck/treated.txt", log);
}

TEST_F(AddCheckTest, NegativeLybMsgLenIsAFault) {
  msg_len_ = Value(-1);
  EXPECT_THROW(Post(), std::invalid_argument);
}

TEST_F(AddCheckTest, SortKeysAndNumbers) {
  Post();  // first thread
  const std::string first = Stored("id");
  PostAgain();  // second thread
  PostAgain({}, {{"reply", "1"}, {"replyid", first}});
  PostAgain({}, {{"reply", " 1 "}, {"replyid", " " + first + " "}});
  Seed("insert into liuyan(name, subject) values ('abc', 'no key')");
  PostAgain({}, {{"reply", "1"}, {"replyid", Stored("id")}});
  PostAgain({}, {{"reply", "yes"}, {"replyid", "abc"}});  // not a reply
  // Sort key, number and reply flag of each.
  EXPECT_EQ(Joined("select infoseekno || '/' || infono || '/' || newinfo from liuyan "
                   "where guestname = '小明' order by id",
                   " "),
            "19999/0/0 29999/1/0 19899/2/1 19899/3/1 19999/4/1 69999/5/0");
  EXPECT_EQ(Infoserial(), "6");
}

TEST_F(AddCheckTest, FailedInsertLeavesTheCounter) {
  RefuseWrites("liuyan", "insert");
  EXPECT_THROW(Post(), data::Error);
  EXPECT_EQ(Infoserial(), "0");
  EXPECT_EQ(page().Get("ly_tijiao"), Value("0"));
  Seed("drop trigger refuse_insert_liuyan");
  NextRequest();
  Post();
  EXPECT_EQ(Stored("infono"), "0");
  EXPECT_EQ(Infoserial(), "1");
}

TEST_F(AddCheckTest, ConcurrentPostsGetDistinctNumbers) {
  constexpr int kThreads = 8, kPostsEach = 5, kAll = kThreads * kPostsEach;
  std::vector<std::thread> threads;
  std::vector<std::string> bodies(kAll);
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
        testing::RunPage(visitor, dsn(), &Guestbook::AddCheck);
        bodies[t * kPostsEach + i] = visitor.body;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& body : bodies) EXPECT_TRUE(body.starts_with("<html>")) << body;
  EXPECT_EQ(Count("select distinct infono from liuyan"), kAll);
  EXPECT_EQ(Count("select distinct infoseekno from liuyan"), kAll);
  EXPECT_EQ(
      Scalar("select count(*) || ' ' || min(infono) || '-' || max(infono) from liuyan"),
      "40 0-39");
  EXPECT_EQ(Infoserial(), std::to_string(kAll));
}

}  // namespace
}  // namespace tb
