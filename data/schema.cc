#include "data/schema.h"

#include "data/connection.h"

namespace tb::data {

// Names compare without regard to letter case, so "Abc" can never be
// registered beside "abc". Counters and numbers have numeric affinity (a
// quoted '5' is stored as 5); flags and modes are one-character texts.
// Date-times are the text "YYYY-MM-DD HH:MM:SS".
//
// The guestbook list's six orders each walk an index (the last key, the
// row id, is in every index), so a page of a hundred thousand guestbooks
// sorts nothing.
//
// Four tables are kept by triggers, so that every writer keeps them right,
// an operator's own SQL included:
// - `liuyan_count` holds each guestbook's number of messages, so that a
//   guestbook page never counts its messages one by one. Its names compare
//   as `liuyan.name` does (without regard to letter case), so a count is
//   exactly what "where name='...'" would count.
// - `site_count` holds, in one row, the number of guestbooks and of all
//   messages, which the guestbook list shows: counted, they cost a read of
//   every message (a tenth of a second for a million on MariaDB) each time
//   a visit makes the list be rendered again.
// - `liuyan_fts` indexes the four searchable texts by trigrams (an external
//   content FTS5 table: the texts stay in `liuyan` alone), so that a search
//   reads the messages that hold the keyword's trigrams, not every message.
//   Each post adds a small segment to it, which its writes merge as they
//   go: sixteen segments at a time rather than four, so that a store of a
//   million messages does not drag its large segments through merge after
//   merge (posting there ran at less than half its speed; searches read as
//   fast). A store whose operator has set the number keeps it.
// - `page_version` holds two numbers: `n`, raised by every change of a
//   message or of a guestbook's row but for its visit counter, and `visits`,
//   raised by every change of a visit counter. A kept page is good while
//   the numbers it shows stand: a guestbook page reads `n` alone, so the
//   visits counted every fraction of a second do not throw it away.
// Two tables hold what several servers on one store share about visitors
// when [server] session_store = "database": `session` (a row per session,
// see server/http/db_session_store.h) and `client_limit` (the counts per
// client address, see server/limits/store_limit_counts.h). Times in them are
// milliseconds of the wall clock.
// (An "insert or replace" that displaces a row runs no delete trigger, as
// SQLite runs none for it without recursive_triggers, and leaves a count one
// too high; the site itself never replaces messages or guestbooks.)
// The index's segments are merged sixteen at a time, a slice of the work
// with each post, so that the larger ones are rewritten seldom. Only when
// 128 segments of single posts pile up (never while the slices keep up)
// are they merged at once: at SQLite's own 16, the slices' number, every
// merge up the levels would happen at once, and the post that completed a
// million messages would rewrite the whole index, for longer than a post
// may take.
// The counts and the index are filled from the rows already there when
// they are first made (a store of an earlier version). All of it runs in
// one write transaction: a message posted while another handle builds them
// is either in the filling or counted by the triggers, never both or
// neither.
const char* const kSqliteSchema = R"sql(
begin immediate;
create table if not exists user (
  id integer primary key autoincrement,
  name text collate nocase not null,
  password text,
  email text,
  homepage text,
  regtime text,
  modifytime text,
  ip text,
  html text,
  titletop text,
  topformat text default '0',
  topimage text default '',
  backimage text default '',
  infolistno integer default 10,
  sendinfo text default '0',
  nettype text,
  question text,
  answer text,
  idcard text,
  crccode integer,
  hascrc text default '0',
  counter integer default 0,
  infoserial integer default 0,
  infostyle text default '11111111111101111111',
  infoname text default '姓名',
  infomail text default '电子邮件：',
  infohomepage text default '主页：',
  infowhere text default '来自：',
  infooicq text default 'QQ号码：',
  infosubject text default '留言主题：',
  readonly text default '0',
  maxinfo text default '0'
);
create unique index if not exists user_name on user(name);
create index if not exists user_infoserial on user(infoserial);
create index if not exists user_regtime on user(regtime);
create index if not exists user_modifytime on user(modifytime);
create index if not exists user_titletop on user(titletop);
create index if not exists user_counter on user(counter);
create trigger if not exists user_modifytime after insert on user
  when new.modifytime is null
  begin update user set modifytime = new.regtime where id = new.id; end;
create table if not exists liuyan (
  id integer primary key autoincrement,
  name text collate nocase,
  message text,
  guestname text,
  regtime text,
  ip text,
  touxiang integer,
  email text,
  subject text,
  homepage text,
  replymail text,
  oicq text,
  html text,
  font text,
  fontsize text,
  fontcolor text,
  newinfo text,
  whoinfo text,
  infoseekno integer,
  priviteword text,
  hailfrom text,
  infono integer
);
create index if not exists liuyan_name_seek on liuyan(name, infoseekno);
create index if not exists liuyan_name_time on liuyan(name, regtime);
create table if not exists liuyan_count (
  name text primary key collate nocase,
  n integer not null
);
insert into liuyan_count(name, n)
  select name, count(*) from liuyan
  where name is not null and not exists (select 1 from liuyan_count)
  group by name;
create trigger if not exists liuyan_count_insert after insert on liuyan
  when new.name is not null
  begin
    insert into liuyan_count(name, n) select new.name, 0
      where not exists (select 1 from liuyan_count where name = new.name);
    update liuyan_count set n = n + 1 where name = new.name;
  end;
create trigger if not exists liuyan_count_delete after delete on liuyan
  begin update liuyan_count set n = n - 1 where name = old.name; end;
create trigger if not exists liuyan_count_rename after update of name on liuyan
  begin
    update liuyan_count set n = n - 1 where name = old.name;
    insert into liuyan_count(name, n) select new.name, 0
      where new.name is not null
        and not exists (select 1 from liuyan_count where name = new.name);
    update liuyan_count set n = n + 1 where name = new.name;
  end;
create table if not exists site_count (
  books integer not null,
  messages integer not null
);
insert into site_count(books, messages)
  select (select count(*) from user), (select count(*) from liuyan)
  where not exists (select 1 from site_count);
create trigger if not exists site_count_book_insert after insert on user
  begin update site_count set books = books + 1; end;
create trigger if not exists site_count_book_delete after delete on user
  begin update site_count set books = books - 1; end;
create trigger if not exists site_count_message_insert after insert on liuyan
  begin update site_count set messages = messages + 1; end;
create trigger if not exists site_count_message_delete after delete on liuyan
  begin update site_count set messages = messages - 1; end;
create virtual table if not exists liuyan_fts using fts5(
  subject, message, guestname, email,
  content = 'liuyan', content_rowid = 'id', tokenize = 'trigram');
insert into liuyan_fts(liuyan_fts) select 'rebuild'
  where not exists (select 1 from liuyan_fts_docsize)
    and exists (select 1 from liuyan);
insert into liuyan_fts(liuyan_fts, rank) select 'automerge', 16
  where not exists (select 1 from liuyan_fts_config where k = 'automerge');
insert into liuyan_fts(liuyan_fts, rank) select 'crisismerge', 128
  where not exists (select 1 from liuyan_fts_config where k = 'crisismerge');
create trigger if not exists liuyan_fts_insert after insert on liuyan
  begin
    insert into liuyan_fts(rowid, subject, message, guestname, email)
      values (new.id, new.subject, new.message, new.guestname, new.email);
  end;
create trigger if not exists liuyan_fts_delete after delete on liuyan
  begin
    insert into liuyan_fts(liuyan_fts, rowid, subject, message, guestname, email)
      values ('delete', old.id, old.subject, old.message, old.guestname, old.email);
  end;
create trigger if not exists liuyan_fts_update
  after update of id, subject, message, guestname, email on liuyan
  begin
    insert into liuyan_fts(liuyan_fts, rowid, subject, message, guestname, email)
      values ('delete', old.id, old.subject, old.message, old.guestname, old.email);
    insert into liuyan_fts(rowid, subject, message, guestname, email)
      values (new.id, new.subject, new.message, new.guestname, new.email);
  end;
create table if not exists page_version (
  n integer not null,
  visits integer not null
);
insert into page_version(n, visits)
  select 0, 0 where not exists (select 1 from page_version);
create trigger if not exists page_version_message_insert after insert on liuyan
  begin update page_version set n = n + 1; end;
create trigger if not exists page_version_message_delete after delete on liuyan
  begin update page_version set n = n + 1; end;
create trigger if not exists page_version_message_update after update on liuyan
  begin update page_version set n = n + 1; end;
create trigger if not exists page_version_book_insert after insert on user
  begin update page_version set n = n + 1; end;
create trigger if not exists page_version_book_delete after delete on user
  begin update page_version set n = n + 1; end;
create trigger if not exists page_version_book_update after update of
    name, password, email, homepage, regtime, modifytime, ip, html, titletop,
    topformat, topimage, backimage, infolistno, sendinfo, nettype, question,
    answer, idcard, crccode, hascrc, infoserial, infostyle, infoname, infomail,
    infohomepage, infowhere, infooicq, infosubject, readonly, maxinfo
  on user
  begin update page_version set n = n + 1; end;
create trigger if not exists page_version_visits after update of counter on user
  begin update page_version set visits = visits + 1; end;
create table if not exists session (
  id text primary key,
  vals text not null,
  login text,
  last_used integer not null,
  expires integer not null
);
create index if not exists session_expires on session(expires);
create index if not exists session_login on session(login);
create table if not exists client_limit (
  limit_key text primary key,
  times text not null,
  refused_until integer not null,
  expires integer not null
);
create index if not exists client_limit_expires on client_limit(expires);
commit;
)sql";

