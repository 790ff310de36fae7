#include "data/schema.h"

namespace tb::data {

// Names compare without regard to letter case, so "Abc" can never be
// registered beside "abc". Counters and numbers have numeric affinity (a
// quoted '5' is stored as 5); flags and modes are one-character texts.
// Date-times are the text "YYYY-MM-DD HH:MM:SS".
const char* const kSqliteSchema = R"sql(
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
)sql";

}  // namespace tb::data
