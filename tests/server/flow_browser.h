// File: flow_browser.h — what the flow tests share: a visitor's browser
// (one keep-alive connection and a cookie jar, forms sent GB18030-encoded as
// a browser sends them, pages decoded from GB18030), the site's usual steps
// (register, log in, post through the message form), the running site with
// its store in a temporary folder, and reads of the stored rows.
//
// Example:
//   FlowSite site;
//   Browser owner(site.port());
//   owner.Post("reg_check.asp", RegistrationFields(kXiaoming));
//   site.Scalar("select titletop from user where name = 'xiaoming'") == "小明的留言本"
#pragma once

#include <map>
#include <memory>
#include <optional>
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

// The fields as an urlencoded body: names and values GB18030-percent-encoded.
// Example: EncodeForm({{"t", "留 言"}}) == "t=%C1%F4+%D1%D4".
std::string EncodeForm(const Fields& fields);

// One page as the browser got it.
struct Page {
  server::http::Status status{};
  std::string text;      // the body decoded from GB18030
  std::string location;  // the Location of a redirect
  std::string content_type;
  std::vector<std::string> set_cookies;

  bool Has(std::string_view piece) const { return text.find(piece) != std::string::npos; }
  // An input tag of that name holding that value, whatever its other
  // attributes.
  bool HasInput(std::string_view name, std::string_view value) const;
};

// One visitor: requests go over one connection, with the cookies the site
// set so far; cookies the site removes (Max-Age=0) leave the jar.
class Browser {
 public:
  explicit Browser(unsigned short port) : client_(port) {}

  // Targets are relative to the site's root ("show.asp?name=abc").
  Page Get(std::string_view target);
  Page Post(std::string_view target, const Fields& fields);
  Page PostBody(std::string_view target, std::string body, std::string_view type);

  // A cookie's value as the site meant it (percent- and GB18030-decoded).
  std::optional<std::string> Cookie(std::string_view name) const;
  std::string SessionId() const { return Cookie("TBSESSION").value_or(""); }
  // Replaces the jar's value of a cookie as sent on the wire.
  void SetRawCookie(std::string name, std::string value) {
    jar_[std::move(name)] = std::move(value);
  }

 private:
  Page Send(server::http::Request req);

  Client client_;
  std::map<std::string, std::string> jar_;  // wire name -> wire value
};

// The address of the first link or form action starting with `prefix`
// ("add_check.asp?"), entities resolved as a browser does; empty when none.
std::string FindLink(std::string_view html, std::string_view prefix);

// A form of a page as a browser would send it untouched: its text, password
// and hidden inputs, its ticked boxes and radio buttons, each list's
// selected (or first) option and its text areas, in page order; entities
// resolved. Submit buttons are left out.
struct HtmlForm {
  std::string action;
  Fields fields;

  // The value of the first field of that name, or nullopt.
  std::optional<std::string> Value(std::string_view name) const;
  // Sets the first field of that name (the field is added when missing).
  HtmlForm& Set(std::string_view name, std::string value);
  // Removes every field of that name (a box un-ticked).
  HtmlForm& Remove(std::string_view name);
};

// The first form of the page whose action starts with `action_prefix`.
std::optional<HtmlForm> FindForm(std::string_view html, std::string_view action_prefix);

// An account as the registration form takes it.
struct Account {
  std::string name, password, email, homepage, title, question, answer, idcard;
};
Fields RegistrationFields(const Account& a);

// The owners the flows register.
inline const Account kXiaoming{
    "xiaoming",     "pass1234",       "xm@example.com", "http://xm.example.com/",
    "小明的留言本", "我最喜欢的颜色", "天蓝色的",       "110101199001011234"};
inline const Account kHonghong{
    "honghong",   "hong5678", "hh@example.com", "http://hh.example.com/",
    "红红的小屋", "我的小学", "实验小学",       "110101199202022345"};

// What every owner or superuser page writes without the login it needs.
inline constexpr std::string_view kNoPermission =
    "用户操作超时，请重新登陆，或没有权限！";

// `tavobook serve` on a free port with its store in a temporary folder, the
// superuser's password kSuperPassword and the extra arguments given.
class FlowSite {
 public:
  static constexpr std::string_view kSuperPassword = "super_pw9";

  explicit FlowSite(std::vector<std::string> extra = {});

  unsigned short port() const { return serve_->port(); }
  ServeProcess& process() { return *serve_; }
  std::string Db() const { return (dir_.path() / "t.db").string(); }
  std::string Dsn() const { return "sqlite:" + Db(); }

  // StoreRows, StoreScalar and StoreCount on the site's store.
  Rows Query(std::string_view sql) { return StoreRows(pool_, Dsn(), sql); }
  std::string Scalar(std::string_view sql) { return StoreScalar(pool_, Dsn(), sql); }
  std::int64_t Count(std::string_view sql) { return StoreCount(pool_, Dsn(), sql); }

 private:
  TempDir dir_;
  data::SqlitePool pool_;
  std::unique_ptr<ServeProcess> serve_;
};

// The site's usual steps; each checks that the step succeeded.
Page Register(Browser& b, const Account& a);
Page LogIn(Browser& b, std::string_view name, std::string_view password);
// Opens the message form at `form_target` ("add.asp?name=abc") and posts
// the fields to the form's action. `action` receives that action.
Page PostThroughForm(Browser& b, std::string_view form_target, const Fields& fields,
                     std::string* action = nullptr);

// The fields of a plain message of the form's defaults.
Fields MessageFields(std::string_view guestname, std::string_view subject,
                     std::string_view message, std::string_view format = "2");

}  // namespace tb::testing
