// File: keys.h — the names that pass between the operations and the pages:
// the session keys a login and the message form leave, the session keys the
// form preparations copy a guestbook's settings to, and the cookies that
// remember a poster and count a visit. Keys bound to one guestbook are the
// guestbook's name followed by a fixed suffix.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "host/page.h"

namespace tb::keys {

// The login keys belong to the host's session, which ends logins by them.
// The logged-in owner's guestbook name, as stored.
inline constexpr std::string_view kName = host::kLoginName;
// "yes" once an owner has logged in.
inline constexpr std::string_view kLog = host::kLoginFlag;
// "yes" once the superuser ("admin") has logged in.
inline constexpr std::string_view kAdminLog = host::kSuperuserFlag;
// The message form's key and the posted flag ("0" fresh form, "1" posted).
inline constexpr std::string_view kFormKey = "ly_fgs";
inline constexpr std::string_view kPosted = "ly_tijiao";
// The form key again, under the guestbook's name followed by this.
inline constexpr std::string_view kBookFormKeySuffix = "fgs";

// The superuser's guestbook name.
inline constexpr std::string_view kSuperuser = "admin";

// The key of a value bound to the guestbook `name`.
// Example: BookKey("abc", message_form::kMode) == "abcaddhtml".
inline std::string BookKey(std::string_view name, std::string_view suffix) {
  return std::string(name) + std::string(suffix);
}

// A session key suffix and the `user` column copied under it.
struct CopiedColumn {
  std::string_view suffix, column;
};

// The message form's settings, which Add copies from the guestbook's row for
// the form page, each under BookKey(name, suffix).
namespace message_form {
inline constexpr std::string_view kNameCaption = "addinfoname";
inline constexpr std::string_view kMailCaption = "addinfomail";
inline constexpr std::string_view kHomepageCaption = "addinfohomepage";
inline constexpr std::string_view kWhereCaption = "addinfowhere";
inline constexpr std::string_view kOicqCaption = "addinfooicq";
inline constexpr std::string_view kSubjectCaption = "addinfosubject";
// The optional rows offered (see Offers).
inline constexpr std::string_view kRows = "addinfostyle";
// The formats offered: "1" text or HTML, "2" text or UBB, else text only.
inline constexpr std::string_view kMode = "addhtml";
inline constexpr std::string_view kTitle = "addtitletop";
inline constexpr std::string_view kTitleImage = "addtopimage";
// "1": the title is the image.
inline constexpr std::string_view kTitleFormat = "addtopformat";

// The first entries of the form's country and province lists: posted back,
// they stand for no choice.
inline constexpr std::string_view kNoCountry = "请选择国家";
inline constexpr std::string_view kNoProvince = "请选择省市";

// In the order Add sets them.
inline constexpr std::array<CopiedColumn, 11> kCopied = {{
    {kNameCaption, "infoname"},
    {kMailCaption, "infomail"},
    {kHomepageCaption, "infohomepage"},
    {kWhereCaption, "infowhere"},
    {kOicqCaption, "infooicq"},
    {kSubjectCaption, "infosubject"},
    {kRows, "infostyle"},
    {kMode, "html"},
    {kTitle, "titletop"},
    {kTitleImage, "topimage"},
    {kTitleFormat, "topformat"},
}};
}  // namespace message_form

// The optional rows of the message form, by their position (from 1) in the
// owner's infostyle text.
enum class FormRow {
  kEmail = 1,
  kHomepage,
  kLocation,  // the country and province lists
  kCounty,
  kOicq,
  kAvatar,
  kTypeface,
  kFontColour,
  kFontSize,
  kReplyMail,
  kPrivate,
  kOwner,  // the owner's confirmation by password
};

// Whether `infostyle` offers `row`: its character at the row's position is
// "1"; any other character, or a text too short, leaves the row out.
// Example: Offers("01", FormRow::kHomepage) is true; Offers("01",
// FormRow::kCounty) is false.
constexpr bool Offers(std::string_view infostyle, FormRow row) {
  const auto at = static_cast<std::size_t>(row) - 1;
  return at < infostyle.size() && infostyle[at] == '1';
}

// The owner's basic settings, which JieMian1 copies from the owner's row for
// the settings page, each column under BasicKey(owner, column).
namespace basic_settings {
inline constexpr std::string_view kRows = "infostyle";
inline constexpr std::string_view kTitle = "titletop";
inline constexpr std::string_view kTitleImage = "topimage";
inline constexpr std::string_view kTitleFormat = "topformat";
inline constexpr std::string_view kPerPage = "infolistno";
inline constexpr std::string_view kMode = "html";
inline constexpr std::string_view kBackground = "backimage";
inline constexpr std::string_view kForward = "sendinfo";
inline constexpr std::string_view kCategory = "nettype";
inline constexpr std::string_view kHomepage = "homepage";

// In the order JieMian1 sets them.
inline constexpr std::array<std::string_view, 10> kCopied = {
    kRows, kTitle,      kTitleImage, kTitleFormat, kPerPage,
    kMode, kBackground, kForward,    kCategory,    kHomepage,
};

// Example: BasicKey("abc", kTitle) == "abcjm1titletop".
inline std::string BasicKey(std::string_view owner, std::string_view column) {
  return std::string(owner) + "jm1" + std::string(column);
}
}  // namespace basic_settings

// What AddCheck leaves for a notification mail, each under BookKey(name,
// suffix): the message text, and the owner's e-mail address, title and
// forwarding choice ("1": forward every message).
namespace acceptance {
inline constexpr std::string_view kMessage = "add_check_message";
inline constexpr std::string_view kOwnerMail = "add_check_banzhumail";
inline constexpr std::string_view kTitle = "add_check_titletop";
inline constexpr std::string_view kForward = "add_check_sendinfo";
}  // namespace acceptance

// The cookies that remember a poster: AddCheck sets them (to the posted
// values when the poster asks to be remembered, else empty), the message
// forms fill their fields from them.
namespace remembered {
inline constexpr std::string_view kAsked = "ly_savemyinfo";  // "1": remember me
inline constexpr std::string_view kName = "ly_name";
inline constexpr std::string_view kEmail = "ly_email";
inline constexpr std::string_view kHomepage = "ly_zhuye";
inline constexpr std::string_view kCountry = "ly_guo";
inline constexpr std::string_view kProvince = "ly_sheng";
inline constexpr std::string_view kCounty = "ly_xian";
inline constexpr std::string_view kOicq = "ly_oicq";
// A remembered home page shorter than this is only a scheme: the forms
// leave it out.
inline constexpr std::size_t kHomepageMinLength = 8;
}  // namespace remembered

// The cookies that count a visit to a guestbook once a day, each under
// BookKey(name, suffix): "1", and the guestbook's name.
inline constexpr std::string_view kVisitedSuffix = "ly_hasfw";
inline constexpr std::string_view kVisitedNameSuffix = "ly_name";

}  // namespace tb::keys
