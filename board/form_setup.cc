#include "board/form_setup.h"

#include "check/convert.h"
#include "data/recordset.h"

namespace tb::board::form {

std::int64_t NewFormKey(host::Server& server) {
  return server.Random(99999999, 199899999);
}

void PruneOverLimit(data::Connection& db, std::string_view name, const Value& max_num) {
  const auto limit = max_num.Number();
  if (!limit) return;
  // Oldest first, so the walk starts at the message to go first and fetches
  // only the first window of rows however many the guestbook holds.
  data::Recordset rs;
  rs.Open("select * from liuyan where name ='" + check::SqlQuote(name) +
              "' order by regtime, id",
          db, data::kStaticCursor, data::kOptimisticLock);
  if (static_cast<double>(rs.RecordCount()) <= *limit) return;
  data::Transaction tx(db);
  for (int i = 0; i < kPruneBatch && !rs.Eof(); ++i) {
    rs.Delete();
    rs.MoveNext();
  }
  rs.Close();
  tx.Commit();
}

}  // namespace tb::board::form
