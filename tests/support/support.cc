#include "tests/support/support.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "component/members/members.h"
#include "data/error.h"
#include "data/schema.h"
#include "host/ascii.h"

namespace tb::testing {

Rows StoreRows(data::EngineSource& pool, std::string_view dsn, std::string_view sql) {
  data::Connection conn(pool);
  conn.Open(dsn);
  Rows out;
  for (const data::Row& row : conn.engine()->Run(sql).rows) {
    std::vector<std::string>& texts = out.emplace_back();
    for (const Value& v : row) texts.push_back(v.Text());
  }
  return out;
}

std::string StoreScalar(data::EngineSource& pool, std::string_view dsn,
                        std::string_view sql) {
  Rows rows = StoreRows(pool, dsn, sql);
  return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

std::int64_t StoreCount(data::EngineSource& pool, std::string_view dsn,
                        std::string_view sql) {
  return std::stoll(StoreScalar(
      pool, dsn, "select count(*) from (" + std::string(sql) + ") as counted"));
}

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tavobook-test-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestStore::TestStore(data::EngineSource& pool) : pool_(pool) {
  const char* server = std::getenv("TB_TEST_MARIADB");
  if (!server || !*server) {
    dsn_ = "sqlite:" + (dir_.path() / "test.db").string();
    return;
  }
  server_dsn_ = server;
  if (!server_dsn_.starts_with("mariadb://")) {  // a file that holds it
    std::ifstream in(server_dsn_);
    std::getline(in, server_dsn_);
  }
  // Named after the temporary folder, which no other test holds at once.
  database_ =
      "tbt_" + dir_.path().filename().string().substr(sizeof("tavobook-test-") - 1);
  StoreRows(pool_, server_dsn_, "create database " + database_);
  dsn_ = server_dsn_.substr(0, server_dsn_.rfind('/') + 1) + database_;
}

TestStore::~TestStore() {
  if (server_dsn_.empty()) return;
  try {
    StoreRows(pool_, server_dsn_, "drop database if exists " + database_);
  } catch (const data::Error&) {
    // The server is gone; its data folder goes with the test run.
  }
}

PageTest::PageTest() {
  page_ = std::make_unique<host::MemoryPage>(pool_);
  NextRequest();
}

PageTest::~PageTest() {
  if (book_) book_->OnEndPage();
}

void PageTest::NextRequest() {
  auto next = std::make_unique<host::MemoryPage>(pool_);
  next->session_values = page_->session_values;
  next->now = DateTime{2026, 3, 5, 14, 7, 9};
  next->random.seed(42);
  next->server_variables = {};  // in place of the page's own remote_addr
  next->server_variables.Add("remote_addr", "10.1.2.3");
  next->ad_script_url = "http://ad.example/ad.js";
  if (book_) book_->OnEndPage();
  page_ = std::move(next);
  book_ = std::make_unique<Guestbook>();
  book_->SetDSNtemp(dsn());
  book_->OnStartPage(*page_);
}

void PageTest::LogIn(std::string_view name) {
  page_->Set("ly_name", Value(name));
  page_->Set("ly_log", Value("yes"));
  if (name == "admin") page_->Set("ly_admin_log", Value("yes"));
}

void PageTest::SeedSeries(std::string_view insert, std::string_view select, int last,
                          int first) {
  // MariaDB stops a recursion after 1000 rounds unless told otherwise.
  Seed(std::string(store_.mariadb() ? "set session max_recursive_iterations = 10000000; "
                                    : "") +
       std::string(insert) + " with recursive k(i) as (select " + std::to_string(first) +
       " union all select i + 1 from k where i < " + std::to_string(last) + ") " +
       std::string(select));
}

std::string PageTest::Joined(std::string_view sql, std::string_view separator) {
  std::string out;
  for (const auto& row : StoreRows(pool_, dsn(), sql))
    out += (out.empty() ? "" : std::string(separator)) + row.at(0);
  return out;
}

void PageTest::ClearStore() {
  Seed("delete from user; delete from liuyan");
  Seed(store_.mariadb() ? "alter table user auto_increment = 1; "
                          "alter table liuyan auto_increment = 1"
                        : "delete from sqlite_sequence");
}

void PageTest::RefuseWrites(std::string_view table, std::string_view event) {
  const std::string trigger = "refuse_" + std::string(event) + "_" + std::string(table);
  const std::string head = "create trigger " + trigger + " before " + std::string(event) +
                           " on " + std::string(table);
  Seed(store_.mariadb()
           ? head + " for each row signal sqlstate '45000' set message_text = 'refused'"
           : head + " begin select raise(abort, 'refused'); end");
}

void PageTest::Seed(std::string_view sql, const std::vector<Value>& params) {
  data::Connection conn(pool_);
  conn.Open(dsn());
  if (!store_.mariadb()) {
    conn.Execute(sql, params);
    return;
  }
  // MariaDB prepares one statement at a time: cut the text at each ";"
  // outside quotes.
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= sql.size(); ++i) {
    if (i < sql.size() && sql[i] == '\'') quoted = !quoted;
    if (i < sql.size() && (quoted || sql[i] != ';')) continue;
    const std::string_view statement =
        host::Trim(sql.substr(start, i - start), " \t\r\n");
    if (!statement.empty()) conn.Execute(statement, params);
    start = i + 1;
  }
  // Seeded messages are searched through the text index, as a server
  // would have indexed them by then.
  data::IndexPendingGrams(conn, 10000);
}

void PageTest::SeedFile(std::string_view name) {
  std::string sql;
  for (const Case& line : ReadCases(name)) sql += line.line + "\n";
  Seed(sql);
}

void PageTest::Request(const Fields& query, const Fields& form) {
  NextRequest();
  for (const auto& [k, v] : query) page_->query.Add(k, v);
  for (const auto& [k, v] : form) page_->form.Add(k, v);
}

std::string PageTest::Insert(std::string_view table, Columns base,
                             const Columns& changes) {
  for (const auto& [column, value] : changes) {
    // Named in the capture: clang 14 cannot capture a structured binding.
    auto same = [&name = column](const auto& c) { return c.first == name; };
    if (auto it = std::find_if(base.begin(), base.end(), same); it != base.end())
      it->second = value;
    else
      base.emplace_back(column, value);
  }
  std::string names, marks;
  std::vector<Value> values;
  for (const auto& [column, value] : base) {
    names += (names.empty() ? "" : ",") + column;
    marks += marks.empty() ? "?" : ",?";
    values.push_back(value);
  }
  Seed("insert into " + std::string(table) + "(" + names + ") values (" + marks + ")",
       values);
  return Scalar("select max(id) from " + std::string(table));
}

std::string PageTest::AddBook(std::string_view name, const Columns& changes) {
  Columns row = {{"name", Value(name)}};
  row.insert(row.end(), book_defaults_.begin(), book_defaults_.end());
  return Insert("user", std::move(row), changes);
}

std::string PageTest::AddMessage(std::string_view book, const Columns& changes) {
  Columns row = {{"name", Value(book)}};
  row.insert(row.end(), message_defaults_.begin(), message_defaults_.end());
  return Insert("liuyan", std::move(row), changes);
}

void ExpectGolden(std::string_view name, std::string_view actual) {
  std::filesystem::path file =
      std::filesystem::path(TB_SOURCE_DIR) / "tests" / "golden" / name;
  std::string lines;  // a tag a line
  for (std::size_t i = 0; i < actual.size(); ++i) {
    const char next = i + 1 < actual.size() ? actual[i + 1] : '\0';
    if (i > 0 && actual[i] == '<' &&
        (std::isalpha(static_cast<unsigned char>(next)) || next == '!'))
      lines += '\n';
    lines += actual[i];
  }
  const char* update = std::getenv("TB_UPDATE_GOLDEN");
  if (update && std::string_view(update) == "1") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << lines;
    return;
  }
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << file << " (run with TB_UPDATE_GOLDEN=1)";
  const std::string want(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(want, lines) << "golden file " << file;
}

std::string CaseTest::Run(const Case& c, std::string_view sql) {
  const Member* member = FindMember(c[0]);
  EXPECT_TRUE(member && member->invoke) << c.line;
  if (!member || !member->invoke) return "";
  if (c[1] != "=") {
    page().session_values.clear();
    if (c[1] != "-") LogIn(c[1]);
  }
  Fields query, form, cookies, properties, session;
  std::vector<std::string> fields = base_;
  fields.insert(fields.end(), c.fields.begin() + 2, c.fields.end());
  for (std::string field : fields) {
    // "-" before a field takes it out of its list.
    const bool remove = field.size() > 1 && field.starts_with('-');
    if (remove) field.erase(0, 1);
    const std::size_t eq = std::min(field.find('='), field.size());
    const std::string value = field.substr(std::min(eq + 1, field.size()));
    Fields* list = &form;
    std::string key = field.substr(0, eq);
    if (field.starts_with('!')) {
      Seed(field.substr(1));
      continue;
    }
    for (auto [prefix, kind] : {std::pair<std::string_view, Fields*>{"cookie:", &cookies},
                                {"session:", &session},
                                {"@", &properties},
                                {"?", &query}}) {
      if (key.starts_with(prefix)) {
        list = kind;
        key.erase(0, prefix.size());
        break;
      }
    }
    // A key is in its list once, a later value replacing an earlier one.
    const auto it = std::find_if(list->begin(), list->end(),
                                 [&](const auto& f) { return f.first == key; });
    if (it != list->end() && remove)
      list->erase(it);
    else if (it != list->end())
      it->second = value;
    else if (!remove)
      list->emplace_back(key, value);
  }
  for (const auto& [key, value] : session) page().Set(key, Value(value));
  Request(query, form);
  for (const auto& [name, value] : cookies) page().cookies.Add(name, value);
  for (const auto& [name, value] : properties) {
    const Member* property = FindMember(name);
    property->set(book(), value == "-"             ? Value()
                          : value.starts_with('#') ? Value(std::stod(value.substr(1)))
                                                   : Value(value));
  }
  std::string out = "## " + c.line + "\n";
  std::vector<Value> args;
  try {
    const Value result = member->invoke(book(), args);
    if (!result.IsEmpty()) out += "result " + Shown(result) + "\n";
  } catch (const data::Error&) {
    out += "threw a store error\n";
  } catch (const std::exception& e) {
    out += std::string("threw ") + e.what() + "\n";
  }
  out += Outcome(page());
  for (std::size_t at = 0; at < sql.size();) {
    const std::size_t end = std::min(sql.find("; ", at), sql.size());
    out += "store " + Joined(sql.substr(at, end - at)) + "\n";
    at = end + 2;
  }
  return out;
}

std::string CaseTest::RunAll(std::string_view name, std::string_view sql) {
  std::string out;
  for (const Case& c : ReadCases(name)) out += Run(c, sql);
  return out;
}

std::shared_ptr<data::Engine> RecordingSource::Acquire(std::string_view dsn) {
  struct Recorder : data::Engine {
    Recorder(std::shared_ptr<data::Engine> e, RecordingSource& s)
        : engine(std::move(e)), source(s) {}
    data::Result Run(std::string_view sql, const std::vector<Value>& params) override {
      source.statements.emplace_back(sql);
      data::Result result = engine->Run(sql, params);
      source.most_rows = std::max(source.most_rows, result.rows.size());
      return result;
    }
    void Begin() override { source.statements.emplace_back("begin"), engine->Begin(); }
    void Commit() override { source.statements.emplace_back("commit"), engine->Commit(); }
    void Rollback() override {
      source.statements.emplace_back("rollback"), engine->Rollback();
    }
    Condition Contains(std::string_view column, std::string_view keyword) const override {
      return engine->Contains(column, keyword);
    }
    std::optional<Condition> IndexedSuperset(std::string_view column,
                                             std::string_view keyword) const override {
      return engine->IndexedSuperset(column, keyword);
    }
    std::string ChangeMark() override { return engine->ChangeMark(); }
    std::shared_ptr<data::Engine> engine;
    RecordingSource& source;
  };
  return std::make_shared<Recorder>(pool_.Acquire(dsn), *this);
}

std::string Shown(const Value& value) {
  if (value.IsEmpty()) return "-";
  return value.IsText() ? "\"" + value.Text() + "\"" : value.Text();
}

std::string Outcome(const host::MapPage& page) {
  std::string out = "body: " + page.body + "\n";
  if (page.redirect) out += "redirect: " + *page.redirect + "\n";
  for (const auto& [name, cookie] : page.response_cookies)
    out += "cookie " + name + "=" + cookie.value + " until " +
           cookie.expires.value_or("-") + "\n";
  for (const auto& [key, value] : page.session_values)
    out += "session " + key + "=" + Shown(value) + "\n";
  return out;
}

std::string RowsText(data::EngineSource& pool, std::string_view dsn,
                     std::string_view sql) {
  data::Connection conn(pool);
  conn.Open(dsn);
  const data::Result result = conn.engine()->Run(sql);
  std::string out;
  for (const data::Row& row : result.rows) {
    for (std::size_t i = 0; i < row.size(); ++i)
      out += result.columns[i] + "=" + Shown(row[i]) + "\n";
    out += "\n";
  }
  return out;
}

void RunPage(host::MapPage& page, std::string_view dsn, void (Guestbook::*member)()) {
  Guestbook book;
  book.SetDSNtemp(std::string(dsn));
  book.OnStartPage(page);
  (book.*member)();
  book.OnEndPage();
}

}  // namespace tb::testing
