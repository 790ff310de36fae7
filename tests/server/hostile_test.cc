// Hostile input through every field a visitor or an owner fills in, through
// the site's own pages: each page that shows the input is parsed
// and checked for anything that could run script or reach outside the
// attribute that holds it.
#include <gtest/gtest.h>
#include <gumbo.h>

#include <memory>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/encoding.h"
#include "tests/server/real_site.h"
#include "tests/support/cases.h"

namespace tb::testing {
namespace {

// Whether an address attribute's value, as the browser reads it (tabs and
// line breaks dropped, blanks and control characters trimmed, letters
// lowered), runs script.
bool RunsScript(std::string_view name, std::string_view value) {
  static const std::set<std::string_view> kAddresses = {
      "href",     "src",    "background", "action", "formaction", "data",
      "codebase", "lowsrc", "dynsrc",     "poster", "srcdoc",     "xlink:href"};
  static const std::regex kScript("^[ \\x01-\\x10]*(javascript|vbscript|data):",
                                  std::regex::icase);
  std::string read(value);
  std::erase_if(read, [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
  return kAddresses.contains(name) && std::regex_search(read, kScript);
}

// What a page holds that could run script or reach outside its place, one
// line each: scripts with their text, foreign (SVG, MathML) elements, loading
// elements with their attributes (addresses without their query), handlers,
// script addresses, and the name of every attribute.
std::vector<std::string> Notables(const Answer& page) {
  static const std::set<GumboTag> kLoaders = {
      GUMBO_TAG_IFRAME, GUMBO_TAG_FRAME, GUMBO_TAG_BASE, GUMBO_TAG_LINK,
      GUMBO_TAG_STYLE,  GUMBO_TAG_META,  GUMBO_TAG_FORM};
  std::vector<std::string> found;
  std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> parsed(
      gumbo_parse_with_options(&kGumboDefaultOptions, page.text.data(), page.text.size()),
      [](GumboOutput* out) { gumbo_destroy_output(&kGumboDefaultOptions, out); });
  std::vector<const GumboNode*> stack{parsed->root};
  while (!stack.empty()) {
    const GumboNode* node = stack.back();
    stack.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& e = node->v.element;
    std::string script = "script element: ";
    std::string loader = std::string("element ") + gumbo_normalized_tagname(e.tag);
    for (unsigned i = 0; i < e.children.length; ++i) {
      auto* child = static_cast<const GumboNode*>(e.children.data[i]);
      if (child->type == GUMBO_NODE_TEXT) script += child->v.text.text;
      stack.push_back(child);
    }
    if (e.tag == GUMBO_TAG_SCRIPT) found.push_back(script);
    if (e.tag_namespace != GUMBO_NAMESPACE_HTML) found.push_back("foreign element");
    for (unsigned i = 0; i < e.attributes.length; ++i) {
      auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
      const std::string_view name = a->name, value = a->value;
      const std::string pair = std::string(name) + "=" + a->value;
      loader +=
          " " + std::string(name) + "=" + std::string(value.substr(0, value.find('?')));
      if (name.starts_with("on")) found.push_back("handler " + pair);
      if (RunsScript(name, value)) found.push_back("address " + pair);
      found.push_back("attribute " + std::string(name));
    }
    if (kLoaders.contains(e.tag)) found.push_back(loader);
  }
  return found;
}

class HostileInputTest : public RealSiteTest {
 protected:
  HostileInputTest() {
    LogIn(owner_, "xiaoming", "pass1234");
    LogIn(super_, "admin", "super_pw9");
    // A payload the server refuses outright gets its error page.
    Learn(Visit(visitor_, "nowhere.asp"));
  }

  // Learns what a page of the site holds of its own.
  void Learn(const Answer& page) {
    for (std::string& line : Notables(page)) allowed_.insert(std::move(line));
  }
  // Checks that a page that showed `payload` holds nothing else.
  void Check(const Answer& page, std::string_view payload, std::string_view where) {
    std::string faults;
    for (const std::string& line : Notables(page))
      if (!allowed_.contains(line)) faults += line + "\n";
    EXPECT_EQ(faults, "") << where << " with " << payload;
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
  // What the site's own pages hold, and the attributes the HTML filter
  // keeps: hostile input may add nothing else.
  const std::vector<std::string> kept_ = CaseInputs("server/kept_attributes.txt");
  std::set<std::string> allowed_{kept_.begin(), kept_.end()};
};

TEST_F(HostileInputTest, NoVisitorFieldRunsScriptInAnyDisplayMode) {
  for (std::string_view fields : {"guestname=小明&subject=你好&message=[b]好[/b]&html=2",
                                  "guestname=小&subject=你好&message=&html=2"})
    Learn(Visit(visitor_, FormAction(visitor_), FieldsOf(fields)));
  for (const Answer& page : BookPages()) Learn(page);
  Learn(Visit(visitor_, "add.asp?name=xiaoming"));
  Learn(Visit(visitor_, "add_bak.asp?name=xiaoming"));
  for (const std::string& p : CaseInputs("server/hostile_payloads.txt")) {
    for (std::string_view mode : {"0", "1", "2"}) {
      Fields fields = Message(p, mode);
      for (std::string_view name :
           {"guo", "sheng", "xian", "tx", "font", "fontsize", "fontcolor"})
        fields.emplace_back(name, p);
      Check(Visit(visitor_, FormAction(visitor_), fields), p, "acceptance");
      for (const Answer& page : BookPages()) Check(page, p, "guestbook page");
    }
    Fields refused = FieldsOf("guestname=小明&subject=你好&message=x&html=2");
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
  auto basic = [](std::string title, std::string address, std::string format) {
    Fields fields = FieldsOf("infolistno=5&html=2&sendinfo=0&nettype=电脑网络");
    for (const char* name : {"topimage", "backimage", "homepage"})
      fields.emplace_back(name, address);
    fields.insert(fields.end(), {{"titletop", title}, {"topformat", format}});
    return fields;
  };
  for (const Answer& page : SettingsPages()) Learn(page);
  Learn(Visit(owner_, "admin_jiemian_check.asp", basic("", "", "0")));
  for (const std::string& p : CaseInputs("server/hostile_payloads.txt")) {
    const std::string address = "http://x/" + p;
    Check(Visit(owner_, "admin_jiemian_check.asp", basic(p, "", "0")), p, "title saved");
    for (const Answer& page : SettingsPages()) Check(page, p, "title shown");
    Check(Visit(owner_, "admin_jiemian_check.asp", basic("标题", address, "1")), p,
          "addresses saved");
    for (const Answer& page : SettingsPages()) Check(page, p, "addresses shown");
    Fields captions = {{"C1", "1"}, {"C2", "1"}, {"C3", "1"}, {"C5", "1"}};
    for (std::string_view name :
         {"infoname", "infomail", "infohomepage", "infowhere", "infooicq", "infosubject"})
      captions.emplace_back(name, p);
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
