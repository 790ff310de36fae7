// Runs the built `tavobook call` end to end: JSON in, JSON out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/support.h"

namespace tb {
namespace {

using nlohmann::json;

struct Run {
  int status;
  std::string out;
};

Run Call(const std::string& input) {
  testing::TempDir dir;
  auto in_file = dir.path() / "in.json";
  std::ofstream(in_file) << input;
  std::string command = std::string(TB_BINARY_DIR) + "/tavobook call < " +
                        in_file.string() + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = pclose(pipe);
  return {WEXITSTATUS(status), out};
}

json CallJson(const json& input) {
  Run run = Call(input.dump());
  EXPECT_EQ(run.status, 0) << run.out;
  return json::parse(run.out);
}

TEST(CallTest, TestWritesExactlyItsText) {
  json out = CallJson({{"method", "test"}});
  EXPECT_EQ(out, json::parse(R"({"body":"this is a test!","redirect":null,"cookies":{},
      "session":{},"result":null,"args":[],"error":null})"));
}

TEST(CallTest, MethodNamesIgnoreCase) {
  EXPECT_EQ(CallJson({{"method", "TEST"}})["body"], "this is a test!");
  EXPECT_EQ(CallJson({{"method", "gbooktimeout"}})["body"], "");
}

TEST(CallTest, AdvertisementUsesTheScriptAddress) {
  json out =
      CallJson({{"method", "gBookAd"}, {"ad_script_url", "http://ad.example/a.js"}});
  EXPECT_EQ(out["body"],
            "<p align=\"center\"><script src=\"http://ad.example/a.js\"></script></p>");
  EXPECT_EQ(CallJson({{"method", "gBookAd"}})["body"],
            "<p align=\"center\"><script src=\"\"></script></p>");
}

TEST(CallTest, WordFiltersReturnResultAndArguments) {
  struct Case {
    json input;
    json result;
    json args;
  } cases[] = {
      {{{"method", "MyDelThisWord"},
        {"properties", {{"DelThisWord", "坏;bad"}}},
        {"args", {"a bad 坏 Bad"}}},
       "a *** *** Bad",
       {"a *** *** Bad"}},
      {{{"method", "MyStopThisWord"},
        {"properties", {{"StopThisWord", "spam;ads"}}},
        {"args", {"Buy SPAM now"}}},
       1,
       {"Buy SPAM now"}},
      {{{"method", "MyStopThisWord"},
        {"properties", {{"StopThisWord", "spam;ads"}}},
        {"args", {"hello"}}},
       0,
       {"hello"}},
      {{{"method", "Guolvfeifa"}, {"args", {"http://x.example/"}}},
       "http://x.example/",
       {"http://x.example/"}},
      {{{"method", "Guolvfeifa"}, {"args", {12}}}, 12, {12}},
  };
  for (const auto& c : cases) {
    json out = CallJson(c.input);
    EXPECT_EQ(out["result"], c.result) << c.input.dump();
    EXPECT_EQ(out["args"], c.args) << c.input.dump();
    EXPECT_EQ(out["error"], nullptr);
  }
}

TEST(CallTest, SessionIsReturnedWholeWithNumbersKept) {
  json out =
      CallJson({{"method", "test"},
                {"session", {{"ly_log", "yes"}, {"ly_fgs", 123456789}, {"x", 2.5}}}});
  EXPECT_EQ(out["session"],
            json::parse(R"({"ly_log":"yes","ly_fgs":123456789,"x":2.5})"));
}

TEST(CallTest, BadInputExitsWithTwo) {
  for (std::string input :
       {"not json", "[1,2]", R"({"method":"NoSuchMethod"})", R"({"form":{}})",
        R"({"method":"test","properties":{"Nope":1}})", R"({"method":"OnStartPage"})",
        R"({"method":"test","query":{"a":{"b":1}}})"}) {
    EXPECT_EQ(Call(input).status, 2) << input;
  }
}

}  // namespace
}  // namespace tb
