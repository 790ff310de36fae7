// File: pages.h — the page functions of the site, one per path, grouped by the
// file that defines them. routes.cc lists them by path.
#pragma once

#include "server/pages/page_env.h"

namespace tb::server::pages {

// home.cc: the site's home, registration, login and the account pages.
void RootPage(PageEnv& env);
void IndexPage(PageEnv& env);
void RegCheckPage(PageEnv& env);
void AdminPage(PageEnv& env);
void AdminLoginPage(PageEnv& env);
void AdminLogOffPage(PageEnv& env);
void LostPasswordPage(PageEnv& env);
void LostPasswordCheckPage(PageEnv& env);
void ConfirmPage(PageEnv& env);
void UserDelMePage(PageEnv& env);
void AdminDelAllPage(PageEnv& env);
void TestPage(PageEnv& env);

// board.cc: the guestbook page, the legacy form page and the acceptance.
void ShowPage(PageEnv& env);
void AddBakPage(PageEnv& env);
void AddCheckPage(PageEnv& env);

// message_form.cc: the message form.
void AddPage(PageEnv& env);

// settings.cc: the owner's settings pages.
void JieMianPage(PageEnv& env);
void JieMianBakPage(PageEnv& env);
void JieMianCheckPage(PageEnv& env);
void JieMian2Page(PageEnv& env);
void JieMianCheck2Page(PageEnv& env);
void JieMian3Page(PageEnv& env);
void JieMian3CheckPage(PageEnv& env);

// admin.cc: the guestbook list and the superuser's tools.
void UserListPage(PageEnv& env);
void AdminDelUserPage(PageEnv& env);
void AdminDelInfoPage(PageEnv& env);
void ToolsMailPage(PageEnv& env);
void GetPassPage(PageEnv& env);
void ToolsDbPage(PageEnv& env);

// help.cc: the help pages and the refusal pages.
void Help1Page(PageEnv& env);
void Help2Page(PageEnv& env);
void Help3Page(PageEnv& env);
void UserNameErrorPage(PageEnv& env);
void GuanshuiPage(PageEnv& env);
void FeifaPage(PageEnv& env);

}  // namespace tb::server::pages
