// Seeding writes through the data layer, as every page does: each insert
// text is prepared once by the store handle and bound per row, all rows in
// one transaction.
#include "cli/seed.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <random>
#include <string_view>
#include <vector>

#include "board/add_check_fields.h"
#include "check/validate.h"
#include "data/connection.h"
#include "data/sqlite_engine.h"
#include "host/date_time.h"
#include "server/pages/frame.h"

namespace tb::cli {
namespace {

using Clock = std::chrono::system_clock;

constexpr std::string_view kDefaultBook = "book1";
constexpr std::string_view kPassword = "pass1234";
constexpr std::string_view kUbbMode = "2";
constexpr std::string_view kNo = "0";
constexpr std::int64_t kCommonEvery = 10;
constexpr std::string_view kCommonWord = " digest";
constexpr std::string_view kUniqueWord = " needle";
constexpr std::size_t kMessageChars = 200;

// What registration stores, in the order of the values bound below.
constexpr std::string_view kRegisterSql =
    "insert or ignore into user(name,password,email,homepage,regtime,ip,html,titletop,"
    "question,answer,idcard,nettype,crccode) values (?,?,?,?,?,?,?,?,?,?,?,?,?)";

constexpr std::array<std::string_view, 14> kPhrases = {
    "今天路过这里，留个言支持一下！",
    "网站做得很不错，内容也很丰富。",
    "Nice site, keep up the good work. ",
    "希望以后能多更新一些文章。",
    "I found this page through a friend of mine. ",
    "请问版主，上次说的资料在哪里下载？",
    "[b]谢谢分享[/b]，已经收藏了。",
    "More photos at http://www.example.com/album/ if you like. ",
    "祝大家新年快乐，万事如意！",
    "The weather in Beijing is lovely today. ",
    "我是从朋友那里知道这个留言本的。\r\n",
    "有空也来我的主页看看吧。",
    "Version 2.0 loads much faster than before. ",
    "这里的讨论气氛真好，学到了很多东西。\r\n",
};
constexpr std::array<std::string_view, 10> kTopics = {
    "你好", "路过留言", "问候",     "Hello", "一点建议",
    "求助", "感谢",     "Question", "支持",  "老朋友来了"};
constexpr std::array<std::string_view, 10> kGuests = {
    "小明", "张三", "李四", "王五", "赵六", "Alice", "Bob", "Carol", "路人甲", "老朋友"};
constexpr std::array<std::string_view, 4> kPlaces = {"中国北京", "中国上海", "美国", ""};

constexpr int kCacheKiB = 256 * 1024;
constexpr std::string_view kIndexTrigger = "liuyan_fts_insert";
// From this many messages on, they are indexed together at the end, which
// ends with rewriting the whole index.
constexpr std::int64_t kBulkMessages = 10000;
// The index entries gathered in memory before they are written out as a
// segment. The segments are merged into fewer, larger ones as they come, and
// all of them into one at the end (`optimize`), which then lies as many
// levels up as the merges reached: at 4 MB a million messages' index (about
// 1 GB) lies above where the site's next 60,000 posts' merges reach. Larger
// segments, fewer merges and a faster seed leave it lower, where the first
// posts merge it again (at 1 GB, one segment: at once, for 15 s or more,
// within the first few hundred posts; at 64 MB: a slice with every post
// from the 1,500th).
constexpr std::int64_t kIndexMemoryBytes = 4 << 20;
constexpr std::int64_t kIndexMemoryDefault = 1 << 20;  // SQLite's own

// Opens the store, created with its tables when missing, as every store is.
// `path` may be written as a connection string ("sqlite:PATH").
void Open(data::Connection& conn, const std::string& path) {
  const std::string file = data::SqlitePath(path).value_or(path);
  const auto folder = std::filesystem::path(file).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  conn.Open("sqlite:" + file);
}

// Row content drawn from a fixed sequence, so every run stores the same text.
class Content {
 public:
  // About kMessageChars characters of Chinese and English phrases.
  std::string Message() {
    std::string text;
    std::size_t chars = 0;
    while (chars < kMessageChars) {
      const std::string_view phrase = Pick(kPhrases);
      text += phrase;
      for (unsigned char c : phrase) chars += (c & 0xC0) != 0x80;
    }
    return text;
  }
  template <std::size_t N>
  std::string_view Pick(const std::array<std::string_view, N>& list) {
    return list[random_() % N];
  }
  std::uint32_t Next() { return random_(); }

