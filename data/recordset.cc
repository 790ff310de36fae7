#include "data/recordset.h"

#include <algorithm>

#include "data/connection.h"
#include "data/error.h"
#include "host/ascii.h"

namespace tb::data {
namespace {

constexpr std::int64_t kMinWindow = 64;
constexpr std::size_t kMaxCachedRows = 4096;
constexpr std::string_view kKeyAlias = "tb_rowid_";

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// Positions of a keyword in SQL text at the top level: outside quoted
// literals and parentheses, as a whole word, without regard to case.
std::vector<std::size_t> FindKeyword(std::string_view sql, std::string_view word) {
  std::vector<std::size_t> found;
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote reopens at the next char
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && i + word.size() <= sql.size() &&
               host::EqualsIgnoreCase(sql.substr(i, word.size()), word) &&
               (i == 0 || !IsWordChar(sql[i - 1])) &&
               (i + word.size() == sql.size() || !IsWordChar(sql[i + word.size()]))) {
      found.push_back(i);
    }
  }
  return found;
}

bool HasKeyword(std::string_view sql, std::string_view word) {
  return !FindKeyword(sql, word).empty();
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A plain "select ... from ..." of one level, which can be counted by
// swapping its column list for count(*) and dropping its order.
bool IsSimpleSelect(std::string_view sql) {
  auto selects = FindKeyword(sql, "select");
  return selects.size() == 1 && selects[0] == 0 && FindKeyword(sql, "from").size() == 1 &&
         !HasKeyword(sql, "distinct") && !HasKeyword(sql, "group") &&
         !HasKeyword(sql, "limit") && !HasKeyword(sql, "union") &&
         !HasKeyword(sql, "having");
}

std::string CountSql(std::string_view sql) {
  if (!IsSimpleSelect(sql)) return "select count(*) from (" + std::string(sql) + ")";
  std::string_view rest = sql.substr(FindKeyword(sql, "from")[0]);
  if (auto order = FindKeyword(rest, "order"); !order.empty())
    rest = rest.substr(0, order[0]);
  return "select count(*) " + std::string(rest);
}

// The table a one-table select reads; empty when it reads several or none.
std::string TableOf(std::string_view sql) {
  if (!IsSimpleSelect(sql)) return "";
  std::string_view rest = sql.substr(FindKeyword(sql, "from")[0] + 4);
  rest = TrimBlanks(rest);
  std::size_t n = 0;
  while (n < rest.size() && IsWordChar(rest[n])) ++n;
  std::string_view after = TrimBlanks(rest.substr(n));
  if (n == 0 || (!after.empty() && after[0] == ',') || HasKeyword(after, "join"))
    return "";
  return std::string(rest.substr(0, n));
}

// Words of SQL text split at blanks.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  for (text = TrimBlanks(text); !text.empty(); text = TrimBlanks(text)) {
    std::size_t n = 0;
    while (n < text.size() && !IsBlank(text[n])) ++n;
    words.push_back(text.substr(0, n));
    text.remove_prefix(n);
  }
  return words;
}

// A column name, maybe qualified by its table: "id", "liuyan.id".
bool IsColumnName(std::string_view word) {
  const std::size_t dot = word.find('.');
  if (dot != std::string_view::npos) {
    return IsColumnName(word.substr(0, dot)) && IsColumnName(word.substr(dot + 1));
  }
  return !word.empty() && !(word[0] >= '0' && word[0] <= '9') &&
         std::all_of(word.begin(), word.end(), IsWordChar);
}

// One term of an ORDER BY made of a plain column.
struct OrderTerm {
  std::string_view column;
  bool descending = false;
};

