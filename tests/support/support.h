// File: support.h — what the operation tests share: a fresh store in a
// temporary file, a page context bound to a component, transcripts of what
// requests left, and golden files.
//
// Example:
//   class ShowBookTest : public tb::testing::PageTest {};
//   TEST_F(ShowBookTest, EmptyBook) {
//     Seed("insert into user(name) values('abc')");
//     page().query.Add("name", "abc");
//     book().ShowBook();
//     ExpectGolden("ShowBook/empty.html", page().body);
//   }
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/guestbook.h"
#include "data/connection.h"
#include "data/store_pool.h"
#include "host/memory/memory_page.h"
#include "tests/support/cases.h"

namespace tb::testing {

// A directory under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A fresh empty store: a SQLite file in a temporary folder or, when the
// environment variable TB_TEST_MARIADB holds the connection string of a
// MariaDB database the tests may make others from, a database of its own
// on that server, dropped at the end.
class TestStore {
 public:
  explicit TestStore(data::EngineSource& pool);
  ~TestStore();
  TestStore(const TestStore&) = delete;
  TestStore& operator=(const TestStore&) = delete;
  const std::string& dsn() const { return dsn_; }
  bool mariadb() const { return !server_dsn_.empty(); }

 private:
  data::EngineSource& pool_;
  TempDir dir_;
  std::string server_dsn_, database_, dsn_;
};

// Stored rows, each value as text.
using Rows = std::vector<std::vector<std::string>>;

// Queries on the store at `dsn`: every row, the first column of the first
// row ("" when none), and how many rows the query gives.
Rows StoreRows(data::EngineSource& pool, std::string_view dsn, std::string_view sql);
std::string StoreScalar(data::EngineSource& pool, std::string_view dsn,
                        std::string_view sql);
std::int64_t StoreCount(data::EngineSource& pool, std::string_view dsn,
                        std::string_view sql);

// Request fields, in the order they are added.
using Fields = std::vector<std::pair<std::string, std::string>>;
// Columns of a seeded row, each value bound as a parameter.
using Columns = std::vector<std::pair<std::string, Value>>;

// A fixture with a fresh SQLite store, a page context fixed at
// 2026-03-05 14:07:09 from 10.1.2.3, and a component bound to it with
// DSNtemp set to the store.
class PageTest : public ::testing::Test {
 protected:
  PageTest();
  ~PageTest() override;

  host::MemoryPage& page() { return *page_; }
  Guestbook& book() { return *book_; }
  const std::string& dsn() const { return store_.dsn(); }
  data::StorePool& pool() { return pool_; }

  // Starts a new request in the same store and session: a new page context
  // (the session values carried over) and a new bound component.
  void NextRequest();

  // NextRequest, then these query and form fields.
  void Request(const Fields& query, const Fields& form = {});

  // Inserts a row into `table`: the columns of `base`, those named in
  // `changes` taking their values there and the others of `changes` added.
  // Returns the row's id.
  std::string Insert(std::string_view table, Columns base, const Columns& changes = {});
  // A guestbook (`user` row) or a message of guestbook `book` (`liuyan`
  // row): the fixture's defaults below, then `changes`, as Insert does.
  std::string AddBook(std::string_view name, const Columns& changes = {});
  std::string AddMessage(std::string_view book, const Columns& changes = {});

  // The session of a logged-in owner `name` (and of the superuser for
  // "admin").
  void LogIn(std::string_view name = "abc");

