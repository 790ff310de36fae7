#include <gtest/gtest.h>

#include <string>

#include "component/messages.h"
#include "tests/accounts/accounts_fixture.h"

namespace tb {
namespace {

constexpr std::string_view kBack =
    "<p></p><a href=javascript:history.go(-1);>返回上一步，重新填写</a>";

class RegCheckTest : public testing::AccountsTest {
 protected:
  // A request with a form that passes every check, `changes` applied over it.
  void Fill(const testing::Fields& changes = {}) {
    testing::Fields form = {
        {"name", "tom_1"},
        {"password", "pw<1/x"},
        {"password2", "pw<1/x"},
        {"email", "tom@mail.example"},
        {"homepage", "http://tom.example/"},
        {"html", "1"},
        {"titletop", "汤姆的留言板"},
        {"question", "我的生日？"},
        {"answer", "五月一日"},
        {"idcard", "110101199001011234"},
        {"nettype", "3"},
    };
    for (const auto& [k, v] : changes) {
      for (auto& field : form) {
        if (field.first == k) field.second = v;
      }
    }
    Request({}, form);
  }
  void Register(const testing::Fields& changes = {}) {
    Fill(changes);
    book().RegCheck();
  }
  std::string Stored(std::string_view column) {
    return Scalar("select " + std::string(column) + " from user where name = 'tom_1'");
  }
  static std::string Report(std::initializer_list<int> numbers) {
    std::string out;
    for (int n : numbers) out += std::string(Message(n)) + "<br>";
    return out + std::string(kBack);
  }
};

TEST_F(RegCheckTest, AllFieldsEmptyReportsEveryFailureInOrder) {
  Request({}, {});
  book().RegCheck();
  testing::ExpectGolden("accounts/RegCheck/all_empty.html", page().body);
  EXPECT_EQ(page().body, Report({1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 11}));
  EXPECT_EQ(Count("select id from user"), 0);
  // A name that could not be registered never becomes a session key.
  EXPECT_TRUE(page().Get("reg_check_crccode").IsEmpty());
}

TEST_F(RegCheckTest, EachFaultGivesItsMessages) {
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
      {{{"email", "a@b@c.d"}}, {5}},
      {{{"homepage", ""}}, {6}},
      {{{"homepage", "HTTP://tom.example/"}}, {6}},
      {{{"titletop", ""}}, {7, 8}},
      {{{"titletop", std::string(51, 'x')}}, {8}},
      {{{"question", ""}}, {9}},
      {{{"question", std::string(51, 'q')}}, {9}},
      {{{"answer", "   "}}, {10}},
      {{{"idcard", "1234567890123456"}}, {11}},
      {{{"idcard", "11010119900101123X"}}, {11}},
      {{{"idcard", "12345"}}, {11}},
      {{{"idcard", "abc"}}, {11, 11}},
      {{{"nettype", "0"}}, {12}},
      {{{"name", "a b"}, {"password", "x"}, {"nettype", "0"}}, {1, 3, 4, 12}},
  };
  for (const auto& c : cases) {
    Register(c.changes);
    EXPECT_EQ(page().body, Report(c.messages))
        << c.changes.front().first << "=" << c.changes.front().second;
    EXPECT_EQ(Count("select id from user"), 0);
  }
}

TEST_F(RegCheckTest, StoresTheRowAndShowsTheAddress) {
  Fill({{"name", " tom_1 "},
        {"titletop", " <汤姆>'s |留言\\板 "},
        {"question", " I'm <1> "},
        {"answer", "a\\b"},
        {"idcard", " 110101199001011234 "}});
  book().SetLybUrl(Value("http://gb.example/"));
  book().RegCheck();
  testing::ExpectGolden("accounts/RegCheck/registered.html", page().body);
  EXPECT_EQ(Count("select id from user"), 1);
  EXPECT_EQ(Stored("name"), "tom_1");
  EXPECT_EQ(Stored("password"), "pw<1/x");
  EXPECT_EQ(Stored("email"), "tom@mail.example");
  EXPECT_EQ(Stored("homepage"), "http://tom.example/");
  EXPECT_EQ(Stored("regtime"), "2026-03-05 14:07:09");
  EXPECT_EQ(Stored("ip"), "10.1.2.3");
  EXPECT_EQ(Stored("html"), "1");
  EXPECT_EQ(Stored("titletop"), "〈汤姆〉’s Ⅰ留言＼板");
  EXPECT_EQ(Stored("question"), "I’m 〈1〉");
  EXPECT_EQ(Stored("answer"), "a＼b");
  EXPECT_EQ(Stored("idcard"), "110101199001011234");
  EXPECT_EQ(Stored("nettype"), "3");
  // The stored code is the one kept in the session under the name.
  auto code = page().Get("tom_1reg_check_crccode");
  ASSERT_TRUE(code.IsNumber());
  EXPECT_EQ(Stored("crccode"), code.Text());
  // Every other column keeps its initial value.
  EXPECT_EQ(Stored("counter"), "0");
  EXPECT_EQ(Stored("infoserial"), "0");
  EXPECT_EQ(Stored("hascrc"), "0");
  EXPECT_EQ(Stored("topformat"), "0");
}

TEST_F(RegCheckTest, UnknownMessageModeIsStoredAsUbb) {
  struct Case {
    const char* sent;
    const char* stored;
  } cases[] = {{"0", "0"}, {"1", "1"}, {"2", "2"}, {"3", "2"}, {"", "2"}, {" 1", "2"}};
  for (const auto& c : cases) {
    Seed("delete from user");
    Register({{"html", c.sent}});
    EXPECT_EQ(Stored("html"), c.stored) << "'" << c.sent << "'";
  }
}

TEST_F(RegCheckTest, WithoutLybUrlTheLinkTextIsRelative) {
  Register();
  EXPECT_EQ(page().body,
            "<p></p>恭喜！用户：tom_1注册成功！"
            "<p></p>留言板连接代码：&nbsp;&nbsp; <a href='show.asp?name=tom_1' "
            "target='_blank'>show.asp?name=tom_1</a>");
}

TEST_F(RegCheckTest, ATakenNameIsRefusedWhateverItsLetterCase) {
  Register();
  struct Case {
    const char* name;
    const char* golden;
  } cases[] = {{"tom_1", "taken"}, {"TOM_1", "taken_other_case"}};
  for (const auto& c : cases) {
    Register({{"name", c.name}, {"password", "other12"}, {"password2", "other12"}});
    testing::ExpectGolden(std::string("accounts/RegCheck/") + c.golden + ".html",
                          page().body);
    EXPECT_EQ(Count("select id from user"), 1);
    EXPECT_EQ(Stored("password"), "pw<1/x");
  }
}

TEST_F(RegCheckTest, EachCallDrawsAFreshCodeInTheSession) {
  page().Set("tom_1reg_check_crccode", Value(5));
  Register();
  auto code = page().Get("tom_1reg_check_crccode").Whole();
  ASSERT_TRUE(code);
  EXPECT_GE(*code, 111111);
  EXPECT_LE(*code, 999999);
  page().random.seed(7);
  Seed("delete from user");
  book().RegCheck();  // the same form again, another draw
  EXPECT_NE(page().Get("tom_1reg_check_crccode").Whole(), code);
  EXPECT_EQ(Stored("crccode"), page().Get("tom_1reg_check_crccode").Text());
}

}  // namespace
}  // namespace tb
