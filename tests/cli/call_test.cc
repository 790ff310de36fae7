// Runs the built `tavobook call` end to end: JSON in, JSON out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "component/members/members.h"
#include "tests/support/support.h"

namespace tb {
namespace {

using nlohmann::json;

struct Run {
  int status;
  std::string out;
};

// Runs `tavobook call ARGS` in the folder `cwd` (the build folder when
// empty) with `input` on stdin.
Run Call(const std::string& input, const std::string& args = "",
         const std::filesystem::path& cwd = {}) {
  testing::TempDir dir;
  auto in_file = dir.path() / "in.json";
  std::ofstream(in_file) << input;
  std::string command = (cwd.empty() ? "" : "cd " + cwd.string() + " && ") +
                        std::string(TB_BINARY_DIR) + "/tavobook call " + args + " < " +
                        in_file.string() + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = pclose(pipe);
  return {WEXITSTATUS(status), out};
}

// Each call's whole output: that of the method "test" with the row's changes.
TEST(CallTest, OutputOfEachMethod) {
  const json test = json::parse(R"({"body":"this is a test!","redirect":null,"cookies":{},
      "session":{},"result":null,"args":[],"error":null})");
  struct Case {
    json input, changes;
  } cases[] = {
      {{{"method", "test"}}, json::object()},
      {{{"method", "TEST"}}, json::object()},
      {{{"method", "gbooktimeout"}}, {{"body", ""}}},
      {{{"method", "gBookAd"}, {"ad_script_url", "http://ad.example/a.js"}},
       {{"body",
         "<p align=\"center\"><script src=\"http://ad.example/a.js\"></script></p>"}}},
      {{{"method", "gBookAd"}},
       {{"body", "<p align=\"center\"><script src=\"\"></script></p>"}}},
      {{{"method", "MyDelThisWord"},
        {"properties", {{"DelThisWord", "坏;bad"}}},
        {"args", {"a bad 坏 Bad"}}},
       {{"body", ""}, {"result", "a *** *** Bad"}, {"args", {"a *** *** Bad"}}}},
      {{{"method", "MyStopThisWord"},
        {"properties", {{"StopThisWord", "spam;ads"}}},
        {"args", {"Buy SPAM now"}}},
       {{"body", ""}, {"result", 1}, {"args", {"Buy SPAM now"}}}},
      {{{"method", "Guolvfeifa"}, {"args", {12}}},
       {{"body", ""}, {"result", 12}, {"args", {12}}}},
      {{{"method", "test"},
        {"session", {{"ly_log", "yes"}, {"ly_fgs", 123456789}, {"x", 2.5}}}},
       {{"session", {{"ly_log", "yes"}, {"ly_fgs", 123456789}, {"x", 2.5}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.dump());
    const auto run = Call(c.input.dump());
    EXPECT_EQ(run.status, 0) << run.out;
    json want = test;
    want.merge_patch(c.changes);
    EXPECT_EQ(json::parse(run.out), want);
  }
}

TEST(CallTest, BadInputExitsWithTwo) {
  for (std::string input :
       {"not json", "[1,2]", R"({"method":"NoSuchMethod"})", R"({"form":{}})",
        R"({"method":"test","properties":{"Nope":1}})", R"({"method":"OnStartPage"})",
        R"({"method":"test","query":{"a":{"b":1}}})"}) {
    EXPECT_EQ(Call(input).status, 2) << input;
  }
}

TEST(CallTest, HelpListsTheKeysAndEveryMemberWithItsKind) {
  auto run = Call("", "--help");
  EXPECT_EQ(run.status, 0);
  std::map<std::string, std::string> described;  // first word of a line: the rest
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("  ")) continue;
    std::istringstream fields(line);
    std::string word;
    fields >> word >> std::ws;
    std::getline(fields, described[word]);
  }
  for (std::string key :
       {"method", "properties", "query", "form", "cookies", "session", "server_variables",
        "args", "now", "random_seed", "body", "redirect", "result", "error"})
    EXPECT_TRUE(described.contains(key)) << key;
  const char* kinds[] = {"property", "method", "function"};
  for (const Member* m : Members()) {
    std::string want = kinds[static_cast<int>(m->kind)];
    if (!m->invoke && !m->set) want += " (run by the host, not callable)";
    EXPECT_EQ(described[std::string(m->name)], want) << m->name;
  }
}

TEST(CallTest, WithoutDsnTheCallUsesServesDefaultStore) {
  struct Case {
    json properties;
    std::string store;  // relative to the working folder
  } cases[] = {
      {json::object(), "data/tavobook.db"},
      {{{"dsntemp", "sqlite:own.db"}}, "own.db"},
  };
  for (const auto& c : cases) {
    testing::TempDir dir;
    auto run = Call(json{{"method", "ShowBook"},
                         {"properties", c.properties},
                         {"query", {{"name", "abc"}}}}
                        .dump(),
                    "", dir.path());
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(json::parse(run.out)["error"], nullptr) << run.out;
    ASSERT_TRUE(std::filesystem::exists(dir.path() / c.store)) << c.store;
    data::SqlitePool pool;
    EXPECT_EQ(testing::StoreCount(pool, "sqlite:" + (dir.path() / c.store).string(),
                                  "select * from user"),
              0);
    EXPECT_EQ(std::filesystem::exists(dir.path() / "data"),
              c.store == "data/tavobook.db");
  }
}

}  // namespace
}  // namespace tb
