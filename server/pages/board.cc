// The guestbook page, the legacy message form page and the acceptance page.
#include <optional>
#include <string>

#include "check/text.h"
#include "server/pages/frame.h"
#include "server/pages/mailing.h"
#include "server/pages/pages.h"

namespace tb::server::pages {
namespace {

// Asks before the owner's delete button sends the ticked messages; nothing
// is sent without a ticked box.
constexpr std::string_view kDelCheckScript = R"html(<script>
function del_check() {
  var boxes = document.getElementsByName("lydelno");
  var chosen = 0;
  for (var i = 0; i < boxes.length; i++) {
    if (boxes[i].checked) chosen++;
  }
  if (chosen == 0) {
    alert("请先选择要删除的留言！");
    return false;
  }
  return confirm("你确认删除所选择的 " + chosen + " 条留言吗？");
}
</script>
)html";

constexpr std::string_view kNoSuchBook = "没有找到这个留言板，留言没有保存。";
// Where a client that posts faster than its share is sent.
constexpr std::string_view kFloodPage = "guanshui.asp";

// The acceptance's own short document, framed: its refresh (back to the
// guestbook) joins the frame's head, its body goes inside the frame.
void WriteAcceptance(PageEnv& env, std::string_view document) {
  auto part = [&](std::string_view open, std::string_view close, bool keep_tags) {
    const std::size_t start = document.find(open);
    const std::size_t end =
        start == std::string_view::npos ? start : document.find(close, start);
    if (end == std::string_view::npos) return std::string_view();
    return keep_tags ? document.substr(start, end + close.size() - start)
                     : document.substr(start + open.size(), end - start - open.size());
  };
  WriteHead(env, "发表留言", std::string(part("<meta HTTP-EQUIV", ">", true)) + "\n");
  Write(env, part("<body>", "</body>", false));
  WriteFoot(env);
}

}  // namespace

// The component writes the page's body tag (with the guestbook's
// background), so the head ends without one.
// The header bar goes right after that body tag; an answer without one (no
// such guestbook) is boxed in a body of the frame's own.
void ShowPage(PageEnv& env) {
  const std::string name(check::Trim(env.context().request().Query("name")));
  WriteHeadOnly(env, name, kDelCheckScript);
  const std::string bar = "\n" + NavBar(env);
  if (auto untagged = CallInsertingAfterBodyTag(env, &Guestbook::ShowBook, bar)) {
    Write(env, "<body>" + bar + Notice(*untagged));
  }
  WriteFoot(env);
}

// The legacy method writes the whole form; the page adds the frame and the
// form's script, or nothing when the method sends the visitor away.
void AddBakPage(PageEnv& env) {
  const Captured form = Capture(env, &Guestbook::Add_bak);
  if (form.redirected) return;
  WriteHead(env, "发表留言", kAddCheckScript);
  Write(env, form.body);
  WriteFoot(env);
}

// A stored message gets the acceptance's own short document, framed, which
// returns to the guestbook; refusals are framed like any page. A stored
// message is mailed to the owner and to the poster it answers, when the site
// sends mail and they asked for it (MailAfterPost).
void AddCheckPage(PageEnv& env) {
  const host::Request& request = env.context().request();
  const std::string name(check::Trim(request.Query("name")));
  // The owner's password on the form is a guess like any login.
  std::optional<Guess> guess;
  if (!request.Form("password").empty()) {
    guess.emplace(env, "发表留言", name);
    if (guess->refused()) return;
  }
  ClientLimits& limits = env.limits();
  const std::string address = request.RemoteAddr();
  if (!limits.TakePost(address)) return env.context().response().Redirect(kFloodPage);

  const Captured out = Capture(env, &Guestbook::AddCheck);
  const Guestbook::Done done = env.component().outcome().done;
  if (done != Guestbook::Done::kMessageStored) limits.ReturnPost(address);
  if (guess) guess->Settle();
  if (out.redirected) return;
  if (done == Guestbook::Done::kMessageStored) {
    MailAfterPost(env);
    return WriteAcceptance(env, out.body);
  }
  WriteHead(env, "发表留言");
  Write(env, done == Guestbook::Done::kNoSuchBook ? Notice(kNoSuchBook) : out.body);
  WriteFoot(env);
}

}  // namespace tb::server::pages
