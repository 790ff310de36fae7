// The text conversions of check/ and of the message form: the first line is a
// word list (its first byte a mode), the rest the text. Escaped text must hold
// no mark-up, and what the form writes into unquoted attributes nothing that
// ends the attribute.
#include "check/text.h"

#include <string>

#include "board/add_check_fields.h"
#include "check/convert.h"
#include "check/validate.h"
#include "check/word_filter.h"
#include "fuzz/fuzz.h"

namespace check = tb::check;
namespace post = tb::board::post;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = tb::fuzz::AsText(data, size);
  const std::string_view list = tb::fuzz::Take(text);
  const int mode = list.empty() ? 0 : static_cast<unsigned char>(list[0]) % 8;

  for (const std::string& s : {check::EscapeHtml(text), check::StripMarks(text)}) {
    if (s.find_first_of("<>\"") != std::string::npos) tb::fuzz::Fail("mark-up kept", s);
  }
  std::string html = check::HtmlText(text);
  for (std::size_t at; (at = html.find("<br>")) != std::string::npos;) html.erase(at, 4);
  if (html.find_first_of("<>") != std::string::npos) tb::fuzz::Fail("HtmlText", html);
  for (const std::string& s : {post::SafeFont(text), post::SafeFontSize(text),
                               post::SafeFontColor(text), post::SafeAvatar(text)}) {
    if (s.find_first_of(" \t\n\f\r\"'`<>=&") != std::string::npos)
      tb::fuzz::Fail("attribute", s);
  }
  if (check::Length(check::Left(text, list.size())) > list.size())
    tb::fuzz::Fail("Left", text);

  // The rest must neither crash nor leak.
  std::string copy(text);
  check::CheckEmail(copy);
  check::CheckSafeText(copy);
  check::CheckDigits(copy);
  check::CheckUrl(text);
  check::CheckUserName(text);
  check::WholeNumber(text);
  check::ToFullWidthMarks(text);
  check::ReplaceAll(text, list, text);
  check::FormatTime(text, mode);
  check::MaskIp(text, mode);
  check::MaskWords(text, list);
  check::HasStopWord(text, list);
  return 0;
}
