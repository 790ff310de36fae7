#include "check/ubb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "tests/support/check_helpers.h"
#include "tests/support/time_scale.h"

namespace tb::check {
namespace {

using testing::ExpectGolden;
using testing::Transcript;

// One input per pass, in pass order.
TEST(UbbCodeTest, EachPass) {
  const char* const kInputs[] = {
      "[img]pic/a.gif[/img]", "[flash]m.swf[/flash]", "[zip]f.zip[/zip]",
      "[rar]f.rar[/rar]", "[upload=jpg]p.jpg[/upload]", "[url]www.a.cn[/url]",
      "[url=www.a.cn]主页[/url]", "[email]a@b.cn[/email]", "[email=a@b.cn]me[/email]",
      "http://a.cn/x?y=1&z=2 hi", "see http://a.cn", "see http://a.cn now",
      "[color=red]hi[/color]", "[face=宋体]hi[/face]", "[align=center]hi[/align]",
      "[fly]hi[/fly]", "[move]hi[/move]", "[glow=255,red,2]hi[/glow]",
      "[shadow=255,blue,1]hi[/shadow]", "[i]hi[/i]", "[u]hi[/u]", "[b]hi[/b]",
      // An inner [fly] converts on the next pass.
      "[fly][fly]hi[/fly][/fly]",
      // [size] takes 1 to 7.

      "[size=1]hi[/size]", "[size=2]hi[/size]", "[size=3]hi[/size]", "[size=4]hi[/size]",
      "[size=5]hi[/size]", "[size=6]hi[/size]", "[size=7]hi[/size]",
      "[center]hi[/center]"};
  ExpectGolden("check/UbbCode/passes.txt", Transcript(kInputs, UbbCode));
}

// Letter case, unclosed and empty pairs, line breaks, nesting across passes,
// and bare addresses wherever they stand.
TEST(UbbCodeTest, TagsContentAndAddresses) {
  const char* const kInputs[] = {
      "你好，world & 'ok' 100%", "", "[B]hi[/B]",
      "[Url=a.cn]x[/uRL] [CoLoR=Red]y[/COLOR]", "[b]hi", "[b]hi[/i]", "[b][/b]",
      "[size=8]hi[/size]", "[b][x[/b]", "[b]a\nb\r\nc[/b]", "[b]\nab[/b]",
      "第一行\r\n第二行\n\n第三行\r", "[quote]一\r\n二[/quote]", "[b]1[/b][b]2[/b]",
      "[b][i]x[/i][/b]", "[i][b]x[/b][/i]", "[fly]a[fly]b[/fly]c[/fly]",
      "[glow=a,b,c,d]x[/glow]", "[color=#FF0000]x[/color]", "[color=a[color=b]x[/color]",
      "http://www.a.cn/", "x HTTP://A.CN y", "看http://a.cn 好",
      "看看：http://example.com/ 好", "a http://b.cn c http://d.cn e",
      "see http://a.cn\n", "a\nhttp://b.cn c", "x=http://a.cn y", "see https://a.cn now",
      "[img]http://a.cn/p.gif[/img]",
      // [url] puts "http://" in front again, and the bare-address pass
      // then links the inner address.
      "[url]http://a.cn[/url]"};
  ExpectGolden("check/UbbCode/tags.txt", Transcript(kInputs, UbbCode));
}

// The visitor's own HTML is shown, never obeyed; an address or parameter
// written into an attribute converts only when it could not end that
// attribute nor name a scheme that runs or fetches anything but a web page;
// otherwise its tag stays as typed.
TEST(UbbCodeTest, HostileInputStaysInert) {
  const char* const kInputs[] = {
      // Markup and marks typed by the visitor.
      "<script>alert(1)</script>", R"([b]"hi"[/b])", R"([img]a.gif" onerror="x[/img])",
      "a & b's", "\xff<[b]x[/b]", "x>http://a.cn y",
      // Addresses that could end their attribute or run a script.
      "[IMG][URL=x onerror=f() ]y[/IMG][/URL]",
      "[URL][IMG]x autofocus onfocus=f() [/IMG][/URL]", "[URL][IMG]a.gif[/IMG][/URL]",
      "[ZIP]javascript:alert(2)[/ZIP]", "[RAR]JavaScript:x[/RAR]",
      "[img]data:image/svg+xml,x[/img]", "[zip]javascript&#58;x[/zip]",
      "[zip]javascript&colon;x[/zip]", "[zip]java&#x09;script:x[/zip]",
      "[upload=gif]vbscript:x[/upload]", "[email]mailto:a@b.cn[/email]",
      "[url=a.cn`x]y[/url]", R"([url=a.cn" onclick="x]y[/url])",
      "[img]HTTPS://a.cn/p.gif?a=1&b=2[/img][zip]ftp://a.cn/f[/zip]",
      "[img]p/a:b.gif[/img]",
      // Parameters that could end their attribute.
      "[color=red onmouseover=x]hi[/color]", R"([color="red"]hi[/color])",
      "[color='red']hi[/color]", "[color=red\tx]hi[/color]", "[face=a=b]hi[/face]",
      R"([face=宋体"]hi[/face])", "[align=<b>]hi[/align]", R"([glow=1,red",2]hi[/glow])",
      "[glow=1, red,2]hi[/glow]", "[shadow=1,red,x=y]hi[/shadow]",
      "[upload=a b]p.jpg[/upload]", "[upload=a']p.jpg[/upload]", "[color=]hi[/color]",
      "[color='x']a[/color] [color=red]b[/color]"};
  ExpectGolden("check/UbbCode/hostile.txt", Transcript(kInputs, UbbCode));
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
