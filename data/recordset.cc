#include "data/recordset.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "data/connection.h"
#include "data/error.h"
#include "host/ascii.h"

namespace tb::data {
namespace {

constexpr std::int64_t kMinWindow = 64;
constexpr std::string_view kLimit = " limit ? offset ?";

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// The closing "order by" of a select, when its terms are plain columns
// (each maybe asc or desc): where it starts, and the terms each turned the
// other way. Nothing for any other order (an expression, a subquery's
// order, a limit after it).
struct PlainOrder {
  std::size_t at;
  std::string reversed;  // "order by a asc, b desc"
};
std::optional<PlainOrder> FindPlainOrder(std::string_view sql) {
  const std::size_t at = host::AsciiLower(sql).rfind("order by");
  if (at == std::string::npos) return std::nullopt;
  PlainOrder order{at, "order by"};
  std::istringstream terms{std::string(sql.substr(at + 8))};
  std::string_view separator = " ";
  for (std::string term; std::getline(terms, term, ','); separator = ", ") {
    std::istringstream words(term);
    std::string column, way, more;
    words >> column >> way >> more;
    const bool desc = host::EqualsIgnoreCase(way, "desc");
    if (column.empty() || !std::all_of(column.begin(), column.end(), IsWordChar) ||
        !more.empty() || (!way.empty() && !desc && !host::EqualsIgnoreCase(way, "asc"))) {
      return std::nullopt;
    }
    order.reversed += std::string(separator) + column + (desc ? " asc" : " desc");
  }
  if (separator == " ") return std::nullopt;
  return order;
}

}  // namespace

void Recordset::Open(std::string_view sql, Connection& conn, std::vector<Value> params,
                     Order order) {
  Close();
  const auto plain = FindPlainOrder(sql);
  if (order == Order::kTotal) {
    if (!plain) throw Error("the order cannot be read reversed: " + std::string(sql));
    reversed_sql_ = std::string(sql.substr(0, plain->at)) + plain->reversed;
  }
  // Counting needs no order, and one kept would have the store sort every row.
  count_sql_ = "select count(*) from (" +
               std::string(plain ? sql.substr(0, plain->at) : sql) + ") as listing";
  sql_ = std::string(sql);
  params_ = std::move(params);
  engine_ = conn.engine();
}

void Recordset::OpenResult(Result result, std::shared_ptr<Engine> engine) {
  Close();
  engine_ = std::move(engine);
  window_ = std::move(result);
  total_ = static_cast<std::int64_t>(window_.rows.size());
}

void Recordset::Close() { *this = Recordset(); }

void Recordset::RequireOpen() const {
  if (!engine_) throw Error("the recordset is not open");
}

bool Recordset::Has(std::int64_t pos) {
  RequireOpen();
  if (pos >= first_ && pos < first_ + static_cast<std::int64_t>(window_.rows.size()))
    return true;
  if (total_ && pos >= *total_) return false;
  const std::int64_t window = std::max(kMinWindow, page_size_);
  window_ = Window(pos, window);
  first_ = pos;
  const auto fetched = static_cast<std::int64_t>(window_.rows.size());
  if (!total_ && fetched < window) total_ = pos + fetched;
  return fetched > 0;
}

// A window past the middle is read backwards from the end, so that a deep
// page walks as few rows of the order as a near one: the order reversed,
// the offset counted from the last row, the rows turned back.
Result Recordset::Window(std::int64_t offset, std::int64_t count) {
  std::vector<Value> params = params_;
  if (!reversed_sql_.empty() && total_ && offset > *total_ / 2 && offset < *total_) {
    const std::int64_t end = std::min(offset + count, *total_);
    params.emplace_back(end - offset);
    params.emplace_back(*total_ - end);
    Result result = engine_->Run(reversed_sql_ + std::string(kLimit), params);
    std::reverse(result.rows.begin(), result.rows.end());
    return result;
  }
  params.emplace_back(count);
  params.emplace_back(offset);
  return engine_->Run(sql_ + std::string(kLimit), params);
}

std::int64_t Recordset::Total() {
  RequireOpen();
  if (!total_) {
    const Result result = engine_->Run(count_sql_, params_);
    total_ = result.rows.empty() ? 0 : result.rows[0][0].Whole().value_or(0);
  }
  return *total_;
}

bool Recordset::Eof() { return !deleted_ && !Has(pos_); }

bool Recordset::Bof() { return pos_ == 0 && Eof(); }

Value Recordset::Field(std::string_view column) {
  if (deleted_) throw Error("the current row has been deleted");
  if (!Has(pos_)) throw Error("there is no current row (BOF or EOF)");
  const int index = window_.Find(column);
  if (index < 0) throw Error("no column named " + std::string(column));
  return window_.rows[pos_ - first_][index];
}

void Recordset::MoveNext() {
  if (Eof()) throw Error("MoveNext past the last row");
  // After a deletion the next row has moved up into the current place.
  if (!std::exchange(deleted_, false)) ++pos_;
}

void Recordset::Delete(std::string_view table) {
  if (deleted_ || !Has(pos_)) throw Error("there is no current row to delete");
  auto& rows = window_.rows;
  engine_->Run(
      "delete from " + std::string(table) + " where " + window_.columns.at(0) + " = ?",
      {rows[pos_ - first_].at(0)});
  rows.erase(rows.begin() + (pos_ - first_));
  if (total_) --*total_;
  deleted_ = true;
}

std::int64_t Recordset::RecordCount() { return Total(); }

void Recordset::SetRecordCount(std::int64_t rows) {
  RequireOpen();
  if (!total_) total_ = rows;
}

void Recordset::SetPageSize(std::int64_t rows) {
  if (rows < 1) throw Error("PageSize must be at least 1");
  page_size_ = rows;
}

void Recordset::SetAbsolutePage(std::int64_t page) {
  if (page < 1) throw Error("AbsolutePage must be at least 1");
  pos_ = (page - 1) * page_size_;
  deleted_ = false;
}

std::int64_t Recordset::PageCount() { return (Total() + page_size_ - 1) / page_size_; }

}  // namespace tb::data
