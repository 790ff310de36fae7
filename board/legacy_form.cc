// Add_bak: the older form method. Like Add it issues the form key, clears
// the posted flag and prunes the guestbook; then it writes the complete
// message form itself, with the optional rows the owner's infostyle flags
// offer and the poster's fields pre-filled from the remembered-data cookies.
#include <string>

#include "board/form_setup.h"
#include "board/legacy_form_html.h"
#include "check/html_filter.h"
#include "check/text.h"
#include "component/book_row.h"
#include "component/guestbook.h"
#include "component/keys.h"
#include "data/recordset.h"

namespace tb {
namespace {

namespace html = board::legacy;

using keys::FormRow;

// The owner's infostyle: which optional rows the form offers (keys::Offers).
// This older form offers the font size with the colour, under the colour's
// flag; the size's own flag is not read.
class Offered {
 public:
  explicit Offered(std::string flags) : flags_(std::move(flags)) {}
  bool operator()(FormRow row) const { return keys::Offers(flags_, row); }

 private:
  std::string flags_;
};

// What the form shows from the request, as sent. The query values and the
// cookies come from the visitor's browser, so they are escaped wherever they
// are written back into the page (see Shown).
struct Visit {
  std::string name, replyid, replysubject, replyemail, reply;
  std::string cookie_name, cookie_email, cookie_homepage, cookie_country, cookie_province,
      cookie_county, cookie_oicq;
};

Visit ReadVisit(const host::Request& in) {
  auto query = [&](std::string_view key) {
    return std::string(check::Trim(in.Query(key)));
  };
  Visit v;
  v.name = query("name");
  v.replyid = query("replyid");
  v.replysubject = query("replysubject");
  v.replyemail = query("replyemail");
  v.reply = query("reply");
  v.cookie_name = in.Cookie(keys::remembered::kName);
  v.cookie_email = in.Cookie(keys::remembered::kEmail);
  v.cookie_homepage = in.Cookie(keys::remembered::kHomepage);
  v.cookie_country = in.Cookie(keys::remembered::kCountry);
  v.cookie_province = in.Cookie(keys::remembered::kProvince);
  v.cookie_county = in.Cookie(keys::remembered::kCounty);
  v.cookie_oicq = in.Cookie(keys::remembered::kOicq);
  return v;
}

// A value from the request as it is written into the page.
std::string Shown(std::string_view from_browser) {
  return check::EscapeHtml(from_browser);
}

// Writes pieces one after another; Line adds the carriage return that some
// pieces of this form end with.
class Pieces {
 public:
  explicit Pieces(host::Response& response) : response_(response) {}
  Pieces& operator<<(std::string_view piece) {
    response_.Write(piece);
    return *this;
  }
  void Line(std::string_view piece) {
    response_.Write(piece);
    response_.Write("\r");
  }
  template <std::size_t N>
  void All(const std::array<std::string_view, N>& pieces) {
    for (auto piece : pieces) response_.Write(piece);
  }
  void Option(std::string_view text, bool selected = false) {
    *this << (selected ? "<option selected>" : "<option>") << text << "</option>";
  }

