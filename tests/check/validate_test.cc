// The text checks, helpers and word filters, each case a line of
// tests/cases/check/functions.txt: the function, its arguments, and what it
// gives ("yes"/"no" for a verdict, then the caller's text for a check that
// may change it).
#include "check/validate.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "check/html_filter.h"
#include "check/text.h"
#include "check/word_filter.h"
#include "tests/support/cases.h"

namespace tb::check {
namespace {

using Args = std::vector<std::string>;
using Outputs = std::vector<std::string>;

std::string YesNo(bool verdict) { return verdict ? "yes" : "no"; }

// A check of the caller's text: its verdict and the text it leaves.
Outputs InPlace(bool (*check)(std::string&), std::string text) {
  const bool verdict = check(text);
  return {YesNo(verdict), text};
}

struct Function {
  std::size_t arity;
  std::function<Outputs(const Args&)> run;
};

const std::map<std::string, Function> kFunctions = {
    {"CheckEmail", {1, [](const Args& a) { return InPlace(CheckEmail, a[0]); }}},
    {"CheckPassword", {1, [](const Args& a) { return InPlace(CheckPassword, a[0]); }}},
    {"CheckSafeText", {1, [](const Args& a) { return InPlace(CheckSafeText, a[0]); }}},
    {"CheckDigits", {1, [](const Args& a) { return InPlace(CheckDigits, a[0]); }}},
    {"CheckLength1To50",
     {1, [](const Args& a) { return InPlace(CheckLength1To50, a[0]); }}},
    {"CheckLength2To100",
     {1, [](const Args& a) { return InPlace(CheckLength2To100, a[0]); }}},
    {"CheckUrl", {1, [](const Args& a) { return Outputs{YesNo(CheckUrl(a[0]))}; }}},
    {"CheckUserName",
     {1, [](const Args& a) { return Outputs{YesNo(CheckUserName(a[0]))}; }}},
    {"TrimValue",
     {1,
      [](const Args& a) {
        std::string text = a[0];
        std::string returned = TrimValue(text);
        return Outputs{returned, text};
      }}},
    {"WholeNumber",
     {1,
      [](const Args& a) {
        const auto number = WholeNumber(a[0]);
        std::ostringstream out;
        out.precision(17);
        if (number) out << *number;
        return Outputs{number ? out.str() : "-"};
      }}},
    {"Length", {1, [](const Args& a) { return Outputs{std::to_string(Length(a[0]))}; }}},
    {"Left", {2, [](const Args& a) { return Outputs{Left(a[0], std::stoul(a[1]))}; }}},
    {"Trim", {1, [](const Args& a) { return Outputs{std::string(Trim(a[0]))}; }}},
    {"ReplaceAll",
     {3, [](const Args& a) { return Outputs{ReplaceAll(a[0], a[1], a[2])}; }}},
    {"AsciiLower", {1, [](const Args& a) { return Outputs{AsciiLower(a[0])}; }}},
    {"EqualsIgnoreCase",
     {2, [](const Args& a) { return Outputs{YesNo(EqualsIgnoreCase(a[0], a[1]))}; }}},
    {"ContainsIgnoreCase",
     {2, [](const Args& a) { return Outputs{YesNo(ContainsIgnoreCase(a[0], a[1]))}; }}},
    {"StartsWith",
     {2, [](const Args& a) { return Outputs{YesNo(StartsWith(a[0], a[1]))}; }}},
    {"EscapeHtml", {1, [](const Args& a) { return Outputs{EscapeHtml(a[0])}; }}},
    {"MaskWords", {2, [](const Args& a) { return Outputs{MaskWords(a[0], a[1])}; }}},
    {"HasStopWord",
     {2, [](const Args& a) { return Outputs{YesNo(HasStopWord(a[0], a[1]))}; }}},
    {"IsSafeAddress",
     {1, [](const Args& a) { return Outputs{YesNo(IsSafeAddress(a[0]))}; }}},
};

TEST(TextFunctionsTest, Cases) {
  for (const testing::Case& c : testing::ReadCases("check/functions.txt")) {
    const Function& f = kFunctions.at(c[0]);
    const Args args(c.fields.begin() + 1, c.fields.begin() + 1 + f.arity);
    const Outputs want(c.fields.begin() + 1 + f.arity, c.fields.end());
    EXPECT_EQ(f.run(args), want) << c.line;
  }
}

}  // namespace
}  // namespace tb::check
