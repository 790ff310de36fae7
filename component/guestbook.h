// File: guestbook.h — the guestbook component: one object per page request.
//
// The host binds a page context (OnStartPage), the page sets the ten
// configuration properties, calls one public member, and the host unbinds it
// (OnEndPage). The object keeps nothing between requests: what lasts lives in
// the store, the session and the visitor's cookies.
//
// Each operation is defined in the folder of its subsystem: accounts/,
// board/, settings/, admin/; the small members and the word filters here.
// The session keys and cookies that pass between the members and the pages
// are named in component/keys.h; what a member made of its request, where a
// page builds on it, is its outcome().
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "component/keys.h"
#include "data/connection.h"
#include "host/page.h"
#include "host/value.h"

namespace tb {

class Guestbook {
 public:
  Guestbook() = default;

  // Configuration properties. The three text properties start as empty text,
  // the seven variant properties as empty.
  const std::string& DSNtemp() const { return dsn_temp_; }
  void SetDSNtemp(std::string v) { dsn_temp_ = std::move(v); }
  const std::string& DelThisWord() const { return del_this_word_; }
  void SetDelThisWord(std::string v) { del_this_word_ = std::move(v); }
  const std::string& StopThisWord() const { return stop_this_word_; }
  void SetStopThisWord(std::string v) { stop_this_word_ = std::move(v); }
  const Value& PageTitle() const { return page_title_; }
  void SetPageTitle(Value v) { page_title_ = std::move(v); }
  const Value& IsOpen() const { return is_open_; }
  void SetIsOpen(Value v) { is_open_ = std::move(v); }
  const Value& AdminEmail() const { return admin_email_; }
  void SetAdminEmail(Value v) { admin_email_ = std::move(v); }
  const Value& LybMsgLen() const { return lyb_msg_len_; }
  void SetLybMsgLen(Value v) { lyb_msg_len_ = std::move(v); }
  const Value& LybUrl() const { return lyb_url_; }
  void SetLybUrl(Value v) { lyb_url_ = std::move(v); }
  const Value& LybMaxUser() const { return lyb_max_user_; }
  void SetLybMaxUser(Value v) { lyb_max_user_ = std::move(v); }
  const Value& MaxNum() const { return max_num_; }
  void SetMaxNum(Value v) { max_num_ = std::move(v); }

  // Whether passwords are stored as hashes (the host's setting, not one of
  // the ten properties; off until the host turns it on).
  bool PasswordHashing() const { return password_hashing_; }
  void SetPasswordHashing(bool on) { password_hashing_ = on; }

  // What the members called on this object found: whether a secret the
  // visitor gave (a password, the lost-password answers) matched what is
  // stored, which the host's limits per client count; and what the member
  // made of the request, which the page around it follows.
  enum class SecretCheck { kNone, kMatched, kMismatched };
  enum class Done {
    kNothing,        // a refusal or a notice written, a redirect, or no member
    kFormPrepared,   // Add, JieMian1: the form's values are in the session
                     // (keys::message_form, keys::basic_settings); nothing written
    kBookShown,      // ShowBook: the guestbook's page, from its body tag on
    kNoSuchBook,     // AddCheck: no guestbook of that name; nothing written
    kMessageStored,  // AddCheck: the message is stored, the acceptance written
  };
  struct AddressToConfirm {
    std::string name, email, code;
  };
  struct Outcome {
    SecretCheck secret = SecretCheck::kNone;
    Done done = Done::kNothing;
    // What a page may mail about (the component sends no mail itself): the
    // poster's address when a stored reply answers a message whose poster
    // asked for replies by mail; a confirmation code drawn for the owner's
    // address (at registration and at a change of address); a new password
    // drawn for a forgotten one, with the owner's address.
    std::string reply_mail_to;
    std::optional<AddressToConfirm> confirm;
    std::string new_password, owner_email;
  };
  const Outcome& outcome() const { return outcome_; }

  // Page binding. A second OnStartPage after OnEndPage binds the new page.
  void OnStartPage(host::PageContext& page);
  void OnEndPage();

  // Small members.
  void test();
  void gBookAd();
  void gBookTimeout();

  // Word filters (with DelThisWord and StopThisWord).
  std::string MyDelThisWord(std::string& text);
  int MyStopThisWord(std::string& text);
  Value Guolvfeifa(Value& value);

  // Accounts.
  void RegCheck();
  // Why a guestbook cannot be registered now, or nothing when it can: the
  // site is closed (IsOpen "0"), or it holds LybMaxUser guestbooks besides
  // the superuser's (a limit of 0 or less, or none, sets no limit).
  std::optional<std::string_view> RegistrationClosed();
  void AdminLogin();
  // The management menu of the owner this session is logged in as, as
  // AdminLogin writes it after the login (the host checks the login).
  void AdminMenu();
  int IsUserLogin();
  int IsAdmin();
  void LostPass();
  void LostPassCheck();
  // Marks the owner's e-mail address as confirmed when the query's `name`
  // and `code` match the stored confirmation code (the link mailed to the
  // address), and says whether it did.
  void ConfirmAddress();
  void UserDelMe();
  void UserDelAllInfo();

  // Message board.
  void ShowBook();
  void Add();
  void Image1();
  void AddCheck();
  void Add_bak();

  // Appearance settings.
  void JieMian1();
  void JieMian1Check();
  void JieMian1_bak();
  void JieMian2();
  void JieMian2Check();
  void JieMian3();
  void JieMian3Check();

  // Site administration.
  void UserList();
  void AdminDelUserInfo();
  void AdminDelUser();
  void GetAllMail();
  void GetPassWord();
  void DataAdmin();

 private:
  // The bound page objects; throw std::logic_error when no page is bound.
  host::Request& Request();
  host::Response& Response();
  host::Server& Server();
  host::Session& Session();
  // Shorthands: write to the response; open the store named by DSNtemp.
  void Write(std::string_view text) { Response().Write(text); }
  data::Connection OpenDatabase();
  // What a kept page shows of the store: everything, or all but the
  // guestbooks' visit counters (which change with nearly every visit).
  enum class Shows { kEverything, kAllButVisitCounts };
  // Writes what `render` writes through this component, all of it once
  // `render` returns. With the host's page cache (Server().Pages()) it is
  // kept under `key` (a PageKey of every input it depends on) for the
  // version of what it shows of the store `db` (the store's page_version,
  // read before `render` runs), and a later call with the same key at the
  // same version writes the kept text instead of running `render`. `render` returns false
  // when its output must not be kept (a refusal); WriteCached returns what `render`
  // returned, or true for a kept text. Example:
  // WriteCached(PageKey().Add("UserList").text(), conn,
  //   Shows::kEverything, [&] { ListGuestbooks(conn); return true; });
  bool WriteCached(std::string_view key, data::Connection& db, Shows shows,
                   const std::function<bool()>& render);

  // The management menu for the guestbook `name` titled `title`.
  void WriteMenu(std::string_view title, std::string_view name);
  // Records a secret's check for outcome(); returns whether it matched.
  bool CheckedSecret(bool matched) {
    outcome_.secret = matched ? SecretCheck::kMatched : SecretCheck::kMismatched;
    return matched;
  }

  Outcome outcome_;
  bool password_hashing_ = false;
  std::string dsn_temp_, del_this_word_, stop_this_word_;
  Value page_title_, is_open_, admin_email_, lyb_msg_len_, lyb_url_, lyb_max_user_,
      max_num_;

  host::Response* response_ = nullptr;
  host::Request* request_ = nullptr;
  host::Server* server_ = nullptr;
  host::Session* session_ = nullptr;
};

}  // namespace tb
