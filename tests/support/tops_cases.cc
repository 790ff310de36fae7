#include "tests/support/tops_cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "component/members/members.h"
#include "data/error.h"
#include "tests/support/board_helpers.h"

namespace tb::testing {
namespace {

std::string Decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'n')
      out += '\n';
    else if (c == 'r')
      out += '\r';
    else if (c == 't')
      out += '\t';
    else if (c == '0')
      out += '\0';
    else if (c == 'x') {
      out +=
          static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else if (c == '(') {
      const std::size_t close = text.find(')', i);
      const std::size_t star = text.rfind('*', close);
      const std::string piece = Decode(text.substr(i + 1, star - i - 1));
      for (int n = std::stoi(std::string(text.substr(star + 1, close - star - 1))); n > 0;
           --n)
        out += piece;
      i = close;
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<Case> ReadCases(std::string_view name) {
  const auto file = std::filesystem::path(TB_SOURCE_DIR) / "tests" / "cases" / name;
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in) << "missing case file " << file;
  std::vector<Case> cases;
  for (std::string line; std::getline(in, line);) {
    if (Trim(line).empty() || Trim(line).front() == '#') continue;
    Case c{line, {}};
    for (std::string_view rest = line;;) {
      const std::size_t bar = rest.find(" | ");
      std::string_view field = Trim(rest.substr(0, bar));
      if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
      c.fields.push_back(Decode(field));
      if (bar == std::string_view::npos) break;
      rest = rest.substr(bar + 3);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::vector<std::string> CaseInputs(std::string_view name) {
  std::vector<std::string> inputs;
  for (const Case& c : ReadCases(name)) inputs.push_back(c[0]);
  return inputs;
}

Fields FieldsOf(const Case& c, std::size_t from, Fields* query) {
  Fields form;
  for (std::size_t i = from; i < c.size(); ++i) {
    if (c[i] == "-") continue;
    const bool remove = c[i].starts_with('-');
    const std::size_t eq = c[i].find('=');
    std::string key = c[i].substr(remove ? 1 : 0, eq - (remove ? 1 : 0));
    std::string value = remove ? "-" : eq == std::string::npos ? "" : c[i].substr(eq + 1);
    if (query && key.starts_with('?'))
      query->emplace_back(key.substr(1), value);
    else
      form.emplace_back(key, value);
  }
  return form;
}

std::string CaseTest::Run(const Case& c, std::string_view sql) {
  const Member* member = FindMember(c[0]);
  EXPECT_TRUE(member && member->invoke) << c.line;
  if (!member || !member->invoke) return "";
  if (c[1] != "=") {
    page().session_values.clear();
    if (c[1] != "-") LogIn(c[1]);
  }
  Fields query, form, cookies, properties, session;
  // Sets `key` in `list`, a later value replacing an earlier one.
  const auto put = [](Fields& list, std::string key, std::string value) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& f) { return f.first == key; });
    if (it == list.end()) it = list.insert(list.end(), {std::move(key), ""});
    it->second = std::move(value);
  };
  std::vector<std::string> fields = base_;
  fields.insert(fields.end(), c.fields.begin() + 2, c.fields.end());
  for (std::string field : fields) {
    // "-" before a field takes it out of its list.
    const bool remove = field.size() > 1 && field.starts_with('-');
    if (remove) field.erase(0, 1);
    const std::size_t eq = std::min(field.find('='), field.size());
    const std::string value = field.substr(std::min(eq + 1, field.size()));
    Fields* list = &form;
    std::string key = field.substr(0, eq);
    if (field.starts_with('!')) {
      Seed(field.substr(1));
      continue;
    }
    for (auto [prefix, kind] : {std::pair<std::string_view, Fields*>{"cookie:", &cookies},
                                {"session:", &session},
                                {"@", &properties},
                                {"?", &query}}) {
      if (key.starts_with(prefix)) {
        list = kind;
        key.erase(0, prefix.size());
        break;
      }
    }
    if (remove)
      std::erase_if(*list, [&](const auto& f) { return f.first == key; });
    else
      put(*list, key, value);
  }
  for (const auto& [key, value] : session) page().Set(key, Value(value));
  Request(query, form);
  for (const auto& [name, value] : cookies) page().cookies.Add(name, value);
  for (const auto& [name, value] : properties) {
    const Member* property = FindMember(name);
    property->set(book(), value == "-"             ? Value()
                          : value.starts_with('#') ? Value(std::stod(value.substr(1)))
                                                   : Value(value));
  }
  std::string out = "## " + c.line + "\n";
  std::vector<Value> args;
  try {
    const Value result = member->invoke(book(), args);
    if (!result.IsEmpty()) out += "result " + Shown(result) + "\n";
    out += Outcome(page());
  } catch (const data::Error&) {
    out += "threw a store error\n" + Outcome(page());
  } catch (const std::exception& e) {
    out += std::string("threw ") + e.what() + "\n" + Outcome(page());
  }
  for (std::size_t at = 0; at < sql.size();) {
    const std::size_t end = std::min(sql.find("; ", at), sql.size());
    out += "store " + Joined(sql.substr(at, end - at)) + "\n";
    at = end + 2;
  }
  return out;
}

std::string CaseTest::RunAll(std::string_view name, std::string_view sql) {
  std::string out;
  for (const Case& c : ReadCases(name)) out += Run(c, sql);
  return out;
}

}  // namespace tb::testing
