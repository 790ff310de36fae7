// File: message_block.h — the block of one message on the guestbook page:
// a three-row table with the reply indent, the avatar, the owner's delete
// box, the number, the owner's mark, the subject with its reply link, the
// poster's contact and origin lines and the text in its display mode.
//
// Private messages are shown to the guestbook's owner and to the superuser;
// everybody else reads a placeholder in their place.
#pragma once

#include <string>
#include <string_view>

#include "data/recordset.h"
#include "host/page.h"

namespace tb::board {

// Who reads the page, from the session's login keys.
struct Viewer {
  // An owner of some guestbook is logged in ("ly_log" is "yes").
  bool logged_in = false;
  // That owner is this guestbook's owner.
  bool owner = false;
  // The superuser is logged in ("ly_admin_log" is "yes").
  bool superuser = false;

  bool SeesPrivate() const { return owner || superuser; }
};

// The viewer of guestbook `book_name`. Guestbook names are one name whatever
// their letter case (the store keeps them unique that way), so the owner is
// recognised whichever case the page address uses.
// Example: session ly_log "yes", ly_name "abc": ViewerOf(s, "ABC").owner == true.
Viewer ViewerOf(const host::Session& session, std::string_view book_name);

// A message written as HTML but shown as text: "<" and ">" escaped, each
// carriage return a line break.
// Example: HtmlAsText("<b>\r\n") == "&lt;b&gt;<br>\n".
std::string HtmlAsText(std::string_view text);

// What every block of one page shares.
struct BlockPage {
  std::string_view book_name;  // the guestbook, as in the page address
  std::string_view show_html;  // "0": HTML-mode messages are shown as text
  Viewer viewer;
  std::string_view masked_words;  // the DelThisWord list (see check::MaskWords)
};

// Writes the block of the current row of a `liuyan` listing, the listed
// words masked in the subject and the text.
// Example: WriteMessageBlock(server, out, rs, {"abc", "", viewer, "bad;worse"});
void WriteMessageBlock(const host::Server& server, host::Response& out,
                       data::Recordset& row, const BlockPage& page);

}  // namespace tb::board
