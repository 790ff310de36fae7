#include "server/pages/mailing.h"

#include "check/text.h"
#include "check/validate.h"
#include "component/keys.h"
#include "server/mail/message.h"

namespace tb::server::pages {
namespace {

// A value the AddCheck call left in the session under the guestbook's name.
std::string PostValue(PageEnv& env, std::string_view name, std::string_view suffix) {
  return env.context().session().Get(keys::BookKey(name, suffix)).Text();
}

}  // namespace

std::string SiteAddress(PageEnv& env, std::string_view page) {
  std::string url = env.component().LybUrl().Text();
  if (url.empty() || url.back() != '/') url += '/';
  return url + std::string(page);
}

void MailAfterPost(PageEnv& env) {
  mail::Outbox* outbox = env.outbox();
  if (!outbox) return;
  const host::Request& request = env.context().request();
  const std::string name(check::Trim(request.Query("name")));
  const std::string title = PostValue(env, name, keys::acceptance::kTitle);
  const std::string subject = request.Form("subject");
  const std::string text =
      "留言人：" + request.Form("guestname") + "\n主题：" + subject + "\n\n" +
      PostValue(env, name, keys::acceptance::kMessage) + "\n\n查看留言本：" +
      SiteAddress(env, "show.asp?name=" + env.context().server().UrlEncode(name)) + "\n";
  const std::string owner = PostValue(env, name, keys::acceptance::kOwnerMail);
  if (PostValue(env, name, keys::acceptance::kForward) == "1" && !owner.empty()) {
    outbox->Send({owner, "留言本“" + title + "”有新留言：" + subject,
                  "你的留言本“" + title + "”有一条新留言。\n\n" + text});
  }
  const std::string& poster = env.component().outcome().reply_mail_to;
  if (!poster.empty() && env.limits().TakeMail(request.RemoteAddr())) {
    outbox->Send({poster, "你在留言本“" + title + "”的留言有了回复：" + subject,
                  "你在留言本“" + title + "”的留言有了回复。\n\n" + text});
  }
}

void MailConfirmation(PageEnv& env) {
  mail::Outbox* outbox = env.outbox();
  const auto& confirm = env.component().outcome().confirm;
  if (!outbox || !confirm || !env.limits().TakeMail(env.context().request().RemoteAddr()))
    return;
  const host::Server& server = env.context().server();
  const std::string link =
      SiteAddress(env, "confirm.asp?name=" + server.UrlEncode(confirm->name) +
                           "&code=" + server.UrlEncode(confirm->code));
  outbox->Send({confirm->email, "请认证你的电子邮件地址",
                "留言本用户：" + confirm->name +
                    "\n\n请打开下面的地址，认证这个电子邮件地址：\n" + link +
                    "\n\n认证号码：" + confirm->code + "\n"});
}

bool MailNewPassword(PageEnv& env) {
  mail::Outbox* outbox = env.outbox();
  const Guestbook::Outcome& outcome = env.component().outcome();
  std::string address = outcome.owner_email;
  // An address the mail server would refuse would lose the new password.
  if (!outbox || outcome.new_password.empty() || !check::CheckEmail(address) ||
      !mail::IsSendableAddress(address))
    return false;
  outbox->Send({address, "你的留言本新密码",
                "你的留言本密码已经重新设置。\n\n新密码：" + outcome.new_password +
                    "\n\n请登录后修改密码：" + SiteAddress(env, "admin.asp") + "\n"});
  return true;
}

}  // namespace tb::server::pages
