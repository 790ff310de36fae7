#include "tests/support/cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "host/ascii.h"

namespace tb::testing {
namespace {

// `code` in UTF-8.
void AppendUtf8(std::string& out, std::uint32_t code) {
  const int extra = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
  static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLead[extra] | code >> (6 * extra));
  for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6)
    out += static_cast<char>(0x80 | (code >> shift & 0x3F));
}

std::string Decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = i + 1 < text.size() && text[i] == '\\' ? text[i + 1] : '\0';
    const std::size_t digits = c == 'x' ? 2 : c == 'u' ? 4 : c == 'U' ? 8 : 0;
    const std::size_t close = c == '(' ? text.find(')', i) : std::string_view::npos;
    const std::size_t star = text.rfind('*', close);
    if (c == 'n' || c == 'r' || c == 't' || c == '\\') {
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : '\\';
      ++i;
    } else if (digits > 0 && i + 2 + digits <= text.size()) {
      const auto code = static_cast<std::uint32_t>(
          std::stoul(std::string(text.substr(i + 2, digits)), nullptr, 16));
      if (c == 'x')
        out += static_cast<char>(code);
      else
        AppendUtf8(out, code);
      i += 1 + digits;
    } else if (close != std::string_view::npos && star != std::string_view::npos &&
               star > i) {
      const std::string piece = Decode(text.substr(i + 2, star - i - 2));
      for (int n = std::stoi(std::string(text.substr(star + 1, close - star - 1))); n > 0;
           --n)
        out += piece;
      i = close;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string_view Trim(std::string_view text) { return host::Trim(text, " \t"); }

}  // namespace

std::vector<Case> ReadCases(std::string_view name) {
  const auto file = std::filesystem::path(TB_SOURCE_DIR) / "tests" / "cases" / name;
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in) << "missing case file " << file;
  std::vector<Case> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (Trim(line).empty() || Trim(line).front() == '#') continue;
    Case c{line, {}, {}};
    for (std::string_view rest = line;;) {
      // " |" ends a field when a blank or the end of the line follows.
      std::size_t bar = rest.find(" |");
      while (bar != std::string_view::npos && bar + 2 < rest.size() &&
             rest[bar + 2] != ' ' && rest[bar + 2] != '\t')
        bar = rest.find(" |", bar + 1);
      std::string_view field = Trim(rest.substr(0, bar));
      const bool quoted =
          field.size() >= 2 && field.front() == '"' && field.back() == '"';
      if (quoted) field = field.substr(1, field.size() - 2);
      c.fields.push_back(Decode(field));
      c.quoted.push_back(quoted);
      if (bar == std::string_view::npos) break;
      rest = rest.substr(bar + 2);
    }
    cases.push_back(std::move(c));
  }
  EXPECT_FALSE(cases.empty()) << "no case in " << file;
  return cases;
}

std::vector<std::string> CaseInputs(std::string_view name) {
  std::vector<std::string> inputs;
  for (const Case& c : ReadCases(name)) inputs.push_back(c[0]);
  return inputs;
}

std::string CaseText(const Case& c) {
  std::string out;
  for (const std::string& field : c) out += (out.empty() ? "" : " | ") + field;
  return out;
}

Value CaseValue(const Case& c, std::size_t i) {
  if (c.quoted.at(i)) return Value(c[i]);
  if (c[i] == "-") return Value();
  return Value(std::stod(c[i]));
}

std::vector<std::pair<std::string, std::string>> FieldsOf(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (std::size_t at = 0; text != "-" && at < text.size();) {
    const std::size_t amp = std::min(text.find('&', at), text.size());
    const std::string_view field = text.substr(at, amp - at);
    const std::size_t eq = std::min(field.find('='), field.size());
    if (field.starts_with('-'))
      fields.emplace_back(field.substr(1, eq - 1), "-");
    else
      fields.emplace_back(field.substr(0, eq),
                          field.substr(std::min(eq + 1, field.size())));
    at = amp + 1;
  }
  return fields;
}

}  // namespace tb::testing
