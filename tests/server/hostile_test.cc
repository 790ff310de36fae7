// Hostile input through every field a visitor or an owner fills in, through
// the site's own pages: each page that shows the input is parsed
// and checked for anything that could run script or reach outside the
// attribute that holds it.
#include <gtest/gtest.h>
#include <gumbo.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/encoding.h"
#include "tests/server/real_site.h"

namespace tb::testing {
namespace {

// The classic filter-evasion list, the findings of an attack on the site and
// its mark-up, and GB18030 and NUL tricks. Each goes into every field.
const std::string_view kPayloads[] = {
    "<script>alert(1)</script>",
    "<SCRIPT SRC=http://x/x.js></SCRIPT>",
    "<IMG SRC=\"javascript:alert('XSS');\">",
    "<IMG SRC=javascript:alert('XSS')>",
    "<IMG SRC=JaVaScRiPt:alert('XSS')>",
    "<IMG SRC=`javascript:alert(\"RSnake says, 'XSS'\")`>",
    "<a onmouseover=\"alert(document.cookie)\">xxs link</a>",
    "<IMG \"\"\"><SCRIPT>alert(\"XSS\")</SCRIPT>\"\\>",
    "<IMG SRC=# onmouseover=\"alert('xxs')\">",
    "<IMG SRC= onmouseover=\"alert('xxs')\">",
    "<IMG SRC=/ onerror=\"alert(String.fromCharCode(88,83,83))\"></img>",
    "<img src=x onerror=\"&#0000106&#0000097&#0000118&#0000097&#0000115&#0000099"
    "&#0000114&#0000105&#0000112&#0000116&#0000058&#0000097&#0000108&#0000101\">",
    "<IMG SRC=&#106;&#97;&#118;&#97;&#115;&#99;&#114;&#105;&#112;&#116;&#58;&#97;"
    "&#108;&#101;&#114;&#116;&#40;&#39;&#88;&#83;&#83;&#39;&#41;>",
    "<IMG SRC=&#x6A&#x61&#x76&#x61&#x73&#x63&#x72&#x69&#x70&#x74&#x3A&#x61&#x6C"
    "&#x65&#x72&#x74&#x28&#x27&#x58&#x53&#x53&#x27&#x29>",
    "<IMG SRC=\"jav\tascript:alert('XSS');\">",
    "<IMG SRC=\"jav&#x09;ascript:alert('XSS');\">",
    "<IMG SRC=\"jav&#x0A;ascript:alert('XSS');\">",
    "<IMG SRC=\"jav&#x0D;ascript:alert('XSS');\">",
    "<IMG SRC=\" &#14;  javascript:alert('XSS');\">",
    "<SCRIPT/XSS SRC=\"http://x/xss.js\"></SCRIPT>",
    "<BODY onload!#$%&()*~+-_.,:;?@[/|\\]^`=alert(\"XSS\")>",
    "<<SCRIPT>alert(\"XSS\");//<</SCRIPT>",
    "<SCRIPT SRC=http://x/xss.js?< B >",
    "<SCRIPT SRC=//x/.j>",
    "<IMG SRC=\"`<javascript:alert>`('XSS')\"",
    "<iframe src=http://x/scriptlet.html <",
    "\\\";alert('XSS');//",
    "</TITLE><SCRIPT>alert(\"XSS\");</SCRIPT>",
    "<INPUT TYPE=\"IMAGE\" SRC=\"javascript:alert('XSS');\">",
    "<BODY BACKGROUND=\"javascript:alert('XSS')\">",
    "<IMG DYNSRC=\"javascript:alert('XSS')\">",
    "<IMG LOWSRC=\"javascript:alert('XSS')\">",
    "<STYLE>li {list-style-image: url(\"javascript:alert('XSS')\");}</STYLE><UL><LI>X",
    "<svg/onload=alert('XSS')>",
    "<BODY ONLOAD=alert('XSS')>",
    "<BGSOUND SRC=\"javascript:alert('XSS');\">",
    "<LINK REL=\"stylesheet\" HREF=\"javascript:alert('XSS');\">",
    "<STYLE>@import'http://x/xss.css';</STYLE>",
    "<META HTTP-EQUIV=\"Link\" Content=\"<http://x/xss.css>; REL=stylesheet\">",
    "<IMG STYLE=\"xss:expr/*XSS*/ession(alert('XSS'))\">",
    "<META HTTP-EQUIV=\"refresh\" CONTENT=\"0;url=javascript:alert('XSS');\">",
    "<META HTTP-EQUIV=\"refresh\" CONTENT=\"0;url=data:text/html base64,PHNjcmlwdD4K\">",
    "<IFRAME SRC=\"javascript:alert('XSS');\"></IFRAME>",
    "<IFRAME SRC=# onmouseover=\"alert(document.cookie)\"></IFRAME>",
    "<FRAMESET><FRAME SRC=\"javascript:alert('XSS');\"></FRAMESET>",
    "<TABLE BACKGROUND=\"javascript:alert('XSS')\">",
    "<TABLE><TD BACKGROUND=\"javascript:alert('XSS')\">",
    "<DIV STYLE=\"background-image: url(javascript:alert('XSS'))\">",
    "<DIV STYLE=\"width: expression(alert('XSS'));\">",
    "<BASE HREF=\"javascript:alert('XSS');//\">",
    "<OBJECT TYPE=\"text/x-scriptlet\" DATA=\"http://x/scriptlet.html\"></OBJECT>",
    "<EMBED SRC=\"data:image/svg+xml;base64,PHN2Zz4=\" type=\"image/svg+xml\">",
    "<a href=\"javascript&colon;alert(1)\">x</a>",
    "<a href=\"&#x6A;avascript:alert(1)\">x</a>",
    "<a href=\"jAvAsCrIpT&#x3A;alert(1)\">x</a>",
    "<a href=\"  javascript:alert(1)\">x</a>",
    "<a href=\"vbscript:msgbox(1)\">x</a>",
    "<a href=\"data:text/html,<script>alert(1)</script>\">x</a>",
    "<a href=javas&#99;ript:alert(1)>x</a>",
    "<form action=\"javascript:alert(1)\"><input type=submit></form>",
    "<button formaction=\"javascript:alert(1)\">x</button>",
    "<iframe srcdoc=\"<script>alert(1)</script>\"></iframe>",
    "<math><mtext><table><mglyph><style><img src=x onerror=alert(1)>",
    "<svg><script>alert(1)</script></svg>",
    "<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\">",
    "<textarea><script>alert(1)</script></textarea>",
    "<title><img src=x onerror=alert(1)></title>",
    "<xmp><img src=x onerror=alert(1)></xmp>",
    "<!--<img src=\"--><img src=x onerror=alert(1)//\">",
    "<img src=x onerror=alert(1) onerror=alert(2)>",
    std::string_view("<img src=x o\0nerror=alert(1)>", 29),
    std::string_view("<scr\0ipt>alert(1)</scr\0ipt>", 27),
    "<img src=x oNeRrOr=alert(1)>",
    "<details open ontoggle=alert(1)>",
    "<marquee onstart=alert(1)>x</marquee>",
    "<video><source onerror=alert(1)>",
    "<audio src=x onerror=alert(1)>",
    "<object data=\"javascript:alert(1)\">",
    "<isindex action=javascript:alert(1) type=image>",
    "<img src=x:alert(alt) onerror=eval(src) alt=0>",
    "<x onclick=alert(1)>click</x>",
    "<font color=\"red\" onmouseover=\"alert(1)\">x</font>",
    "<a href=\"http://x\" onclick=\"alert(1)\">x</a>",
    "<table><tr><td><b>unclosed <i>nested <a href=\"http://x\">",
    "\"><script>alert(1)</script>",
    "'><script>alert(1)</script>",
    "\" onmouseover=\"alert(1)\" x=\"",
    "' onmouseover='alert(1)' x='",
    "http://x/\" onmouseover=\"alert(1)\" x=\"",
    "http://b/\" onload=\"alert(13)\" x=\"",
    "javascript:alert(1)",
    "[IMG][URL=x onerror=fetch('admin_deluser.asp?name=victim1') ]y[/IMG][/URL]",
    "[URL][IMG]x autofocus onfocus=alert(1) [/IMG][/URL]",
    "[IMG][EMAIL=x onerror=alert(5) ]y[/IMG][/EMAIL]",
    "[ZIP]javascript:alert(2)[/ZIP]",
    "[RAR]javascript:alert(3)[/RAR]",
    "[UPLOAD=gif]javascript:alert(4)[/UPLOAD]",
    "[url=javascript:alert(1)]x[/url]",
    "[img]javascript:alert(1)[/img]",
    "[flash]javascript:alert(1)[/flash]",
    "[email=javascript:alert(1)]x[/email]",
    "[color=red onmouseover=alert(1)]x[/color]",
    "[glow=1,red);background:url(javascript:alert(1)),3]x[/glow]",
    "[url]x\"onmouseover=\"alert(1)[/url]",
    "[img]x`onerror=alert(1)[/img]",
    "[zip]java&#x09;script:alert(1)[/zip]",
    "[img]data:image/svg+xml,<svg onload=alert(1)>[/img]",
    "http://x/<script>alert(1)</script>",
    "http://x/\"onmouseover=alert(1)//",
    "see http://x/'onmouseover=alert(1)// now",
    "[img]http://x/a.gif[/img]<script>alert(1)</script>",
    "＂ onmouseover=alert(1) ＜script＞",
    "\xef\xbf\xbd\" onmouseover=alert(1) x=\"",
    "乗\" onmouseover=alert(1) x=\"",
    "<img src=\"x\xe3\x80\x80\" onerror=alert(1)>",
};

// A node tree of a page, freed with it.
struct OutputFree {
  void operator()(GumboOutput* output) const {
    gumbo_destroy_output(&kGumboDefaultOptions, output);
  }
};
using Parsed = std::unique_ptr<GumboOutput, OutputFree>;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// An address as the browser reads it: tabs and line breaks dropped, blanks
// and control characters trimmed, letters lowered.
std::string AsBrowserReads(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  }
  const auto start =
      out.find_first_not_of(std::string("\x01\x02\x03\x04\x05\x06\x07"
                                        "\x08\x0b\x0c\x0e\x0f\x10 ",
                                        15));
  return Lower(start == std::string::npos ? "" : out.substr(start));
}

bool IsAddressAttribute(std::string_view name) {
  static const std::set<std::string_view> kNames = {
      "href",     "src",    "background", "action", "formaction", "data",
      "codebase", "lowsrc", "dynsrc",     "poster", "srcdoc",     "xlink:href"};
  return kNames.contains(name);
}

bool RunsScript(std::string_view address) {
  const std::string read = AsBrowserReads(address);
  return read.starts_with("javascript:") || read.starts_with("vbscript:") ||
         read.starts_with("data:");
}

std::string TextOf(const GumboNode* element) {
  std::string text;
  for (unsigned i = 0; i < element->v.element.children.length; ++i) {
    auto* child = static_cast<const GumboNode*>(element->v.element.children.data[i]);
    if (child->type == GUMBO_NODE_TEXT) text += child->v.text.text;
  }
  return text;
}

// An element that loads, sends or sets up what it names, with its attributes
// (addresses without their query); empty for any other element.
std::string Loader(const GumboElement& e) {
  static const std::set<GumboTag> kLoaders = {
      GUMBO_TAG_IFRAME, GUMBO_TAG_FRAME, GUMBO_TAG_BASE, GUMBO_TAG_LINK,
      GUMBO_TAG_STYLE,  GUMBO_TAG_META,  GUMBO_TAG_FORM};
  if (!kLoaders.contains(e.tag)) return "";
  std::string text = gumbo_normalized_tagname(e.tag);
  for (unsigned i = 0; i < e.attributes.length; ++i) {
    auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
    const std::string_view value = a->value;
    text +=
        std::string(" ") + a->name + "=" + std::string(value.substr(0, value.find('?')));
  }
  return text;
}

// What a page holds that could run script or reach outside its place, one
// line each: scripts, foreign (SVG, MathML) and loading elements, handlers,
// script addresses, and the name of every attribute.
std::vector<std::string> Notables(const Answer& page) {
  std::vector<std::string> found;
  Parsed parsed(gumbo_parse_with_options(&kGumboDefaultOptions, page.text.data(),
                                         page.text.size()));
  std::vector<const GumboNode*> stack{parsed->root};
  while (!stack.empty()) {
    const GumboNode* node = stack.back();
    stack.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& e = node->v.element;
    if (e.tag == GUMBO_TAG_SCRIPT) found.push_back("script element: " + TextOf(node));
    if (e.tag_namespace != GUMBO_NAMESPACE_HTML) found.push_back("foreign element");
    if (std::string loader = Loader(e); !loader.empty())
      found.push_back("element " + loader);
    for (unsigned i = 0; i < e.attributes.length; ++i) {
      auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
      const std::string pair = std::string(a->name) + "=" + a->value;
      if (std::string_view(a->name).starts_with("on")) found.push_back("handler " + pair);
      if (IsAddressAttribute(a->name) && RunsScript(a->value))
        found.push_back("address " + pair);
      found.push_back(std::string("attribute ") + a->name);
    }
    for (unsigned i = 0; i < e.children.length; ++i)
      stack.push_back(static_cast<const GumboNode*>(e.children.data[i]));
  }
  return found;
}

// What the site's own pages hold, and the attributes the HTML filter keeps:
// hostile input may add nothing else.
struct Allowed {
  std::set<std::string> lines = [] {
    std::set<std::string> kept;
    for (std::string_view name :
         {"align",       "border",      "color",        "face",    "size",
          "width",       "height",      "href",         "src",     "target",
          "style",       "title",       "alt",          "name",    "value",
          "type",        "behavior",    "scrollamount", "quality", "pluginspage",
          "codebase",    "classid",     "background",   "bgcolor", "valign",
          "cellspacing", "cellpadding", "colspan",      "rowspan"})
      kept.insert("attribute " + std::string(name));
    return kept;
  }();
};

// Learns what a page of the site holds of its own.
void Learn(Allowed& allowed, const Answer& page) {
  for (std::string& line : Notables(page)) allowed.lines.insert(std::move(line));
}

// The faults of a page that showed hostile input, one line each.
std::string Faults(const Allowed& allowed, const Answer& page) {
  std::string faults;
  for (const std::string& line : Notables(page)) {
    if (!allowed.lines.contains(line)) faults += line + "\n";
  }
  return faults;
}

class HostileInputTest : public RealSiteTest {
 protected:
  HostileInputTest() {
    LogIn(owner_, "xiaoming", "pass1234");
    LogIn(super_, "admin", "super_pw9");
    // A payload the server refuses outright gets its error page.
    Learn(allowed_, Visit(visitor_, "nowhere.asp"));
  }

