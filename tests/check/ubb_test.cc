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

std::string Repeat(std::string_view piece, std::size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += piece;
  return text;
}

// Long messages, including ones built to make a backtracking matcher retry
// every position, render in far less than a second.
TEST(UbbCodeTest, HundredKilobytesRenderQuickly) {
  constexpr std::size_t kSize = 100 * 1024;
  const std::string texts[] = {
      "[b]" + Repeat("留言本 text ", kSize),
      Repeat("[b]x[/b] [url=a.cn]y[/url] see http://a.cn/ ok ", kSize),
      Repeat("[img]", kSize),
      Repeat("[url=", kSize) + "]x[b][/url]",
      Repeat("[email=", kSize) + "]x[b][/email]",
      Repeat("[color=a[", kSize) + "]x[/color]",
      "[glow=" + Repeat(",", kSize) + " [/glow]",
      "[glow=" + Repeat(",", kSize) + "x]a[b][/glow]",
      Repeat("xhttp://", kSize),
      "http://" + Repeat("a", kSize) + " ",
      Repeat("[fly]", kSize / 2) + Repeat("[/fly]", kSize / 2),
  };
  for (const std::string& text : texts) {
    auto start = std::chrono::steady_clock::now();
    std::string html = UbbCode(text);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(300) * testing::kTimeScale)
        << text.substr(0, 40);
    EXPECT_GE(html.size(), text.size());
  }
}

}  // namespace
}  // namespace tb::check
