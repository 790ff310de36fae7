// The page context of an HTTP request: reading the request and its fields,
// the client's address, the session and the response cookies; writing
// cookies and redirect targets (each line of
// tests/cases/server/request_fields.txt names the function, its arguments and
// the result as text).
#include "server/http_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <regex>

#include "data/sqlite_engine.h"
#include "server/http/request_fields.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

Request MakeRequest(bhttp::verb verb, std::string_view target,
                    std::string_view content_type = "", std::string body = "") {
  Request req{verb, target, 11};
  req.set(bhttp::field::host, "example.cn");
  if (!content_type.empty()) req.set(bhttp::field::content_type, content_type);
  req.body() = std::move(body);
  req.prepare_payload();
  return req;
}

std::string FieldsText(const host::FieldMap& fields) {
  std::string out;
  for (const auto& [name, value] : fields.entries())
    out += (out.empty() ? "" : "; ") + name + "=" + value;
  return out;
}

WireCharset Charset(std::string_view name) {
  return name == "utf8" ? WireCharset::kUtf8 : WireCharset::kGb18030;
}

std::string SetCookie(const Args& a) {
  const std::string plain = FormatSetCookie(a[0], a[1], a[2], false);
  const std::string secure = FormatSetCookie(a[0], a[1], a[2], true);
  if (secure != plain + "; Secure") return "over HTTPS: " + secure;
  host::FieldMap back;
  AddCookies(secure.substr(0, secure.find(';')), back);
  if (back.Find(a[0]) != a[1]) return "read back: " + FieldsText(back);
  return plain;
}

TEST(RequestFieldsTest, Cases) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::map<std::string, std::function<std::string(const Args&)>> calls = {
      {"query",
       [](const Args& a) {
         host::FieldMap f;
         AddQueryFields(a[1], Charset(a[0]), f);
         return FieldsText(f);
       }},
      {"find",
       [](const Args& a) {
         host::FieldMap f;
         AddQueryFields(a[1], Charset(a[0]), f);
         return f.Find(a[2]).value_or("(none)");
       }},
      {"charset",
       [](const Args& a) {
         return std::string(CharsetOf(a[0]) == WireCharset::kUtf8 ? "utf8" : "gb18030");
       }},
      {"parameter", [](const Args& a) { return HeaderParameter(a[0], a[1]); }},
      {"form",
       [](const Args& a) {
         host::FieldMap f;
         return AddFormFields(a[0], a[1], f) ? FieldsText(f) : "refused";
       }},
      {"cookies",
       [](const Args& a) {
         host::FieldMap f;
         AddCookies(a[0], f);
         return FieldsText(f);
       }},
      {"expires", [](const Args& a) { return ExpiresAsHttpDate(a[0]); }},
      {"set-cookie", SetCookie},
      {"location", [](const Args& a) { return SafeLocation(a[0]); }},
      {"path", [](const Args& a) { return DecodePath(a[0]); }},
  };
  for (const auto& c : testing::ReadCases("server/request_fields.txt")) {
    SCOPED_TRACE(testing::CaseText(c));
    const Args args(c.begin() + 1, c.end() - 1);
    EXPECT_EQ(calls.at(c[0])(args), c.fields.back());
  }
}

// Each request of the case file read, what it gave a few lines each.
TEST(ReadRequestTest, FieldsInEitherCharsetAndRefusals) {
  std::string record;
  for (auto c : testing::ReadCases("server/read_request.txt")) {
    c.fields.resize(std::max<std::size_t>(c.size(), 4));
    Request req = MakeRequest(bhttp::string_to_verb(c[0]), c[1], c[2], std::string(c[3]));
    for (std::size_t i = 4; i < c.size(); ++i) req.insert(bhttp::field::cookie, c[i]);
    record += "## " + testing::CaseText(c) + "\n";
    auto read = ReadRequest(req, "10.1.2.3");
    if (auto* bad = std::get_if<BadRequest>(&read)) {
      record += "refused: " + std::string(bad->text) + "\n";
      continue;
    }
    const auto& data = std::get<RequestData>(read);
    record += data.method + " " + data.path + "\nquery: " + FieldsText(data.query) +
              "\nform: " + FieldsText(data.form) +
              "\ncookies: " + FieldsText(data.cookies) +
              "\nvariables: " + FieldsText(data.server_variables) + "\n";
  }
  testing::ExpectGolden("server/read_request.txt", record);
}

TEST(ReadRequestTest, AtMostAThousandFields) {
  std::string fields;
  for (int i = 0; i <= 1000; ++i) fields += "f" + std::to_string(i) + "=&";
  for (std::size_t skip : {0, 6}) {
    auto read =
        ReadRequest(MakeRequest(bhttp::verb::post, "/a.asp",
                                "application/x-www-form-urlencoded", fields.substr(skip)),
                    "1.1.1.1");
    auto* bad = std::get_if<BadRequest>(&read);
    EXPECT_EQ(bad ? bad->text : "", skip ? "" : kTooManyFields.text);
  }
  auto query = ReadRequest(MakeRequest(bhttp::verb::get, "/a.asp?x=1&" + fields.substr(6),
                                       "application/x-www-form-urlencoded", "y=2"),
                           "1.1.1.1");
  EXPECT_TRUE(std::holds_alternative<BadRequest>(query)) << "query and form together";
}

// peer | trusted proxy (127.0.0.1) or not | the address | X-Forwarded-For fields
TEST(ClientAddressTest, TrustedProxyAndForwardedFor) {
  for (const auto& c : testing::ReadCases("server/client_address.txt")) {
    Request req = MakeRequest(bhttp::verb::get, "/");
    for (std::size_t i = 3; i < c.size(); ++i) req.insert("X-Forwarded-For", c[i]);
    auto trusted = c[1] == "trusted" ? std::optional(asio::ip::make_address("127.0.0.1"))
                                     : std::nullopt;
    EXPECT_EQ(ClientAddress(req, asio::ip::make_address(c[0]), trusted), c[2])
        << testing::CaseText(c);
  }
}

