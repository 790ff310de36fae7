// File: mailing.h — the mail the pages send after the component's call,
// composed from what the call left in its outcome and the session. Each
// does nothing when the site sends no mail (PageEnv::outbox() is nullptr).
//
// Example:
//   const Captured out = Capture(env, &Guestbook::AddCheck);
//   if (env.component().outcome().done == Guestbook::Done::kMessageStored)
//   MailAfterPost(env);
#pragma once

#include <string>
#include <string_view>

#include "server/pages/page_env.h"

namespace tb::server::pages {

// After a stored message of the guestbook in the query's `name`: mails the
// owner when the guestbook asks for it (its `sendinfo` is "1"), and the
// poster of the message a reply answers when that poster asked for replies.
void MailAfterPost(PageEnv& env);

// After a registration or a change of address: mails the link that confirms
// the address, when the call drew a code for one.
void MailConfirmation(PageEnv& env);

// After a forgotten password was replaced: mails the new one to the owner;
// returns whether it did (else the page shows it).
bool MailNewPassword(PageEnv& env);

// The address of a page of the site: the component's LybUrl, with a "/"
// before `page` when it has none at its end.
// Example: with LybUrl "http://gb.example.cn", SiteAddress(env, "show.asp")
// is "http://gb.example.cn/show.asp".
std::string SiteAddress(PageEnv& env, std::string_view page);

}  // namespace tb::server::pages
