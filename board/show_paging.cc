#include "board/show_paging.h"

#include <algorithm>

#include "check/validate.h"

namespace tb::board {

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

}  // namespace tb::board
