#include "check/html_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/check_helpers.h"

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

// What could run or load goes; what is left is well-formed.
TEST(FilterHtmlTest, HostileMarkupLosesWhatRuns) {
  const char* const kInputs[] = {
      // Scripts, handlers and script addresses, however they are written.
      "a<script>alert(1)</script>b", "<style>*{}</style><b>x</b>",
      "<b onclick=x OnMouseOver=\"y\" ONLOAD=z>t</b>",
      R"html(<a href="javascript:alert(1)">x</a>)html",
      R"(<a href="&#106;avascript:x">x</a>)",
      R"(<a href="java&#x09;script:x" title=t>x</a>)",
      R"(<a href="javascript&colon;x">x</a>)", "<img src=JaVaScRiPt:x border=0>",
      "<a href=\" \tjavascript:x\">x</a>",
      "<table background=vbscript:x><tr><td>x</td></tr></table>",
      R"html(<img src="data:image/svg+xml,<svg onload=alert(1)>">)html",
      // Elements that run or load something, and what they hold.
      "<svg onload=x><a href=y>z</a></svg><math><mi>m</mi></math>w",
      R"(<iframe srcdoc="<script>x</script>">y</iframe>w)",
      "<form action=x><button formaction=javascript:x>b</button><input autofocus></form>",
      "<meta http-equiv=refresh content=\"0;url=javascript:x\"><base "
      "href=javascript:x/><link rel=stylesheet href=x>t",
      R"(<object data="javascript:x"><b>y</b></object>w)",
      "<embed src=ftp://a/b.swf>w<object codebase=ftp://a>y</object>",
      "<object data=http://a/b.swf width=1>y</object>",
      "<param name=Movie value=javascript:x><param name=q value=v>",
      // Attributes not listed, repeated, or smuggled in a value.
      R"html(<div style="background:url(javascript:x)" align=left>d</div>)html",
      R"html(<table style="filter:glow(color=red;x:expression(alert(1)), strength=3)">)html",
      "<a href=x id=y class=z data-x=1 name=n srcset=q>l</a><b name=n value=v>m</b>",
      "<img src=x onerror=a onerror=b>", "<img src=x src=javascript:y border=0>",
      R"(<img src="x"onerror=y>)",
      // Raw text, comments and broken structure, read as a browser reads them.
      "<textarea><script>x</script></textarea>w<title><script>y</script></title>"
      "<noscript><p title=\"</noscript><img src=x onerror=z>\"></noscript>",
      "a<!-- <script>x</script> --><!--><img src=x onerror=y>-->b",
      "<table><tr><td><marquee><a href=x>y", "<b>1<p>2</b>3</p>",
      "<p>a</div></td></table>b</p><b>x</b onclick=y>",
      "<custom-tag onclick=x>y</custom-tag><body onload=z>w",
      "a</p>b</br>c<image src=javascript:x>",
      "<select><option>x</select><xmp><b>x</b></xmp><plaintext>y", "a<</td>b"};
  testing::ExpectGolden("check/FilterHtml/hostile.txt",
                        testing::Transcript(kInputs, FilterHtml));
  // Bytes a text file should not hold: a NUL, and invalid UTF-8.
  EXPECT_EQ(FilterHtml("<scr\0ipt>x</script><b\0>y</b>"sv), "<b>y</b>");
  EXPECT_EQ(FilterHtml("\xff<b title=\"\xc3\">\xe4\xb8</b>\xed\xa0\x80"),
            "\uFFFD<b title=\"\uFFFD\">\uFFFD</b>\uFFFD\uFFFD\uFFFD");
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
  const char* const kSafe[] = {"http://a.cn/",
                               "HTTPS://a.cn",
                               "ftp://a.cn/f.zip",
                               "MailTo:a@b.cn",
                               "pic/a.gif",
                               "//a.cn/x",
                               "",
                               "a/b:c",
                               "?q=x:y",
                               "1x:y",
                               "h\ttt\np://a"};
  for (std::string_view address : kSafe) EXPECT_TRUE(IsSafeAddress(address)) << address;
  const char* const kUnsafe[] = {"javascript:x", " \x01JavaScript:x", "java\tscr\nipt:x",
                                 "vbscript:x",   "data:text/html,x",  "mailtox:a",
                                 "jar:http://a"};
  for (std::string_view address : kUnsafe)
    EXPECT_FALSE(IsSafeAddress(address)) << address;
}

}  // namespace
}  // namespace tb::check
