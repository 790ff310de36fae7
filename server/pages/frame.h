// File: frame.h — what every page of the site shares: the document's head
// (charset, title, the stylesheet of style.h, the page's scripts), the header
// bar, the footer with links home and the site manager's address, boxed
// notices, and small pieces of forms.
//
// A page reads as: head, its own part and the component's output, foot.
//
// Example:
//   void AdminLoginPage(PageEnv& env) {
//     WriteHead(env, "管理菜单");
//     env.component().AdminLogin();
//     WriteFoot(env);
//   }
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "server/pages/page_env.h"

namespace tb::server::pages {

// Appends to the page's response.
void Write(PageEnv& env, std::string_view text);

// True when the request was posted.
bool IsPost(const PageEnv& env);

// The header bar: the site's name and links to the home, the guestbook list
// and the login; while an owner or the superuser is logged in, "当前用户："
// with the name and links to the management menu and out.
std::string NavBar(PageEnv& env);
// The document's start: doctype, head (title "PageTitle - subtitle", the
// stylesheet's link, `scripts`), then "<body>" and the header bar.
void WriteHead(PageEnv& env, std::string_view subtitle, std::string_view scripts = {});
// The same head without "<body>" and the bar: for a component that writes its
// own body tag.
void WriteHeadOnly(PageEnv& env, std::string_view subtitle, std::string_view scripts);
// The footer (links to the home, the list and the login; the site's name and
// the site manager's mail address when set) and the document's end.
void WriteFoot(PageEnv& env);

// A page that is only the frame around one member of the component.
void FramedCall(PageEnv& env, std::string_view subtitle, void (Guestbook::*member)());

// A guess of a secret (a password, the lost-password answers) at the
// guestbook `name`, counted per client address (ClientLimits). It is taken
// from the client's share before the member checks it; while the client may
// not guess, the framed refusal is written instead and refused() is true.
// Settle() counts what the component's last member found; a guess left
// unsettled (a page that stopped before the check, a failing store) is
// given back.
class Guess {
 public:
  Guess(PageEnv& env, std::string_view subtitle, std::string_view name);
  ~Guess();
  Guess(const Guess&) = delete;
  Guess& operator=(const Guess&) = delete;

  bool refused() const { return !taken_; }
  void Settle();

 private:
  PageEnv& env_;
  const std::string address_, name_;
  bool taken_;
};

// A FramedCall that is a Guess, for the name the member reads (blanks at its
// ends trimmed, as the member does).
void GuessingCall(PageEnv& env, std::string_view subtitle, void (Guestbook::*member)(),
                  std::string_view name);

// What a member wrote, kept aside instead of going to the response, and
// whether it redirected. A redirect and cookies still reach the response.
struct Captured {
  std::string body;
  bool redirected = false;
};
Captured Capture(PageEnv& env, void (Guestbook::*member)());

// Calls `member`, its output written on with `insert` right after the first
// body tag in it. What it wrote when it wrote no body tag is returned
// instead of written.
std::optional<std::string> CallInsertingAfterBodyTag(PageEnv& env,
                                                     void (Guestbook::*member)(),
                                                     std::string_view insert);

// Request text made safe for a page: `&` `<` `>` `"` `'` as entities.
std::string Escaped(std::string_view text);

// " checked" or nothing; " selected" or nothing.
std::string_view Checked(bool on);
std::string_view Selected(bool on);

// The links under a refusal: one step back, and the site's home.
inline constexpr std::string_view kBackLinks =
    "<a href=\"javascript:history.go(-1);\">返回上一步</a> | "
    "<a href=\"index.asp\">返回首页</a>";

// A boxed notice of the page's own: a heading (none when empty), the text and
// a line of links (none when empty). Example:
//   Notice("本站暂停申请新留言板，请以后再来。", "暂停申请", {})
std::string Notice(std::string_view text, std::string_view heading = {},
                   std::string_view links = kBackLinks);

// The script of the message forms (form "lyadd"): the poster's name and the
// subject need at least 2 characters before the form is sent.
inline constexpr std::string_view kAddCheckScript = R"html(<script>
function add_check() {
  var f = document.lyadd;
  if (f.guestname.value.replace(/^ +| +$/g, "").length < 2) {
    alert("请填写你的姓名或网名，至少2个字符！");
    f.guestname.focus();
    return false;
  }
  if (f.subject.value.replace(/^ +| +$/g, "").length < 2) {
    alert("请填写你的留言主题，至少2个字符！");
    f.subject.focus();
    return false;
  }
  return true;
}
</script>
)html";

// The site categories a guestbook chooses from; "0" is the value of the entry
// that asks for a choice.
inline constexpr std::string_view kNoCategory = "0";
inline constexpr std::array<std::string_view, 18> kCategories = {
    "综合门户", "电脑网络", "电信港湾", "工商经济", "国家地区", "金融投资",
    "科学教育", "女性天地", "情感交流", "生活资讯", "体育健身", "卫生保健",
    "文化艺术", "新闻媒体", "休闲娱乐", "游戏世界", "政府机关", "其他类别"};

// The options of the category list: "请选择" (value "0"), then the 18
// categories; `current` is selected. A current value outside the list is
// offered first, so that saving unchanged keeps it.
std::string CategoryOptions(std::string_view current);

}  // namespace tb::server::pages
