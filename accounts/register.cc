// Registration of a new guestbook: every field is checked and all failures
// are reported at once; a free name gets its `user` row and the visitor sees
// the address of the new guestbook.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/convert.h"
#include "check/lengths.h"
#include "check/text.h"
#include "check/validate.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/messages.h"
#include "component/password_hash.h"
#include "data/connection.h"

namespace tb {
namespace {

constexpr std::string_view kBackToForm =
    "<p></p><a href=javascript:history.go(-1);>返回上一步，重新填写</a>";
constexpr std::string_view kNameTakenBack =
    "<a href=javascript:history.go(-1);>点这里回上一步</a>";

// The form's site category entry that asks the visitor to choose one.
constexpr std::string_view kNoCategory = "0";

// Suffix of the session key (after the name) that keeps the confirmation code.
constexpr std::string_view kCodeKeySuffix = "reg_check_crccode";

// The columns the registration writes, in the order of the values.
constexpr std::string_view kInsert =
    "insert into user(name,password,email,homepage,regtime,ip,html,titletop,"
    "question,answer,idcard,nettype,crccode) values (?,?,?,?,?,?,?,?,?,?,?,?,?)";

// One registration form, read from the request and converted by the checks.
struct Registration {
  std::string name, password, password2, email, homepage, regtime, ip, html, titletop,
      question, answer, idcard, nettype;
};

// The message mode the guestbook allows; anything but the three modes is
// taken as UBB code.
std::string MessageMode(std::string mode) {
  constexpr std::array<std::string_view, 3> kModes = {"1", "0", "2"};
  for (auto known : kModes) {
    if (mode == known) return mode;
  }
  return std::string(kModes.back());
}

// Every failing check appends its message; the checks convert their fields
// in place (the password, e-mail and identity card trimmed, the title's and
// the hint's marks replaced) so that what is stored is what was checked.
std::string Validate(Registration& r) {
  std::string report;
  auto fail = [&report](int number) {
    report += Message(number);
    report += "<br>";
  };
  if (!check::CheckUserName(r.name)) fail(1);
  if (auto n = check::Length(r.name); n < 3 || n > 15) fail(2);
  if (!check::CheckPassword(r.password)) fail(3);
  if (r.password != r.password2) fail(4);
  if (!check::CheckEmail(r.email)) fail(5);
  if (!check::CheckUrl(r.homepage)) fail(6);
  r.html = MessageMode(std::move(r.html));
  if (!check::CheckSafeText(r.titletop)) fail(7);
  if (auto n = check::Length(check::Trim(r.titletop)); n > 50 || n < 1) fail(8);
  r.question = check::ToFullWidthMarks(r.question);
  if (!check::CheckLength1To50(r.question)) fail(9);
  r.answer = check::ToFullWidthMarks(r.answer);
  if (!check::CheckLength1To50(r.answer)) fail(10);
  if (auto n = check::Length(r.idcard); n != 15 && n != 18) fail(11);
  if (!check::CheckDigits(r.idcard)) fail(11);
  if (r.nettype == kNoCategory) fail(12);
  return report;
}

// The new row's values, in kInsert's order, with the password as stored.
// The code goes as text, as the form's values do: the column's affinity
// stores it as a number.
std::vector<Value> InsertValues(const Registration& r, std::string password,
                                std::string code) {
  return {Value(r.name),         Value(std::move(password)),
          Value(r.email),        Value(r.homepage),
          Value(r.regtime),      Value(r.ip),
          Value(r.html),         Value(r.titletop),
          Value(r.question),     Value(r.answer),
          Value(r.idcard),       Value(r.nettype),
          Value(std::move(code))};
}

}  // namespace

std::optional<std::string_view> Guestbook::RegistrationClosed() {
  if (IsOpen().Text() == "0") return "本站暂停申请新留言板，请以后再来。";
  const auto limit = LybMaxUser().Whole();
  if (!limit || *limit <= 0) return std::nullopt;
  data::Connection db(Server().Databases());
  db.Open(DSNtemp());
  auto count = db.Execute("select count(*) as n from user where name <> ?",
                          {Value(keys::kSuperuser)});
  if (count.Field("n").Whole().value_or(0) >= *limit)
    return "本站留言板数量已经达到上限，暂停申请新留言板。";
  return std::nullopt;
}

void Guestbook::RegCheck() {
  auto form = [this](std::string_view field) {
    return std::string(check::Trim(Request().Form(field)));
  };
  Registration r{
      .name = form("name"),
      .password = form("password"),
      .password2 = form("password2"),
      .email = form("email"),
      .homepage = form("homepage"),
      .regtime = Server().Now().ToText(),
      .ip = Request().RemoteAddr(),
      .html = Request().Form("html"),
      .titletop = form("titletop"),
      .question = form("question"),
      .answer = form("answer"),
      .idcard = form("idcard"),
      .nettype = form("nettype"),
  };
  if (const std::string refusal = check::TooLong({
          {r.email, check::kEmailLimit},
          {r.homepage, check::kHomepageLimit},
          {r.titletop, check::kTitleLimit},
          {r.nettype, check::kCategoryLimit},
      });
      !refusal.empty()) {
    Write(refusal + "<br>");
    return Write(kBackToForm);
  }
  const std::string report = Validate(r);

  // The code is drawn on every call, also when the form is refused; it is
  // kept only under a name that could be registered, so that a posted name
  // of any length never becomes a session key.
  const std::int64_t code = Server().Random(111111, 999999);
  if (check::CheckUserName(r.name)) {
    Session().Set(r.name + std::string(kCodeKeySuffix), Value(code));
  }

  if (!report.empty()) {
    Write(report);
    Write(kBackToForm);
    return;
  }

  // Hashed before the store is locked: a hash takes a while.
  std::string password = passwords::StoredPassword(r.password, PasswordHashing());
  auto conn = OpenDatabase();
  // The look-up and the insert are one step, so two visitors registering the
  // same name at once get one guestbook and one "taken" answer.
  data::Transaction tx(conn);
  auto existing = FindBook(conn, r.name);
  if (!(existing.Eof() && existing.Bof())) {
    Write("<br><br>用户：" + r.name + " 已经存在!请用其他名字注册！");
    Write(kNameTakenBack);
    return;
  }
  conn.Execute(kInsert, InsertValues(r, std::move(password), std::to_string(code)));
  tx.Commit();
  outcome_.confirm = AddressToConfirm{r.name, r.email, std::to_string(code)};
  Write("<p></p>恭喜！用户：" + r.name + "注册成功！");
  Write("<p></p>留言板连接代码：&nbsp;&nbsp; <a href='show.asp?name=" + r.name +
        "' target='_blank'>" + LybUrl().Text() + "show.asp?name=" + r.name + "</a>");
}

}  // namespace tb