namespace {

constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}();

// CRC-32 (ISO 3309, as zlib and MariaDB's crc32() compute it).
std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void AppendWords(std::string& out, std::string_view column, std::string_view text) {
  for (const std::string& gram : Trigrams(text)) {
    if (!out.empty()) out += ' ';
    out += MariaGramWord(column, gram);
  }
}

}  // namespace

std::string MariaGramWord(std::string_view column, std::string_view gram) {
  std::string word(8, '0');
  word[0] = column.empty() ? '_' : column[0];
  for (std::uint32_t n = Crc32(gram), at = 7; n > 0; n /= 36, --at) {
    word[at] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[n % 36];
  }
  return word;
}

std::string MariaGrams(std::string_view subject, std::string_view message,
                       std::string_view guestname, std::string_view email) {
  std::string out;
  AppendWords(out, "subject", subject);
  AppendWords(out, "message", message);
  AppendWords(out, "guestname", guestname);
  AppendWords(out, "email", email);
  // A text of a million characters has nine megabytes of words, which one
  // statement may not carry: such a message is a candidate of every search.
  constexpr std::size_t kMostWordBytes = 4 << 20;
  return out.size() <= kMostWordBytes ? out : std::string(kEveryGram);
}

std::vector<std::string> Trigrams(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((text[i] & 0xC0) != 0x80) starts.push_back(i);
  }
  std::vector<std::string> grams;
  for (std::size_t k = 0; k + Engine::kTrigram <= starts.size(); ++k) {
    const std::size_t end =
        k + Engine::kTrigram < starts.size() ? starts[k + Engine::kTrigram] : text.size();
    grams.emplace_back(text.substr(starts[k], end - starts[k]));
  }
  return grams;
}

