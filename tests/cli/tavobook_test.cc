// Runs the built `tavobook call`, `seed`, `backup` and `migrate` end to end on
// temporary stores, and `make run` as a dry run. With TB_TEST_MARIADB set,
// migrate's target is a MariaDB database.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>

#include "data/connection.h"
#include "data/schema.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Ran {
  int status;
  std::string out, err;
};

std::string FileText(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// The exit status, stdout and stderr of the shell command `command` run in
// the folder `cwd` (this one when empty) with `input` on stdin.
Ran Shell(const std::string& command, const fs::path& cwd = {},
          const std::string& input = "") {
  TempDir dir;
  std::ofstream(dir.path() / "in") << input;
  const std::string line = "(" + (cwd.empty() ? "" : "cd " + cwd.string() + " && ") +
                           command + ") <" + (dir.path() / "in").string() + " 2>" +
                           (dir.path() / "err").string();
  FILE* pipe = popen(line.c_str(), "r");
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = WEXITSTATUS(pclose(pipe));
  return {status, out, FileText(dir.path() / "err")};
}

Ran Tavobook(const std::string& args, const fs::path& cwd = {},
             const std::string& input = "") {
  return Shell(std::string(TB_BINARY_DIR) + "/tavobook " + args, cwd, input);
}

TEST(CallTest, OutputOfEachMethodAndRefusedInput) {
  const json test = json::parse(R"({"body":"this is a test!","redirect":null,"cookies":{},
      "session":{},"result":null,"args":[],"error":null})");
  for (const auto& c : ReadCases("cli/call.txt")) {
    SCOPED_TRACE(c[0]);
    const auto run = Tavobook("call", {}, c[0]);
    EXPECT_EQ(run.status, c[1] == "exit 2" ? 2 : 0) << run.out;
    if (c[1] == "exit 2") continue;
    json want = test;
    want.merge_patch(json::parse(c[1]));
    EXPECT_EQ(json::parse(run.out), want);
  }
  // The input and output keys, and every member with its kind.
  Ran help = Tavobook("call --help");
  EXPECT_EQ(help.status, 0);
  help.out.replace(help.out.find(TB_BINARY_DIR), std::string(TB_BINARY_DIR).size(), ".");
  ExpectGolden("cli/call_help.txt", help.out);
}

// Without a DSNtemp a call uses serve's default store, data/tavobook.db.
TEST(CallTest, WithoutDsnTheCallUsesServesDefaultStore) {
  for (const auto& [properties, store] : {std::pair{json::object(), "data/tavobook.db"},
                                          {{{"dsntemp", "sqlite:own.db"}}, "own.db"}}) {
    TempDir dir;
    const json input = {
        {"method", "ShowBook"}, {"properties", properties}, {"query", {{"name", "abc"}}}};
    auto run = Tavobook("call", dir.path(), input.dump());
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(json::parse(run.out)["error"], nullptr) << run.out;
    ASSERT_TRUE(fs::exists(dir.path() / store)) << store;
    data::SqlitePool pool;
    EXPECT_EQ(
        StoreCount(pool, "sqlite:" + (dir.path() / store).string(), "select * from user"),
        0);
    EXPECT_EQ(fs::exists(dir.path() / "data"), store != std::string("own.db"));
  }
}

TEST(SeedTest, StoresRowsAsRegistrationAndPostingDo) {
  TempDir dir;
  const std::string db = (dir.path() / "sub" / "s.db").string();
  ASSERT_EQ(Tavobook("seed --db " + db + " --guestbooks 3 --messages 10000").status, 0);
  for (std::string prefix : {"", "sqlite:"})  // a path or a connection string
    ASSERT_EQ(Tavobook("seed --db " + prefix + db + " --messages 5 --book small").status,
              0);
  EXPECT_EQ(Tavobook("seed --db " + db + " --book no-name").status, 2);
  data::SqlitePool pool;
  for (const auto& c : ReadCases("cli/seed.txt"))
    EXPECT_EQ(StoreRows(pool, "sqlite:" + db, c[0]).at(0),
              std::vector(c.begin() + 1, c.end()))
        << c[0];
}

// `make run`'s variables reach the serve command line.
TEST(MakeRunTest, PortAndStoreReachServe) {
  for (const auto& c : ReadCases("cli/make_run.txt")) {
    const auto run =
        Shell("make -s -n -C " + std::string(TB_SOURCE_DIR) + " run " + c[0]);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.out.ends_with(c[1] + "\n")) << run.out;
  }
}

TEST(BackupTest, CopiesWhatWasCommittedWhileAnotherConnectionWrites) {
  TempDir dir;
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
  const Ran backup = Tavobook("backup --db sqlite:live.db --to copy.db", dir.path());
  const int after = written;
  stop = true;
  writer.join();
  ASSERT_EQ(backup.status, 0) << backup.err;
  const std::string copy = "sqlite:" + (dir.path() / "copy.db").string();
  EXPECT_EQ(StoreScalar(pool, copy, "pragma integrity_check"), "ok");
  const auto rows =
      StoreRows(pool, copy, "select count(*), (select n from liuyan_count) from liuyan");
  EXPECT_GE(std::stoi(rows[0][0]), 3000 + before);
  // The writer counts an insert after its commit: one more may be in.
  EXPECT_LE(std::stoi(rows[0][0]), 3000 + after + 1);
  EXPECT_EQ(rows[0][1], rows[0][0]);  // the count kept by triggers agrees
}

