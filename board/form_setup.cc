#include "board/form_setup.h"

#include "component/book_row.h"
#include "data/recordset.h"

namespace tb::board::form {

std::int64_t NewFormKey(host::Server& server) {
  return server.Random(99999999, 199899999);
}

// The kept count decides, so a visit to the form of a large guestbook reads
// no message unless some must go.
void PruneOverLimit(data::Connection& db, std::string_view name, const Value& max_num,
                    const Value& messages) {
  const auto limit = max_num.Number();
  if (!limit || static_cast<double>(messages.Whole().value_or(0)) <= *limit) return;
  // Oldest first, so the walk starts at the message to go first and fetches
  // only the first window of rows however many the guestbook holds.
  data::Recordset rs;
  rs.Open("select id from liuyan where name = ? order by regtime, id", db, {Value(name)});
  data::Transaction tx(db);
  for (int i = 0; i < kPruneBatch && !rs.Eof(); ++i) {
    rs.Delete("liuyan");
    rs.MoveNext();
  }
  rs.Close();
  tx.Commit();
}

}  // namespace tb::board::form
