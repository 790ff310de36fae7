#include "check/ubb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "tests/support/cases.h"
#include "tests/support/check_helpers.h"
#include "tests/support/time_scale.h"

namespace tb::check {
namespace {

// Each pass, tags with their content and bare addresses, and hostile input.
TEST(UbbCodeTest, Transcripts) {
  for (const char* name : {"passes", "tags", "hostile"}) {
    testing::ExpectGolden(
        "check/UbbCode/" + std::string(name) + ".txt",
        testing::Transcript(
            testing::CaseInputs("check/ubb_" + std::string(name) + ".txt"), UbbCode));
  }
}

// Long messages (tests/cases/check/ubb_long.txt), including ones built to
// make a backtracking matcher retry every position, render in far less than
// a second.
TEST(UbbCodeTest, HundredKilobytesRenderQuickly) {
  for (const std::string& text : testing::CaseInputs("check/ubb_long.txt")) {
    auto start = std::chrono::steady_clock::now();
    std::string html = UbbCode(text);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(300) * testing::kTimeScale)
        << text.substr(0, 40);
    EXPECT_GE(html.size(), text.size());
    EXPECT_GE(text.size(), 100u * 1024) << text.substr(0, 40);
  }
}

}  // namespace
}  // namespace tb::check
