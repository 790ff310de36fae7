// Runs the built `tavobook seed` on a temporary store and reads what it stored.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace tb {
namespace {

int Seed(const std::string& args) {
  const std::string command =
      std::string(TB_BINARY_DIR) + "/tavobook seed " + args + " >/dev/null 2>&1";
  return WEXITSTATUS(std::system(command.c_str()));
}

TEST(SeedTest, StoresRowsAsRegistrationAndPostingDo) {
  testing::TempDir dir;
  const std::string db = (dir.path() / "sub" / "s.db").string();
  ASSERT_EQ(Seed("--db " + db + " --guestbooks 3 --messages 20"), 0);
  for (int run = 0; run < 2; ++run)
    ASSERT_EQ(Seed("--db " + db + " --messages 5 --book small"), 0);
  EXPECT_EQ(Seed("--db " + db + " --book no-name"), 2);

  data::SqlitePool pool;
  struct Case {
    std::string_view sql;
    std::vector<std::string> want;
  } cases[] = {
      {"select group_concat(name) from user", {"book1,book2,book3,small"}},
      {"select password, html, modifytime = regtime, length(crccode), length(idcard) "
       "from user where name = 'book2'",
       {"pass1234", "2", "1", "6", "18"}},
      {"select infoserial, (select count(*) from liuyan where name = u.name) from user u "
       "where name = 'small'",
       {"10", "10"}},
      {"select infono, infoseekno, html, priviteword, whoinfo, newinfo, font, fontsize, "
       "fontcolor, length(message) >= 200 from liuyan where name = 'small' order by id "
       "desc limit 1",
       {"9", "109999", "2", "0", "0", "0", "宋体", "3", "#000000", "1"}},
      {"select count(*) - count(distinct infono) from liuyan where name = 'small'",
       {"0"}},
      {"select count(*) from liuyan where name = 'book1' and subject like '%digest%'",
       {"2"}},
      {"select infono from liuyan where name = 'book1' and subject like '%needle%'",
       {"10"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(testing::StoreRows(pool, "sqlite:" + db, c.sql)[0], c.want) << c.sql;
}

}  // namespace
}  // namespace tb
