// The site-wide list of guestbooks: totals, a header whose captions pick one
// of six orders, 30 guestbooks a page with links to its pages (a few of a
// long list), and for the superuser two delete links and the e-mail
// confirmation flag per guestbook.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/cached_page.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/paging.h"
#include "data/recordset.h"

namespace tb {
namespace {

constexpr std::int64_t kPageSize = 30;

// The listing query of each sort value. Rows with equal keys follow the
// guestbook number, highest first, so that the order is total and a page
// boundary never repeats or skips a guestbook.
struct SortOrder {
  std::string_view sort;
  std::string_view sql;
};
constexpr std::array kSortOrders = {
    SortOrder{"", "select * from user order by infoserial desc, id desc"},
    SortOrder{"1", "select * from user order by regtime desc, id desc"},
    SortOrder{"2", "select * from user order by modifytime desc, id desc"},
    SortOrder{"3", "select * from user order by id desc"},
    SortOrder{"4", "select * from user order by titletop desc, id desc"},
    SortOrder{"5", "select * from user order by counter desc, id desc"},
};

// An unknown sort value lists in the default order (most messages first).
std::string_view ListingSql(std::string_view sort) {
  for (const auto& order : kSortOrders) {
    if (order.sort == sort) return order.sql;
  }
  return kSortOrders.front().sql;
}

constexpr std::array<std::string_view, 11> kHeadOpen = {
    "<p></p>",
    "<table border=\"0\" width=\"100%\">",
    "  <tr>",
    "    <td width=\"10%\" align=\"center\" bgcolor=\"#D9E4FD\">"
    "<a href=\"userlist.asp?sort=3\">编 号</a></td>",
    "    <td width=\"35%\" align=\"center\" bgcolor=\"#D9E4FD\">"
    "<a href=\"userlist.asp?sort=4\">留言板名称</a></td>",
    "    <td width=\"7%\" align=\"center\" bgcolor=\"#D9E4FD\">",
    "      <a href=\"userlist.asp?sort=5\">访问次数</a>",
    "    </td>",
    "    <td width=\"18%\" align=\"center\" bgcolor=\"#D9E4FD\">",
    "      <p align=\"center\"><a href=\"userlist.asp?sort=1\">申请</a>&nbsp;/&nbsp; "
    "<a href=\"userlist.asp?sort=2\">修改时间</a></p>",
    "    </td>",
};
constexpr std::string_view kAdminHeadCell =
    "    <td width=\"10%\" align=\"center\" bgcolor=\"#D9E4FD\">";
constexpr std::array<std::string_view, 3> kAdminCaptions = {"      用&nbsp; 户",
                                                            "      留言信息", "      "};
constexpr std::string_view kCellClose = "    </td>";
constexpr std::string_view kRowEnd = "  </tr>";
constexpr std::string_view kTableEnd = "</table>";

constexpr std::string_view kBadPage = "page:参数错误！";
constexpr std::array<std::string_view, 4> kNoGuestbooks = {
    "<p></p>", "<p align=\"center\"><font size=\"3\">没有注册用户！</font></p>",
    "<p></p>", "<p></p>"};

constexpr std::string_view kRowOpen =
    "  <table border=\"0\" width=\"100%\" cellspacing=\"1\">";
constexpr std::string_view kCell10 =
    "    <td width=\"10%\" align=\"center\" bgcolor=\"#F5F5F8\">";
constexpr std::string_view kCell35 =
    "    <td width=\"35%\" align=\"center\" bgcolor=\"#F5F5F8\">";
constexpr std::string_view kCell7 =
    "    <td width=\"7%\" align=\"center\" bgcolor=\"#F5F5F8\">";
constexpr std::string_view kCell18 =
    "    <td width=\"18%\" align=\"center\" bgcolor=\"#F5F5F8\">";

// The page asked for: 1 when Page is missing, empty or below 1; nullopt when
// it is not a whole number. A page beyond the last is limited later, once
// the number of pages is known.
std::optional<double> RequestedPage(const std::string& page) {
  if (page.empty()) return 1;
  const auto number = check::WholeNumber(page);
  if (!number) return std::nullopt;
  return *number < 1 ? 1 : *number;
}

// One guestbook's table of the list; `title` is already made safe to show.
void WriteGuestbook(host::Response& out, data::Recordset& rs, std::string_view title,
                    bool superuser) {
  const std::string name = rs["name"].Text();
  out.Write(kRowOpen);
  out.Write("  <tr>");
  out.Write(std::string(kCell10) + rs["id"].Text() + "</td>");
  out.Write(kCell35);
  out.Write("    <a href=\"show.asp?name=" + name + "\" target=\"_blank\" > ");
  out.Write(std::string(title) + "</a>");
  out.Write(kCellClose);
  out.Write(std::string(kCell7) + rs["counter"].Text() + "</td>");
  out.Write(kCell18);
  out.Write("      <p align=\"left\">");
  out.Write(check::FormatTime(rs["regtime"].Text(), 1) + "</td>");
  if (superuser) {
    out.Write(std::string(kCell10) + "<a href=\"javascript:deluser('" + name +
              "')\">删除</a></td>");
    out.Write(std::string(kCell10) + "<a href=\"javascript:delinfo('" + name +
              "')\">删除</a></td>");
    out.Write(kCell10);
    out.Write(rs["hascrc"].Text() == "1" ? "是" : "否");
    out.Write(kCellClose);
  }
  out.Write(kRowEnd);
  out.Write(kTableEnd);
}

}  // namespace

void Guestbook::UserList() {
  const std::string sort = Request().Query("sort");
  const std::string page_field = Request().Query("Page");
  const bool superuser = Session().Get(keys::kAdminLog).Text() == "yes";

  auto conn = OpenDatabase();
  // The list is kept for every input it depends on.
  const std::string key = PageKey()
                              .Add("UserList")
                              .Add(DSNtemp())
                              .Add(sort)
                              .Add(page_field)
                              .Flag(superuser)
                              .Add(DelThisWord())
                              .Add(Server().AdScriptUrl())
                              .text();
  WriteCached(key, conn, Shows::kEverything, [&] {
    // The store keeps both counts (site_count), so the list counts no rows.
    auto counts = conn.Execute("select books, messages from site_count");
    const std::int64_t books = counts["books"].Whole().value_or(0);
    Write("共有" + std::to_string(books) + "个留言板  ");
    Write("共有" + counts["messages"].Text() + "条留言");
    counts.Close();

    for (auto piece : kHeadOpen) Write(piece);
    if (superuser) {
      for (auto caption : kAdminCaptions) {
        Write(kAdminHeadCell);
        Write(caption);
        Write(kCellClose);
      }
    }
    Write(kRowEnd);
    Write(kTableEnd);

    const auto page = RequestedPage(page_field);
    if (!page) return Write(kBadPage), true;

    data::Recordset rs;
    rs.Open(ListingSql(sort), conn, {}, data::Order::kTotal);
    rs.SetRecordCount(books);  // the listing is of every guestbook
    if (rs.Eof() && rs.Bof()) {
      for (auto piece : kNoGuestbooks) Write(piece);
    } else {
      rs.SetPageSize(kPageSize);
      const std::int64_t pages = rs.PageCount();
      const std::int64_t current =
          *page > static_cast<double>(pages) ? pages : static_cast<std::int64_t>(*page);
      rs.SetAbsolutePage(current);
      for (int shown = 0; shown < kPageSize && !rs.Eof(); ++shown, rs.MoveNext()) {
        std::string title = check::HtmlText(rs["titletop"].Text());
        MyDelThisWord(title);
        WriteGuestbook(Response(), rs, title, superuser);
      }
      // The sort value goes back into each link as sent, made safe for the
      // attribute.
      const std::string sort_html = check::EscapeHtml(sort);
      Write("<p></p>");
      for (const auto& link : paging::PageLinks(current, pages)) {
        if (link.gap_before) Write(paging::kPageGap);
        const std::string n = std::to_string(link.page);
        Write("<a href=\"userlist.asp?Page=" + n + "&sort=" + sort_html + "\">[" + n +
              "]</a>&nbsp;");
      }
    }
    rs.Close();
    conn.Close();
    gBookAd();
    return true;
  });
}

}  // namespace tb
