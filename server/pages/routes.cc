// The table of the site's pages and the lookup of pages, the stylesheet and
// the images by path.
#include "host/ascii.h"
#include "server/http/style.h"
#include "server/pages/images.h"
#include "server/pages/page_env.h"
#include "server/pages/pages.h"

namespace tb::server {
namespace {

constexpr Route kRoutes[] = {
    {"", pages::RootPage},
    {"index.asp", pages::IndexPage},
    {"reg_check.asp", pages::RegCheckPage},
    {"admin.asp", pages::AdminPage},
    {"admin_login.asp", pages::AdminLoginPage},
    {"admin_log_off.asp", pages::AdminLogOffPage},
    {"show.asp", pages::ShowPage, Cost::kListing},
    {"add.asp", pages::AddPage, Cost::kBounded},
    {"add_bak.asp", pages::AddBakPage},
    {"add_check.asp", pages::AddCheckPage},
    {"lostpassword.asp", pages::LostPasswordPage},
    {"lostpassword_check.asp", pages::LostPasswordCheckPage},
    {"confirm.asp", pages::ConfirmPage},
    {"userdelme.asp", pages::UserDelMePage},
    {"admin_del_all.asp", pages::AdminDelAllPage},
    {"admin_jiemian.asp", pages::JieMianPage},
    {"admin_jiemian_bak.asp", pages::JieMianBakPage},
    {"admin_jiemian_check.asp", pages::JieMianCheckPage},
    {"admin_jiemian2.asp", pages::JieMian2Page},
    {"admin_jiemian_check2.asp", pages::JieMianCheck2Page},
    {"admin_jiemian3.asp", pages::JieMian3Page},
    {"admin_jiemian3_check.asp", pages::JieMian3CheckPage},
    {"userlist.asp", pages::UserListPage, Cost::kListing},
    {"admin_deluser.asp", pages::AdminDelUserPage},
    {"admin_delinfo.asp", pages::AdminDelInfoPage},
    {"admin_tools_mail.asp", pages::ToolsMailPage},
    {"GETPASS.ASP", pages::GetPassPage},
    {"admin_tools_db.asp", pages::ToolsDbPage},
    {"help1.asp", pages::Help1Page, Cost::kBounded},
    {"help2.asp", pages::Help2Page, Cost::kBounded},
    {"help3.asp", pages::Help3Page, Cost::kBounded},
    {"user_name_error.asp", pages::UserNameErrorPage, Cost::kBounded},
    {"guanshui.asp", pages::GuanshuiPage, Cost::kBounded},
    {"feifa.asp", pages::FeifaPage, Cost::kBounded},
    {"test.asp", pages::TestPage, Cost::kBounded},
};

}  // namespace

std::span<const Route> Routes() { return kRoutes; }

const Route* FindRoute(std::string_view path) {
  for (const Route& r : Routes()) {
    if (host::EqualsIgnoreCase(r.path, path)) return &r;
  }
  return nullptr;
}

const Asset* FindAsset(std::string_view path) {
  if (host::EqualsIgnoreCase(http::Stylesheet().path, path)) return &http::Stylesheet();
  for (const Asset& a : pages::Images()) {
    if (host::EqualsIgnoreCase(a.path, path)) return &a;
  }
  return nullptr;
}

}  // namespace tb::server
