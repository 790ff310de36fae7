#include "tests/server/flow_browser.h"

#include <gtest/gtest.h>

#include <regex>

#include "check/text.h"
#include "data/connection.h"
#include "host/encoding.h"

namespace tb::testing {

namespace bhttp = server::http::bhttp;

std::string EncodeForm(const Fields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += host::UrlEncode(name) + "=" + host::UrlEncode(value);
  }
  return body;
}

namespace {

std::string RegexQuote(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos)
      out += '\\';
    out += c;
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out(text);
  for (auto [entity, c] :
       {std::pair{"&quot;", "\""}, std::pair{"&#39;", "'"}, std::pair{"&lt;", "<"},
        std::pair{"&gt;", ">"}, std::pair{"&amp;", "&"}}) {
    out = check::ReplaceAll(out, entity, c);
  }
  return out;
}

// The attributes of a tag's inside; a bare attribute ("checked") has an
// empty value. Names are lower-cased.
std::map<std::string, std::string> Attributes(const std::string& inside) {
  static const std::regex kAttribute(
      "([A-Za-z0-9_-]+)(?:\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+)))?");
  std::map<std::string, std::string> out;
  for (std::sregex_iterator it(inside.begin(), inside.end(), kAttribute), end; it != end;
       ++it) {
    const auto& m = *it;
    const std::string value = m[2].matched   ? m[2].str()
                              : m[3].matched ? m[3].str()
                                             : m[4].str();
    out.emplace(check::AsciiLower(m[1].str()), Unescape(value));
  }
  return out;
}

// The value a list sends: its first selected option, else its first.
std::optional<std::string> SelectedOption(const std::string& options) {
  static const std::regex kOption("<option\\b([^>]*)>([^<]*)", std::regex::icase);
  std::optional<std::string> first, chosen;
  for (std::sregex_iterator it(options.begin(), options.end(), kOption), end; it != end;
       ++it) {
    const auto attrs = Attributes((*it)[1].str());
    auto value = attrs.count("value")
                     ? attrs.at("value")
                     : std::string(check::Trim(Unescape((*it)[2].str())));
    if (!first) first = value;
    if (!chosen && attrs.count("selected")) chosen = value;
  }
  return chosen ? chosen : first;
}

}  // namespace

std::optional<std::string> HtmlForm::Value(std::string_view name) const {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return std::nullopt;
}

HtmlForm& HtmlForm::Set(std::string_view name, std::string value) {
  for (auto& [n, v] : fields) {
    if (n == name) {
      v = std::move(value);
      return *this;
    }
  }
  fields.emplace_back(std::string(name), std::move(value));
  return *this;
}

HtmlForm& HtmlForm::Remove(std::string_view name) {
  std::erase_if(fields, [&](const auto& f) { return f.first == name; });
  return *this;
}

std::optional<HtmlForm> FindForm(std::string_view html_view,
                                 std::string_view action_prefix) {
  const std::string html(html_view);
  static const std::regex kForm("<form\\b([^>]*)>", std::regex::icase);
  static const std::regex kControl("<(input|select|textarea)\\b([^>]*)>",
                                   std::regex::icase);
  for (std::sregex_iterator it(html.begin(), html.end(), kForm), end; it != end; ++it) {
    const auto attrs = Attributes((*it)[1].str());
    const std::string action = attrs.count("action") ? attrs.at("action") : "";
    if (action.rfind(action_prefix, 0) != 0) continue;
    const std::size_t from = static_cast<std::size_t>(it->position() + it->length());
    const std::size_t to = html.find("</form>", from);
    const std::string body = html.substr(from, to - from);
    HtmlForm form{action, {}};
    for (std::sregex_iterator c(body.begin(), body.end(), kControl); c != end; ++c) {
      const std::string tag = check::AsciiLower((*c)[1].str());
      const auto control = Attributes((*c)[2].str());
      if (!control.count("name")) continue;
      const std::string& name = control.at("name");
      const std::size_t after = static_cast<std::size_t>(c->position() + c->length());
      if (tag == "select") {
        const std::size_t close = body.find("</select>", after);
        if (auto value = SelectedOption(body.substr(after, close - after)))
          form.fields.emplace_back(name, *value);
      } else if (tag == "textarea") {
        const std::size_t close = body.find("</textarea>", after);
        form.fields.emplace_back(name, Unescape(body.substr(after, close - after)));
      } else {
        const std::string type =
            control.count("type") ? check::AsciiLower(control.at("type")) : "text";
        if (type == "submit" || type == "reset" || type == "button" || type == "image")
          continue;
        const bool box = type == "checkbox" || type == "radio";
        if (box && !control.count("checked")) continue;
        const std::string value =
            control.count("value") ? control.at("value") : (box ? "on" : "");
        form.fields.emplace_back(name, value);
      }
    }
    return form;
  }
  return std::nullopt;
}

