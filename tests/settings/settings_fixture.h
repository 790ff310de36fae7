// File: settings_fixture.h — what the settings tests share: the owner "abc"
// with every column of the row filled, a second guestbook that no save may
// touch, a logged-in session, and the whole stored row for comparisons.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "tests/support/check_helpers.h"
#include "tests/support/support.h"

namespace tb::testing {

using StoredRow = std::map<std::string, std::string>;

inline constexpr std::string_view kNotLoggedIn = "用户操作超时，请重新登陆，或没有权限！";
inline constexpr std::string_view kBackLink =
    "<p></p><a href=\"javascript:history.go(-1);\">回上一步重新填写</a>";

// Every column of `user`.
inline constexpr std::array<std::string_view, 32> kUserColumns = {
    "id",         "name",       "password",     "email",     "homepage",   "regtime",
    "modifytime", "ip",         "html",         "titletop",  "topformat",  "topimage",
    "backimage",  "infolistno", "sendinfo",     "nettype",   "question",   "answer",
    "idcard",     "crccode",    "hascrc",       "counter",   "infoserial", "infostyle",
    "infoname",   "infomail",   "infohomepage", "infowhere", "infooicq",   "infosubject",
    "readonly",   "maxinfo",
};

class SettingsTest : public PageTest {
 protected:
  SettingsTest() {
    Seed(
        "insert into user(name, password, email, homepage, regtime, modifytime, ip, "
        "html, "
        "titletop, topformat, topimage, backimage, infolistno, sendinfo, nettype, "
        "question, answer, idcard, crccode, hascrc, counter, infoserial, infostyle, "
        "infoname, infomail, infohomepage, infowhere, infooicq, infosubject, readonly, "
        "maxinfo) values "
        "('abc', 'Secret1', 'abc@x.example', 'http://abc.example/', "
        "'2025-01-02 03:04:05', '2025-06-07 08:09:10', '192.168.0.9', '2', "
        "'<b>小花的留言板</b>', '1', 'http://abc.example/top.gif', "
        "'http://abc.example/back.jpg', 15, '0', '电脑网络', '我的猫叫什么？', 'Mimi', "
        "'110101199001011234', 123456, '1', 77, 5, '10100000000011111111', "
        "'<font color=\"red\">网名</font>', 'E-mail：', '主页：', '来自：', 'QQ：', "
        "'主题：', '0', '0'), "
        "('x_9', 'other9', 'x9@x.example', 'http://x9.example/', '2025-01-01 00:00:00', "
        "'2025-01-01 00:00:00', '10.0.0.9', '0', 'X9', '0', '', '', 10, '1', '其他类别', "
        "'q9', 'a9', '123456789012345', 222222, '0', 3, 1, '11111111111101111111', "
        "'姓名', '电子邮件：', '主页：', '来自：', 'QQ号码：', '留言主题：', '0', '0')");
  }

  // A new request in the same session, posting `form`.
  void Post(const Fields& form) { Request({}, form); }

  // Every column of the guestbook's row as text; empty when there is no row.
  StoredRow Row(std::string_view name = "abc") {
    data::Connection conn(pool());
    conn.Open(dsn());
    auto rs = conn.Execute("select * from user where name = '" + std::string(name) + "'");
    StoredRow row;
    if (rs.Eof()) return row;
    for (std::string_view column : kUserColumns) {
      row[std::string(column)] = rs[column].Text();
    }
    return row;
  }

  std::string Column(std::string_view column, std::string_view name = "abc") {
    return Row(name).at(std::string(column));
  }

  // `after` is `before` with the columns of `changes` set to their values
  // there, every other column as it was.
  static void ExpectRow(const StoredRow& before, const StoredRow& after,
                        const StoredRow& changes) {
    StoredRow want = before;
    for (const auto& [column, value] : changes) want.at(column) = value;
    EXPECT_EQ(after, want);
  }

  // The report of a refused form: the numbered messages, then `extra`.
  static std::string Report(std::initializer_list<int> numbers,
                            std::string_view extra = "") {
    return testing::Report(numbers, extra, kBackLink);
  }
};

}  // namespace tb::testing