class HttpPageTest : public ::testing::Test {
 protected:
  // A page for a GET of `target` with the cookie header given.
  std::unique_ptr<HttpPage> Page(std::string_view target = "/x.asp",
                                 std::string_view cookie = "") {
    Request req = MakeRequest(bhttp::verb::get, target);
    if (!cookie.empty()) req.set(bhttp::field::cookie, cookie);
    return std::make_unique<HttpPage>(std::get<RequestData>(ReadRequest(req, "10.1.2.3")),
                                      pool_, sessions_, visits_, limits_,
                                      "http://ad.example/ad.js");
  }
  std::unique_ptr<HttpPage> PageOf(std::string_view id) {
    return Page("/x.asp", "TBSESSION=" + std::string(id));
  }

  // The id of a "TBSESSION=<id>; ..." cookie.
  static std::string IdOf(const std::optional<std::string>& cookie) {
    return cookie ? cookie->substr(10, cookie->find(';') - 10) : "(no cookie)";
  }

  data::SqlitePool pool_;
  VisitCounter visits_{pool_, 1h, [](std::string_view) {}};
  ClientLimits limits_{10};
  MemorySessionStore sessions_{20min};
};

TEST_F(HttpPageTest, RequestServerAndComponentThroughTheContext) {
  auto page = Page("/x.asp?name=abc", "ly_name=%C1%F4");
  host::PageContext& ctx = page->context();
  auto& req = ctx.request();
  EXPECT_EQ(std::string(page->method()) + " " + req.Query("Name") + " " +
                req.Cookie("LY_NAME") + " " + req.RemoteAddr() + " " +
                req.Lookup("name") + " [" + req.Form("name") + "] " +
                ctx.server().AdScriptUrl(),
            "GET abc 留 10.1.2.3 abc [] http://ad.example/ad.js");
  for (int i = 0; i < 100; ++i) {
    auto n = ctx.server().Random(111111, 999999);
    EXPECT_TRUE(n >= 111111 && n <= 999999) << n;
  }
  EXPECT_EQ(ctx.server().Now().year,
            DateTime::FromTimePoint(std::chrono::system_clock::now()).year);
  page->component().test();
  page->Write("<p>");
  EXPECT_EQ(page->body, "this is a test!<p>");
}

TEST_F(HttpPageTest, ASessionStartsWithItsFirstValueUnderANewId) {
  auto none = Page();
  EXPECT_TRUE(none->session().Get("ly_name").IsEmpty());
  EXPECT_EQ(none->FinishSession(), std::nullopt);
  EXPECT_EQ(sessions_.size(), 0u);

  // An id the visitor made up is never taken over.
  auto first = PageOf("chosen-by-the-visitor");
  first->session().Set("ly_name", Value("abc"));
  first->session().Set("ly_fgs", Value(123456789));
  EXPECT_EQ(first->session().Get("LY_NAME"), Value("abc"));
  auto cookie = first->FinishSession();
  ASSERT_TRUE(cookie);
  EXPECT_TRUE(std::regex_match(
      *cookie, std::regex("TBSESSION=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict")))
      << *cookie;
  EXPECT_EQ(sessions_.Load("chosen-by-the-visitor"), std::nullopt);
  const std::string id = IdOf(cookie);

  auto second = Page("/x.asp", "a=1; TBSESSION=" + id);
  EXPECT_EQ(second->session().Get("ly_name"), Value("abc"));
  EXPECT_TRUE(second->session().Get("ly_fgs").IsNumber());
  second->session().Set("ly_log", Value("yes"));
  EXPECT_EQ(second->FinishSession(), std::nullopt) << "the browser has the cookie";
  EXPECT_EQ(PageOf(id)->session().Get("ly_log"), Value("yes"));
}

TEST_F(HttpPageTest, EndSessionForgetsTheValues) {
  auto first = Page();
  first->session().Set("ly_name", Value("abc"));
  const std::string id = IdOf(first->FinishSession());
  auto logoff = PageOf(id);
  logoff->EndSession();
  EXPECT_TRUE(logoff->session().Get("ly_name").IsEmpty());
  EXPECT_EQ(logoff->FinishSession(),
            "TBSESSION=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0; "
            "Expires=Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(sessions_.Load(id), std::nullopt);

  // A value set after the end starts a new session with a new id.
  auto again = Page();
  again->session().Set("a", Value("1"));
  const std::string kept = IdOf(again->FinishSession());
  auto restart = PageOf(kept);
  restart->EndSession();
  restart->session().Set("ly_name", Value("xyz"));
  const std::string renewed = IdOf(restart->FinishSession());
  EXPECT_NE(renewed, kept);
  EXPECT_EQ(sessions_.Load(kept), std::nullopt);
  EXPECT_EQ(sessions_.Load(renewed)->at("ly_name"), Value("xyz"));
}

TEST_F(HttpPageTest, ALoginEndedWhileARequestRunsStaysEnded) {
  auto login = Page();
  login->session().Set("ly_log", Value("yes"));
  login->session().Set("ly_name", Value("abc"));
  auto in_flight = PageOf(IdOf(login->FinishSession()));
  in_flight->RenewSession();
  in_flight->session().Set("a", Value("1"));
  Page()->EndLogins("abc", host::Session::Reach::kOthers);
  auto values = sessions_.Load(IdOf(in_flight->FinishSession()));
  EXPECT_EQ(*values, (SessionValues{{"a", Value("1")}}));
}

}  // namespace
}  // namespace tb::server::http
