// AddCheck: accepts one message posted from the message form. The form key
// and the posted flag let one visit to the form page store one message; every
// field is checked and converted, the poster's data is remembered in cookies
// on request, the owner is recognised by the owner's password, and the row
// is stored with its number and sort key in one transaction.
#include <optional>
#include <string>
#include <vector>

#include "board/add_check_fields.h"
#include "board/form_setup.h"
#include "check/convert.h"
#include "check/lengths.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "component/messages.h"
#include "component/password_hash.h"
#include "data/connection.h"

namespace tb {
namespace {

constexpr std::string_view kSecondPostPage = "guanshui.asp";
constexpr std::string_view kStopWordPage = "feifa.asp";
constexpr std::string_view kBadFormKey = "url:error!";
constexpr std::string_view kNoFormat = "没有选择留言方式，文本格式，html方式，ubb方式";
constexpr std::string_view kErrorsBack =
    "<br><a href=javascript:history.go(-1);>回上一步</a>";
constexpr std::string_view kWrongPassword =
    "斑竹密码错误！"
    "<br><a href=\"javascript:history.go(-1);\">请返回上页，重新填写</a>";
constexpr std::string_view kBadReplyTarget = "replyid:参数错误！";

// The poster's remembered data: each cookie gets the field's value when the
// poster asked to be remembered, else empty text (clearing an earlier one),
// and lives for a year.
class RememberedData {
 public:
  RememberedData(host::Response& response, bool remember, std::string expires)
      : response_(response), remember_(remember), expires_(std::move(expires)) {}

  void Keep(std::string_view cookie, std::string_view value) const {
    response_.SetCookieExpires(cookie, expires_);
    response_.SetCookie(cookie, remember_ ? value : "");
  }