 private:
  host::Response& response_;
};

// A caption cell: the owner's caption for an optional field, which may hold
// markup, but none that runs.
std::string Caption(const Value& caption) {
  return std::string(html::kCaptionOpen) + check::FilterHtml(caption.Text()) +
         std::string(html::kCaptionClose);
}

void WriteHead(Pieces& out, data::Recordset& book, const Visit& v, std::string_view key) {
  const std::string name = Shown(v.name);
  out << html::kTitleOpen;
  if (book["topformat"].Text() == "0") {
    out << html::kTitleTextOpen << check::FilterHtml(book["titletop"].Text())
        << html::kTitleTextClose;
  } else {
    out << html::kTitleImageOpen << check::EscapeHtml(book["topimage"].Text())
        << html::kTitleImageClose;
  }
  out << html::kTitleClose;
  for (auto piece : html::kBackTableOpenLines) out.Line(piece);
  out.Line(std::string(html::kBackLinkOpen) + name + std::string(html::kBackLinkClose));
  for (auto piece : html::kBackTableCloseLines) out.Line(piece);
  out << html::kFormOpen << name << html::kFormReplyEmail << Shown(v.replyemail)
      << html::kFormReply << Shown(v.reply) << html::kFormReplyId << Shown(v.replyid)
      << html::kFormKey << key << html::kFormOpenClose;
  out.Line(html::kFieldTableLine);
}

void WriteLocationRow(Pieces& out, const Value& caption, const Visit& v, bool county) {
  out << html::kRowOpen << Caption(caption) << html::kCountrySelectOpen;
  // A remembered country of one character is not taken as a choice.
  if (check::Length(v.cookie_country) > 1) {
    out.Option(Shown(v.cookie_country), true);
  } else {
    out << html::kNoCountryOption;
  }
  for (auto country : html::kCountries) out.Option(country);
  out << html::kSelectClose << html::kProvinceSelectOpen;
  if (!v.cookie_province.empty()) {
    out.Option(Shown(v.cookie_province), true);
  } else {
    out << html::kNoProvinceOption;
  }
  for (auto province : html::kProvinces) out.Option(province);
  out << html::kSelectClose;
  if (county)
    out << html::kCountyInputOpen << Shown(v.cookie_county) << html::kInputStyle;
  out << html::kLocationCellClose << html::kBareRowClose;
}

void WriteFieldRows(Pieces& out, data::Recordset& book, const Visit& v,
                    const Offered& offered) {
  out.Line(html::kNameRowOpenLine);
  out.Line(std::string(html::kNameCaptionOpen) +
           check::FilterHtml(book["infoname"].Text()) + std::string(html::kCaptionClose));
  out.Line(std::string(html::kNameInputOpen) + Shown(v.cookie_name) +
           std::string(html::kNameInputClose));
  out.Line(html::kNameRowCloseLine);

  if (offered(FormRow::kEmail)) {
    out.Line(html::kRowOpen);
    out.Line(Caption(book["infomail"]));
    out.Line(std::string(html::kEmailInputOpen) + Shown(v.cookie_email) +
             std::string(html::kInputStyleCellClose));
    out.Line(html::kRowClose);
  }
  if (offered(FormRow::kHomepage)) {
    const bool remembered =
        check::Length(v.cookie_homepage) >= keys::remembered::kHomepageMinLength;
    out << html::kRowOpen << Caption(book["infohomepage"]) << html::kHomepageInputOpen
        << (remembered ? Shown(v.cookie_homepage) : std::string(html::kHomepageScheme))
        << html::kInputStyle << html::kCellClose << html::kBareRowClose;
  }
  if (offered(FormRow::kLocation)) {
    WriteLocationRow(out, book["infowhere"], v, offered(FormRow::kCounty));
  }
  if (offered(FormRow::kOicq)) {
    out << html::kRowOpen << Caption(book["infooicq"]) << html::kOicqInputOpen
        << Shown(v.cookie_oicq) << html::kInputStyleCellClose << html::kRowClose;
  }
  out << html::kRowOpen << Caption(book["infosubject"]) << html::kSubjectCellOpen
      << html::kSubjectInputOpen << (v.reply == "1" ? Shown(v.replysubject) : "")
      << html::kInputStyle << html::kRequiredMark << html::kSubjectCellClose
      << html::kRowClose << html::kFieldTableClose;
}

void WriteChoices(Pieces& out, data::Recordset& book, const Visit& v,
                  const Offered& offered) {
  if (book["html"].Text() == "0") {
    out << html::kTextOnlyFormat;
  } else {
    out.All(html::kFormatChoice);
  }
  if (offered(FormRow::kFontColour)) {
    out.All(html::kFontSizeList);
    out << html::kFontColorSelectOpen;
    for (const auto& [value, label] : html::kFontColors) {
      if (value == html::kBlack) {
        out << html::kBlackOption;
        continue;
      }
      out << "<option style=\"background-color:" << value << ";color:" << value
          << "\" value=\"" << value << "\">" << label << "</option>";
    }
    out << html::kSelectClose;
  }
  if (offered(FormRow::kTypeface)) {
    out << html::kFontSelectOpen << html::kDefaultFontOption;
    for (auto font : html::kFonts) out.Option(font);
    out << html::kSelectClose;
  }
  out.All(html::kMessageBox);
  if (offered(FormRow::kReplyMail)) out.All(html::kReplyMailChoice);
  if (offered(FormRow::kPrivate)) out << html::kPrivateBox;
  if (offered(FormRow::kOwner)) {
    out << html::kOwnerBreak << html::kOwnerNameOpen << Shown(v.name) << html::kInputStyle
        << html::kOwnerPassword;
  }
  out.All(html::kFormEnd);
}

}  // namespace

void Guestbook::Add_bak() {
  const std::int64_t key = board::form::NewFormKey(Server());
  Session().Set(keys::kFormKey, Value(key));
  Session().Set(keys::kPosted, Value("0"));

  auto db = OpenDatabase();
  const Visit visit = ReadVisit(Request());
  const std::size_t length = check::Length(visit.name);
  if (length < 1 || length > 15)
    return Response().Redirect(board::form::kUserNameErrorPage);
  auto book = FindBookCounted(db, visit.name);
  if (book.Eof() && book.Bof())
    return Response().Redirect(board::form::kUserNameErrorPage);
  board::form::PruneOverLimit(db, visit.name, MaxNum(), book["kept_messages"]);

  const Offered offered(book["infostyle"].Text());
  Pieces out(Response());
  WriteHead(out, book, visit, Server().UrlEncode(std::to_string(key)));
  WriteFieldRows(out, book, visit, offered);
  if (offered(FormRow::kAvatar)) Image1();
  WriteChoices(out, book, visit, offered);
  book.Close();
  db.Close();
  gBookAd();
}

}  // namespace tb
