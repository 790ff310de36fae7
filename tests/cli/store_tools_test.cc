// Runs the built `tavobook backup` and `tavobook migrate` on temporary stores
// and reads what they stored. With TB_TEST_MARIADB set, migrate's target is a
// MariaDB database.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/support.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string err;
};

// Runs `tavobook ARGS` in the folder `dir`; its stderr is kept elsewhere.
Outcome Tavobook(const std::string& args, const fs::path& dir) {
  testing::TempDir logs;
  const std::string err = (logs.path() / "err").string();
  const std::string command = "cd " + dir.string() + " && " + TB_BINARY_DIR +
                              "/tavobook " + args + " >/dev/null 2>" + err;
  const int status = WEXITSTATUS(std::system(command.c_str()));
  std::stringstream text;
  text << std::ifstream(err).rdbuf();
  return {status, text.str()};
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(BackupTest, CopiesWhatWasCommittedWhileAnotherConnectionWrites) {
  testing::TempDir dir;
  ASSERT_EQ(Tavobook("seed --db live.db --messages 3000", dir.path()).status, 0);
  data::SqlitePool pool;
  std::atomic<bool> stop = false;
  std::atomic<int> written = 0;
  std::thread writer([&] {
    data::Connection conn(pool);
    conn.Open("sqlite:" + (dir.path() / "live.db").string());
    while (!stop) {
      conn.Execute("insert into liuyan(name, message) values ('book1', 'later')");
      ++written;
    }
  });
  const int before = written;
  const Outcome backup = Tavobook("backup --db sqlite:live.db --to copy.db", dir.path());
  const int after = written;
  stop = true;
  writer.join();
  ASSERT_EQ(backup.status, 0) << backup.err;
  const std::string copy = "sqlite:" + (dir.path() / "copy.db").string();
  EXPECT_EQ(testing::StoreScalar(pool, copy, "pragma integrity_check"), "ok");
  const auto rows = testing::StoreRows(
      pool, copy, "select count(*), (select n from liuyan_count) from liuyan");
  EXPECT_GE(std::stoi(rows[0][0]), 3000 + before);
  // The writer counts an insert after its commit: one more may be in.
  EXPECT_LE(std::stoi(rows[0][0]), 3000 + after + 1);
  EXPECT_EQ(rows[0][1], rows[0][0]);  // the count kept by triggers agrees
}

TEST(BackupTest, RefusalsAndFailuresLeaveTheTargetAsItWas) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "old.db") << "old";
  std::ofstream(dir.path() / "garbage.db") << std::string(8192, 'g');
  fs::create_directory(dir.path() / "folder");
  ASSERT_EQ(Tavobook("seed --db good.db --guestbooks 1", dir.path()).status, 0);
  const std::set<std::string> names = Names(dir.path());
  struct Case {
    std::string args;
    int status;
    std::string says;
  } cases[] = {
      {"--db mariadb://tb:tb@127.0.0.1/tb --to old.db", 2,
       "mariadb-dump --single-transaction"},
      {"--db missing.db --to old.db", 1, "no SQLite store at missing.db"},
      {"--db garbage.db --to old.db", 1, "file is not a database"},
      {"--db sqlite:good.db --to ./good.db", 2, "is the store itself"},
      {"--db good.db --to folder", 1, "cannot rename the copy to folder"},
  };
  for (const Case& c : cases) {
    const Outcome run = Tavobook("backup " + c.args, dir.path());
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << ": " << run.err;
    EXPECT_EQ(Names(dir.path()), names) << c.args;
    std::stringstream old;
    old << std::ifstream(dir.path() / "old.db").rdbuf();
    EXPECT_EQ(old.str(), "old") << c.args;
  }
}

TEST(MigrateTest, CopiesEveryRowAndColumnIntoAnEmptyStoreOnly) {
  testing::TempDir dir;
  ASSERT_EQ(Tavobook("seed --db src.db --guestbooks 3 --messages 30", dir.path()).status,
            0);
  data::StorePool pool;
  const std::string from = "sqlite:" + (dir.path() / "src.db").string();
  // Texts in integer columns, which SQLite keeps and MariaDB refuses; the
  // last message deleted, so its id is never handed out again.
  testing::StoreRows(pool, from,
                     "update liuyan set touxiang = 'abc' where id = 5; "
                     "update user set infolistno = '' where id = 2; "
                     "delete from liuyan where id = 30");
  testing::TestStore target(pool);
  const Outcome run =
      Tavobook("migrate --batch 7 --from " + from + " --to " + target.dsn(), dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("copied 29 of 29 messages"), std::string::npos) << run.err;
  if (target.mariadb()) {
    EXPECT_NE(run.err.find("stored NULL for 1 value of liuyan.touxiang"),
              std::string::npos);
    EXPECT_NE(run.err.find("1 value of user.infolistno that the target's number column "
                           "cannot hold (the first in the row with id 2)"),
              std::string::npos);
    testing::StoreRows(pool, from,
                       "update liuyan set touxiang = null where id = 5; "
                       "update user set infolistno = null where id = 2");
  }
  for (const std::string_view sql :
       {"select * from user order by id", "select * from liuyan order by id",
        "select name, n from liuyan_count where n > 0 order by name"}) {
    EXPECT_EQ(testing::StoreRows(pool, target.dsn(), sql),
              testing::StoreRows(pool, from, sql))
        << sql;
  }
  EXPECT_EQ(testing::StoreScalar(pool, target.dsn(), "select n from page_version"), "32");
  testing::StoreRows(pool, target.dsn(), "insert into liuyan(name) values ('book1')");
  EXPECT_EQ(testing::StoreScalar(pool, target.dsn(), "select max(id) from liuyan"), "31");

  struct Refusal {
    std::string from;
    int status;
    std::string says;
  } refusals[] = {
      {from, 1, "already holds 3 guestbooks and 30 messages; migrate only into an empty"},
      {"sqlite:missing.db", 2, "no SQLite store at missing.db"},
  };
  for (const Refusal& r : refusals) {
    const Outcome again =
        Tavobook("migrate --from " + r.from + " --to " + target.dsn(), dir.path());
    EXPECT_EQ(again.status, r.status) << r.from;
    EXPECT_NE(again.err.find(r.says), std::string::npos) << again.err;
  }
  EXPECT_EQ(testing::StoreCount(pool, target.dsn(), "select id from liuyan"), 30);
}

}  // namespace
}  // namespace tb
