#include "host/value.h"

#include <gtest/gtest.h>

#include "data/sqlite_engine.h"
#include "host/date_time.h"
#include "host/encoding.h"
#include "host/memory/memory_page.h"

namespace tb {
namespace {

TEST(ValueTest, TextNumericAndWhole) {
  struct Case {
    Value v;
    std::string_view text;
    bool numeric;
    std::optional<std::int64_t> whole;
  } cases[] = {{Value(), "", false, {}},
               {Value(12), "12", true, 12},
               {Value(-3), "-3", true, -3},
               {Value(2.5), "2.5", true, {}},
               {Value(1e6), "1000000", true, 1000000},
               {Value(0.1), "0.1", true, {}},
               {Value(123456789012.0), "123456789012", true, 123456789012},
               {Value(1e-7), "0.0000001", true, {}},
               {Value("42"), "42", true, 42},
               {Value(" 42 "), " 42 ", true, 42},
               {Value("-7"), "-7", true, -7},
               {Value("+7"), "+7", true, 7},
               {Value("2.5"), "2.5", true, {}},
               {Value("2.0"), "2.0", true, 2},
               {Value("1e3"), "1e3", true, 1000},
               {Value(".5"), ".5", true, {}},
               {Value(""), "", false, {}},
               {Value("  "), "  ", false, {}},
               {Value("abc"), "abc", false, {}},
               {Value("12a"), "12a", false, {}},
               {Value("1e"), "1e", false, {}},
               {Value("-"), "-", false, {}},
               {Value(3), "3", true, 3},
               // Full-width digits are not numbers.
               {Value("１２"), "１２", false, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.v.Text(), c.text);
    EXPECT_EQ(c.v.IsNumeric(), c.numeric);
    EXPECT_EQ(c.v.Whole(), c.whole);
  }
}

TEST(ValueTest, Equality) {
  EXPECT_EQ(Value(), Value());
  EXPECT_NE(Value(), Value(""));
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_EQ(Value(1), Value("1"));
  EXPECT_NE(Value("1.0"), Value(1));
  EXPECT_EQ(Value("yes"), Value("yes"));
  EXPECT_NE(Value("Yes"), Value("yes"));
}

TEST(DateTimeTest, TextFormsAndArithmetic) {
  DateTime t{2026, 3, 5, 14, 7, 9};
  EXPECT_EQ(t.ToText(), "2026-03-05 14:07:09");
  EXPECT_EQ(DateTime::Parse("2026-03-05 14:07:09"), t);
  EXPECT_EQ(DateTime::Parse("2026-03-05"), (DateTime{2026, 3, 5, 0, 0, 0}));
  for (const char* bad : {"", "2026-3-5 14:07:09", "2026-13-05 00:00:00", "June 4,2008",
                          "2026-03-05T14:07:09", "2026-03-05 24:00:00"}) {
    EXPECT_FALSE(DateTime::Parse(bad)) << bad;
  }
  EXPECT_EQ(DateTime({2026, 12, 31, 23, 0, 0}).AddDays(1),
            (DateTime{2027, 1, 1, 23, 0, 0}));
  EXPECT_EQ(DateTime({2024, 2, 28, 1, 2, 3}).AddDays(1),
            (DateTime{2024, 2, 29, 1, 2, 3}));
  EXPECT_EQ(DateTime({2024, 2, 29, 1, 2, 3}).AddYears(1),
            (DateTime{2025, 2, 28, 1, 2, 3}));
  EXPECT_EQ(DateTime({2026, 12, 6, 10, 0, 0}).AddYears(1),
            (DateTime{2027, 12, 6, 10, 0, 0}));
}

TEST(EncodingTest, Gb18030RoundTrip) {
  for (std::string text :
       {"", "abc", "留言本", "错误号码：01，“引号”　全角", "😀 emoji", "€ ü ß"}) {
    EXPECT_EQ(host::FromGb18030(host::ToGb18030(text)), text) << text;
  }
  EXPECT_EQ(host::ToGb18030("留"), "\xc1\xf4");
  EXPECT_EQ(host::ToGb18030("a\xff"
                            "b"),
            "a?b");  // invalid UTF-8
}

// Bytes read as browsers read them on a gb2312 page: where that differs from
// iconv's GB18030, at the ends of the code ranges, and for broken codes.
TEST(EncodingTest, Gb18030ReadsAsBrowsers) {
  struct Case {
    std::string_view in, want;
  } cases[] = {{"\x80", "€"},
               {"\xA2\xE3", "€"},
               {"\xA3\xA0", "\u3000"},
               {"\xFE\x51", "\uE816"},
               {"\xFE\x52", "\uE817"},
               {"\xFE\x53", "\uE818"},
               {"\xFE\x6C", "\uE831"},
               {"\xFE\x76", "\uE83B"},
               {"\xFE\x91", "\uE855"},
               {"\x82\x35\x90\x37", "\u9FB4"},
               {"\x82\x35\x91\x34", "\u9FBB"},
               {"\x84\x31\x82\x36", "\uFE10"},
               {"\x84\x31\x83\x35", "\uFE19"},
               {"\xA6\xD9", "\uFE10"},
               {"\xFE\x59", "\u9FB4"},
               {"\xA8\xBC", "\u1E3F"},
               {"\x81\x35\xF4\x37", "\uE7C7"},
               {"\x81\x30\x81\x30", "\u0080"},
               {"\x84\x31\xA4\x39", "\uFFFF"},
               {"\x90\x30\x81\x30", "\U00010000"},
               {"\xE3\x32\x9A\x35", "\U0010FFFF"},
               {"a\x81", "a\uFFFD"},
               {"\x81\x7F", "\uFFFD\x7F"},
               {"\x81<", "\uFFFD<"},
               {"\x81\xFF<", "\uFFFD<"},
               {"\xFF<", "\uFFFD<"},
               {"\x81\x30", "\uFFFD"},
               {"\x81\x30\x81", "\uFFFD"},
               {"\x81\x30<", "\uFFFD0<"},
               {"\x81\x30\x81<", "\uFFFD0\uFFFD<"},
               {"\x81\x30\x81\x41", "\uFFFD0丄"},
               {"\x84\x31\xA5\x30", "\uFFFD"},
               {"\xE3\x32\x9A\x36", "\uFFFD"}};
  for (const auto& c : cases) EXPECT_EQ(host::FromGb18030(c.in), c.want) << c.want;
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
}

TEST(EncodingTest, UrlEncoding) {
  struct Case {
    const char *in, *want;
  } cases[] = {{"abcXYZ019", "abcXYZ019"},
               {"a b", "a+b"},
               {"a_b-c.d*e", "a%5Fb%2Dc%2Ed%2Ae"},
               {"留", "%C1%F4"},
               {"2026-03-05 14:07:09", "2026%2D03%2D05+14%3A07%3A09"},
               {"&=?%+", "%26%3D%3F%25%2B"}};
  for (const auto& c : cases) EXPECT_EQ(host::UrlEncode(c.in), c.want) << c.in;
  EXPECT_EQ(host::PercentDecode("a+b%2F%c1%F4%zz%4"), "a b/\xc1\xf4%zz%4");
}

TEST(MemoryPageTest, FieldsAndSessionKeysIgnoreCase) {
  data::SqlitePool pool;
  host::MemoryPage page(pool);
  page.form.Add("lydelno", "1");
  page.form.Add("LyDelNo", "2");
  page.query.Add("Name", "abc");
  page.cookies.Add("abcly_hasfw", "1");
  EXPECT_EQ(page.Form("LYDELNO"), "1, 2");
  EXPECT_EQ(page.Query("name"), "abc");
  EXPECT_EQ(page.Query("missing"), "");
  EXPECT_EQ(page.RemoteAddr(), "127.0.0.1");
  // Lookup order: query string, form, cookies, server variables.
  page.form.Add("name", "from form");
  page.form.Add("search", "");
  EXPECT_EQ(page.Lookup("name"), "abc");
  EXPECT_EQ(page.Lookup("search"), "");
  EXPECT_EQ(page.Lookup("ABCly_hasfw"), "1");
  EXPECT_EQ(page.Lookup("REMOTE_ADDR"), "127.0.0.1");
  // Session values keep their types.
  EXPECT_TRUE(page.Get("ly_name").IsEmpty());
  page.Set("ly_name", Value("abc"));
  page.Set("LY_NAME", Value("def"));
  page.Set("ly_fgs", Value(123));
  EXPECT_EQ(page.Get("Ly_Name"), Value("def"));
  EXPECT_TRUE(page.Get("ly_fgs").IsNumber());
  EXPECT_EQ(page.session_values.size(), 2u);
}

}  // namespace
}  // namespace tb
