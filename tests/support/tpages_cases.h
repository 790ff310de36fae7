// File: tpages_cases.h — case files (tests/cases/<folder>/<name>.txt) for the
// host, data, component, cli and pages suites: one case a line, its fields
// split on " | " or a tab and trimmed; blank lines and lines starting with
// "#" are skipped. A field may write a byte as \xHH, a character as \uXXXX
// or \UXXXXXXXX, and a backslash as \\.
// Header only, so that the suites that do not link the support library
// read case files too.
//
// Example (tests/cases/host/url.txt holds "a b | a+b"):
//   for (const auto& c : ReadCaseFile("host/url.txt"))
//     EXPECT_EQ(host::UrlEncode(c[0]), c[1]);
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/value.h"

namespace tb::testing {

using CaseRow = std::vector<std::string>;

// `field` with its escapes written out as bytes (a character in UTF-8).
inline std::string Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char kind = i + 1 < field.size() && field[i] == '\\' ? field[i + 1] : '\0';
    const int digits = kind == 'x' ? 2 : kind == 'u' ? 4 : kind == 'U' ? 8 : 0;
    if (kind == '\\') {
      out += '\\';
      ++i;
    } else if (digits == 0) {
      out += field[i];
    } else {
      const auto code = static_cast<std::uint32_t>(
          std::stoul(std::string(field.substr(i + 2, digits)), nullptr, 16));
      i += 1 + digits;
      if (kind == 'x' || code < 0x80) {
        out += static_cast<char>(code);
      } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
      } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
      }
    }
  }
  return out;
}

// The cases of tests/cases/<name>, each its fields.
inline std::vector<CaseRow> ReadCaseFile(std::string_view name) {
  const std::string path =
      std::string(TB_SOURCE_DIR) + "/tests/cases/" + std::string(name);
  std::ifstream in(path);
  if (!in) throw std::runtime_error("no case file " + path);
  std::vector<CaseRow> cases;
  const auto trim = [](std::string_view s) {
    const auto first = s.find_first_not_of(" \r");
    return first == s.npos ? std::string_view()
                           : s.substr(first, s.find_last_not_of(" \r") - first + 1);
  };
  for (std::string line; std::getline(in, line);) {
    if (trim(line).empty() || trim(line).starts_with('#')) continue;
    CaseRow& row = cases.emplace_back();
    for (std::string_view rest = line;;) {
      const std::size_t bar = rest.find(" | "), tab = rest.find('\t');
      const std::size_t cut = std::min(bar, tab);
      row.push_back(Unescape(trim(rest.substr(0, cut))));
      if (cut == rest.npos) break;
      rest = rest.substr(cut + (cut == bar ? 3 : 1));
    }
  }
  return cases;
}

// A field as a value: "-" empty, text in double quotes, else a number.
inline Value CaseValue(std::string_view field) {
  if (field == "-") return Value();
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    return Value(field.substr(1, field.size() - 2));
  return Value(std::stod(std::string(field)));
}

// A field as text: without its double quotes when it has them ("" is empty).
inline std::string CaseText(std::string_view field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    return std::string(field.substr(1, field.size() - 2));
  return std::string(field);
}

// Request fields written "a=1&b=2" ("-" for none); in a value, "{N}" after a
// character stands for N of that character: "留{3}" is "留留留".
inline std::vector<std::pair<std::string, std::string>> FieldsOf(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (std::size_t at = 0; text != "-" && at < text.size();) {
    const std::size_t amp = std::min(text.find('&', at), text.size());
    const std::string_view field = text.substr(at, amp - at);
    std::string value(field.substr(field.find('=') + 1));
    for (std::size_t open; (open = value.find('{')) != std::string::npos;) {
      std::size_t start = open - 1;  // the character before, in UTF-8
      while (start > 0 && (value[start] & 0xC0) == 0x80) --start;
      const std::size_t close = value.find('}', open);
      const int n = std::stoi(value.substr(open + 1, close - open - 1));
      std::string run;
      for (int i = 0; i < n; ++i) run += value.substr(start, open - start);
      value.replace(start, close + 1 - start, run);
    }
    fields.emplace_back(field.substr(0, field.find('=')), value);
    at = amp + 1;
  }
  return fields;
}

}  // namespace tb::testing
