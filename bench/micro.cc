// Micro-benchmarks of what a guestbook page spends its time on: the UBB
// renderer on a long message, the plain-text conversion, one message block,
// one whole ShowBook page of a seeded store, and the page's conversion to
// the wire encoding.
//
// Built on request only: cmake --build build --target tb_micro
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>
#include <string>

#include "board/message_block.h"
#include "check/convert.h"
#include "check/ubb.h"
#include "cli/seed.h"
#include "component/guestbook.h"
#include "data/recordset.h"
#include "data/sqlite_engine.h"
#include "host/encoding.h"
#include "host/memory/memory_page.h"
#include "tests/support/support.h"

namespace tb {
namespace {

constexpr std::size_t kLongMessage = 8 * 1024;
constexpr std::string_view kBook = "abc";

// About `bytes` of UBB mark-up, Chinese and English text and bare addresses.
std::string LongMessage(std::size_t bytes) {
  constexpr std::string_view kPiece =
      "[b]今天路过[/b]，留个言支持一下！Nice site, keep up the good work.\r\n"
      "[url=http://www.example.com/]我的主页[/url] [color=red]红色的字[/color] "
      "see http://www.example.org/a?b=c [i]italic[/i] [quote]引用一段话[/quote]\r\n";
  std::string text;
  while (text.size() < bytes) text += kPiece;
  return text;
}

// A store with guestbook "abc" and `messages` seeded messages, and a page
// context bound to a component on it, as a returning visitor (no counting).
class SeededPage {
 public:
  explicit SeededPage(std::int64_t messages)
      : dsn_("sqlite:" + (dir_.path() / "bench.db").string()) {
    std::ostringstream out, err;
    tb::cli::RunSeed({.db = (dir_.path() / "bench.db").string(),
                      .messages = messages,
                      .book = std::string(kBook)},
                     out, err);
  }

  // A fresh page context for one request of the guestbook.
  host::MemoryPage& Start() {
    page_ = std::make_unique<host::MemoryPage>(pool_);
    page_->query.Add("name", kBook);
    page_->cookies.Add(std::string(kBook) + "ly_hasfw", "1");
    page_->cookies.Add(std::string(kBook) + "ly_name", kBook);
    book_ = std::make_unique<Guestbook>();
    book_->SetDSNtemp(dsn_);
    book_->SetLybMsgLen(Value(std::int64_t{8000}));
    book_->OnStartPage(*page_);
    return *page_;
  }
  Guestbook& book() { return *book_; }
  data::SqlitePool& pool() { return pool_; }
  const std::string& dsn() const { return dsn_; }

 private:
  testing::TempDir dir_;
  data::SqlitePool pool_;
  std::string dsn_;
  std::unique_ptr<host::MemoryPage> page_;
  std::unique_ptr<Guestbook> book_;
};

void UbbCode(benchmark::State& state) {
  const std::string text = LongMessage(kLongMessage);
  for (auto _ : state) benchmark::DoNotOptimize(check::UbbCode(text));
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(UbbCode);

void HtmlText(benchmark::State& state) {
  const std::string text = LongMessage(kLongMessage);
  for (auto _ : state) benchmark::DoNotOptimize(check::HtmlText(text));
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(HtmlText);

void MessageBlock(benchmark::State& state) {
  SeededPage seeded(1);
  host::MemoryPage& page = seeded.Start();
  data::Connection db(seeded.pool());
  db.Open(seeded.dsn());
  data::Recordset rs;
  rs.Open("select * from liuyan where name = ?", db, {Value("abc")});
  const board::BlockPage block{kBook, "", board::Viewer{}, ""};
  for (auto _ : state) {
    page.body.clear();
    board::WriteMessageBlock(page, page, rs, block);
  }
  state.SetBytesProcessed(state.iterations() * page.body.size());
}
BENCHMARK(MessageBlock);

void ShowBookPage(benchmark::State& state) {
  SeededPage seeded(state.range(0));
  std::size_t bytes = 0;
  for (auto _ : state) {
    host::MemoryPage& page = seeded.Start();
    seeded.book().ShowBook();
    bytes += page.body.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(ShowBookPage)->Arg(10)->Arg(1000);

void Gb18030Page(benchmark::State& state) {
  SeededPage seeded(10);
  host::MemoryPage& page = seeded.Start();
  seeded.book().ShowBook();
  for (auto _ : state) benchmark::DoNotOptimize(host::ToGb18030(page.body));
  state.SetBytesProcessed(state.iterations() * page.body.size());
}
BENCHMARK(Gb18030Page);

}  // namespace
}  // namespace tb

BENCHMARK_MAIN();