const std::vector<std::string_view>& MariaSchema() {
  // The name columns fold case (and nothing else of note for the names the
  // site registers); the other texts are compared as bytes, without padding.
  static const std::vector<std::string_view> kStatements = {
      R"sql(create table if not exists user (
  id bigint not null auto_increment primary key,
  name varchar(255) collate utf8mb4_general_nopad_ci not null,
  password text, email text, homepage text,
  regtime varchar(64), modifytime varchar(64),
  ip text, html text, titletop text,
  topformat text default '0', topimage text default '', backimage text default '',
  infolistno bigint default 10, sendinfo text default '0',
  nettype text, question text, answer text, idcard text, crccode bigint,
  hascrc text default '0', counter bigint default 0, infoserial bigint default 0,
  infostyle text default '11111111111101111111',
  infoname text default '姓名', infomail text default '电子邮件：',
  infohomepage text default '主页：', infowhere text default '来自：',
  infooicq text default 'QQ号码：', infosubject text default '留言主题：',
  readonly text default '0', maxinfo text default '0',
  unique key user_name (name),
  key user_infoserial (infoserial, id), key user_regtime (regtime, id),
  key user_modifytime (modifytime, id), key user_titletop (titletop(191), id),
  key user_counter (counter, id)
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin)sql",
      R"sql(create trigger if not exists user_modifytime before insert on user
  for each row set new.modifytime = coalesce(new.modifytime, new.regtime))sql",
      R"sql(create table if not exists liuyan (
  id bigint not null auto_increment primary key,
  name varchar(255) collate utf8mb4_general_nopad_ci,
  message mediumtext, guestname text, regtime varchar(64), ip text,
  touxiang bigint, email text, subject text, homepage text, replymail text,
  oicq text, html text, font text, fontsize text, fontcolor text, newinfo text,
  whoinfo text, infoseekno bigint, priviteword text, hailfrom text, infono bigint,
  key liuyan_name_seek (name, infoseekno), key liuyan_name_time (name, regtime)
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin)sql",
      R"sql(create table if not exists liuyan_count (
  name varchar(255) collate utf8mb4_general_nopad_ci not null primary key,
  n bigint not null
) engine=InnoDB default charset=utf8mb4)sql",
      R"sql(insert into liuyan_count(name, n)
  select name, count(*) from liuyan
  where name is not null and not exists (select 1 from liuyan_count)
  group by name)sql",
      R"sql(create trigger if not exists liuyan_count_insert after insert on liuyan
  for each row begin
    if new.name is not null then
      insert into liuyan_count(name, n) values (new.name, 1)
        on duplicate key update n = n + 1;
    end if;
  end)sql",
      R"sql(create trigger if not exists liuyan_count_delete after delete on liuyan
  for each row update liuyan_count set n = n - 1 where name = old.name)sql",
      R"sql(create trigger if not exists liuyan_count_rename after update on liuyan
  for each row begin
    if not (old.name <=> new.name) then
      update liuyan_count set n = n - 1 where name = old.name;
      if new.name is not null then
        insert into liuyan_count(name, n) values (new.name, 1)
          on duplicate key update n = n + 1;
      end if;
    end if;
    update page_version set n = n + 1;
  end)sql",
      R"sql(create table if not exists site_count (
  books bigint not null, messages bigint not null
) engine=InnoDB)sql",
      R"sql(insert into site_count(books, messages)
  select (select count(*) from user), (select count(*) from liuyan)
  from dual where not exists (select 1 from site_count))sql",
      R"sql(create trigger if not exists site_count_book_insert after insert on user
  for each row update site_count set books = books + 1)sql",
      R"sql(create trigger if not exists site_count_book_delete after delete on user
  for each row update site_count set books = books - 1)sql",
      R"sql(create trigger if not exists site_count_message_insert after insert on liuyan
  for each row update site_count set messages = messages + 1)sql",
      R"sql(create trigger if not exists site_count_message_delete after delete on liuyan
  for each row update site_count set messages = messages - 1)sql",
      // The searchable texts' trigrams, as words of a full-text index: what
      // FTS5's trigram index is to SQLite (see MariaGrams): one row per
      // message. Cutting the words costs more than the rest of a post, so
      // the triggers only queue the messages to index and IndexPendingGrams
      // writes their words later, outside the writers' way; a search takes
      // the queued messages as candidates meanwhile.
      R"sql(create table if not exists liuyan_gram (
  id bigint not null primary key, grams mediumtext not null,
  fulltext key liuyan_gram_grams (grams)
) engine=InnoDB default charset=utf8mb4 collate=utf8mb4_nopad_bin)sql",
      R"sql(create table if not exists liuyan_gram_pending (
  seq bigint not null auto_increment primary key, id bigint not null
) engine=InnoDB)sql",
      // Stores made before the queue cut the words in SQL.
      "drop procedure if exists liuyan_gram_fill",
      "drop function if exists liuyan_grams",
      // A bulk load sets @tavobook_bulk, so that the triggers leave the
      // index alone, and writes its rows itself (tavobook migrate).
      R"sql(create or replace trigger liuyan_gram_insert after insert on liuyan
  for each row if @tavobook_bulk is null then
    insert into liuyan_gram_pending(id) values (new.id);
  end if)sql",
      R"sql(create trigger if not exists liuyan_gram_delete after delete on liuyan
  for each row delete from liuyan_gram where id = old.id)sql",
      R"sql(create or replace trigger liuyan_gram_update after update on liuyan
  for each row begin
    if not (old.id <=> new.id and old.subject <=> new.subject
        and old.message <=> new.message and old.guestname <=> new.guestname
        and old.email <=> new.email) then
      delete from liuyan_gram where id = old.id;
      insert into liuyan_gram_pending(id) values (new.id);
    end if;
  end)sql",
      R"sql(create table if not exists page_version (
  n bigint not null, visits bigint not null
) engine=InnoDB)sql",
      R"sql(insert into page_version(n, visits)
  select 0, 0 from dual where not exists (select 1 from page_version))sql",
      R"sql(create trigger if not exists page_version_message_insert after insert on liuyan
  for each row update page_version set n = n + 1)sql",
      R"sql(create trigger if not exists page_version_message_delete after delete on liuyan
  for each row update page_version set n = n + 1)sql",
      R"sql(create trigger if not exists page_version_book_insert after insert on user
  for each row update page_version set n = n + 1)sql",
      R"sql(create trigger if not exists page_version_book_delete after delete on user
  for each row update page_version set n = n + 1)sql",
      // A change of the visit counter alone raises `visits`; any other
      // change of the row raises `n`.
      R"sql(create trigger if not exists page_version_book_update after update on user
  for each row begin
    if not (old.counter <=> new.counter) then
      update page_version set visits = visits + 1;
    end if;
    if not (binary old.name <=> binary new.name and old.password <=> new.password
        and old.email <=> new.email and old.homepage <=> new.homepage
        and old.regtime <=> new.regtime and old.modifytime <=> new.modifytime
        and old.ip <=> new.ip and old.html <=> new.html and old.titletop <=> new.titletop
        and old.topformat <=> new.topformat and old.topimage <=> new.topimage
        and old.backimage <=> new.backimage and old.infolistno <=> new.infolistno
        and old.sendinfo <=> new.sendinfo and old.nettype <=> new.nettype
        and old.question <=> new.question and old.answer <=> new.answer
        and old.idcard <=> new.idcard and old.crccode <=> new.crccode
        and old.hascrc <=> new.hascrc and old.infoserial <=> new.infoserial
        and old.infostyle <=> new.infostyle and old.infoname <=> new.infoname
        and old.infomail <=> new.infomail and old.infohomepage <=> new.infohomepage
        and old.infowhere <=> new.infowhere and old.infooicq <=> new.infooicq
        and old.infosubject <=> new.infosubject and old.readonly <=> new.readonly
        and old.maxinfo <=> new.maxinfo) then
      update page_version set n = n + 1;
    end if;
  end)sql",
      // Ids and keys come from visitors: compared as bytes, and any bytes.
      R"sql(create table if not exists session (
  id varbinary(255) not null primary key,
  vals mediumblob not null,
  login varbinary(255),
  last_used bigint not null,
  expires bigint not null,
  key session_expires (expires), key session_login (login)
) engine=InnoDB)sql",
      R"sql(create table if not exists client_limit (
  limit_key varbinary(512) not null primary key,
  times mediumblob not null,
  refused_until bigint not null,
  expires bigint not null,
  key client_limit_expires (expires)
) engine=InnoDB)sql",
  };
  return kStatements;
}

