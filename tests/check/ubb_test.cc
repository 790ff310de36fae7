#include "check/ubb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "tests/support/time_scale.h"

namespace tb::check {
namespace {

struct Case {
  std::string_view name, in, want;
};

void RunCases(std::initializer_list<Case> cases) {
  for (const Case& c : cases) EXPECT_EQ(UbbCode(c.in), c.want) << c.name << ": " << c.in;
}

// One case per pass, in pass order.
TEST(UbbCodeTest, EachPass) {
  RunCases({
      {"img", "[img]pic/a.gif[/img]", R"html(<IMG SRC="pic/a.gif" border=0>)html"},
      {"flash", "[flash]m.swf[/flash]",
       "<OBJECT codeBase=https://download.macromedia.com/pub/shockwave/cabs/flash/"
       "swflash.cab#version=6,0,0,0 classid=clsid:D27CDB6E-AE6D-11cf-96B8-444553540000"
       " width=500 height=400><PARAM NAME=movie VALUE=\"m.swf\"><PARAM NAME=quality "
       "VALUE=high><embed src=\"m.swf\" quality=high pluginspage='https://"
       "www.macromedia.com/go/getflashplayer' type='application/x-shockwave-flash' "
       "width=500 height=400>m.swf</embed></OBJECT>"},
      {"zip", "[zip]f.zip[/zip]",
       R"html(<IMG SRC=pic/zip.gif border=0> <a href="f.zip">点击下载该文件</a>)html"},
      {"rar", "[rar]f.rar[/rar]",
       R"html(<IMG SRC=pic/rar.gif border=0> <a href="f.rar">点击下载该文件</a>)html"},
      {"upload", "[upload=jpg]p.jpg[/upload]",
       R"html(<IMG SRC="pic/jpg.gif" border=0><A HREF="p.jpg" TARGET=_blank>新窗口打开图片</A>)html"
       R"html(<br><IMG SRC="p.jpg" border=0>)html"},
      {"url", "[url]www.a.cn[/url]",
       R"html(<A HREF="http://www.a.cn" TARGET=_blank>www.a.cn</A>)html"},
      {"url=", "[url=www.a.cn]主页[/url]",
       R"html(<A HREF="http://www.a.cn" TARGET=_blank>主页</A>)html"},
      {"email", "[email]a@b.cn[/email]",
       R"html(<img align=absmiddle src=pic/email1.gif><A HREF="mailto:a@b.cn">a@b.cn</A>)html"},
      {"email=", "[email=a@b.cn]me[/email]",
       R"html(<img align=absmiddle src=pic/email1.gif><A HREF="mailto:a@b.cn" TARGET=_blank>me</A>)html"},
      {"address first", "http://a.cn/x?y=1&z=2 hi",
       "<img align=absmiddle src=pic/url.gif><a target=_blank href=http://a.cn/x?y=1&z=2>"
       "http://a.cn/x?y=1&z=2</a> hi"},
      {"address last", "see http://a.cn",
       "see <img align=absmiddle src=pic/url.gif><a target=_blank href=http://a.cn>"
       "http://a.cn</a>"},
      {"address inside", "see http://a.cn now",
       "see <img align=absmiddle src=pic/url.gif><a target=_blank href=http://a.cn>"
       "http://a.cn</a> now"},
      {"color", "[color=red]hi[/color]", "<font color=red>hi</font>"},
      {"face", "[face=宋体]hi[/face]", "<font face=宋体>hi</font>"},
      {"align", "[align=center]hi[/align]", "<div align=center>hi</div>"},
      {"fly", "[fly]hi[/fly]",
       "<marquee width=90% behavior=alternate scrollamount=3>hi</marquee>"},
      {"move", "[move]hi[/move]", "<MARQUEE scrollamount=3>hi</marquee>"},
      {"glow", "[glow=255,red,2]hi[/glow]",
       R"html(<table width=255 style="filter:glow(color=red, strength=2)">hi</table>)html"},
      {"shadow", "[shadow=255,blue,1]hi[/shadow]",
       R"html(<table width=255 style="filter:shadow(color=blue, direction=1)">hi</table>)html"},
      {"i", "[i]hi[/i]", "<i>hi</i>"},
      {"u", "[u]hi[/u]", "<u>hi</u>"},
      {"b", "[b]hi[/b]", "<b>hi</b>"},
      {"fly again", "[fly][fly]hi[/fly][/fly]",
       "<marquee width=90% behavior=alternate scrollamount=3><marquee>hi</marquee>"
       "</marquee>"},
      {"size=1", "[size=1]hi[/size]", "<font size=1>hi</font>"},
      {"size=2", "[size=2]hi[/size]", "<font size=2>hi</font>"},
      {"size=3", "[size=3]hi[/size]", "<font size=3>hi</font>"},
      {"size=4", "[size=4]hi[/size]", "<font size=4>hi</font>"},
      {"size=5", "[size=5]hi[/size]", "<font size=5>hi</font>"},
      {"size=6", "[size=6]hi[/size]", "<font size=6>hi</font>"},
      {"size=7", "[size=7]hi[/size]", "<font size=7>hi</font>"},
      {"center", "[center]hi[/center]", "<center>hi</center>"},
  });
}

TEST(UbbCodeTest, TagsAndContent) {
  RunCases({
      {"plain text", "你好，world & 'ok' 100%", "你好，world & 'ok' 100%"},
      {"empty", "", ""},
      {"capitals", "[B]hi[/B]", "<b>hi</b>"},
      {"mixed case", "[Url=a.cn]x[/uRL] [CoLoR=Red]y[/COLOR]",
       R"html(<A HREF="http://a.cn" TARGET=_blank>x</A> <font color=Red>y</font>)html"},
      {"unclosed", "[b]hi", "[b]hi"},
      {"wrong closing tag", "[b]hi[/i]", "[b]hi[/i]"},
      {"empty content", "[b][/b]", "[b][/b]"},
      {"no size 8", "[size=8]hi[/size]", "[size=8]hi[/size]"},
      {"content may start with [", "[b][x[/b]", "<b>[x</b>"},
      {"content crosses line feeds", "[b]a\nb\r\nc[/b]", "<b>a<br>\nb<br>\r\nc</b>"},
      {"content must not start with a line feed", "[b]\nab[/b]", "[b]<br>\nab[/b]"},
      {"line breaks", "第一行\r\n第二行\n\n第三行\r",
       "第一行<br>\r\n第二行<br>\n<br>\n第三行\r"},
      {"lines in a quote", "[quote]一\r\n二[/quote]", "[quote]一<br>\r\n二[/quote]"},
      {"several pairs", "[b]1[/b][b]2[/b]", "<b>1</b><b>2</b>"},
      {"inner tag of an earlier pass", "[b][i]x[/i][/b]", "<b><i>x</i></b>"},
      {"inner tag of a later pass", "[i][b]x[/b][/i]", "[i]<b>x</b>[/i]"},
      {"fly holding text before the inner fly", "[fly]a[fly]b[/fly]c[/fly]",
       "<marquee>a<marquee width=90% behavior=alternate scrollamount=3>b</marquee>c"
       "</marquee>"},
      {"glow splits at its last two commas", "[glow=a,b,c,d]x[/glow]",
       R"html(<table width=a,b style="filter:glow(color=c, strength=d)">x</table>)html"},
      {"color with a hash", "[color=#FF0000]x[/color]", "<font color=#FF0000>x</font>"},
      {"a refused parameter leaves room for the next tag", "[color=a[color=b]x[/color]",
       "[color=a<font color=b>x</font>"},
  });
}

TEST(UbbCodeTest, BareAddresses) {
  RunCases({
      {"only an address", "http://www.a.cn/",
       "<img align=absmiddle src=pic/url.gif><a target=_blank href=http://www.a.cn/>"
       "http://www.a.cn/</a>"},
      {"capitals", "x HTTP://A.CN y",
       "x <img align=absmiddle src=pic/url.gif><a target=_blank href=HTTP://A.CN>"
       "HTTP://A.CN</a> y"},
      {"Chinese character before", "看http://a.cn 好",
       "看<img align=absmiddle src=pic/url.gif><a target=_blank href=http://a.cn>"
       "http://a.cn</a> 好"},
      {"full-width colon before", "看看：http://example.com/ 好",
       "看看：<img align=absmiddle src=pic/url.gif><a target=_blank "
       "href=http://example.com/>http://example.com/</a> 好"},
      {"two addresses", "a http://b.cn c http://d.cn e",
       "a <img align=absmiddle src=pic/url.gif><a target=_blank href=http://b.cn>"
       "http://b.cn</a> c <img align=absmiddle src=pic/url.gif><a target=_blank "
       "href=http://d.cn>http://d.cn</a> e"},
      {"final line feed is not the end", "see http://a.cn\n",
       "see <img align=absmiddle src=pic/url.gif><a target=_blank href=http://a.cn>"
       "http://a.cn</a><br>\n"},
      {"after a line feed", "a\nhttp://b.cn c",
       "a<br>\n<img align=absmiddle src=pic/url.gif><a target=_blank href=http://b.cn>"
       "http://b.cn</a> c"},
      {"after =", "x=http://a.cn y", "x=http://a.cn y"},
      {"https is left alone", "see https://a.cn now", "see https://a.cn now"},
      {"address inside an img tag", "[img]http://a.cn/p.gif[/img]",
       R"html(<IMG SRC="http://a.cn/p.gif" border=0>)html"},
      // The [url] pass puts "http://" in front again, and the bare-address
      // pass then links the inner address.
      {"url content with http twice", "[url]http://a.cn[/url]",
       R"html(<A HREF="http://<img align=absmiddle src=pic/url.gif><a target=_blank )html"
       R"html(href=http://a.cn>http://a.cn</a>" TARGET=_blank>http://a.cn</A>)html"},
  });
}

// The visitor's own HTML is shown, never obeyed.
TEST(UbbCodeTest, EscapesVisitorMarkup) {
  RunCases({
      {"script", "<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"quote in content", R"html([b]"hi"[/b])html", "<b>&quot;hi&quot;</b>"},
      {"quote in img address", R"html([img]a.gif" onerror="x[/img])html",
       R"html([img]a.gif&quot; onerror=&quot;x[/img])html"},
      {"ampersand and apostrophe stay", "a & b's", "a & b's"},
      {"invalid UTF-8 is escaped but not converted", "\xff<[b]x[/b]", "\xff&lt;[b]x[/b]"},
      // An escaped ">" ends in ";", which the bare-address pass keeps.
      {"escaped bracket before an address", "x>http://a.cn y",
       "x&gt;<img align=absmiddle src=pic/url.gif><a target=_blank href=http://a.cn>"
       "http://a.cn</a> y"},
  });
}

// An address or parameter written into an attribute converts only when it
// could not end that attribute nor name a scheme that runs or fetches
// anything but a web page; otherwise its tag stays as typed.
TEST(UbbCodeTest, UnsafeValuesStayAsTyped) {
  RunCases({
      {"tag nested in an image", "[IMG][URL=x onerror=f() ]y[/IMG][/URL]",
       "[IMG][URL=x onerror=f() ]y[/IMG][/URL]"},
      {"image nested in a link", "[URL][IMG]x autofocus onfocus=f() [/IMG][/URL]",
       "[URL][IMG]x autofocus onfocus=f() [/IMG][/URL]"},
      {"link around a converted image", "[URL][IMG]a.gif[/IMG][/URL]",
       R"html([URL]<IMG SRC="a.gif" border=0>[/URL])html"},
      {"script scheme", "[ZIP]javascript:alert(2)[/ZIP]",
       "[ZIP]javascript:alert(2)[/ZIP]"},
      {"script scheme in capitals", "[RAR]JavaScript:x[/RAR]", "[RAR]JavaScript:x[/RAR]"},
      {"data scheme", "[img]data:image/svg+xml,x[/img]",
       "[img]data:image/svg+xml,x[/img]"},
      {"scheme behind a reference", "[zip]javascript&#58;x[/zip]",
       "[zip]javascript&#58;x[/zip]"},
      {"named reference", "[zip]javascript&colon;x[/zip]",
       "[zip]javascript&colon;x[/zip]"},
      {"tab reference", "[zip]java&#x09;script:x[/zip]", "[zip]java&#x09;script:x[/zip]"},
      {"upload address", "[upload=gif]vbscript:x[/upload]",
       "[upload=gif]vbscript:x[/upload]"},
      {"mailto is the tag's own", "[email]mailto:a@b.cn[/email]",
       "[email]mailto:a@b.cn[/email]"},
      {"backtick", "[url=a.cn`x]y[/url]", "[url=a.cn`x]y[/url]"},
      {"url parameter quote", R"html([url=a.cn" onclick="x]y[/url])html",
       "[url=a.cn&quot; onclick=&quot;x]y[/url]"},
      {"https and ftp convert",
       "[img]HTTPS://a.cn/p.gif?a=1&b=2[/img][zip]ftp://a.cn/f[/zip]",
       R"html(<IMG SRC="HTTPS://a.cn/p.gif?a=1&b=2" border=0>)html"
       R"html(<IMG SRC=pic/zip.gif border=0> <a href="ftp://a.cn/f">点击下载该文件</a>)html"},
      {"a colon after the path", "[img]p/a:b.gif[/img]",
       R"html(<IMG SRC="p/a:b.gif" border=0>)html"},
      {"color blank", "[color=red onmouseover=x]hi[/color]",
       "[color=red onmouseover=x]hi[/color]"},
      {"color double quote", R"html([color="red"]hi[/color])html",
       "[color=&quot;red&quot;]hi[/color]"},
      {"color single quote", "[color='red']hi[/color]", "[color='red']hi[/color]"},
      {"color tab", "[color=red\tx]hi[/color]", "[color=red\tx]hi[/color]"},
      {"face equals", "[face=a=b]hi[/face]", "[face=a=b]hi[/face]"},
      {"face quote", R"html([face=宋体"]hi[/face])html", "[face=宋体&quot;]hi[/face]"},
      {"align bracket", "[align=<b>]hi[/align]", "[align=&lt;b&gt;]hi[/align]"},
      {"glow quote", R"html([glow=1,red",2]hi[/glow])html",
       "[glow=1,red&quot;,2]hi[/glow]"},
      {"glow blank", "[glow=1, red,2]hi[/glow]", "[glow=1, red,2]hi[/glow]"},
      {"shadow equals", "[shadow=1,red,x=y]hi[/shadow]", "[shadow=1,red,x=y]hi[/shadow]"},
      {"upload blank", "[upload=a b]p.jpg[/upload]", "[upload=a b]p.jpg[/upload]"},
      {"upload quote", "[upload=a']p.jpg[/upload]", "[upload=a']p.jpg[/upload]"},
      {"empty color", "[color=]hi[/color]", "[color=]hi[/color]"},
      {"safe tag after an unsafe one", "[color='x']a[/color] [color=red]b[/color]",
       "[color='x']a[/color] <font color=red>b</font>"},
  });
}

std::string Repeat(std::string_view piece, std::size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += piece;
  return text;
}

// Long messages, including ones built to make a backtracking matcher retry
// every position, render in far less than a second.
TEST(UbbCodeTest, HundredKilobytesRenderQuickly) {
  constexpr std::size_t kSize = 100 * 1024;
  const std::string texts[] = {
      "[b]" + Repeat("留言本 text ", kSize),
      Repeat("[b]x[/b] [url=a.cn]y[/url] see http://a.cn/ ok ", kSize),
      Repeat("[img]", kSize),
      Repeat("[url=", kSize) + "]x[b][/url]",
      Repeat("[email=", kSize) + "]x[b][/email]",
      Repeat("[color=a[", kSize) + "]x[/color]",
      "[glow=" + Repeat(",", kSize) + " [/glow]",
      "[glow=" + Repeat(",", kSize) + "x]a[b][/glow]",
      Repeat("xhttp://", kSize),
      "http://" + Repeat("a", kSize) + " ",
      Repeat("[fly]", kSize / 2) + Repeat("[/fly]", kSize / 2),
  };
  for (const std::string& text : texts) {
    auto start = std::chrono::steady_clock::now();
    std::string html = UbbCode(text);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(300) * testing::kTimeScale)
        << text.substr(0, 40);
    EXPECT_GE(html.size(), text.size());
  }
}

}  // namespace
}  // namespace tb::check
