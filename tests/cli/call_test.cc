// Runs the built `tavobook call` and `tavobook seed` end to end, and `make
// run` as a dry run.
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
#include "tests/support/cases.h"
#include "tests/support/support.h"

namespace tb {
namespace {

using nlohmann::json;
using testing::ReadCases;

struct Run {
  int status;
  std::string out;
};

// The exit status and standard output of a shell command.
Run Shell(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  return {WEXITSTATUS(pclose(pipe)), out};
}

// `tavobook ARGS` in the folder `cwd` (the build folder when empty) with
// `input` on stdin.
Run Tavobook(const std::string& args, const std::string& input = "",
             const std::filesystem::path& cwd = {}) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "in.json") << input;
  return Shell((cwd.empty() ? "" : "cd " + cwd.string() + " && ") + TB_BINARY_DIR +
               "/tavobook " + args + " < " + (dir.path() / "in.json").string() +
               " 2>/dev/null");
}

TEST(CallTest, OutputOfEachMethodAndRefusedInput) {
  const json test = json::parse(R"({"body":"this is a test!","redirect":null,"cookies":{},
      "session":{},"result":null,"args":[],"error":null})");
  for (const auto& c : ReadCases("cli/call.txt")) {
    SCOPED_TRACE(c[0]);
    const auto run = Tavobook("call", c[0]);
    if (c[1] == "exit 2") {
      EXPECT_EQ(run.status, 2);
      continue;
    }
    EXPECT_EQ(run.status, 0) << run.out;
    json want = test;
    want.merge_patch(json::parse(c[1]));
    EXPECT_EQ(json::parse(run.out), want);
  }
}

TEST(CallTest, HelpListsTheKeysAndEveryMemberWithItsKind) {
  auto run = Tavobook("call --help");
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

// Without a DSNtemp a call uses serve's default store, data/tavobook.db.
TEST(CallTest, WithoutDsnTheCallUsesServesDefaultStore) {
  for (const auto& [properties, store] : {std::pair{json::object(), "data/tavobook.db"},
                                          {{{"dsntemp", "sqlite:own.db"}}, "own.db"}}) {
    testing::TempDir dir;
    auto run = Tavobook("call",
                        json{{"method", "ShowBook"},
                             {"properties", properties},
                             {"query", {{"name", "abc"}}}}
                            .dump(),
                        dir.path());
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(json::parse(run.out)["error"], nullptr) << run.out;
    ASSERT_TRUE(std::filesystem::exists(dir.path() / store)) << store;
    data::SqlitePool pool;
    EXPECT_EQ(testing::StoreCount(pool, "sqlite:" + (dir.path() / store).string(),
                                  "select * from user"),
              0);
    EXPECT_EQ(std::filesystem::exists(dir.path() / "data"),
              store != std::string("own.db"));
  }
}

TEST(SeedTest, StoresRowsAsRegistrationAndPostingDo) {
  testing::TempDir dir;
  const std::string db = (dir.path() / "sub" / "s.db").string();
  ASSERT_EQ(Tavobook("seed --db " + db + " --guestbooks 3 --messages 20").status, 0);
  for (int run = 0; run < 2; ++run)
    ASSERT_EQ(Tavobook("seed --db " + db + " --messages 5 --book small").status, 0);
  EXPECT_EQ(Tavobook("seed --db " + db + " --book no-name").status, 2);
  data::SqlitePool pool;
  for (const auto& c : ReadCases("cli/seed.txt")) {
    std::string row;
    const auto rows = testing::StoreRows(pool, "sqlite:" + db, c[0]);
    for (const auto& value : rows.at(0)) row += (row.empty() ? "" : ",") + value;
    EXPECT_EQ(row, c[1]) << c[0];
  }
}

// `make run`'s variables reach the serve command line.
TEST(MakeRunTest, PortAndStoreReachServe) {
  for (const auto& [vars, serve] :
       {std::pair{"", "tavobook serve --listen 127.0.0.1:8080 --db ./var/tavobook.db\n"},
        {"PORT=8090 STORE=/tmp/x.db",
         "tavobook serve --listen 127.0.0.1:8090 --db /tmp/x.db\n"}}) {
    const auto run =
        Shell("make -s -n -C " + std::string(TB_SOURCE_DIR) + " run " + vars + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(run.out.ends_with(serve)) << run.out;
  }
}

}  // namespace
}  // namespace tb