 private:
  std::mt19937 random_{20240601};
};

std::string Text(Clock::time_point t) { return DateTime::FromTimePoint(t).ToText(); }

// Registers `name` as the registration form would, unless it exists.
void Register(data::Engine& store, const std::string& name, Clock::time_point when,
              std::int64_t number) {
  const std::string email = name + "@example.com";
  const std::string title = name + "的留言本";
  const std::string idcard = std::to_string(110101199001010000 + number % 10000);
  const std::string_view category =
      server::pages::kCategories[number % server::pages::kCategories.size()];
  store.Run(kRegisterSql,
            {name, kPassword, email, "http://www.example.com/", Text(when), "127.0.0.1",
             kUbbMode, title, "我的小学叫什么？", "实验小学", idcard, category,
             std::int64_t{111111 + number * 7919 % 888889}});
}

std::int64_t Count(data::Engine& store, std::string_view sql,
                   const std::vector<Value>& params = {}) {
  return store.Run(sql, params).rows.at(0).at(0).Whole().value_or(0);
}

struct Posted {
  std::int64_t first = 0, count = 0;
};

// Posts `count` messages to `book`, numbered from its counter on, and raises
// the counter past them.
Posted Post(data::Engine& store, const std::string& book, std::int64_t count) {
  const std::int64_t first =
      Count(store, "select coalesce(infoserial, 0) from user where name = ?", {book});
  Content content;
  const Clock::time_point start = Clock::now() - std::chrono::seconds(count);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t infono = first + i;
    std::string subject =
        std::string(content.Pick(kTopics)) + " #" + std::to_string(infono);
    if (infono % kCommonEvery == 0) subject += kCommonWord;
    if (i == count / 2) subject += kUniqueWord;
    const std::uint32_t n = content.Next();
    const std::string ip = "10." + std::to_string(n % 256) + "." +
                           std::to_string(n / 256 % 256) + "." +
                           std::to_string(i % 250 + 1);
    const std::string email =
        n % 3 == 0 ? "guest" + std::to_string(n % 1000) + "@example.com" : std::string();
    store.Run(board::post::kInsertMessageSql, {book,
                                               content.Message(),
                                               content.Pick(kGuests),
                                               Text(start + std::chrono::seconds(i)),
                                               ip,
                                               std::int64_t{n % 20 + 1},
                                               email,
                                               subject,
                                               "",
                                               kNo,
                                               "",
                                               kUbbMode,
                                               "宋体",
                                               "3",
                                               "#000000",
                                               kNo,
                                               kNo,
                                               board::post::NewThreadSortKey(infono),
                                               kNo,
                                               content.Pick(kPlaces),
                                               infono});
  }
  store.Run("update user set infoserial = ? where name = ?", {first + count, book});
  return {first, count};
}

// How many bytes of new index entries the search index gathers in memory
// before it writes them out as a segment.
void SetIndexMemory(data::Engine& store, std::int64_t bytes) {
  store.Run("insert into liuyan_fts(liuyan_fts, rank) values ('hashsize', ?)", {bytes});
}

// Posts as Post does with the search index's insert trigger set aside,
// then indexes the new messages in one statement and puts the trigger back
// as it was, all within the seed's transaction (a failure rolls it all
// back): indexing each message as it is written costs about twice as much.
Posted PostIndexedAfter(data::Engine& store, const std::string& book,
                        std::int64_t count) {
  const std::string trigger =
      store
          .Run("select sql from sqlite_master where type = 'trigger' and name = ?",
               {std::string(kIndexTrigger)})
          .rows.at(0)
          .at(0)
          .Text();
  const std::int64_t last_id = Count(store, "select coalesce(max(id), 0) from liuyan");
  store.Run("drop trigger " + std::string(kIndexTrigger), {});
  const Posted posted = Post(store, book, count);
  SetIndexMemory(store, kIndexMemoryBytes);
  store.Run(
      "insert into liuyan_fts(rowid, subject, message, guestname, email) "
      "select id, subject, message, guestname, email from liuyan where id > ?",
      {last_id});
  SetIndexMemory(store, kIndexMemoryDefault);
  // Into one segment: large ones would otherwise be merged by the site's
  // first writes, for seconds each, past its time limit.
  store.Run("insert into liuyan_fts(liuyan_fts) values ('optimize')", {});
  store.Run(trigger, {});
  return posted;
}

}  // namespace

int RunSeed(const SeedOptions& options, std::ostream& out, std::ostream& err) {
  std::string book = options.book;
  if (book.empty() && options.messages > 0) book = kDefaultBook;
  if (!book.empty() && !check::CheckUserName(book)) {
    err << "seed: not a guestbook name: " << book << "\n";
    return 2;
  }
  const auto started = std::chrono::steady_clock::now();
  try {
    data::SqlitePool pool;
    data::Connection conn(pool);
    Open(conn, options.db);
    data::Engine& store = *conn.engine();
    // One transaction writes every row: with a site handle's small page
    // cache, and its statement journals in files, pages would be written out
    // and read back many times over.
    store.Run(
        "pragma cache_size=-" + std::to_string(kCacheKiB) + "; pragma temp_store=memory",
        {});
    // With a rollback journal, the pages of a new store are written once, to
    // the store; through the write-ahead log they would be written twice,
    // once to the log and once more when it is copied back. The mode stays
    // the log's while another connection has the store open.
    store.Run("pragma journal_mode=delete", {});
    data::Transaction tx(conn);
    constexpr std::string_view kBooks = "select count(*) from user";
    const std::int64_t before = Count(store, kBooks);
    const Clock::time_point now = Clock::now();
    for (std::int64_t k = 1; k <= options.guestbooks; ++k) {
      Register(store, "book" + std::to_string(k),
               now - std::chrono::seconds(options.guestbooks - k), k);
    }
    Posted posted;
    if (!book.empty()) {
      Register(store, book, now, options.guestbooks + 1);
      posted = options.messages >= kBulkMessages
                   ? PostIndexedAfter(store, book, options.messages)
                   : Post(store, book, options.messages);
    }
    const std::int64_t added = Count(store, kBooks) - before;
    tx.Commit();
    store.Run("pragma journal_mode=wal", {});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    out << "seeded " << options.db << ": " << added << " guestbooks registered, "
        << posted.count << " messages posted";
    if (!book.empty())
      out << " to " << book << " (infono " << posted.first << " to "
          << posted.first + posted.count - 1 << ")";
    out << " in " << took.count() << " s" << std::endl;
    return 0;
  } catch (const std::exception& e) {
    err << "seed: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace tb::cli
