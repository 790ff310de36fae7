// The owner's deletion of checked messages from the guestbook page.
#include <gtest/gtest.h>

#include "check/text.h"
#include "tests/board/show_fixture.h"

namespace tb::testing {
namespace {

class ShowDeleteTest : public ShowBookTest {
 protected:
  void SetUp() override {
    SeedBook();
    AddBook("xyz", {{"titletop", "另一个留言本"}});
    for (int i = 1; i <= 3; ++i) {
      ids_[i] = SeedMessage(i, {{"subject", "主题" + std::to_string(i)}});
    }
    xyz_id_ = SeedMessage(1, {{"name", "xyz"}});
  }

  std::string Delete(const std::string& lydelno) {
    return Show({{"name", "abc"}, {"del", "1"}}, {{"lydelno", lydelno}});
  }

  std::string Remaining() {
    return Scalar(
        "select group_concat(infono || name, ',') from "
        "(select infono, name from liuyan order by id)");
  }

  std::string ids_[4];
  std::string xyz_id_;
};

TEST_F(ShowDeleteTest, OwnerDeletesCheckedMessages) {
  LogIn("abc");
  // Several boxes arrive joined by a comma and a blank.
  ExpectGolden("ShowBook/delete_ok.html", Delete(ids_[1] + ", " + ids_[3]));
  EXPECT_EQ(Remaining(), "2abc,1xyz");
}

TEST_F(ShowDeleteTest, OwnerRecognisedWhateverTheLetterCase) {
  LogIn("ABC");
  Delete(ids_[2]);
  EXPECT_EQ(Remaining(), "1abc,3abc,1xyz");
}

TEST_F(ShowDeleteTest, SuperuserDeletesAnyMessage) {
  LogIn("admin");
  Delete(xyz_id_ + "," + ids_[1]);
  EXPECT_EQ(Remaining(), "2abc,3abc");
}

TEST_F(ShowDeleteTest, Refusals) {
  // In lydelno, "#1" to "#3" stand for the ids of messages 1 to 3 of "abc"
  // and "#x" for the message of "xyz".
  struct Case {
    const char* golden;
    std::string_view lydelno;
    const char* remaining;
  } cases[] = {
      {"ShowBook/delete_no_ids.html", "", "1abc,2abc,3abc,1xyz"},
      // Every id is checked before any message goes.
      {"ShowBook/delete_bad_ids.html", "#1,2 or 1=1", "1abc,2abc,3abc,1xyz"},
      {"ShowBook/delete_bad_ids.html", "#1,", "1abc,2abc,3abc,1xyz"},
      {"ShowBook/delete_bad_ids.html", "-#1", "1abc,2abc,3abc,1xyz"},
      {"ShowBook/delete_bad_ids.html", "#1,#2.0", "1abc,2abc,3abc,1xyz"},
      // Messages before the stop stay deleted.
      {"ShowBook/delete_not_found.html", "#1, 999", "2abc,3abc,1xyz"},
      {"ShowBook/delete_refused.html", "#2,#x,#3", "1abc,3abc,1xyz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lydelno);
    Seed("delete from liuyan");
    Seed("delete from user");
    SetUp();
    std::string lydelno(c.lydelno);
    for (auto [mark, id] : {std::pair{"#1", ids_[1]}, std::pair{"#2", ids_[2]},
                            std::pair{"#3", ids_[3]}, std::pair{"#x", xyz_id_}}) {
      lydelno = check::ReplaceAll(lydelno, mark, id);
    }
    page().session_values.clear();
    LogIn("abc");
    ExpectGolden(c.golden, Delete(lydelno));
    EXPECT_EQ(Remaining(), c.remaining);
  }
}

TEST_F(ShowDeleteTest, NothingDeletedWithoutLogin) {
  const std::string body = Delete(ids_[1]);
  EXPECT_EQ(Remaining(), "1abc,2abc,3abc,1xyz");
  EXPECT_NE(body.find("第1条留言"), std::string::npos);
  EXPECT_EQ(body.find("删除所选择的留言"), std::string::npos);
}

TEST_F(ShowDeleteTest, NothingDeletedWithoutTheDeleteField) {
  LogIn("abc");
  Show({{"name", "abc"}, {"del", "0"}}, {{"lydelno", ids_[1]}});
  EXPECT_EQ(Remaining(), "1abc,2abc,3abc,1xyz");
}

}  // namespace
}  // namespace tb::testing
