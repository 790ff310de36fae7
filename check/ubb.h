// File: ubb.h — renders UBB mark-up ("[b]bold[/b]", "[url]...[/url]") to HTML.
//
// Messages posted in UBB mode come from visitors who may not write HTML, so
// their own "<", ">" and '"' are escaped first; then a fixed sequence of
// regular-expression passes turns the bracket tags and bare "http://"
// addresses into HTML; last, each line break ("\r\n" or "\n") gets a "<br>"
// before it, so the lines show as typed. Tags match in any letter case; a tag
// that is not closed, or whose content holds a tag converted by a later pass,
// stays as typed. A tag's address or parameter that lands in an attribute converts
// only when it holds no blank, quote, "<", ">", "[", "]", backtick or control
// character and names no scheme but http, https or ftp (the parameters of
// color, face, align, glow, shadow and upload hold no "=" or "&" either);
// otherwise the tag stays as typed.
#pragma once

#include <string>
#include <string_view>

namespace tb::check {

// Example: UbbCode("[B]hi[/b] <x>\n") == "<b>hi</b> &lt;x&gt;<br>\n".
std::string UbbCode(std::string_view text);

}  // namespace tb::check
