#include "data/engine.h"

#include <algorithm>
#include <iterator>

#include "host/ascii.h"

namespace tb::data {

int Result::Find(std::string_view column) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (host::EqualsIgnoreCase(columns[i], column)) return static_cast<int>(i);
  }
  return -1;
}

Engine::Condition Engine::Contains(std::string_view column,
                                   std::string_view keyword) const {
  std::string pattern = "%";
  for (char c : keyword) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return {std::string(column) + " like ? escape '\\'", {Value(pattern + "%")}};
}

std::vector<Row> RunRows(Engine& db, std::string_view head, std::string_view each,
                         std::string_view tail, const std::vector<Row>& rows,
                         std::size_t most) {
  constexpr std::size_t kBytesPerStatement = 4 << 20;
  std::vector<Row> out;
  for (std::size_t first = 0; first < rows.size();) {
    std::string sql(head);
    std::vector<Value> params;
    std::size_t bytes = 0, end = first;
    for (; end < rows.size() && end - first < most; ++end) {
      std::size_t size = 0;
      for (const Value& v : rows[end]) size += v.IsText() ? v.Text().size() : 8;
      if (end > first && bytes + size > kBytesPerStatement) break;
      bytes += size;
      (sql += end > first ? ", " : "") += each;
      params.insert(params.end(), rows[end].begin(), rows[end].end());
    }
    Result result = db.Run(sql += tail, params);
    std::move(result.rows.begin(), result.rows.end(), std::back_inserter(out));
    first = end;
  }
  return out;
}

std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace tb::data
