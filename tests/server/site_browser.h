// File: site_browser.h — what the tests of the running site share: a
// visitor's browser (one keep-alive connection and a cookie jar, forms sent
// GB18030-encoded, pages decoded from GB18030) and `tavobook serve` with its
// store in a temporary folder and the guestbook xiaoming registered.
//
// Example:
//   FlowSite site;
//   Browser owner(site.port());
//   LogIn(owner, "xiaoming", "pass1234");
//   owner.Get("admin_jiemian.asp").Has("小明的留言本")
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/sqlite_engine.h"
#include "tests/server/client.h"
#include "tests/support/support.h"

namespace tb::testing {

// Form fields in the order a browser sends them; a name may repeat.
using Fields = std::vector<std::pair<std::string, std::string>>;

// Names and values GB18030-percent-encoded: {{"t", "留 言"}} -> "t=%C1%F4+%D1%D4".
std::string EncodeForm(const Fields& fields);

// One page as the browser got it.
struct Page {
  server::http::Status status{};
  std::string text;  // decoded from GB18030
  std::string location;
  std::vector<std::string> session_cookies;  // its TBSESSION Set-Cookie fields
  bool Has(std::string_view piece) const { return text.find(piece) != std::string::npos; }
};

// One visitor; cookies the site removes (Max-Age=0) leave the jar. Targets
// are relative to the site's root ("show.asp?name=abc").
class Browser {
 public:
  explicit Browser(unsigned short port) : client_(port) {}
  Page Get(std::string_view target);
  Page Post(std::string_view target, const Fields& fields);
  Page PostBody(std::string_view target, std::string body, std::string_view type);
  std::string SessionId() const;
  void SetSessionId(std::string id) { jar_["TBSESSION"] = std::move(id); }
  // The action of the message form of guestbook `book`, from a fresh visit.
  std::string FormAction(std::string_view book);

 private:
  Page Send(server::http::Request req);
  Client client_;
  std::map<std::string, std::string> jar_;  // wire name -> wire value
};

// A plain message in the given format (0 text, 1 HTML, 2 UBB).
Fields MessageFields(std::string_view guestname, std::string_view subject,
                     std::string_view message, std::string_view format = "2");

// `tavobook serve` on a free port, the superuser's password kSuperPassword,
// the extra arguments given, and xiaoming (password pass1234, e-mail
// xm@example.com, title 小明的留言本) registered through the form.
class FlowSite {
 public:
  static constexpr std::string_view kSuperPassword = "super_pw9";
  explicit FlowSite(std::vector<std::string> extra = {});
  unsigned short port() const { return serve_->port(); }
  std::string Dsn() const { return "sqlite:" + (dir_.path() / "t.db").string(); }
  Rows Query(std::string_view sql) { return StoreRows(pool_, Dsn(), sql); }
  std::int64_t Count(std::string_view sql) { return StoreCount(pool_, Dsn(), sql); }
  // All the server wrote to stderr so far.
  std::string Stderr() const { return serve_->Stderr(); }

 private:
  TempDir dir_;
  data::SqlitePool pool_;
  std::unique_ptr<ServeProcess> serve_;
};

// Logs in through admin_login.asp and checks that it succeeded.
Page LogIn(Browser& b, std::string_view name, std::string_view password);

}  // namespace tb::testing
