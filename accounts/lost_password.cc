// Recovering a forgotten password: the first page shows the stored hint
// question and asks for its answer and the identity card number; the second
// compares both with the stored ones and, when they match, shows the stored
// password, or, when passwords are kept as hashes, sets a new one and shows
// that.
#include <array>
#include <string>
#include <string_view>

#include "check/convert.h"
#include "check/text.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/password_hash.h"
#include "data/connection.h"

namespace tb {
namespace {

// A new password: letters and digits that cannot be mistaken for others.
constexpr std::string_view kPasswordAlphabet =
    "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
constexpr int kNewPasswordLength = 10;

constexpr std::string_view kNoHint =
    "用户注册时没有填写密码提示或密码回答，找回密码失败！";

constexpr std::array<std::string_view, 7> kFormHead = {
    "<table border=\"0\" width=\"100%\">",
    "  <tr>",
    "    <td width=\"100%\" align=\"right\" colspan=\"2\">",
    "      <p align=\"center\">请输入你注册时填写的密码问题回答和你的身份证号码：</p>",
    "    </td>",
    "  </tr>",
    "  <tr>",
};
constexpr std::array<std::string_view, 2> kQuestionCaption = {
    "    <td width=\"50%\" align=\"right\">&nbsp; 密码提示：",
    "    </td>",
};
// From the end of the question's row to the end of the form.
constexpr std::array<std::string_view, 18> kFormTail = {
    "  </tr>",
    "  <tr>",
    "    <td width=\"50%\" align=\"right\">密码回答：</td>",
    "    <td width=\"50%\"><input type=\"text\" name=\"answer\" size=\"20\"></td>",
    "  </tr>",
    "  <tr>",
    "    <td width=\"50%\" align=\"right\">身份证号码：</td>",
    "    <td width=\"50%\"><input type=\"text\" name=\"idcard\" size=\"20\"></td>",
    "  </tr>",
    "  <tr>",
    "    <td width=\"100%\" colspan=\"2\" align=\"right\">",
    "  <p align=\"center\">",
    "  <input type=\"submit\" value=\"找回我的密码\" name=\"B1\"></p>",
    "    </td>",
    "  </tr>",
    "</table>",
    "</form>",
    "<p>　</p>",  // one ideographic space
};

// A guestbook registered without a hint question or answer (shorter than
// three characters, or missing) cannot recover its password.
bool HasHint(data::Recordset& row) {
  return check::Length(row["answer"].Text()) >= 3 &&
         check::Length(row["question"].Text()) >= 3;
}

// A stored proof that is missing or empty never matches.
bool Matches(const Value& stored, std::string_view given) {
  return !stored.Text().empty() && stored.Text() == given;
}

}  // namespace

void Guestbook::LostPass() {
  const std::string name(check::Trim(Request().Form("name")));
  auto conn = OpenDatabase();
  auto row = FindBook(conn, name);
  if (row.Eof() && row.Bof()) return Write("请检查用户名是否正确或用户不存在!");
  if (!HasHint(row)) return Write(kNoHint);

  Write("<p></p>");
  Write("<form method=\"POST\" action = \"lostpassword_check.asp?name=" +
        check::EscapeHtml(name) + "\">");
  for (auto piece : kFormHead) Write(piece);
  for (auto piece : kQuestionCaption) Write(piece);
  Write("    <td width=\"50%\">" + row["question"].Text() + "</td>");
  for (auto piece : kFormTail) Write(piece);
}

void Guestbook::LostPassCheck() {
  const std::string name(check::Trim(Request().Query("name")));
  const std::string answer(check::Trim(Request().Form("answer")));
  const std::string idcard(check::Trim(Request().Form("idcard")));
  auto conn = OpenDatabase();
  auto row = FindBook(conn, name);
  if (!CheckedSecret(!(row.Eof() && row.Bof()))) return Write("请检查用户名是否正确");
  if (!HasHint(row)) return Write(kNoHint);

  if (!CheckedSecret(Matches(row["answer"], answer) && Matches(row["idcard"], idcard))) {
    return Write("你填写的信息不正确,找回密码失败！");
  }
  const std::string stored = row["password"].Text();
  if (!PasswordHashing() && !passwords::IsPasswordHash(stored)) {
    return Write("你的密码是：" + stored);
  }
  // A hash cannot be shown: the owner gets a new password instead, and
  // whoever was logged in with the old one is logged out.
  std::string password;
  for (int i = 0; i < kNewPasswordLength; ++i) {
    password += kPasswordAlphabet[static_cast<std::size_t>(
        Server().Random(0, static_cast<std::int64_t>(kPasswordAlphabet.size()) - 1))];
  }
  const std::string stored_name = row["name"].Text();
  outcome_.owner_email = row["email"].Text();
  row.Close();
  conn.Execute("update user set password = ? where name = ?",
               {Value(passwords::StoredPassword(password, PasswordHashing())),
                Value(stored_name)});
  Session().EndLogins(stored_name, host::Session::Reach::kOthers);
  outcome_.new_password = password;
  Write("你的新密码是：" + password);
}

}  // namespace tb
