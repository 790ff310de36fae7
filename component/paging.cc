#include "component/paging.h"

#include <algorithm>

#include "check/validate.h"

namespace tb::paging {

std::optional<PageRequest> ReadPageField(std::string_view move, std::string_view page) {
  if (page.empty()) return PageRequest{move, std::nullopt};
  const auto number = check::WholeNumber(page);
  if (!number) return std::nullopt;
  return PageRequest{move, *number};
}

std::int64_t PageToShow(const PageRequest& request, std::int64_t page_count) {
  const double last = static_cast<double>(std::max<std::int64_t>(page_count, 1));
  if (request.page) {
    double page = *request.page;
    if (request.move == "next") page += 1;
    if (request.move == "prev") page -= 1;
    return static_cast<std::int64_t>(std::clamp(page, 1.0, last));
  }
  if (request.move == "end") return static_cast<std::int64_t>(last);
  const double page = request.move == "next" ? 2 : 1;
  return static_cast<std::int64_t>(page > last ? 1 : page);
}

std::vector<PageLink> PageLinks(std::int64_t current, std::int64_t page_count) {
  // A list this long or shorter links every page.
  constexpr std::int64_t kAllUpTo = 50;
  // Pages linked at either end of the list and on either side of `current`.
  constexpr std::int64_t kEnd = 5;
  constexpr std::int64_t kAround = 5;
  std::vector<PageLink> links;
  auto add = [&](std::int64_t first, std::int64_t last) {
    if (!links.empty()) first = std::max(first, links.back().page + 1);
    for (std::int64_t page = std::max<std::int64_t>(first, 1);
         page <= std::min(last, page_count); ++page) {
      links.push_back({page, !links.empty() && page != links.back().page + 1});
    }
  };
  if (page_count <= kAllUpTo) {
    add(1, page_count);
  } else {
    add(1, kEnd);
    add(current - kAround, current + kAround);
    add(page_count - kEnd + 1, page_count);
  }
  return links;
}

}  // namespace tb::paging
