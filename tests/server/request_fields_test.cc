// Reading query strings, form bodies and cookies; writing cookies and
// redirect targets.
#include "server/http/request_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace tb::server::http {
namespace {

struct FieldCase {
  std::string_view name;
  std::optional<std::string> want;
};

void ExpectFields(const host::FieldMap& fields, std::initializer_list<FieldCase> cases) {
  for (const auto& c : cases) EXPECT_EQ(fields.Find(c.name), c.want) << c.name;
}

TEST(QueryFieldsTest, DecodesGb18030ByDefault) {
  host::FieldMap f;
  AddQueryFields("name=abc&title=%C1%F4%D1%D4+%D6%D0&empty=&bare&&=x&Tag=1&tag=2",
                 WireCharset::kGb18030, f);
  ExpectFields(f, {{"name", "abc"},
                   {"TITLE", "留言 中"},
                   {"empty", ""},
                   {"bare", ""},
                   {"tag", "1, 2"},
                   {"missing", std::nullopt}});
  EXPECT_EQ(f.entries().size(), 5u);
}

TEST(QueryFieldsTest, Utf8WhenTheRequestSaysSo) {
  host::FieldMap f;
  AddQueryFields("t=%E7%95%99%E8%A8%80", WireCharset::kUtf8, f);
  EXPECT_EQ(f.Find("t"), "留言");
  host::FieldMap g;
  // The same bytes read as GB18030 are something else, never invalid UTF-8.
  AddQueryFields("t=%E7%95%99%E8%A8%80", WireCharset::kGb18030, g);
  EXPECT_NE(g.Find("t"), "留言");
}

TEST(CharsetTest, OnlyUtf8LabelsSwitch) {
  struct Case {
    std::string_view content_type;
    WireCharset want;
  } cases[] = {
      {"", WireCharset::kGb18030},
      {"application/x-www-form-urlencoded", WireCharset::kGb18030},
      {"application/x-www-form-urlencoded; charset=gb2312", WireCharset::kGb18030},
      {"application/x-www-form-urlencoded; charset=UTF-8", WireCharset::kUtf8},
      {"application/x-www-form-urlencoded;charset=\"utf-8\"", WireCharset::kUtf8},
      {"multipart/form-data; boundary=x; charset=utf8", WireCharset::kUtf8},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CharsetOf(c.content_type), c.want) << c.content_type;
}

TEST(HeaderParameterTest, FindsQuotedAndPlainValues) {
  EXPECT_EQ(HeaderParameter("multipart/form-data; boundary=\"a;b\\\"c\"", "BOUNDARY"),
            "a;b\"c");
  EXPECT_EQ(HeaderParameter("form-data; name=\"x\"; filename=\"y.txt\"", "name"), "x");
  EXPECT_EQ(HeaderParameter("form-data; filename=\"y.txt\"", "name"), "");
  EXPECT_EQ(HeaderParameter("text/html", "charset"), "");
}

TEST(FormFieldsTest, UrlencodedBody) {
  host::FieldMap f;
  EXPECT_TRUE(AddFormFields("application/x-www-form-urlencoded",
                            "guestname=%C1%F4&r=1&r=2&p=%80", f));
  ExpectFields(f, {{"GuestName", "留"}, {"r", "1, 2"}, {"p", "€"}});
}

TEST(FormFieldsTest, MultipartBody) {
  const std::string body =
      "preamble\r\n"
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"subject\"\r\n\r\n"
      "\xc1\xf4\xd1\xd4\r\n"
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"message\"\r\n"
      "Content-Type: text/plain\r\n\r\n"
      "line 1\r\nline 2\r\n"
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"upload\"; filename=\"a.gif\"\r\n"
      "Content-Type: image/gif\r\n\r\n"
      "GIF89a\r\n"
      "--XyZ\r\n"
      "content-disposition: form-data; name=\"subject\"\r\n\r\n"
      "\r\n"
      "--XyZ--\r\n";
  host::FieldMap f;
  EXPECT_TRUE(AddFormFields("multipart/form-data; boundary=XyZ", body, f));
  ExpectFields(
      f,
      {{"subject", "留言, "}, {"message", "line 1\r\nline 2"}, {"upload", std::nullopt}});
}

TEST(FormFieldsTest, MultipartInUtf8) {
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\n留言\r\n--b--";
  host::FieldMap f;
  EXPECT_TRUE(AddFormFields("multipart/form-data; boundary=b; charset=utf-8", body, f));
  EXPECT_EQ(f.Find("t"), "留言");
}

TEST(FormFieldsTest, MalformedMultipartIsRefused) {
  const std::string_view bodies[] = {
      "no boundary at all",
      "--b\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nnever closed",
      "--b\r\nContent-Disposition: form-data; name=\"t\"\r\nno blank line\r\n--b--",
      "--bX\r\n",
  };
  for (std::string_view body : bodies) {
    host::FieldMap f;
    EXPECT_FALSE(AddFormFields("multipart/form-data; boundary=b", body, f)) << body;
  }
  host::FieldMap f;
  EXPECT_FALSE(AddFormFields("multipart/form-data", "--\r\n", f));
}

TEST(FormFieldsTest, OtherBodiesAddNothing) {
  host::FieldMap f;
  EXPECT_TRUE(AddFormFields("application/json", "{\"a\":1}", f));
  EXPECT_TRUE(AddFormFields("", "a=1", f));
  EXPECT_TRUE(f.entries().empty());
}

TEST(CookiesTest, DecodesValuesAndKeepsTheFirstOfAName) {
  host::FieldMap c;
  AddCookies(
      "ly_name=%C1%F4%D1%D4; abcly_hasfw=1; ly_name=other; q=\"a b\"; plus=a+b; "
      "bad; =x",
      c);
  AddCookies("TBSESSION=abc", c);
  ExpectFields(c, {{"LY_NAME", "留言"},
                   {"abcly_hasfw", "1"},
                   {"q", "a b"},
                   {"plus", "a+b"},
                   {"tbsession", "abc"},
                   {"bad", std::nullopt}});
}

class TimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_F(TimeZoneTest, CookieExpiryAsHttpDate) {
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
}

TEST(DecodePathTest, PlusStays) { EXPECT_EQ(DecodePath("a%2Eb+c%zz%4"), "a.b+c%zz%4"); }

}  // namespace
}  // namespace tb::server::http
