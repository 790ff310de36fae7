#include "server/pages/frame.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "check/text.h"
#include "host/page.h"
#include "server/http/style.h"

namespace tb::server::pages {
namespace {

// The links of the header and the footer, back to the site's public pages.
constexpr std::string_view kSiteLinks =
    "<a href=\"index.asp\">首页</a> | <a href=\"userlist.asp\">留言板列表</a> | "
    "<a href=\"admin.asp\">登录管理</a>";

constexpr std::string_view kDocumentStart =
    "<!DOCTYPE html>\n"
    "<html>\n"
    "<head>\n"
    "<meta charset=\"gb2312\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";

// A context that passes everything on to the page's own but the writes,
// which the subclass handles.
class DivertedContext : public host::PageContext, public host::Response {
 public:
  explicit DivertedContext(host::PageContext& real) : real_(real) {}

  host::Request& request() override { return real_.request(); }
  host::Response& response() override { return *this; }
  host::Server& server() override { return real_.server(); }
  host::Session& session() override { return real_.session(); }

  void Redirect(std::string_view page) override {
    redirected = true;
    real_.response().Redirect(page);
  }
  void SetCookie(std::string_view name, std::string_view value) override {
    real_.response().SetCookie(name, value);
  }
  void SetCookieExpires(std::string_view name, std::string_view expires) override {
    real_.response().SetCookieExpires(name, expires);
  }

  bool redirected = false;

 protected:
  host::Response& real() { return real_.response(); }

 private:
  host::PageContext& real_;
};

// Keeps what is written.
class CaptureContext final : public DivertedContext {
 public:
  using DivertedContext::DivertedContext;
  void Write(std::string_view text) override { body += text; }
  // A kept page is in the host's form, not text: members that write kept
  // pages are not captured.
  void WriteKept(std::string_view) override {
    throw std::logic_error("a kept page cannot be captured");
  }

  std::string body;
};

// Passes the writes on with `insert` right after the first body tag in them;
// what comes before the tag waits until it is seen. The search holds for
// text and for kept pages alike: in GB18030, as in UTF-8, the bytes of
// "<body" and ">" are never part of another character.
class InsertAfterBodyTag final : public DivertedContext {
 public:
  InsertAfterBodyTag(host::PageContext& real, std::string_view insert)
      : DivertedContext(real), insert_(insert) {}

  void Write(std::string_view text) override {
    if (inserted_) return real().Write(text);
    waiting += text;
    if (const std::size_t end = TagEnd(waiting)) {
      real().Write(std::string_view(waiting).substr(0, end));
      real().Write(insert_);
      real().Write(std::string_view(waiting).substr(end));
      waiting.clear();
      inserted_ = true;
    }
  }
  void WriteKept(std::string_view kept) override {
    if (inserted_) return real().WriteKept(kept);
    if (!waiting.empty()) real().Write(std::exchange(waiting, {}));
    const std::size_t end = TagEnd(kept);
    real().WriteKept(kept.substr(0, end));
    if (end == 0) return;
    real().Write(insert_);
    real().WriteKept(kept.substr(end));
    inserted_ = true;
  }

  bool inserted() const { return inserted_; }
  std::string waiting;  // written before any body tag

 private:
  // Where the first body tag ends; 0 when there is none.
  static std::size_t TagEnd(std::string_view text) {
    const std::size_t tag = text.find("<body");
    const std::size_t end = tag == text.npos ? tag : text.find('>', tag);
    return end == text.npos ? 0 : end + 1;
  }

  std::string_view insert_;
  bool inserted_ = false;
};

// Binds the component to another context for a scope, and back to the
// page's own when the scope ends (also when the member throws).
class Rebind {
 public:
  Rebind(Guestbook& book, host::PageContext& own, host::PageContext& other)
      : book_(book), own_(own) {
    book_.OnEndPage();
    book_.OnStartPage(other);
  }
  ~Rebind() {
    book_.OnEndPage();
    book_.OnStartPage(own_);
  }
  Rebind(const Rebind&) = delete;
  Rebind& operator=(const Rebind&) = delete;