// The terms of the ORDER BY that ends a select (the text after its "order"),
// when each is a plain column with at most asc or desc after it; nullopt for
// anything else (expressions, collate, nulls first, a limit after them).
std::optional<std::vector<OrderTerm>> PlainOrder(std::string_view order) {
  order = TrimBlanks(order);
  if (order.size() < 3 || !host::EqualsIgnoreCase(order.substr(0, 2), "by") ||
      !IsBlank(order[2])) {
    return std::nullopt;
  }
  order.remove_prefix(2);
  if (order.find_first_of("()'\"`[") != std::string_view::npos) return std::nullopt;
  std::vector<OrderTerm> terms;
  for (std::size_t start = 0; start <= order.size();) {
    const std::size_t comma = std::min(order.find(',', start), order.size());
    const auto term = Words(order.substr(start, comma - start));
    if (term.empty() || term.size() > 2 || !IsColumnName(term[0])) return std::nullopt;
    const bool desc = term.size() == 2 && host::EqualsIgnoreCase(term[1], "desc");
    if (term.size() == 2 && !desc && !host::EqualsIgnoreCase(term[1], "asc"))
      return std::nullopt;
    terms.push_back({term[0], desc});
    start = comma + 1;
  }
  return terms;
}

std::string LimitSql(std::int64_t rows, std::int64_t offset) {
  return " limit " + std::to_string(rows) + " offset " + std::to_string(offset);
}

}  // namespace

void Recordset::Open(std::string_view sql, Connection& conn, int cursor, int lock) {
  Close();
  std::string_view text = TrimBlanks(sql);
  if (cursor != kStaticCursor) {
    OpenForward(text, conn.engine());
    return;
  }
  engine_ = conn.engine();
  forward_ = false;
  updatable_ = lock == kOptimisticLock;
  sql_ = std::string(text);
  if (updatable_) {
    table_ = TableOf(text);
    if (table_.empty()) {
      engine_.reset();
      throw Error("an updatable recordset needs a select from one table: " + sql_);
    }
    sql_ = "select " + table_ + "." + std::string(engine_->RowIdColumn()) + " as " +
           std::string(kKeyAlias) + ", " + std::string(text.substr(6));
  }
  try {
    Fetch(0);
  } catch (const Error&) {
    Close();
    throw;
  }
  if (updatable_) key_column_ = 0;
  pos_ = 0;
}

void Recordset::OpenForward(std::string_view sql, const std::shared_ptr<Engine>& engine) {
  Close();
  Result result = engine->Run(sql);
  engine_ = engine;
  forward_ = true;
  columns_ = std::move(result.columns);
  for (std::size_t i = 0; i < result.rows.size(); ++i) {
    slots_[static_cast<std::int64_t>(i)] = Slot{std::move(result.rows[i]), false};
  }
  total_ = static_cast<std::int64_t>(result.rows.size());
  pos_ = 0;
}

void Recordset::Close() {
  if (engine_ && !pending_.empty()) Update();
  engine_.reset();
  forward_ = updatable_ = false;
  sql_.clear();
  table_.clear();
  columns_.clear();
  key_column_ = -1;
  slots_.clear();
  deleted_ = 0;
  total_.reset();
  reversed_sql_.reset();
  pos_ = 0;
  pending_.clear();
}

void Recordset::RequireOpen() const {
  if (!engine_) throw Error("the recordset is not open");
}

void Recordset::RequireStatic() const {
  RequireOpen();
  if (forward_) throw Error("the recordset reads forward only");
}

void Recordset::RequireCurrent() {
  RequireOpen();
  if (pos_ < 0 || !Has(pos_)) throw Error("there is no current row (BOF or EOF)");
  if (IsDeleted(pos_)) throw Error("the current row has been deleted");
}

std::int64_t Recordset::DeletedBefore(std::int64_t pos) const {
  std::int64_t n = 0;
  for (auto it = slots_.begin(); it != slots_.end() && it->first < pos; ++it) {
    if (it->second.deleted) ++n;
  }
  return n;
}

bool Recordset::IsDeleted(std::int64_t pos) const {
  auto it = slots_.find(pos);
  return it != slots_.end() && it->second.deleted;
}

bool Recordset::Has(std::int64_t pos) {
  if (pos < 0) return false;
  if (slots_.count(pos)) return true;
  if (forward_ || (total_ && pos >= *total_)) return false;
  Fetch(pos);
  return slots_.count(pos) > 0;
}

