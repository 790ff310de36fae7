// Reading query strings, form bodies and cookies; writing cookies and
// redirect targets.
#include "server/http/request_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tb::server::http {
namespace {

using Want = std::vector<std::pair<std::string_view, std::optional<std::string>>>;

void ExpectFields(const host::FieldMap& fields, const Want& want) {
  for (const auto& [name, value] : want) EXPECT_EQ(fields.Find(name), value) << name;
}

TEST(QueryFieldsTest, DecodesGb18030UnlessTheRequestSaysUtf8) {
  host::FieldMap f, utf8, gb;
  AddQueryFields("name=abc&title=%C1%F4%D1%D4+%D6%D0&empty=&bare&&=x&Tag=1&tag=2",
                 WireCharset::kGb18030, f);
  ExpectFields(f, {{"name", "abc"},
                   {"TITLE", "留言 中"},
                   {"empty", ""},
                   {"bare", ""},
                   {"tag", "1, 2"},
                   {"missing", std::nullopt}});
  EXPECT_EQ(f.entries().size(), 5u);
  AddQueryFields("t=%E7%95%99%E8%A8%80", WireCharset::kUtf8, utf8);
  EXPECT_EQ(utf8.Find("t"), "留言");
  // The same bytes read as GB18030 are something else, never invalid UTF-8.
  AddQueryFields("t=%E7%95%99%E8%A8%80", WireCharset::kGb18030, gb);
  EXPECT_NE(gb.Find("t"), "留言");
}

TEST(CharsetTest, OnlyUtf8LabelsSwitch) {
  for (std::string_view gb : {"", "application/x-www-form-urlencoded",
                              "application/x-www-form-urlencoded; charset=gb2312"})
    EXPECT_EQ(CharsetOf(gb), WireCharset::kGb18030) << gb;
  for (std::string_view utf8 : {"application/x-www-form-urlencoded; charset=UTF-8",
                                "application/x-www-form-urlencoded;charset=\"utf-8\"",
                                "multipart/form-data; boundary=x; charset=utf8"})
    EXPECT_EQ(CharsetOf(utf8), WireCharset::kUtf8) << utf8;
  EXPECT_EQ(HeaderParameter("multipart/form-data; boundary=\"a;b\\\"c\"", "BOUNDARY"),
            "a;b\"c");
  EXPECT_EQ(HeaderParameter("form-data; name=\"x\"; filename=\"y.txt\"", "name"), "x");
  EXPECT_EQ(HeaderParameter("form-data; filename=\"y.txt\"", "name"), "");
  EXPECT_EQ(HeaderParameter("text/html", "charset"), "");
}

TEST(FormFieldsTest, BodiesByTheirType) {
  const std::string multipart = "multipart/form-data; boundary=XyZ";
  const std::string part = "--XyZ\r\nContent-Disposition: form-data; name=";
  struct Case {
    std::string type, body;
    bool read;
    Want want;
  } cases[] = {
      {"application/x-www-form-urlencoded",
       "guestname=%C1%F4&r=1&r=2&p=%80",
       true,
       {{"GuestName", "留"}, {"r", "1, 2"}, {"p", "€"}}},
      {multipart,
       "preamble\r\n" + part + "\"subject\"\r\n\r\n\xc1\xf4\xd1\xd4\r\n" + part +
           "\"message\"\r\nContent-Type: text/plain\r\n\r\nline 1\r\nline 2\r\n" + part +
           "\"upload\"; filename=\"a.gif\"\r\nContent-Type: image/gif\r\n\r\nGIF89a\r\n"
           "--XyZ\r\ncontent-disposition: form-data; name=\"subject\"\r\n\r\n\r\n"
           "--XyZ--\r\n",
       true,
       {{"subject", "留言, "},
        {"message", "line 1\r\nline 2"},
        {"upload", std::nullopt}}},
      {multipart + "; charset=utf-8",
       part + "\"t\"\r\n\r\n留言\r\n--XyZ--",
       true,
       {{"t", "留言"}}},
      // Bodies of another type add nothing.
      {"application/json", "{\"a\":1}", true, {}},
      {"", "a=1", true, {}},
      // Malformed multipart is refused.
      {multipart, "no boundary at all", false, {}},
      {multipart, part + "\"t\"\r\n\r\nnever closed", false, {}},
      {multipart, part + "\"t\"\r\nno blank line\r\n--XyZ--", false, {}},
      {multipart, "--XyZX\r\n", false, {}},
      {"multipart/form-data", "--\r\n", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type + " " + c.body);
    host::FieldMap f;
    EXPECT_EQ(AddFormFields(c.type, c.body, f), c.read);
    ExpectFields(f, c.want);
    if (c.read && c.want.empty()) {
      EXPECT_TRUE(f.entries().empty());
    }
  }
}

TEST(CookiesTest, DecodesValuesAndKeepsTheFirstOfAName) {
  host::FieldMap c;
  AddCookies(
      "ly_name=%C1%F4%D1%D4; abcly_hasfw=1; ly_name=other; q=\"a b\"; plus=a+b; bad; =x",
      c);
  AddCookies("TBSESSION=abc", c);
  ExpectFields(c, {{"LY_NAME", "留言"},
                   {"abcly_hasfw", "1"},
                   {"q", "a b"},
                   {"plus", "a+b"},
                   {"tbsession", "abc"},
                   {"bad", std::nullopt}});
}

TEST(CookieExpiryTest, AsHttpDate) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct Case {
    std::string_view given, want;
  } cases[] = {
      {"2027-12-06 10:00:00", "Mon, 06 Dec 2027 10:00:00 GMT"},
      {"2026-03-06", "Fri, 06 Mar 2026 00:00:00 GMT"},
      {"June 4,2008", "Wed, 04 Jun 2008 00:00:00 GMT"},
      {"Jun 4, 2008", "Wed, 04 Jun 2008 00:00:00 GMT"},
      {"december 31,1999", "Fri, 31 Dec 1999 00:00:00 GMT"},
      {"Ju 4,2008", ""},
      {"June 4 2008", ""},
      {"tomorrow", ""},
      {"", ""},
      {"2027-13-06 10:00:00", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpiresAsHttpDate(c.given), c.want) << c.given;
}

TEST(SetCookieTest, EncodesNameAndValue) {
  struct Case {
    std::string_view name, value, date, want;
  } cases[] = {
      {"ly_name", "留 言", "Wed, 04 Jun 2008 00:00:00 GMT",
       "ly_name=%C1%F4%20%D1%D4; expires=Wed, 04 Jun 2008 00:00:00 GMT; path=/; "
       "HttpOnly"},
      {"abcly_hasfw", "1", "", "abcly_hasfw=1; path=/; HttpOnly"},
      {"x", "a;b=c\r\nSet-Cookie: evil", "",
       "x=a%3Bb%3Dc%0D%0ASet-Cookie%3A%20evil; path=/; HttpOnly"},
      {"ly_zhuye", "http://a.cn/~x", "",
       "ly_zhuye=http%3A%2F%2Fa.cn%2F~x; path=/; HttpOnly"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatSetCookie(c.name, c.value, c.date, false), c.want);
    // What the browser sends back reads as the value set.
    host::FieldMap back;
    std::string sent = FormatSetCookie(c.name, c.value, c.date, true);
    EXPECT_EQ(sent, std::string(c.want) + "; Secure");
    AddCookies(sent.substr(0, sent.find(';')), back);
    EXPECT_EQ(back.Find(c.name), std::string(c.value));
  }
}

TEST(SafeLocationTest, NothingBreaksTheHeader) {
  struct Case {
    std::string_view page, want;
  } cases[] = {
      {"guanshui.asp", "guanshui.asp"},
      {"show.asp?name=abc&page=2", "show.asp?name=abc&page=2"},
      {"a b.asp", "a%20b.asp"},
      {"x.asp\r\nSet-Cookie: a=b", "x.asp%0D%0ASet-Cookie:%20a=b"},
      {"show.asp?name=留", "show.asp?name=%C1%F4"},
      {"\"><script>", "%22%3E%3Cscript%3E"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeLocation(c.page), c.want) << c.page;
  EXPECT_EQ(DecodePath("a%2Eb+c%zz%4"), "a.b+c%zz%4") << "a plus stays";
}

}  // namespace
}  // namespace tb::server::http
