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
#include <sstream>

#include "data/sqlite_engine.h"
#include "server/http/request_fields.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"

namespace tb::server::http {
namespace {

namespace asio = boost::asio;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;
using testing::Shown;

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

// The query fields of a[1] read in the charset a[0] ("utf8" or "gb18030").
host::FieldMap QueryFields(const Args& a) {
  host::FieldMap f;
  AddQueryFields(a[1], a[0] == "utf8" ? WireCharset::kUtf8 : WireCharset::kGb18030, f);
  return f;
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
      {"query", [](const Args& a) { return FieldsText(QueryFields(a)); }},
      {"find",
       [](const Args& a) { return QueryFields(a).Find(a[2]).value_or("(none)"); }},
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
      {"address",
       [](const Args& a) {
         Request req = MakeRequest(bhttp::verb::get, "/");
         for (std::size_t i = 2; i < a.size(); ++i) req.insert("X-Forwarded-For", a[i]);
         const auto proxy = asio::ip::make_address("127.0.0.1");
         return ClientAddress(req, asio::ip::make_address(a[0]),
                              a[1] == "trusted" ? std::optional(proxy) : std::nullopt);
       }},
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
  std::string fields;  // f0= to f1000=; from the sixth byte on, 1000 fields
  for (int i = 0; i <= 1000; ++i) fields += "f" + std::to_string(i) + "=&";
  auto refusal = [](std::string_view target, std::string body) {
    auto read = ReadRequest(
        MakeRequest(bhttp::verb::post, target, "application/x-www-form-urlencoded", body),
        "1.1.1.1");
    auto* bad = std::get_if<BadRequest>(&read);
    return bad ? bad->text : "";
  };
  EXPECT_EQ(refusal("/a.asp", fields), kTooManyFields.text);
  EXPECT_EQ(refusal("/a.asp", fields.substr(6)), "");
  EXPECT_EQ(refusal("/a.asp?x=1&" + fields.substr(6), "y=2"), kTooManyFields.text)
      << "query and form together";
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

// Pages in turn, each a line of tests/cases/server/page_sessions.txt: what
// each read, the session cookie it sent, then how many sessions the store
// holds and what it holds under each id the pages made (#1, #2, ...).
TEST_F(HttpPageTest, SessionsOfPagesInTurn) {
  std::vector<std::string> made;
  std::string record;
  for (const auto& c : testing::ReadCases("server/page_sessions.txt")) {
    record += "## " + testing::CaseText(c) + "\n";
    std::string cookie = c[0] == "-" ? "" : c[0];
    if (const auto at = cookie.find("TBSESSION=#"); at != std::string::npos)
      cookie.replace(at + 10, std::string::npos,
                     made.at(std::stoi(cookie.substr(at + 11)) - 1));
    auto page = Page("/x.asp", cookie);
    for (std::size_t i = 1; i < c.size(); ++i) {
      std::istringstream step(c[i]);
      std::string op, key, value;
      step >> op >> key >> value;
      if (op == "get")
        record += "get " + key + ": " + Shown(page->session().Get(key)) + "\n";
      if (op == "set")
        page->session().Set(key, value.starts_with('"')
                                     ? Value(value.substr(1, value.size() - 2))
                                     : Value(std::stod(value)));
      if (op == "end") page->EndSession();
      if (op == "renew") page->RenewSession();
      if (op == "end-logins") Page()->EndLogins(key, host::Session::Reach::kOthers);
    }
    std::string sent = page->FinishSession().value_or("(none)");
    std::smatch id;
    if (std::regex_search(sent, id, std::regex("TBSESSION=([0-9a-f]{64})"))) {
      made.push_back(id[1]);
      sent.replace(id.position(1), 64, "#" + std::to_string(made.size()));
    }
    record += "cookie: " + sent + "\nstored (" + std::to_string(sessions_.size()) + "):";
    for (std::size_t i = 0; i < made.size(); ++i) {
      const auto values = sessions_.Load(made[i]);
      record += "\n  #" + std::to_string(i + 1) + (values ? ":" : ": none");
      for (const auto& [k, v] : values.value_or(SessionValues{}))
        record += " " + k + "=" + Shown(v);
    }
    record += "\n";
  }
  testing::ExpectGolden("server/page_sessions.txt", record);
}

}  // namespace
}  // namespace tb::server::http