// Reads the rows of one window starting at `first` (or ending at it, when
// walking backwards from an uncached row). Rows deleted through this
// recordset are gone from the store, so the window's offset counts only the
// live positions before it, and its rows fill the live positions in order.
void Recordset::Fetch(std::int64_t first) {
  std::int64_t window = std::max(kMinWindow, page_size_);
  if (slots_.count(first + 1) && first > 0)
    first = std::max<std::int64_t>(0, first - window + 1);
  if (slots_.size() > kMaxCachedRows) {
    std::erase_if(slots_,
                  [&](const auto& s) { return !s.second.deleted && s.first != pos_; });
  }
  Result result = Window(first - DeletedBefore(first), window);
  if (columns_.empty()) columns_ = result.columns;
  std::int64_t pos = first;
  for (auto& row : result.rows) {
    while (IsDeleted(pos)) ++pos;
    slots_.try_emplace(pos, Slot{std::move(row), false});
    ++pos;
  }
  if (!total_ && static_cast<std::int64_t>(result.rows.size()) < window) {
    std::int64_t end = pos;
    if (!slots_.empty()) end = std::max(end, slots_.rbegin()->first + 1);
    total_ = end;
  }
}

// A window past the middle is read backwards from the end, so that a deep
// page walks as few rows of the order as a near one: the select's order
// reversed, the offset counted from the last live row, the rows turned back.
Result Recordset::Window(std::int64_t offset, std::int64_t rows) {
  const std::int64_t live = total_ ? *total_ - deleted_ : 0;
  if (offset > live / 2 && offset < live && !ReversedSql().empty()) {
    const std::int64_t end = std::min(offset + rows, live);
    Result result = engine_->Run(*reversed_sql_ + LimitSql(end - offset, live - end));
    std::reverse(result.rows.begin(), result.rows.end());
    return result;
  }
  return engine_->Run(sql_ + LimitSql(rows, offset));
}

// Reversing gives the same rows in the same places only when the order is
// total: its terms must be plain columns (SQLite sorts NULL lowest both
// ways, and a column keeps its collation) and the last one the row key,
// which no two rows share.
const std::string& Recordset::ReversedSql() {
  if (reversed_sql_) return *reversed_sql_;
  reversed_sql_.emplace();
  const auto order = FindKeyword(sql_, "order");
  if (order.size() != 1) return *reversed_sql_;
  const auto terms = PlainOrder(std::string_view(sql_).substr(order[0] + 5));
  if (!terms) return *reversed_sql_;
  std::string_view key = terms->back().column;
  if (const auto dot = key.find('.'); dot != std::string_view::npos)
    key.remove_prefix(dot + 1);
  if (!host::EqualsIgnoreCase(key, engine_->RowIdColumn())) {
    // A column declared "integer primary key" is the row key under its own name.
    const std::string table = TableOf(sql_);
    if (table.empty()) return *reversed_sql_;
    const Result keys = engine_->Run(
        "select name, type from pragma_table_info(?) where pk > 0", {Value(table)});
    if (keys.rows.size() != 1 || !host::EqualsIgnoreCase(keys.rows[0][0].Text(), key) ||
        !host::EqualsIgnoreCase(keys.rows[0][1].Text(), "integer")) {
      return *reversed_sql_;
    }
  }
  std::string sql = sql_.substr(0, order[0]) + "order by ";
  for (const auto& term : *terms) {
    if (&term != &terms->front()) sql += ", ";
    sql += std::string(term.column) + (term.descending ? " asc" : " desc");
  }
  *reversed_sql_ = std::move(sql);
  return *reversed_sql_;
}

std::int64_t Recordset::Total() {
  if (!total_) {
    Result result = engine_->Run(CountSql(sql_));
    std::int64_t live = result.rows.empty() ? 0 : result.rows[0][0].Whole().value_or(0);
    total_ = live + deleted_;
  }
  return *total_;
}