namespace {

// One batch of IndexPendingGrams; returns how many it took off the queue.
// It holds no lock the posts wait for: the oldest queued entries that no
// other server is indexing, then their messages, read in share mode so that
// a change or a removal of one waits for the batch's end and queues it again
// or takes its words away. A message deleted before it was read needs none.
std::size_t IndexGramBatch(Engine& db, std::size_t most) {
  const Result queued = db.Run(
      "select seq, id from liuyan_gram_pending order by seq limit ? "
      "for update skip locked",
      {Value(static_cast<std::int64_t>(most))});
  std::vector<Row> done, ids;
  for (const Row& row : queued.rows) {
    done.push_back({row[0]});
    ids.push_back({row[1]});
  }
  // Sixteen rows to a statement: few texts to prepare, few round trips.
  const std::vector<Row> texts = RunRows(
      db, "select id, subject, message, guestname, email from liuyan where id in (", "?",
      ") lock in share mode", ids, 16);
  std::vector<Row> words;
  for (const Row& row : texts)
    words.push_back({row[0], Value(MariaGrams(row[1].Text(), row[2].Text(), row[3].Text(),
                                              row[4].Text()))});
  RunRows(db, "replace into liuyan_gram(id, grams) values ", "(?, ?)", "", words, 16);
  RunRows(db, "delete from liuyan_gram_pending where seq in (", "?", ")", done, 16);
  return queued.rows.size();
}

}  // namespace

void IndexPendingGrams(Connection& conn, std::size_t batch) {
  // A look outside a transaction first: an idle server reads one row.
  if (conn.engine()->Run("select 1 from liuyan_gram_pending limit 1").rows.empty())
    return;
  for (std::size_t taken = batch; taken == batch;) {
    Transaction tx(conn, Transaction::Locks::kOwnLocks);
    taken = IndexGramBatch(*conn.engine(), batch);
    tx.Commit();
  }
}

void AddVisits(Engine& db, std::string_view name, std::int64_t visits) {
  db.RunLater("update user set counter = coalesce(counter,0) + ? where name = ?",
              {Value(visits), Value(name)});
}

}  // namespace tb::data
