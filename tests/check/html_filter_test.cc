#include "check/html_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tb::check {
namespace {

using namespace std::literals;

// The Flash object of the UBB mark-up.
constexpr std::string_view kFlash =
    "<OBJECT codeBase=https://download.macromedia.com/pub/shockwave/cabs/flash/"
    "swflash.cab#version=6,0,0,0 classid=clsid:D27CDB6E-AE6D-11cf-96B8-444553540000"
    " width=500 height=400><PARAM NAME=movie VALUE=\"http://a/b.swf\"><PARAM "
    "NAME=quality VALUE=high><embed src=\"http://a/b.swf\" quality=high "
    "pluginspage='https://www.macromedia.com/go/getflashplayer' "
    "type='application/x-shockwave-flash' width=500 height=400>http://a/b.swf</embed>"
    "</OBJECT>";

TEST(FilterHtmlTest, SafeMarkupComesOutByteForByte) {
  for (
      std::string_view in : {
          R"html(<IMG SRC="http://a/b.gif" border=0>)html"sv,
          R"html(<A HREF="http://x" TARGET=_blank>x</A>)html"sv,
          "<font color=red>x</font><MARQUEE scrollamount=3>hi</marquee>"sv,
          "<marquee width=90% behavior=alternate scrollamount=3>x</marquee>"sv,
          R"html(<table width=100 style="filter:glow(color=red, strength=3)">x</table>)html"sv,
          R"html(<table width=9 style="filter:shadow(color=#00F, direction=1)">a <b>b</b></table>)html"sv,
          "<img align=absmiddle src=pic/url.gif><a target=_blank "
          "href=http://a.b/c?d=1&e=2>http://a.b/c?d=1&e=2</a>"sv,
          R"html(<img align=absmiddle src=pic/email1.gif><A HREF="mailto:a@b.cn">me</A>)html"sv,
          "<b>粗体</b>&lt;x&gt; &nbsp;"sv,
          "<p>a<br>b</p>"sv,
          kFlash,
          "<div align=center><center><i><u>x</u></i></center></div>"sv,
          "<table border=1 cellpadding=2>\n<tr><td nowrap colspan=2>a</td></tr>\n"
          "<tr><th>b</th></tr></table>"sv,
          R"html(<a href="x" title='a>b' name=top>y</a >)html"sv,
          "<pre>\nline</pre><ul><li>a</li></ul><ol start=3><li>c</li></ol>"sv,
          "<b>粗体</b>\r\n<i>斜体</i><pre>\r\n\r\nx</pre>"sv,
          R"html(<br/><hr noshade size=1 /><img src="a.gif" alt="<b>">)html"sv,
          "<a href=&amp;x>q</a><font face=宋体 size=+1>字</font>"sv,
          "1 < 2 & 3 > 2"sv,
          R"html(<blockquote cite="//q/r">q</blockquote><del datetime=2008>d</del>)html"sv,
      }) {
    EXPECT_EQ(FilterHtml(in), in);
  }
}

TEST(FilterHtmlTest, HostileMarkupLosesWhatRuns) {
  struct Case {
    std::string_view name, in, want;
  };
  const Case cases[] = {
      {"script", "a<script>alert(1)</script>b", "ab"},
      {"style", "<style>*{}</style><b>x</b>", "<b>x</b>"},
      {"handlers in any case", "<b onclick=x OnMouseOver=\"y\" ONLOAD=z>t</b>",
       "<b>t</b>"},
      {"javascript", R"html(<a href="javascript:alert(1)">x</a>)html", "<a>x</a>"},
      {"decimal entity", R"html(<a href="&#106;avascript:x">x</a>)html", "<a>x</a>"},
      {"tab entity", R"html(<a href="java&#x09;script:x" title=t>x</a>)html",
       "<a title=t>x</a>"},
      {"named entity", R"html(<a href="javascript&colon;x">x</a>)html", "<a>x</a>"},
      {"mixed case", "<img src=JaVaScRiPt:x border=0>", "<img border=0>"},
      {"leading blanks", "<a href=\" \tjavascript:x\">x</a>", "<a>x</a>"},
      {"vbscript", "<table background=vbscript:x><tr><td>x</td></tr></table>",
       "<table><tr><td>x</td></tr></table>"},
      {"data", R"html(<img src="data:image/svg+xml,<svg onload=alert(1)>">)html",
       "<img>"},
      {"svg and math", "<svg onload=x><a href=y>z</a></svg><math><mi>m</mi></math>w",
       "w"},
      {"iframe", R"html(<iframe srcdoc="<script>x</script>">y</iframe>w)html", "w"},
      {"form",
       "<form action=x><button formaction=javascript:x>b</button><input autofocus>"
       "</form>",
       "b"},
      {"meta, base, link",
       "<meta http-equiv=refresh content=\"0;url=javascript:x\"><base href=javascript:x/>"
       "<link rel=stylesheet href=x>t",
       "t"},
      {"object loading script",
       R"html(<object data="javascript:x"><b>y</b></object>w)html", "w"},
      {"embed and codebase over ftp",
       "<embed src=ftp://a/b.swf>w<object codebase=ftp://a>y</object>", "w"},
      {"object data not written", "<object data=http://a/b.swf width=1>y</object>",
       "<object width=1>y</object>"},
      {"param address", "<param name=Movie value=javascript:x><param name=q value=v>",
       "<param name=Movie><param name=q value=v>"},
      {"style", R"html(<div style="background:url(javascript:x)" align=left>d</div>)html",
       "<div align=left>d</div>"},
      {"glow smuggling an expression",
       R"html(<table style="filter:glow(color=red;x:expression(alert(1)), strength=3)">)html",
       "<table></table>"},
      {"attributes not listed",
       "<a href=x id=y class=z data-x=1 name=n srcset=q>l</a><b "
       "name=n value=v>m</b>",
       "<a href=x name=n>l</a><b>m</b>"},
      {"second handler", "<img src=x onerror=a onerror=b>", "<img src=x>"},
      {"second address", "<img src=x src=javascript:y border=0>", "<img src=x border=0>"},
      {"attribute after a quote", R"html(<img src="x"onerror=y>)html",
       R"html(<img src="x">)html"},
      {"raw text holding script",
       "<textarea><script>x</script></textarea>w<title><script>y</script></title>"
       "<noscript><p title=\"</noscript><img src=x onerror=z>\"></noscript>",
       "w"},
      {"comments", "a<!-- <script>x</script> --><!--><img src=x onerror=y>-->b",
       "a<img src=x>-->b"},
      {"NUL", "<scr\0ipt>x</script><b\0>y</b>"sv, "<b>y</b>"},
      {"invalid UTF-8", "\xff<b title=\"\xc3\">\xe4\xb8</b>\xed\xa0\x80",
       "\uFFFD<b title=\"\uFFFD\">\uFFFD</b>\uFFFD\uFFFD\uFFFD"},
      {"unclosed", "<table><tr><td><marquee><a href=x>y",
       "<table><tr><td><marquee><a href=x>y</a></marquee></td></tr></table>"},
      {"misnested", "<b>1<p>2</b>3</p>", "<b>1</b><p><b>2</b>3</p>"},
      {"end tags out of place", "<p>a</div></td></table>b</p><b>x</b onclick=y>",
       "<p>ab</p><b>x</b>"},
      {"unknown and page tags", "<custom-tag onclick=x>y</custom-tag><body onload=z>w",
       "yw"},
      {"parser-made elements", "a</p>b</br>c<image src=javascript:x>", "ab<br>c<img>"},
      {"xmp, plaintext, select",
       "<select><option>x</select><xmp><b>x</b></xmp><plaintext>y", ""},
      {"a character next to a dropped tag", "a<</td>b", "a&lt;b"},
  };
  for (const Case& c : cases) EXPECT_EQ(FilterHtml(c.in), c.want) << c.name;
}

// A text of more tags than one parse takes is cut before a tag, and each piece
// is closed on its own.
TEST(FilterHtmlTest, LongTextsAreFilteredInClosedPieces) {
  std::string in = "<div>";
  for (int i = 0; i < 1500; ++i) in += "x<br>";
  in += "</div>";
  std::string want = "<div>";
  for (int i = 0; i < 999; ++i) want += "x<br>";
  want += "x</div><br>";
  for (int i = 0; i < 500; ++i) want += "x<br>";
  EXPECT_EQ(FilterHtml(in), want);
}

TEST(FilterHtmlTest, DeepNestingReturns) {
  for (std::string_view unit : {"<b>", "<div>", "<table>", "<p><font color=1>"}) {
    std::string in;
    for (int i = 0; i < 100000; ++i) in += unit;
    EXPECT_FALSE(FilterHtml(in + "x").empty()) << unit;
  }
}

TEST(IsSafeAddressTest, SchemesAsTheBrowserReadsThem) {
  struct Case {
    std::string_view address;
    bool safe;
  };
  const Case cases[] = {
      {"http://a.cn/", true},
      {"HTTPS://a.cn", true},
      {"ftp://a.cn/f.zip", true},
      {"MailTo:a@b.cn", true},
      {"pic/a.gif", true},
      {"//a.cn/x", true},
      {"", true},
      {"a/b:c", true},
      {"?q=x:y", true},
      {"1x:y", true},
      {"h\ttt\np://a", true},
      {"javascript:x", false},
      {" \x01JavaScript:x", false},
      {"java\tscr\nipt:x", false},
      {"vbscript:x", false},
      {"data:text/html,x", false},
      {"mailtox:a", false},
      {"jar:http://a", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeAddress(c.address), c.safe) << c.address;
}

}  // namespace
}  // namespace tb::check
