// File: schema.h — the tables `user` (one row per guestbook) and `liuyan`
// (one row per message), and `session` and `client_limit` (what the servers
// share about visitors), created when missing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/engine.h"

namespace tb::data {

class Connection;

struct Column {
  std::string_view name;
  std::string_view label;  // what the site's forms call it
};

// Every column of the message table `liuyan`, the poster's address first (the
// usual choice of the superuser's site-wide deletion).
inline constexpr std::array<Column, 22> kMessageColumns = {{
    {"ip", "留言者IP地址"},
    {"guestname", "留言者姓名"},
    {"email", "留言者电子邮件"},
    {"homepage", "留言者主页"},
    {"oicq", "留言者QQ号码"},
    {"hailfrom", "来自"},
    {"subject", "留言主题"},
    {"message", "留言内容"},
    {"name", "留言板用户名"},
    {"id", "留言编号"},
    {"infono", "留言序号"},
    {"regtime", "留言时间"},
    {"touxiang", "头像编号"},
    {"html", "留言方式"},
    {"font", "字体"},
    {"fontsize", "字体大小"},
    {"fontcolor", "字体颜色"},
    {"replymail", "回复转发"},
    {"newinfo", "是否回复"},
    {"whoinfo", "是否板主发表"},
    {"infoseekno", "排序号"},
    {"priviteword", "是否悄悄话"},
}};

// SQL statements, run in order when a SQLite store is opened.
extern const char* const kSqliteSchema;

// The same tables, counts and versions on MariaDB, one statement each, run
// in order when a handle connects. Texts compare there as on SQLite: names
// without regard to case, everything else byte for byte, trailing blanks
// included. MariaDB has no trigram index of its own: `liuyan_gram` holds
// each message's trigrams as the words of a full-text index instead (see
// MariaGrams). Triggers queue each message written in
// `liuyan_gram_pending`, which IndexPendingGrams empties; a search takes
// the queued messages as candidates. A bulk load runs
// "set @tavobook_bulk = 1" first, so that the triggers queue nothing, and
// writes the words itself.
const std::vector<std::string_view>& MariaSchema();

// The full-text word of the trigram `gram` in the searchable column
// `column` (MariaDB): the column's initial and the CRC-32 of the trigram's
// bytes in base 36, eight characters in all, so that every word passes the
// index's least word length and stop words never match. Two trigrams may
// share a word; the index only narrows a search.
// Example: MariaGramWord("subject", "abc") == "s0EQTEPU" (CRC-32 891568578).
std::string MariaGramWord(std::string_view column, std::string_view gram);
// The word of the messages whose words would be too many to store: every
// search asks for it beside the keyword's words.
inline constexpr std::string_view kEveryGram = "z0000000";
// The words of a message's four searchable texts: those of each trigram,
// blank-separated, or kEveryGram when they would pass 4 MB.
std::string MariaGrams(std::string_view subject, std::string_view message,
                       std::string_view guestname, std::string_view email);
// The trigrams of UTF-8 `text`: three characters at each position.
std::vector<std::string> Trigrams(std::string_view text);

// Writes the words of the queued messages into `liuyan_gram` and takes
// them off the queue (MariaDB), `batch` at a time, each batch a transaction
// of its own that holds up no post: it locks only its queue entries and,
// in share mode, their messages, so that the words it read are never
// replaced by older ones that another server read.
// Example: IndexPendingGrams(conn, 256);
void IndexPendingGrams(Connection& conn, std::size_t batch);

// Raises the visit counter of the guestbook `name` by `visits` in one
// statement, so that counts written at the same moment all add up. An empty
// counter counts from 0; a guestbook that is not there (deleted meanwhile)
// just gets no count.
// Example: AddVisits(*databases.Acquire(dsn), "abc", 3);
void AddVisits(Engine& db, std::string_view name, std::int64_t visits);

}  // namespace tb::data
