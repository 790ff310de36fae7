#include <gtest/gtest.h>

#include <string>

#include "tests/accounts/accounts_fixture.h"
#include "tests/support/check_helpers.h"

namespace tb {
namespace {

constexpr std::string_view kBack =
    "<p></p><a href=javascript:history.go(-1);>返回上一步，重新填写</a>";

class RegCheckTest : public testing::AccountsTest {
 protected:
  // Posts a form that passes every check, `changes` applied over it, with
  // LybUrl set to `site` unless it is empty.
  void Register(const testing::Fields& changes = {}, std::string_view site = "") {
    Request({}, testing::WithChanges({{"name", "tom_1"},
                                      {"password", "pw<1/x"},
                                      {"password2", "pw<1/x"},
                                      {"email", "tom@mail.example"},
                                      {"homepage", "http://tom.example/"},
                                      {"html", "1"},
                                      {"titletop", "汤姆的留言板"},
                                      {"question", "我的生日？"},
                                      {"answer", "五月一日"},
                                      {"idcard", "110101199001011234"},
                                      {"nettype", "3"}},
                                     changes));
    if (!site.empty()) book().SetLybUrl(Value(site));
    book().RegCheck();
  }
  std::string Stored(std::string_view column) {
    return Scalar("select " + std::string(column) + " from user where name = 'tom_1'");
  }
};

TEST_F(RegCheckTest, EachFaultGivesItsMessages) {
  Request({}, {});
  book().RegCheck();
  testing::ExpectGolden("accounts/RegCheck/all_empty.html", page().body);
  // A name that could not be registered never becomes a session key.
  EXPECT_TRUE(page().Get("reg_check_crccode").IsEmpty());
  struct Case {
    testing::Fields changes;
    std::initializer_list<int> messages;
  } cases[] = {
      {{{"name", "ab"}}, {1, 2}},
      {{{"name", "abcdefghij123456"}}, {1, 2}},
      {{{"name", "to-m"}}, {1}},
      {{{"name", "汤姆汤姆"}}, {1}},
      {{{"password", "pw>1"}, {"password2", "pw>1"}}, {3}},
      {{{"password", "abc"}, {"password2", "abc"}}, {3}},
      {{{"password2", "pw<1/X"}}, {4}},
      {{{"password", "it's1"}, {"password2", "its1"}}, {3, 4}},
      {{{"email", "@mail.example"}}, {5}},
      {{{"homepage", "HTTP://tom.example/"}}, {6}},
      {{{"titletop", ""}}, {7, 8}},
      {{{"titletop", std::string(51, 'x')}}, {8}},
      {{{"question", std::string(51, 'q')}}, {9}},
      {{{"answer", "   "}}, {10}},
      {{{"idcard", "1234567890123456"}}, {11}},
      {{{"idcard", "11010119900101123X"}}, {11}},
      {{{"idcard", "abc"}}, {11, 11}},
      {{{"nettype", "0"}}, {12}},
      {{{"name", "a b"}, {"password", "x"}, {"nettype", "0"}}, {1, 3, 4, 12}},
  };
  for (const auto& c : cases) {
    Register(c.changes);
    EXPECT_EQ(page().body, testing::Report(c.messages, "", kBack))
        << c.changes.front().first << "=" << c.changes.front().second;
  }
  EXPECT_EQ(Count("select id from user"), 0);
}

TEST_F(RegCheckTest, StoresTheRowAndShowsTheAddress) {
  page().Set("tom_1reg_check_crccode", Value(5));
  Register({{"name", " tom_1 "},
            {"titletop", " <汤姆>'s |留言\\板 "},
            {"question", " I'm <1> "},
            {"answer", "a\\b"},
            {"idcard", " 110101199001011234 "}},
           "http://gb.example/");
  testing::ExpectGolden("accounts/RegCheck/registered.html", page().body);
  // Every other column keeps its initial value.
  EXPECT_EQ(testing::StoreRows(
                pool(), dsn(),
                "select name, password, email, homepage, regtime, ip, html, "
                "titletop, question, answer, idcard, nettype, counter, infoserial, "
                "hascrc, topformat from user"),
            testing::Rows(
                {{"tom_1", "pw<1/x", "tom@mail.example", "http://tom.example/",
                  "2026-03-05 14:07:09", "10.1.2.3", "1", "〈汤姆〉’s Ⅰ留言＼板",
                  "I’m 〈1〉", "a＼b", "110101199001011234", "3", "0", "0", "0", "0"}}));
  // A fresh code in 111111..999999 is drawn on every call and kept in the
  // session under the name, as stored.
  auto code = page().Get("tom_1reg_check_crccode");
  ASSERT_TRUE(code.IsNumber());
  EXPECT_EQ(Stored("crccode"), code.Text());
  EXPECT_GE(*code.Whole(), 111111);
  EXPECT_LE(*code.Whole(), 999999);
  page().random.seed(7);
  Seed("delete from user");
  book().RegCheck();  // the same form again, another draw
  EXPECT_NE(page().Get("tom_1reg_check_crccode").Whole(), code.Whole());
  EXPECT_EQ(Stored("crccode"), page().Get("tom_1reg_check_crccode").Text());
}

TEST_F(RegCheckTest, UnknownMessageModeIsStoredAsUbb) {
  for (const auto& [sent, stored] : {std::pair{"0", "0"},
                                     {"1", "1"},
                                     {"2", "2"},
                                     {"3", "2"},
                                     {"", "2"},
                                     {" 1", "2"}}) {
    Seed("delete from user");
    Register({{"html", sent}});
    EXPECT_EQ(Stored("html"), stored) << "'" << sent << "'";
  }
  // Without LybUrl the link text is relative.
  EXPECT_EQ(page().body,
            "<p></p>恭喜！用户：tom_1注册成功！"
            "<p></p>留言板连接代码：&nbsp;&nbsp; <a href='show.asp?name=tom_1' "
            "target='_blank'>show.asp?name=tom_1</a>");
}

TEST_F(RegCheckTest, ATakenNameIsRefusedWhateverItsLetterCase) {
  Register();
  for (const char* name : {"tom_1", "TOM_1"}) {
    Register({{"name", name}, {"password", "other12"}, {"password2", "other12"}});
    testing::ExpectGolden(std::string("accounts/RegCheck/taken") +
                              (name[0] == 't' ? "" : "_other_case") + ".html",
                          page().body);
    EXPECT_EQ(Count("select id from user"), 1);
    EXPECT_EQ(Stored("password"), "pw<1/x");
  }
}

}  // namespace
}  // namespace tb