  // Checks a page that showed `payload`; learns the site's own first.
  void Check(const Answer& page, std::string_view payload, std::string_view where) {
    EXPECT_EQ(Faults(allowed_, page), "") << where << " with " << payload;
  }

  // The pages that show what visitors posted, to each kind of reader.
  std::vector<Answer> BookPages() {
    return {Visit(visitor_, "show.asp?name=xiaoming"),
            Visit(owner_, "show.asp?name=xiaoming"),
            Visit(owner_, "show.asp?name=xiaoming&showhtml=0"),
            Visit(super_, "show.asp?name=xiaoming")};
  }
  // The pages that show the owner's settings.
  std::vector<Answer> SettingsPages() {
    return {Visit(visitor_, "show.asp?name=xiaoming"),
            Visit(visitor_, "add.asp?name=xiaoming"),
            Visit(visitor_, "add_bak.asp?name=xiaoming"),
            Visit(owner_, "admin_login.asp",
                  {{"name", "xiaoming"}, {"password", "pass1234"}})};
  }

  std::string owner_, visitor_, super_;  // session ids
  Allowed allowed_;
};

TEST_F(HostileInputTest, NoVisitorFieldRunsScriptInAnyDisplayMode) {
  for (const Fields& fields :
       {Fields{{"guestname", "小明"},
               {"subject", "你好"},
               {"message", "[b]好[/b]"},
               {"html", "2"}},
        Fields{{"guestname", "小"}, {"subject", "你好"}, {"message", ""}, {"html", "2"}}})
    Learn(allowed_, Visit(visitor_, FormAction(visitor_), fields));
  for (const Answer& page : BookPages()) Learn(allowed_, page);
  Learn(allowed_, Visit(visitor_, "add.asp?name=xiaoming"));
  Learn(allowed_, Visit(visitor_, "add_bak.asp?name=xiaoming"));

  const std::string text_fields[] = {"guestname", "subject", "message",
                                     "guo",       "sheng",   "xian"};
  for (std::string_view payload : kPayloads) {
    const std::string p(payload);
    for (std::string_view mode : {"0", "1", "2"}) {
      Fields fields = {{"html", std::string(mode)},
                       {"tx", p},
                       {"font", p},
                       {"fontsize", p},
                       {"fontcolor", p}};
      for (const std::string& name : text_fields) fields.emplace_back(name, p);
      Check(Visit(visitor_, FormAction(visitor_), fields), p, "acceptance");
      for (const Answer& page : BookPages()) Check(page, p, "guestbook page");
    }
    Fields refused = {
        {"guestname", "小明"}, {"subject", "你好"}, {"message", "x"}, {"html", "2"}};
    for (std::string_view name : {"email", "homepage", "oicq"})
      refused.emplace_back(name, p);
    Check(Visit(visitor_, FormAction(visitor_), refused), p, "refusal");
    const std::string encoded = host::UrlEncode(p);
    Check(Visit(visitor_, "show.asp?name=xiaoming&jsfs=1&keyword=" + encoded), p,
          "search");
    Check(Visit(visitor_,
                "add.asp?name=xiaoming&reply=1&replyid=1&replysubject=" + encoded),
          p, "reply form");
  }
}

TEST_F(HostileInputTest, NoOwnerSettingRunsScript) {
  auto basic = [](std::string_view title, std::string_view address,
                  std::string_view format) {
    return Fields{{"titletop", std::string(title)},
                  {"topimage", std::string(address)},
                  {"topformat", std::string(format)},
                  {"infolistno", "5"},
                  {"html", "2"},
                  {"backimage", std::string(address)},
                  {"sendinfo", "0"},
                  {"nettype", "电脑网络"},
                  {"homepage", std::string(address)}};
  };
  for (const Answer& page : SettingsPages()) Learn(allowed_, page);
  Learn(allowed_, Visit(owner_, "admin_jiemian_check.asp", basic("", "", "0")));
  for (std::string_view payload : kPayloads) {
    const std::string p(payload);
    const std::string address = "http://x/" + p;
    Check(Visit(owner_, "admin_jiemian_check.asp", basic(p, "", "0")), p, "title saved");
    for (const Answer& page : SettingsPages()) Check(page, p, "title shown");
    Check(Visit(owner_, "admin_jiemian_check.asp", basic("标题", address, "1")), p,
          "addresses saved");
    for (const Answer& page : SettingsPages()) Check(page, p, "addresses shown");
    Fields captions;
    for (std::string_view name :
         {"infoname", "infomail", "infohomepage", "infowhere", "infooicq", "infosubject"})
      captions.emplace_back(name, p);
    captions.emplace_back("C1", "1");
    captions.emplace_back("C2", "1");
    captions.emplace_back("C3", "1");
    captions.emplace_back("C5", "1");
    Check(Visit(owner_, "admin_jiemian_check2.asp", captions), p, "captions saved");
    for (const Answer& page : SettingsPages()) Check(page, p, "captions shown");
  }
  // Bytes that are not GB18030 text, sent as a browser never would.
  for (std::string_view wire :
       {"%81%22%3E%3Cscript%3Ealert(1)%3C/script%3E",
        "%FE%22+onmouseover%3Dalert(1)+x%3D%22", "%C0%BCscript%C0%BEalert(1)"}) {
    Visit(owner_, "admin_jiemian_check.asp", {},
          "titletop=" + std::string(wire) +
              "&topformat=0&infolistno=5&html=2&sendinfo=0&nettype=x&homepage=http://x/");
    for (const Answer& page : SettingsPages()) Check(page, wire, "wire bytes");
  }
}

}  // namespace
}  // namespace tb::testing
