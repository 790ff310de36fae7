#include "tests/support/cases.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tb::testing {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One line with its escapes resolved; when `split`, cut into fields at
// unescaped "|" and tabs, unescaped spaces at either end of a field dropped.
std::vector<std::string> ParseLine(std::string_view line, bool split,
                                   const std::string& where) {
  std::vector<std::string> fields(1);
  // Length of the current field up to and including its last kept byte.
  std::size_t kept = 0;
  auto end_field = [&] {
    fields.back().resize(kept);
    fields.emplace_back();
    kept = 0;
  };
  for (std::size_t i = 0; i < line.size(); ++i) {
    std::string& field = fields.back();
    const char c = line[i];
    if (c == '\\') {
      if (i + 1 >= line.size()) {
        ADD_FAILURE() << where << ": backslash at the end of the line";
        break;
      }
      const char e = line[++i];
      switch (e) {
        case 'n':
          field += '\n';
          break;
        case 'r':
          field += '\r';
          break;
        case 't':
          field += '\t';
          break;
        case 's':
          field += ' ';
          break;
        case '\\':
        case '|':
        case '#':
          field += e;
          break;
        case 'x': {
          const int hi = i + 2 < line.size() ? HexDigit(line[i + 1]) : -1;
          const int lo = hi >= 0 ? HexDigit(line[i + 2]) : -1;
          if (lo < 0) {
            ADD_FAILURE() << where << ": \\x needs two hex digits";
            return fields;
          }
          field += static_cast<char>(hi * 16 + lo);
          i += 2;
          break;
        }
        default:
          ADD_FAILURE() << where << ": unknown escape \\" << e;
          return fields;
      }
      kept = field.size();
    } else if (split && (c == '|' || c == '\t')) {
      end_field();
    } else if (split && c == ' ' && field.empty()) {
      // A space before the field's first byte is dropped.
    } else {
      field += c;
      if (c != ' ' || !split) kept = field.size();
    }
  }
  fields.back().resize(kept);
  return fields;
}

std::vector<std::string> ReadLines(std::string_view name, std::filesystem::path& file) {
  file = std::filesystem::path(TB_SOURCE_DIR) / "tests" / "cases" / name;
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "missing case file " << file;
    return lines;
  }
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

bool Blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool Comment(std::string_view line) {
  const auto first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && line[first] == '#';
}

}  // namespace

std::vector<std::vector<std::string>> ReadCases(std::string_view name) {
  std::filesystem::path file;
  const std::vector<std::string> lines = ReadLines(name, file);
  std::vector<std::vector<std::string>> cases;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Blank(lines[i]) || Comment(lines[i])) continue;
    cases.push_back(
        ParseLine(lines[i], true, file.string() + ":" + std::to_string(i + 1)));
  }
  if (cases.empty()) ADD_FAILURE() << "no case in " << file;
  return cases;
}

std::vector<std::vector<std::string>> ReadBlocks(std::string_view name) {
  std::filesystem::path file;
  const std::vector<std::string> lines = ReadLines(name, file);
  std::vector<std::vector<std::string>> blocks;
  bool open = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Blank(lines[i])) {
      open = false;
      continue;
    }
    if (Comment(lines[i])) continue;
    if (!open) blocks.emplace_back();
    open = true;
    blocks.back().push_back(
        ParseLine(lines[i], false, file.string() + ":" + std::to_string(i + 1)).front());
  }
  if (blocks.empty()) ADD_FAILURE() << "no block in " << file;
  return blocks;
}

std::string CaseText(const std::vector<std::string>& fields) {
  std::string out;
  for (const std::string& field : fields) {
    if (!out.empty()) out += " | ";
    out += field;
  }
  return out;
}

}  // namespace tb::testing