  // `insert` ("insert into T(columns)") of the rows of `select`, a select
  // over the numbers i = `first` to `last` in the table k(i), written so
  // that every engine runs it.
  // Example: SeedSeries("insert into liuyan(name, infono)", "select 'abc', i from k", 5);
  void SeedSeries(std::string_view insert, std::string_view select, int last,
                  int first = 1);
  // The first column of every row of `sql`, joined by `separator`.
  std::string Joined(std::string_view sql, std::string_view separator = ",");
  // Empties the guestbooks and messages; new rows count their ids from 1.
  void ClearStore();
  bool OnMariaDb() const { return store_.mariadb(); }
  // Makes the store refuse every `event` ("insert", "update" or "delete")
  // on `table`, as a store that cannot take a write does.
  void RefuseWrites(std::string_view table, std::string_view event);
  // Runs SQL text against the store, `params` bound to its "?" in order.
  void Seed(std::string_view sql, const std::vector<Value>& params = {});
  // Runs the SQL of tests/cases/<name>, as written.
  void SeedFile(std::string_view name);
  std::string Scalar(std::string_view sql) { return StoreScalar(pool_, dsn(), sql); }
  std::int64_t Count(std::string_view sql) { return StoreCount(pool_, dsn(), sql); }

  // The columns AddBook and AddMessage start from, after the name: none
  // unless a suite sets its own, so the store's column defaults apply.
  Columns book_defaults_, message_defaults_;

 private:
  data::StorePool pool_;
  TestStore store_{pool_};
  std::unique_ptr<host::MemoryPage> page_;
  std::unique_ptr<Guestbook> book_;
};

// Compares `actual`, a line break put before each opening tag ("<" then a
// letter or "!"), byte for byte with the file tests/golden/<name>; with the
// environment variable TB_UPDATE_GOLDEN=1 set, writes the file instead.
void ExpectGolden(std::string_view name, std::string_view actual);

// A value as a transcript shows it: text in double quotes, a number bare,
// "-" when empty.
std::string Shown(const Value& value);

// What a request left in `page`, a line each: the body, the redirect (when
// one), every cookie set with its expiry and every session value.
std::string Outcome(const host::MapPage& page);

// Every row `sql` gives on the store at `dsn`, a "column=value" line each
// (a NULL shown as "-"), each row ending with an empty line.
std::string RowsText(data::EngineSource& pool, std::string_view dsn,
                     std::string_view sql);

// One request of its own, as a worker of the site runs it: a component with
// the store `dsn`, bound to `page`, runs `member`.
void RunPage(host::MapPage& page, std::string_view dsn, void (Guestbook::*member)());

// A page test whose cases are requests, a line each:
//   Member | login | field | field ...
// `Member` is the component member run (any letter case); `login` the owner
// whose session the request has ("admin": the superuser, "-": a visitor,
// "=": the session left as the last case left it). Each field is one of
//   key=value       a form field
//   ?key=value      a query field
//   cookie:key=value  a request cookie
//   session:key=value a session value (text) set before the request
//   @Property=value a property of the component ("#" before a number, "-"
//                   for none)
//   !sql            a statement run on the store before the request
// and "-" before a field leaves it out (-name, -?key2, -session:ly_log).
// The fields of `base_` come before the case's own; a field given twice
// takes the later value.
// Example: AdminLogin | - | name=abc | password=Secret1
class CaseTest : public PageTest {
 protected:
  // Runs `c` and gives its section of a transcript: "## " and the line, then
  // the member's result when it gives one, the outcome (Outcome, after
  // "threw" and what when the member throws), then for each statement of
  // `sql` (split on "; ") the first column of its rows joined by ",".
  std::string Run(const Case& c, std::string_view sql = "");
  // Run for each case of tests/cases/<name>.
  std::string RunAll(std::string_view name, std::string_view sql = "");

  std::vector<std::string> base_;
};

// Passes statements on to a pool and notes their texts and the most rows
// any one of them handed back; transactions and search conditions stay the
// pool's engine's own.
class RecordingSource : public data::EngineSource {
 public:
  explicit RecordingSource(data::EngineSource& pool) : pool_(pool) {}
  std::shared_ptr<data::Engine> Acquire(std::string_view dsn) override;
  std::vector<std::string> statements;
  std::size_t most_rows = 0;

 private:
  data::EngineSource& pool_;
};

}  // namespace tb::testing
