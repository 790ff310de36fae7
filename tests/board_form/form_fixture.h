// File: form_fixture.h — what the message form and acceptance tests share: a
// guestbook "abc" with known settings, messages to prune, and a valid post
// that a test changes field by field.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/board_helpers.h"
#include "tests/support/support.h"

namespace tb::testing {

// A field of a post: a value, or nullopt to leave the field out.
using PostFields = std::map<std::string, std::optional<std::string>>;

class FormTest : public PageTest {
 protected:
  static constexpr std::string_view kKey = "123456789";

  FormTest() {
    AddBook("abc", {{"password", "secret"},
                    {"email", "owner@example.cn"},
                    {"titletop", "小明的留言本"},
                    {"html", "2"},
                    {"sendinfo", "1"},
                    {"regtime", "2026-01-01 00:00:00"},
                    {"infostyle", "11111111111101111111"}});
  }

  // `n` messages of guestbook `name`, the k-th posted k minutes after
  // 2026-01-01 00:00 with the subject "m" followed by k.
  void SeedMessages(std::string_view name, int n) {
    for (int i = 1; i <= n; ++i) {
      char regtime[32];
      std::snprintf(regtime, sizeof regtime, "2026-01-01 %02d:%02d:00", i / 60, i % 60);
      AddMessage(name, {{"subject", "m" + std::to_string(i)}, {"regtime", regtime}});
    }
  }

  // A form page visit as Add leaves it: the posted flag clear, kKey issued.
  void ArmForm() {
    page().Set("ly_tijiao", Value("0"));
    page().Set("ly_fgs", Value(std::string(kKey)));
  }

  // Sends a valid post to "abc" with the fields given changed (nullopt
  // leaves a field out) to AddCheck, in the current request.
  void Post(const PostFields& form_changes = {}, const PostFields& query_changes = {}) {
    PostFields query = {{"name", "abc"}, {"key2", std::string(kKey)}};
    PostFields form = {{"guestname", "小明"},
                       {"guo", "中国"},
                       {"sheng", "广东"},
                       {"xian", "广州"},
                       {"tx", "3"},
                       {"email", "ming@example.cn"},
                       {"subject", "问候"},
                       {"oicq", "12345"},
                       {"html", "0"},
                       {"homepage", "http://ming.example/"},
                       {"message", "你好，留言本！"},
                       {"priviteword", "0"},
                       {"password", ""},
                       {"savemyinfo", "1"},
                       {"replymail", "1"},
                       {"font", "宋体"},
                       {"fontsize", "3"},
                       {"fontcolor", "#000000"}};
    for (const auto& [k, v] : query_changes) query[k] = v;
    for (const auto& [k, v] : form_changes) form[k] = v;
    for (const auto& [k, v] : query)
      if (v) page().query.Add(k, *v);
    for (const auto& [k, v] : form)
      if (v) page().form.Add(k, *v);
    book().SetLybMsgLen(msg_len_);
    book().AddCheck();
  }

  // A fresh request in the same session, armed again, then Post.
  void PostAgain(const PostFields& form_changes = {},
                 const PostFields& query_changes = {}) {
    NextRequest();
    ArmForm();
    Post(form_changes, query_changes);
  }

  // The LybMsgLen setting Post gives the component.
  Value msg_len_ = Value(8000);

  std::string Infoserial() {
    return Scalar("select infoserial from user where name = 'abc'");
  }
};

}  // namespace tb::testing
