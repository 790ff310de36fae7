// File: paging.h — which page of a guestbook the page shows, from the
// page buttons (move) and the page number (Page) of its address.
//
// The prev and next buttons carry the page shown, so they step one page from
// it; home, end and a bare next or prev work without a number. A number out
// of range shows the nearest page; one that is not a whole number is refused.
// The list of pages under a page (the guestbook's and the list of
// guestbooks) links a few pages of a long list, so that it stays short.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tb::paging {

struct PageRequest {
  std::string_view move;       // "home", "next", "prev", "end", "all" or other
  std::optional<double> page;  // Page when given: a whole number, maybe huge
};

// Reads the trimmed Page field: an empty field gives no number; nullopt when
// the field is not a whole number.
// Example: ReadPageField("3")->page == 3; ReadPageField("2.5") == nullopt.
std::optional<PageRequest> ReadPageField(std::string_view move, std::string_view page);

// The page to show, 1 to `page_count` (at least 1).
// Without Page: next shows page 2 (1 when there is only one), end the last
// page, anything else page 1. With Page: that page, one further for next and
// one back for prev, kept within the pages there are.
// Example: PageToShow({"next", 3}, 5) == 4; PageToShow({"next", 5}, 5) == 5;
// PageToShow({"", 99999}, 5) == 5; PageToShow({"prev", 0}, 5) == 1.
std::int64_t PageToShow(const PageRequest& request, std::int64_t page_count);

// One link of a list of pages: its page, and whether pages are left out
// between it and the link before, where kPageGap stands.
struct PageLink {
  std::int64_t page;
  bool gap_before = false;
};
inline constexpr std::string_view kPageGap = "… ";

// The links of a list of `page_count` pages while `current` is shown: every
// page up to 50 pages; beyond, pages 1 to 5, the current page and the 5 on
// either side of it, and the last 5 pages, ascending and each once.
// Example: PageLinks(2, 3) links 1 2 3; PageLinks(30, 100) links 1 to 5,
// then (after a gap) 25 to 35, then (after a gap) 96 to 100.
std::vector<PageLink> PageLinks(std::int64_t current, std::int64_t page_count);

}  // namespace tb::paging