bool Page::HasInput(std::string_view name, std::string_view value) const {
  const std::regex tag("<input[^>]*name=\"" + RegexQuote(name) + "\"[^>]*value=\"" +
                       RegexQuote(value) + "\"");
  return std::regex_search(text, tag);
}

Page Browser::Get(std::string_view target) {
  return Send(server::http::Request{bhttp::verb::get, "/" + std::string(target), 11});
}

Page Browser::Post(std::string_view target, const Fields& fields) {
  return PostBody(target, EncodeForm(fields), "application/x-www-form-urlencoded");
}

Page Browser::PostBody(std::string_view target, std::string body, std::string_view type) {
  return Send(FormPost("/" + std::string(target), std::move(body), type));
}

std::optional<std::string> Browser::Cookie(std::string_view name) const {
  for (const auto& [wire_name, value] : jar_) {
    if (host::FromGb18030(host::PercentDecode(wire_name)) == name) {
      return host::FromGb18030(host::PercentDecode(value));
    }
  }
  return std::nullopt;
}

Page Browser::Send(server::http::Request req) {
  std::string cookies;
  for (const auto& [name, value] : jar_) {
    if (!cookies.empty()) cookies += "; ";
    cookies += name + "=" + value;
  }
  if (!cookies.empty()) req.set(bhttp::field::cookie, cookies);
  server::http::Response res = client_.Send(std::move(req));

  Page page;
  page.status = res.result();
  page.text = host::FromGb18030(res.body());
  page.location = std::string(res[bhttp::field::location]);
  page.content_type = std::string(res[bhttp::field::content_type]);
  page.set_cookies = SetCookies(res);
  for (const std::string& header : page.set_cookies) {
    const std::size_t eq = header.find('=');
    const std::size_t semi = header.find(';');
    if (eq == std::string::npos || eq > semi) continue;
    std::string name = header.substr(0, eq);
    std::string value = header.substr(eq + 1, semi - eq - 1);
    if (check::AsciiLower(header).find("max-age=0") != std::string::npos) {
      jar_.erase(name);
    } else {
      jar_[name] = value;
    }
  }
  return page;
}

std::string FindLink(std::string_view html, std::string_view prefix) {
  for (std::string_view attr : {"href=\"", "action=\"", "action = \""}) {
    const std::string start = std::string(attr) + std::string(prefix);
    const std::size_t at = html.find(start);
    if (at == std::string_view::npos) continue;
    const std::size_t from = at + attr.size();
    const std::size_t end = html.find('"', from);
    return check::ReplaceAll(html.substr(from, end - from), "&amp;", "&");
  }
  return {};
}

Fields RegistrationFields(const Account& a) {
  return {{"name", a.name},     {"password", a.password}, {"password2", a.password},
          {"email", a.email},   {"homepage", a.homepage}, {"titletop", a.title},
          {"html", "2"},        {"question", a.question}, {"answer", a.answer},
          {"idcard", a.idcard}, {"nettype", "电脑网络"},  {"B1", "注册留言板"}};
}

FlowSite::FlowSite(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--listen",
                                   "127.0.0.1:0",
                                   "--db",
                                   Db(),
                                   "--admin-password",
                                   std::string(kSuperPassword),
                                   "--threads",
                                   "2"};
  args.insert(args.end(), extra.begin(), extra.end());
  serve_ = std::make_unique<ServeProcess>(args);
  if (serve_->port() == 0) {
    ADD_FAILURE() << "serve did not start: " << serve_->listening() << "\n"
                  << serve_->Stderr();
  }
}

Page Register(Browser& b, const Account& a) {
  Page page = b.Post("reg_check.asp", RegistrationFields(a));
  EXPECT_TRUE(page.Has("恭喜！用户：" + a.name + "注册成功！")) << page.text;
  return page;
}

Page LogIn(Browser& b, std::string_view name, std::string_view password) {
  Page page = b.Post("admin_login.asp",
                     {{"name", std::string(name)}, {"password", std::string(password)}});
  EXPECT_TRUE(page.Has("用户：<font color=\"#008000\">" + std::string(name) +
                       "</font>登陆成功，请选择你要修改的内容：</p>"))
      << page.text;
  return page;
}

Page PostThroughForm(Browser& b, std::string_view form_target, const Fields& fields,
                     std::string* action) {
  Page form = b.Get(form_target);
  EXPECT_EQ(form.status, server::http::Status::ok);
  const std::string target = FindLink(form.text, "add_check.asp?");
  EXPECT_FALSE(target.empty()) << form.text;
  if (action) *action = target;
  return b.Post(target, fields);
}

Fields MessageFields(std::string_view guestname, std::string_view subject,
                     std::string_view message, std::string_view format) {
  return {{"guestname", std::string(guestname)},
          {"subject", std::string(subject)},
          {"html", std::string(format)},
          {"message", std::string(message)},
          {"font", "宋体"},
          {"fontcolor", "#000000"},
          {"fontsize", "3"},
          {"replymail", "0"},
          {"B1", "留   言"}};
}

}  // namespace tb::testing
