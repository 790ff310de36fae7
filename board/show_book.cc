// The guestbook page: the visit cookies and counter, the head with the
// guestbook's title and the owner's buttons, the search form, the owner's
// deletion of checked messages, one page of messages with the paging bar,
// and the links to its pages (a few of a long list).
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/message_block.h"
#include "board/show_book_html.h"
#include "check/convert.h"
#include "check/html_filter.h"
#include "check/text.h"
#include "check/validate.h"
#include "check/word_filter.h"
#include "component/book_row.h"
#include "component/cached_page.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/paging.h"
#include "data/recordset.h"

namespace tb {
namespace {

namespace html = board::show;
using board::WriteAll;

constexpr std::size_t kMaxNameLength = 15;
constexpr std::size_t kMaxSearchLength = 100;
// Messages per page when the guestbook's own setting is unusable.
constexpr std::int64_t kDefaultPageSize = 10;

// The search columns offered by the search form, each one of the columns of
// the store's text index (liuyan_fts).
// A search of the texts skips the private messages of a viewer who may not
// read them, so that no text hidden on the page can be guessed by searching.
struct SearchColumn {
  std::string_view jsfs;
  std::string_view column;
  bool private_text = false;
};
constexpr std::array kSearchColumns = {
    SearchColumn{"1", "subject"},
    SearchColumn{"2", "message", true},
    SearchColumn{"3", "guestname"},
    SearchColumn{"4", "email"},
};
constexpr std::string_view kPublicOnly = " and priviteword = '0'";
constexpr std::string_view kListingOrder = " order by infoseekno desc, id desc";
const SearchColumn* FindSearchColumn(std::string_view jsfs) {
  for (const auto& column : kSearchColumns) {
    if (column.jsfs == jsfs) return &column;
  }
  return nullptr;
}

// A condition or a select, and the values bound to its "?" in order.
struct Select {
  std::string sql;
  std::vector<Value> params;
};

// A search's condition on its column: the keyword as a literal part of the
// text, A to Z matching a to z (data::Engine::Contains). Where the store
// indexes the texts by trigrams, the index first narrows the search to the
// messages that may hold the keyword, and the literal match then decides;
// the guestbook's name is kept off its own index ("+name"), so that the
// store starts from those few messages, not from every message of the
// guestbook.
Select SearchSql(std::string_view name, const SearchColumn& column,
                 std::string_view search, const data::Engine& engine) {
  Select where{"name = ?", {Value(name)}};
  if (auto superset = engine.IndexedSuperset(column.column, search)) {
    where.sql = "+name = ? and " + superset->sql;
    where.params.insert(where.params.end(), superset->params.begin(),
                        superset->params.end());
  }
  data::Engine::Condition contains = engine.Contains(column.column, search);
  where.sql += " and " + contains.sql;
  where.params.insert(where.params.end(), contains.params.begin(), contains.params.end());
  return where;
}

// The guestbook's messages (or the matches of a search), newest thread
// first with each reply after its parent. The message key breaks ties, so
// that consecutive pages never share or skip a message.
Select ListingSql(std::string_view name, const SearchColumn* column,
                  std::string_view search, bool sees_private,
                  const data::Engine& engine) {
  Select listing{"name = ?", {Value(name)}};
  if (column) {
    listing = SearchSql(name, *column, search, engine);
    if (column->private_text && !sees_private) listing.sql += kPublicOnly;
  }
  listing.sql = "select * from liuyan where " + listing.sql + std::string(kListingOrder);
  return listing;
}

// The visitor has not been counted on this guestbook today.
bool IsNewVisit(const host::Request& in, const std::string& name) {
  return in.Cookie(keys::BookKey(name, keys::kVisitedSuffix)) != "1" ||
         in.Cookie(keys::BookKey(name, keys::kVisitedNameSuffix)) != name;
}

void SetVisitCookies(host::Response& out, const std::string& name,
                     const DateTime& expires) {
  const std::string visited = keys::BookKey(name, keys::kVisitedSuffix);
  const std::string visited_name = keys::BookKey(name, keys::kVisitedNameSuffix);
  out.SetCookieExpires(visited, expires.ToText());
  out.SetCookie(visited, "1");
  out.SetCookieExpires(visited_name, expires.ToText());
  out.SetCookie(visited_name, name);
}

// The fields of the guestbook's `user` row that the page uses.
struct Book {
  std::string title;      // titletop, the DelThisWord words masked
  std::string backimage;  // lower-cased
  std::string topformat, topimage, homepage, email;
  std::int64_t page_size = kDefaultPageSize;
};

Book ReadBook(data::Recordset& row, std::string_view masked_words) {
  Book book;
  book.title = check::MaskWords(row["titletop"].Text(), masked_words);
  book.backimage = check::AsciiLower(row["backimage"].Text());
  book.topformat = row["topformat"].Text();
  book.topimage = row["topimage"].Text();
  book.homepage = row["homepage"].Text();
  book.email = row["email"].Text();
  if (auto per_page = row["infolistno"].Whole(); per_page && *per_page >= 1)
    book.page_size = *per_page;
  return book;
}

bool IsWebAddress(std::string_view text) {
  return check::StartsWith(text, "http://") || check::StartsWith(text, "https://");
}

// The owner's title may hold markup, but none that runs; the owner's
// addresses are escaped for the attributes that hold them.
void WriteHead(host::Response& out, const Book& book, const std::string& name) {
  using check::EscapeHtml;
  out.Write(IsWebAddress(book.backimage)
                ? "<body background=\"" + EscapeHtml(book.backimage) + "\">"
                : std::string("<body>"));
  WriteAll(out, html::kHeadOpen);
  out.Write(book.topformat == "0"
                ? check::FilterHtml(book.title) + "</font>"
                : "<img border=\"0\" src=\"" + EscapeHtml(book.topimage) + "\">");
  WriteAll(out, html::kHomepageCell);
  if (IsWebAddress(book.homepage)) {
    out.Write("<a href=\"" + EscapeHtml(book.homepage) + "\" target=\"_blank\">" +
              std::string(html::kHomepageIcon) + "</a>");
  } else {
    out.Write(html::kHomepageIcon);
  }
  WriteAll(out, html::kSiteCell);
  out.Write("<td width=\"7%\"><a href=\"add.asp?name=" + name +
            "\"><img border=\"0\" src=\"hpgtumassage.gif\"></a></td>");
  out.Write(html::kManageCell);
  out.Write("    <td width=\"8%\"><a href=\"mailto:" + EscapeHtml(book.email) +
            "\"><img border=\"0\" height=\"54\" src=\"hpgtuemail.gif\"></a></td>");
  WriteAll(out, html::kHeadClose);
}

void WriteSearchForm(host::Response& out, const std::string& name) {
  WriteAll(out, html::kSearchOpen);
  out.Write("      <form method=\"POST\" action=\"show.asp?name=" + name + "\">");
  WriteAll(out, html::kSearchClose);
}

// Deletes the checked messages of a logged-in owner: each id must be a
// whole number, and each message must belong to the owner's guestbook
// unless the superuser is logged in. Ids are checked before any message
// goes; a message missing or not the owner's stops the page, and those
// deleted before it stay deleted. Returns false when the page stops.
bool DeleteChecked(host::Response& out, data::Connection& db, std::string_view lydelno,
                   std::string_view owner, bool superuser) {
  if (lydelno.empty()) return out.Write(html::kNoDeleteIds), false;
  std::vector<std::string> ids;
  for (std::size_t start = 0;;) {
    const std::size_t comma = lydelno.find(',', start);
    std::string id(lydelno.substr(start, comma - start));
    if (!check::CheckDigits(id)) return out.Write(html::kBadDeleteIds), false;
    ids.push_back(std::move(id));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  for (const auto& id : ids) {
    auto message = db.Execute("select * from liuyan where id = ?", {Value(id)});
    if (message.Eof()) return out.Write(html::kDeleteIdNotFound), false;
    const bool own =
        !owner.empty() && check::EqualsIgnoreCase(message["name"].Text(), owner);
    if (!own && !superuser) return out.Write(html::kDeleteRefused), false;
    message.Close();
    db.Execute("delete from liuyan where id = ?", {Value(id)});
  }
  return true;
}

// What every link of the paging bar and the page list carries.
struct Links {
  std::string name, jsfs, show_html;
  std::string keyword;  // the search text, URL-encoded

  // A button's link: the move, the search and the page's settings.
  std::string Move(std::string_view move) const {
    return "show.asp?move=" + std::string(move) + "&keyword=" + keyword +
           "&name=" + name + "&jsfs=" + jsfs + "&showhtml=" + show_html;
  }
};

void WritePagingBar(host::Response& out, const Links& links, std::int64_t page,
                    std::int64_t page_count, std::int64_t record_count) {
  const std::string shown = "&Page=" + std::to_string(page);
  WriteAll(out, html::kBarOpen);
  out.Write("第" + std::to_string(page) + "/" + std::to_string(page_count) +
            "页  现有留言" + std::to_string(record_count) + "条</font></td>");
  out.Write(html::kBarCell);
  out.Write("    <a href=\"add.asp?name=" + links.name +
            "\" target=\"_top\"><font size=\"3\">留 言</font></a></td>");
  out.Write(html::kBarCell);
  out.Write("    <a href=\"show.asp?name=" + links.name + "&showhtml=" + links.show_html +
            "\"><font size=\"3\">刷 新</font></a></td>");
  out.Write(html::kBarCell);
  out.Write("    <a href=\"" + links.Move("home") +
            "\"><font size=\"3\">首 页</font></a></td>");
  WriteAll(out, {html::kBarCell, html::kBarFont});
  if (page < 2) {
    out.Write(html::kPrevText);
  } else {
    out.Write("    <a href=\"" + links.Move("prev") + shown + "\">上一页</a>");
  }
  WriteAll(out, html::kPrevClose);
  WriteAll(out, html::kNextOpen);
  out.Write("<a href=\"" + links.Move("next") + shown + "\">下一页</a>");
  WriteAll(out, html::kNextClose);
  out.Write(html::kBarLastCell);
  out.Write("<a href=\"" + links.Move("end") +
            "\"><font size=\"3\">尾 页</font></a></td>");
  WriteAll(out, html::kBarClose);
}

void WritePageLinks(host::Response& out, const Links& links, std::int64_t page,
                    std::int64_t page_count) {
  if (page_count <= 1) return;
  out.Write(html::kPageLinksCaption);
  for (const auto& link : paging::PageLinks(page, page_count)) {
    if (link.gap_before) out.Write(paging::kPageGap);
    const std::string number = std::to_string(link.page);
    out.Write("<a href=\"show.asp?name=" + links.name + "&Page=" + number +
              "&jsfs=" + links.jsfs + "&keyword=" + links.keyword +
              "&showhtml=" + links.show_html + "\">[" + number + "]</a> ");
  }
}

// The page's settings from its address and the search form.
struct Params {
  std::string show_html, jsfs, move, search;
  const SearchColumn* column = nullptr;
  paging::PageRequest page;
};

// Reads the settings; the refusal to write when one is not acceptable.
std::optional<std::string_view> ReadParams(const host::Request& in, Params& params) {
  params.show_html = in.Query("showhtml");
  params.jsfs = in.Form("jsfs");
  if (params.jsfs.empty()) params.jsfs = in.Query("jsfs");
  params.column = FindSearchColumn(params.jsfs);
  if (!params.jsfs.empty() && !params.column) return html::kBadJsfs;
  if (!params.show_html.empty() && params.show_html != "0" && params.show_html != "1")
    return html::kBadShowHtml;
  params.move = in.Query("move");
  params.search = check::Trim(in.Lookup("search"));
  if (params.search.empty()) params.search = check::Trim(in.Query("keyword"));
  if (params.move == "all") params.search.clear();
  // Every page link repeats the search: a long one would make the page a
  // copy of the request many times over.
  if (check::Length(params.search) > kMaxSearchLength) return html::kBadSearch;
  const std::string page(check::Trim(in.Query("Page")));
  const auto request = paging::ReadPageField(params.move, page);
  if (!request) return html::kBadPage;
  params.page = *request;
  return std::nullopt;
}

// The page's messages inside the form that deletes the checked ones.
void WriteMessages(const host::Server& server, host::Response& out, data::Recordset& rs,
                   std::int64_t page_size, const board::BlockPage& block) {
  out.Write(std::string(html::kMessagesOpen) + std::string(block.book_name) +
            "&del=1\">");
  for (std::int64_t shown = 0; !rs.Eof() && shown < page_size; ++shown, rs.MoveNext())
    board::WriteMessageBlock(server, out, rs, block);
  if (block.viewer.logged_in) out.Write(html::kDeleteButton);
  WriteAll(out, html::kMessagesClose);
}

}  // namespace

void Guestbook::ShowBook() {
  const std::string name(check::Trim(Request().Query("name")));
  if (name.empty() || check::Length(name) > kMaxNameLength) return Write(html::kBadName);
  const bool new_visit = IsNewVisit(Request(), name);
  auto db = OpenDatabase();
  Params params;
  if (auto refusal = ReadParams(Request(), params)) return Write(*refusal);
  const board::Viewer viewer = board::ViewerOf(Session(), name);
  const bool deleting = Request().Query("del") == "1" && viewer.logged_in;

  // The page from its head on; false when there is no such guestbook.
  const auto render = [&] {
    auto found = FindBook(db, name);
    if (found.Eof()) return Write(html::kNoSuchBook), false;
    const Book book = ReadBook(found, DelThisWord());
    found.Close();

    WriteHead(Response(), book, name);
    WriteSearchForm(Response(), name);
    if (deleting && !DeleteChecked(Response(), db, Request().Form("lydelno"),
                                   Session().Get(keys::kName).Text(), viewer.superuser)) {
      return true;
    }

    data::Recordset rs;
    auto listing = ListingSql(name, params.column, params.search, viewer.SeesPrivate(),
                              *db.engine());
    rs.Open(listing.sql, db, std::move(listing.params), data::Order::kTotal);
    // The store keeps each guestbook's count; only a search's matches are counted.
    if (!params.column) rs.SetRecordCount(MessageCount(db, name));
    if (rs.Eof() && rs.Bof()) {
      Write(html::kNothing);
    } else {
      rs.SetPageSize(book.page_size);
      const std::int64_t page_count = rs.PageCount();
      const std::int64_t page = paging::PageToShow(params.page, page_count);
      rs.SetAbsolutePage(page);
      const Links links{name, params.jsfs, params.show_html,
                        Server().UrlEncode(params.search)};
      WritePagingBar(Response(), links, page, page_count, rs.RecordCount());
      WriteMessages(Server(), Response(), rs, book.page_size,
                    {name, params.show_html, viewer, DelThisWord()});
      WritePageLinks(Response(), links, page, page_count);
    }
    rs.Close();
    db.Close();
    gBookAd();
    return true;
  };
  // The owner's deletion changes the store: it runs every time. Any other
  // page is kept for every input it depends on; a page of another viewer,
  // or with other words masked, is another page.
  const std::string key = PageKey()
                              .Add("ShowBook")
                              .Add(DSNtemp())
                              .Add(name)
                              .Add(params.show_html)
                              .Add(params.jsfs)
                              .Add(params.move)
                              .Add(params.search)
                              .Add(Request().Query("Page"))
                              .Flag(viewer.logged_in)
                              .Flag(viewer.owner)
                              .Flag(viewer.superuser)
                              .Add(DelThisWord())
                              .Add(Server().AdScriptUrl())
                              .text();
  const bool found =
      deleting ? render() : WriteCached(key, db, Shows::kAllButVisitCounts, render);
  // The host raises the counter (data::AddVisits), gathering the counts of
  // many visits into one write. A kept page is of a guestbook that is there:
  // the store has not changed since.
  if (found) outcome_.done = Done::kBookShown;
  // The visit is remembered in cookies named after the guestbook: only for
  // one that is there, and under a name it could be registered by, or
  // images of made-up names on some page would pile cookies on the visitor
  // until every request of theirs is too large for the site.
  if (found && new_visit && check::CheckUserName(name)) {
    SetVisitCookies(Response(), name, Server().Now().AddDays(1));
    Server().CountVisit(DSNtemp(), name);
  }
}

}  // namespace tb
