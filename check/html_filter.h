// File: html_filter.h — keeps the HTML that visitors and owners write to
// mark-up that cannot run script.
//
// The text is parsed as the body of a page would be, with the HTML5 parser
// (gumbo), and written back element by element. An element on the allow-list
// keeps the attributes on the attribute allow-list whose values pass; every
// other element loses its tags, or, for those whose content is script, style,
// raw text or foreign mark-up, its content too. What passes untouched is
// written byte for byte as it came, so the mark-up the UBB renderer produces
// and ordinary hand-written HTML come out exactly as written. Every element
// written is closed within the text, so one message cannot leave a table or a
// link open over the rest of the page. Text is UTF-8; bytes that are not are
// replaced by U+FFFD, and NUL bytes are dropped. A text of more than a thousand
// tags, or a hundred of "<a>", "<b>", "<font>" and the like, is parsed in
// pieces, each closed on its own, so that filtering stays linear in the length
// of the text; a tag keeps its first 32 attributes.
#pragma once

#include <string>
#include <string_view>

namespace tb::check {

// Everything a visitor or an owner writes as HTML passes this last.
// Example: FilterHtml("<b onclick=x>hi</b><script>y</script>") == "<b>hi</b>".
std::string FilterHtml(std::string_view html);

// An address a page may link or load: scheme http, https, ftp or mailto, or no
// scheme at all. `decoded_value` is an attribute value with its character
// references already decoded; the browser's own clean-up (ASCII tab, LF and CR
// removed anywhere, C0 controls and blanks trimmed at both ends) is applied here.
// Example: IsSafeAddress("pic/a.gif") is true; IsSafeAddress(" Java\tScript:x") is false.
bool IsSafeAddress(std::string_view decoded_value);

}  // namespace tb::check
