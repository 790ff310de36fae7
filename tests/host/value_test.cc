#include "host/value.h"

#include <gtest/gtest.h>

#include "data/sqlite_engine.h"
#include "host/date_time.h"
#include "host/encoding.h"
#include "host/memory/memory_page.h"
#include "tests/support/cases.h"

namespace tb {
namespace {

using testing::CaseValue;
using testing::ReadCases;

TEST(ValueTest, TextNumericAndWhole) {
  for (const auto& c : ReadCases("host/values.txt")) {
    const Value v = CaseValue(c, 0);
    const auto whole = v.Whole();
    EXPECT_EQ(v.Text() + " | " + (v.IsNumeric() ? "yes" : "no") + " | " +
                  (whole ? std::to_string(*whole) : "-"),
              c[1] + " | " + c[2] + " | " + c[3])
        << c[0];
  }
  for (const auto& c : ReadCases("host/value_equal.txt"))
    EXPECT_EQ(CaseValue(c, 0) == CaseValue(c, 1), c[2] == "yes") << c.line;
}

TEST(DateTimeTest, TextFormsAndArithmetic) {
  const DateTime t{2026, 3, 5, 14, 7, 9};
  EXPECT_EQ(t.ToText(), "2026-03-05 14:07:09");
  EXPECT_EQ(DateTime::Parse("2026-03-05 14:07:09"), t);
  for (const auto& c : ReadCases("host/dates.txt")) {
    auto d = DateTime::Parse(c[0]);
    if (d && c[1] != "parse") d = c[1] == "add a day" ? d->AddDays(1) : d->AddYears(1);
    EXPECT_EQ(d ? d->ToText() : "refused", c[2]) << c[0] << " " << c[1];
  }
}

TEST(EncodingTest, Gb18030) {
  for (const auto& c : ReadCases("host/to_gb18030.txt")) {
    EXPECT_EQ(host::ToGb18030(c[0]), c[1]) << c[0];
    EXPECT_EQ(c.size() < 3 ? host::FromGb18030(c[1]) : c[0], c[0]) << "back: " << c[0];
  }
  for (const auto& c : ReadCases("host/gb18030.txt"))
    EXPECT_EQ(host::FromGb18030(c[0]), c[1]) << c[1];
  // Every two-byte code is a character that is written back as that code, but
  // 0xA3A0, a second code of U+3000.
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string code{char(lead), char(trail)};
      if (trail == 0x7F || code == "\xA3\xA0") continue;
      const std::string text = host::FromGb18030(code);
      EXPECT_TRUE(text != "\uFFFD" && host::ToGb18030(text) == code)
          << lead << " " << trail;
    }
  }
  for (const auto& c : ReadCases("host/url.txt")) EXPECT_EQ(host::UrlEncode(c[0]), c[1]);
  EXPECT_EQ(host::PercentDecode("a+b%2F%c1%F4%zz%4"), "a b/\xc1\xf4%zz%4");
}

// Request fields, then session keys, ignore case; lookup goes query string,
// form, cookies, server variables; session values keep their types.
TEST(MemoryPageTest, FieldsAndSessionKeysIgnoreCase) {
  data::SqlitePool pool;
  host::MemoryPage page(pool);
  page.form.Add("lydelno", "1");
  page.form.Add("LyDelNo", "2");
  page.query.Add("Name", "abc");
  page.cookies.Add("abcly_hasfw", "1");
  page.form.Add("name", "from form");
  page.form.Add("search", "");
  const bool unset = page.Get("ly_name").IsEmpty();
  page.Set("ly_name", Value("abc"));
  page.Set("LY_NAME", Value("def"));
  page.Set("ly_fgs", Value(123));
  EXPECT_EQ(page.Form("LYDELNO") + "|" + page.Query("name") + "|" +
                page.Query("missing") + "|" + page.RemoteAddr() + "|" +
                page.Lookup("name") + "|" + page.Lookup("search") + "|" +
                page.Lookup("ABCly_hasfw") + "|" + page.Lookup("REMOTE_ADDR"),
            "1, 2|abc||127.0.0.1|abc||1|127.0.0.1");
  EXPECT_TRUE(unset && page.Get("Ly_Name") == Value("def") &&
              page.Get("ly_fgs").IsNumber());
  EXPECT_EQ(page.session_values.size(), 2u);
}

}  // namespace
}  // namespace tb