TEST(BackupTest, RefusalsAndFailuresLeaveTheTargetAsItWas) {
  TempDir dir;
  std::ofstream(dir.path() / "old.db") << "old";
  std::ofstream(dir.path() / "garbage.db") << std::string(8192, 'g');
  fs::create_directory(dir.path() / "folder");
  ASSERT_EQ(Tavobook("seed --db good.db --guestbooks 1", dir.path()).status, 0);
  auto listing = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      names.insert(entry.path().filename().string());
    return names;
  };
  const std::set<std::string> names = listing();
  for (const auto& c : ReadCases("cli/backup_refusals.txt")) {
    const Ran run = Tavobook("backup " + c[0], dir.path());
    EXPECT_EQ(std::to_string(run.status), c[1]) << c[0];
    EXPECT_NE(run.err.find(c[2]), std::string::npos) << c[0] << ": " << run.err;
    EXPECT_EQ(listing(), names) << c[0];
    EXPECT_EQ(FileText(dir.path() / "old.db"), "old") << c[0];
  }
}

TEST(MigrateTest, CopiesEveryRowAndColumnIntoAnEmptyStoreOnly) {
  TempDir dir;
  ASSERT_EQ(Tavobook("seed --db src.db --guestbooks 3 --messages 30", dir.path()).status,
            0);
  data::StorePool pool;
  const std::string from = "sqlite:" + (dir.path() / "src.db").string();
  // Texts in integer columns, which SQLite keeps and MariaDB refuses; the
  // last message deleted, so its id is never handed out again; a first
  // batch of 21 MB, more than one statement may carry.
  StoreRows(pool, from,
            "update liuyan set message = hex(zeroblob(1500000)) where id <= 7; "
            "update liuyan set touxiang = 'abc' where id = 5; "
            "update user set infolistno = '' where id = 2; "
            "delete from liuyan where id = 30");
  TestStore target(pool);
  const Ran run =
      Tavobook("migrate --batch 7 --from " + from + " --to " + target.dsn(), dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("copied 29 of 29 messages"), std::string::npos) << run.err;
  if (target.mariadb()) {
    for (const char* says : {"stored NULL for 1 value of liuyan.touxiang",
                             "1 value of user.infolistno that the target's number "
                             "column cannot hold (the first in the row with id 2)"})
      EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    StoreRows(pool, from,
              "update liuyan set touxiang = null where id = 5; "
              "update user set infolistno = null where id = 2");
  }
  for (const std::string_view sql :
       {"select * from user order by id", "select * from liuyan order by id",
        "select name, n from liuyan_count where n > 0 order by name"})
    EXPECT_EQ(StoreRows(pool, target.dsn(), sql), StoreRows(pool, from, sql)) << sql;
  EXPECT_EQ(StoreScalar(pool, target.dsn(), "select n from page_version"), "32");
  // A message written later goes to MariaDB's search index by the queue:
  // found while queued, and by its words (in either case of its letters)
  // once indexed. Messages 1 to 7, too long for their words, are candidates
  // of every search; one deleted while queued gets no words.
  StoreRows(pool, target.dsn(),
            "insert into liuyan(name, subject) values ('book1', 'zebra')");
  EXPECT_EQ(StoreScalar(pool, target.dsn(), "select max(id) from liuyan"), "31");
  if (target.mariadb()) {
    const auto engine = pool.Acquire(target.dsn());
    auto found = [&] {
      const auto superset = engine->IndexedSuperset("subject", "ZEBra");
      return engine
          ->Run("select count(*) || ' ' || max(id) from liuyan where " + superset->sql,
                superset->params)
          .rows.at(0)
          .at(0)
          .Text();
    };
    EXPECT_EQ(found(), "8 31");
    StoreRows(pool, target.dsn(),
              "insert into liuyan(name, subject) values ('b', 'zebra')");
    StoreRows(pool, target.dsn(), "delete from liuyan where id = 32");
    data::Connection conn(pool);
    conn.Open(target.dsn());
    {
      // Indexing waits for no post: one holds the store's write lock.
      data::Transaction post(pool.Acquire(target.dsn()));
      data::IndexPendingGrams(conn, 1);
    }
    EXPECT_EQ(StoreScalar(pool, target.dsn(),
                          "select (select count(*) from liuyan_gram_pending) || ' ' || "
                          "count(*) || ' ' || max(grams) from liuyan_gram"),
              "0 30 z0000000");
    EXPECT_EQ(found(), "8 31");
  }
  // Into a store that holds rows, or from one that is missing: refused.
  for (const auto& c : ReadCases("cli/migrate_refusals.txt")) {
    const Ran again =
        Tavobook("migrate --from " + c[0] + " --to " + target.dsn(), dir.path());
    EXPECT_EQ(std::to_string(again.status), c[1]) << c[0];
    EXPECT_NE(again.err.find(c[2]), std::string::npos) << again.err;
  }
  EXPECT_EQ(StoreCount(pool, target.dsn(), "select id from liuyan"), 30);
}

}  // namespace
}  // namespace tb::testing
