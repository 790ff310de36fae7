// `make run`'s variables reach the serve command line (a dry run of make).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tb {
namespace {

TEST(MakeRunTest, PortAndStoreReachServe) {
  struct Case {
    std::string vars, serve;
  } cases[] = {
      {"", "tavobook serve --listen 127.0.0.1:8080 --db ./var/tavobook.db\n"},
      {"PORT=8090 STORE=/tmp/x.db",
       "tavobook serve --listen 127.0.0.1:8090 --db /tmp/x.db\n"},
  };
  for (const auto& c : cases) {
    const std::string command =
        "make -s -n -C " + std::string(TB_SOURCE_DIR) + " run " + c.vars + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(pipe), 0) << out;
    EXPECT_TRUE(out.ends_with(c.serve)) << out;
  }
}

}  // namespace
}  // namespace tb