bool Recordset::Eof() {
  RequireOpen();
  return pos_ >= 0 && !Has(pos_);
}

bool Recordset::Bof() {
  RequireOpen();
  return pos_ < 0 || (pos_ == 0 && !Has(0));
}

int Recordset::ColumnIndex(std::string_view column) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (static_cast<int>(i) != key_column_ &&
        host::EqualsIgnoreCase(columns_[i], column)) {
      return static_cast<int>(i);
    }
  }
  throw Error("no column named " + std::string(column));
}

Value Recordset::Field(std::string_view column) {
  RequireCurrent();
  int index = ColumnIndex(column);
  if (auto it = pending_.find(index); it != pending_.end()) return it->second;
  return slots_.at(pos_).row.at(index);
}

void Recordset::SetField(std::string_view column, Value value) {
  RequireCurrent();
  if (!updatable_) throw Error("the recordset is read-only");
  pending_[ColumnIndex(column)] = std::move(value);
}

void Recordset::Update() {
  RequireOpen();
  if (pending_.empty()) return;
  RequireCurrent();
  std::string sql = "update " + table_ + " set ";
  std::vector<Value> params;
  for (const auto& [index, value] : pending_) {
    if (!params.empty()) sql += ", ";
    sql += columns_[index] + " = ?";
    params.push_back(value);
  }
  sql += " where " + std::string(engine_->RowIdColumn()) + " = ?";
  Row& row = slots_.at(pos_).row;
  params.push_back(row.at(key_column_));
  engine_->Run(sql, params);
  for (auto& [index, value] : pending_) row[index] = std::move(value);
  pending_.clear();
}

void Recordset::Delete() {
  RequireCurrent();
  if (!updatable_) throw Error("the recordset is read-only");
  pending_.clear();
  Slot& slot = slots_.at(pos_);
  engine_->Run(
      "delete from " + table_ + " where " + std::string(engine_->RowIdColumn()) + " = ?",
      {slot.row.at(key_column_)});
  slot.deleted = true;
  ++deleted_;
}

void Recordset::MoveNext() {
  if (Eof()) throw Error("MoveNext past the last row");
  Update();
  do ++pos_;
  while (Has(pos_) && IsDeleted(pos_));
}

void Recordset::MovePrevious() {
  RequireStatic();
  if (pos_ < 0) throw Error("MovePrevious before the first row");
  Update();
  do --pos_;
  while (pos_ >= 0 && Has(pos_) && IsDeleted(pos_));
}

void Recordset::MoveFirst() {
  RequireStatic();
  Update();
  pos_ = 0;
  while (Has(pos_) && IsDeleted(pos_)) ++pos_;
}

void Recordset::MoveLast() {
  RequireStatic();
  Update();
  pos_ = Total() - 1;
  while (pos_ >= 0 && Has(pos_) && IsDeleted(pos_)) --pos_;
}

std::int64_t Recordset::RecordCount() {
  RequireOpen();
  if (forward_) return -1;
  return Total() - deleted_;
}

void Recordset::SetRecordCount(std::int64_t rows) {
  RequireStatic();
  if (!total_) total_ = rows + deleted_;
}

void Recordset::SetPageSize(std::int64_t rows) {
  if (rows < 1) throw Error("PageSize must be at least 1");
  page_size_ = rows;
}

void Recordset::SetAbsolutePage(std::int64_t page) {
  RequireStatic();
  if (page < 1) throw Error("AbsolutePage must be at least 1");
  Update();
  pos_ = (page - 1) * page_size_;
  while (Has(pos_) && IsDeleted(pos_)) ++pos_;
}

std::int64_t Recordset::AbsolutePage() {
  RequireStatic();
  if (pos_ < 0 || !Has(pos_)) return 0;
  return pos_ / page_size_ + 1;
}

std::int64_t Recordset::PageCount() {
  std::int64_t rows = RecordCount();
  if (rows < 0) return -1;
  return (rows + page_size_ - 1) / page_size_;
}

}  // namespace tb::data