 private:
  Guestbook& book_;
  host::PageContext& own_;
};

void WriteDocumentHead(PageEnv& env, std::string_view subtitle,
                       std::string_view scripts) {
  std::string title = Escaped(env.component().PageTitle().Text());
  if (!subtitle.empty()) title += (title.empty() ? "" : " - ") + Escaped(subtitle);
  Write(env, kDocumentStart);
  Write(env, "<title>" + title + "</title>\n");
  Write(env, "<link rel=\"stylesheet\" href=\"" + http::StylesheetHref() + "\">\n");
  Write(env, scripts);
  Write(env, "</head>\n");
}

}  // namespace

void Write(PageEnv& env, std::string_view text) { env.context().response().Write(text); }

bool IsPost(const PageEnv& env) { return check::EqualsIgnoreCase(env.method(), "POST"); }

std::string NavBar(PageEnv& env) {
  std::string bar = "<div class=\"nav\"><a class=\"brand\" href=\"index.asp\">" +
                    Escaped(env.component().PageTitle().Text()) + "</a><span>" +
                    std::string(kSiteLinks) + "</span>";
  if (const std::string name = env.context().session().LoggedInName(); !name.empty()) {
    bar += "<span class=\"who\">当前用户：" + Escaped(name) +
           " | <a href=\"admin.asp\">管理菜单</a> | "
           "<a href=\"admin_log_off.asp\">退出管理</a></span>";
  }
  return bar + "</div>\n";
}

void WriteHead(PageEnv& env, std::string_view subtitle, std::string_view scripts) {
  WriteDocumentHead(env, subtitle, scripts);
  Write(env, "<body>\n" + NavBar(env));
}

void WriteHeadOnly(PageEnv& env, std::string_view subtitle, std::string_view scripts) {
  WriteDocumentHead(env, subtitle, scripts);
}

void WriteFoot(PageEnv& env) {
  const std::string email = Escaped(env.component().AdminEmail().Text());
  std::string foot = "\n<div class=\"foot\">" + std::string(kSiteLinks) + "<br>" +
                     Escaped(env.component().PageTitle().Text());
  if (!email.empty())
    foot += "　管理员信箱：<a href=\"mailto:" + email + "\">" + email + "</a>";
  Write(env, foot + "</div>\n</body>\n</html>\n");
}

void FramedCall(PageEnv& env, std::string_view subtitle, void (Guestbook::*member)()) {
  WriteHead(env, subtitle);
  (env.component().*member)();
  WriteFoot(env);
}

Captured Capture(PageEnv& env, void (Guestbook::*member)()) {
  CaptureContext capture(env.context());
  {
    Rebind rebind(env.component(), env.context(), capture);
    (env.component().*member)();
  }
  return {std::move(capture.body), capture.redirected};
}

std::optional<std::string> CallInsertingAfterBodyTag(PageEnv& env,
                                                     void (Guestbook::*member)(),
                                                     std::string_view insert) {
  InsertAfterBodyTag out(env.context(), insert);
  {
    Rebind rebind(env.component(), env.context(), out);
    (env.component().*member)();
  }
  if (out.inserted()) return std::nullopt;
  return std::move(out.waiting);
}

std::string Escaped(std::string_view text) { return check::EscapeHtml(text); }

std::string_view Checked(bool on) { return on ? " checked" : ""; }
std::string_view Selected(bool on) { return on ? " selected" : ""; }

std::string Notice(std::string_view text, std::string_view heading,
                   std::string_view links) {
  std::string out = "<div class=\"notice\">";
  if (!heading.empty()) out += "<h2>" + std::string(heading) + "</h2>";
  out += "<p>" + std::string(text) + "</p>";
  if (!links.empty()) out += "<p>" + std::string(links) + "</p>";
  return out + "</div>\n";
}

std::string CategoryOptions(std::string_view current) {
  const bool listed =
      std::find(kCategories.begin(), kCategories.end(), current) != kCategories.end();
  const bool none = current.empty() || current == kNoCategory;
  std::string out =
      "<option value=\"0\"" + std::string(Selected(none)) + ">请选择</option>";
  if (!none && !listed) {
    const std::string value = Escaped(current);
    out += "<option value=\"" + value + "\" selected>" + value + "</option>";
  }
  for (std::string_view category : kCategories) {
    out += "<option value=\"" + std::string(category) + "\"" +
           std::string(Selected(category == current)) + ">" + std::string(category) +
           "</option>";
  }
  return out;
}

}  // namespace tb::server::pages