 private:
  host::Response& response_;
  bool remember_;
  std::string expires_;
};

// The page that returns to the guestbook after 2 seconds; every piece ends
// with a carriage return.
std::string SuccessPage(std::string_view name) {
  const std::string show = "show.asp?name=" + std::string(name);
  const std::string pieces[] = {
      "<html>",
      "<head>",
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">",
      "<meta HTTP-EQUIV=\"refresh\" CONTENT=\"2; URL=" + show + "\">",
      "</head>",
      "<body>",
      "<p>&nbsp;</p><p>&nbsp;</p><p>&nbsp;</p><p>&nbsp;</p><p align=\"center\">"
      "<a href=\"" +
          show + "\">留言添加成功 2 秒钟后自动返回</a></p>",
      "</body>",
      "</html>",
  };
  std::string page;
  for (const auto& piece : pieces) page += piece + "\r";
  return page;
}

// The message a reply answers: its sort key, and its poster's address when
// the poster asked for replies by mail (else empty).
struct ReplyParent {
  Value sort_key;
  std::string mail_to;
};

// The message a reply answers, when `replyid` is the id of a message of this
// guestbook.
std::optional<ReplyParent> FindReplyParent(data::Connection& db, std::string_view name,
                                           std::string replyid) {
  if (!check::CheckDigits(replyid)) return std::nullopt;
  auto parent = db.Execute(
      "select infoseekno, email, replymail from liuyan where id = ? and name = ?",
      {Value(replyid), Value(name)});
  if (parent.Eof()) return std::nullopt;
  return ReplyParent{parent["infoseekno"],
                     parent["replymail"].Text() == "1" ? parent["email"].Text() : ""};
}

}  // namespace

void Guestbook::AddCheck() {
  namespace post = board::post;
  if (Session().Get(keys::kPosted).Text() != "0")
    return Response().Redirect(kSecondPostPage);
  if (!post::FormKeyMatches(Request().Query("key2"), Session().Get(keys::kFormKey)))
    return Write(kBadFormKey);

  const host::Request& in = Request();
  if (const std::string refusal = check::TooLong({
          {in.Form("guestname"), check::kGuestNameLimit},
          {check::Trim(in.Form("email")), check::kEmailLimit},
          {check::Trim(in.Form("homepage")), check::kHomepageLimit},
          {in.Form("subject"), check::kSubjectLimit},
          {in.Form("guo") + in.Form("sheng") + in.Form("xian"), check::kLocationLimit},
          {check::Trim(in.Form("oicq")), check::kQqLimit},
      });
      !refusal.empty()) {
    Write(refusal + "<br>");
    return Write(kErrorsBack);
  }
  std::vector<int> errors;
  post::MessageRow row;
  row.priviteword = in.Form("priviteword") == "1" ? "1" : "0";

  const std::string name(check::Trim(in.Query("name")));
  const bool name_ok = check::CheckUserName(name);
  if (!name_ok) errors.push_back(1);

  std::string password = in.Form("password");
  if (!password.empty() && !check::CheckPassword(password)) errors.push_back(3);

  const std::string remember(check::Trim(in.Form("savemyinfo")));
  const RememberedData remembered(Response(), remember == "1",
                                  Server().Now().AddYears(1).ToText());
  remembered.Keep(keys::remembered::kAsked, remember);

  row.guestname = check::ToFullWidthMarks(in.Form("guestname"));
  if (check::Length(row.guestname) < 2) {
    errors.push_back(15);
  } else {
    remembered.Keep(keys::remembered::kName, row.guestname);
  }

  std::string country = check::ToFullWidthMarks(in.Form("guo"));
  if (country == keys::message_form::kNoCountry) country.clear();
  remembered.Keep(keys::remembered::kCountry, country);
  std::string province(check::Trim(in.Form("sheng")));
  if (province == keys::message_form::kNoProvince) province.clear();
  province = check::ToFullWidthMarks(province);
  remembered.Keep(keys::remembered::kProvince, province);
  const std::string county = check::ToFullWidthMarks(in.Form("xian"));
  if (check::Length(county) > 1) remembered.Keep(keys::remembered::kCounty, county);
  row.hailfrom = post::Location(country, province, county);

  row.touxiang = post::SafeAvatar(in.Form("tx"));

  row.email = check::Trim(in.Form("email"));
  if (!row.email.empty()) {
    row.email = check::StripMarks(row.email);
    if (!check::CheckEmail(row.email)) {
      errors.push_back(5);
    } else {
      remembered.Keep(keys::remembered::kEmail, row.email);
    }
  }

  row.subject = check::ToFullWidthMarks(in.Form("subject"));
  if (MyStopThisWord(row.subject)) return Response().Redirect(kStopWordPage);
  if (check::Length(row.subject) < 2) errors.push_back(16);

  row.homepage = check::Trim(in.Form("homepage"));
  if (!row.homepage.empty()) {
    row.homepage = check::StripMarks(row.homepage);
    if (!check::CheckUrl(row.homepage)) {
      errors.push_back(6);
    } else {
      remembered.Keep(keys::remembered::kHomepage, row.homepage);
    }
  }

  row.oicq = check::Trim(in.Form("oicq"));
  if (!row.oicq.empty()) {
    if (Value(row.oicq).IsNumeric()) {
      remembered.Keep(keys::remembered::kOicq, row.oicq);
    } else {
      errors.push_back(17);
    }
  }

  const std::string format = in.Form("html");
  if (format != "0" && format != "1" && format != "2") return Write(kNoFormat);

  std::string message = check::Left(in.Form("message"), post::MessageLimit(LybMsgLen()));
  if (MyStopThisWord(message)) return Response().Redirect(kStopWordPage);
  // Only a valid name becomes part of a session key.
  if (name_ok)
    Session().Set(keys::BookKey(name, keys::acceptance::kMessage), Value(message));
  row.message = message;

  const std::string replyid(check::Trim(in.Query("replyid")));
  const bool is_reply = check::Trim(in.Query("reply")) == "1";
  row.newinfo = is_reply ? "1" : "0";
  const std::string reply_mail(check::Trim(in.Form("replymail")));
  row.replymail = reply_mail == "1" ? "1" : "0";
  row.ip = in.RemoteAddr();
  row.regtime = Server().Now().ToText();
  row.fontsize = post::SafeFontSize(in.Form("fontsize"));
  row.fontcolor = post::SafeFontColor(in.Form("fontcolor"));
  row.font = post::SafeFont(in.Form("font"));

  if (!errors.empty()) {
    std::string list;
    for (int number : errors) (list += Message(number)) += "<br>";
    Write(list);
    return Write(kErrorsBack);
  }

  // The counter is read and raised, and the row stored, as one change, so
  // posts at the same moment get distinct numbers and a failure loses none.
  auto db = OpenDatabase();
  data::Transaction tx(db);
  auto book = FindBook(db, name);
  if (book.Eof() && book.Bof()) {
    outcome_.done = Done::kNoSuchBook;
    return;
  }
  Session().Set(keys::BookKey(name, keys::acceptance::kOwnerMail), book["email"]);
  Session().Set(keys::BookKey(name, keys::acceptance::kTitle), book["titletop"]);
  Session().Set(keys::BookKey(name, keys::acceptance::kForward), book["sendinfo"]);
  const std::int64_t counter = book["infoserial"].Whole().value_or(0);

  const bool by_owner = !password.empty();
  if (by_owner &&
      !CheckedSecret(passwords::PasswordMatches(book["password"].Text(), password)))
    return Write(kWrongPassword);
  row.whoinfo = by_owner ? "1" : "0";
  row.html = post::StoredFormat(format, book["html"].Text(), by_owner);

  if (is_reply) {
    const auto parent = FindReplyParent(db, name, replyid);
    if (!parent) return Write(kBadReplyTarget);
    row.infoseekno = std::to_string(post::ReplySortKey(parent->sort_key));
    // A private reply is for the owner's eyes: it is not mailed out.
    if (row.priviteword == "0") outcome_.reply_mail_to = parent->mail_to;
  } else {
    row.infoseekno = std::to_string(post::NewThreadSortKey(counter));
  }
  row.infono = std::to_string(counter);
  row.name = name;

  db.ExecuteLater("update user set infoserial= infoserial + 1 where name = ?",
                  {Value(name)});
  db.ExecuteLater(post::kInsertMessageSql, post::MessageValues(row));
  tx.Commit();
  outcome_.done = Done::kMessageStored;

  Session().Set(keys::kPosted, Value("1"));
  Write(SuccessPage(name));
}

}  // namespace tb
