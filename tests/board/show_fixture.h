// File: show_fixture.h — a guestbook page test: seeds a guestbook and its
// messages, logs owners in and shows the page with chosen query fields.
#pragma once

#include <string>

#include "tests/support/support.h"

namespace tb::testing {

class ShowBookTest : public CaseTest {
 protected:
  // A plain guestbook (the store's defaults for its look) and a public
  // plain-text message: the rows of tests/cases/board/defaults.txt.
  ShowBookTest() {
    const auto rows = ReadCases("board/defaults.txt");
    book_defaults_ = ColumnsOf(rows.at(0), 1);
    message_defaults_ = ColumnsOf(rows.at(1), 1);
  }

  // "column=value" fields of `c` from `first` on, as columns of a row.
  static Columns ColumnsOf(const Case& c, std::size_t first) {
    Columns columns;
    for (std::size_t i = first; i < c.size(); ++i) {
      const std::size_t eq = c[i].find('=');
      columns.emplace_back(c[i].substr(0, eq), Value(c[i].substr(eq + 1)));
    }
    return columns;
  }

  void SeedBook(const Columns& changes = {}) { AddBook("abc", changes); }

  // Message `infono` of "abc", its seek number infono * 10 unless `changes`
  // give one.
  void SeedMessage(int infono, const Columns& changes = {}) {
    Columns row = {{"infono", infono}, {"infoseekno", infono * 10}};
    row.insert(row.end(), changes.begin(), changes.end());
    AddMessage("abc", row);
  }

  // Messages 1 to n of "abc", each with its number in the subject.
  void SeedMessages(int n) {
    for (int i = 1; i <= n; ++i)
      SeedMessage(i, {{"subject", "主题" + std::to_string(i)},
                      {"message", "内容" + std::to_string(i)}});
  }

  // A new request in the same session, with these query and form fields.
  std::string Show(const Fields& query, const Fields& form = {}) {
    Request(query, form);
    book().ShowBook();
    return page().body;
  }
};

}  // namespace tb::testing
