// `tavobook serve` as users start it: the listening line, pages over HTTP,
// the superuser, the configuration, refused settings and the graceful stop.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <regex>

#include "data/sqlite_engine.h"
#include "tests/server/client.h"
#include "tests/support/cases.h"
#include "tests/support/support.h"

namespace tb::testing {
namespace {

namespace bhttp = server::http::bhttp;
using server::http::Status;

class ServeTest : public ::testing::Test {
 protected:
  std::string Db() const { return (dir_.path() / "store" / "t.db").string(); }

  // Starts serve on a free port with the store in the temporary folder.
  std::unique_ptr<ServeProcess> Serve(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--listen", "127.0.0.1:0", "--db", Db()};
    args.insert(args.end(), extra.begin(), extra.end());
    auto p = std::make_unique<ServeProcess>(args);
    EXPECT_NE(p->port(), 0) << p->listening() << "\n" << p->Stderr();
    return p;
  }

  // The superuser's rows: password, titletop, html.
  Rows Superuser() {
    data::SqlitePool pool;
    return StoreRows(pool, "sqlite:" + Db(),
                     "select password, titletop, html from user where name = 'admin'");
  }

  TempDir dir_;
};

// Serving with a given superuser password, then the graceful stop.
TEST_F(ServeTest, ServesTheSiteAndStopsOnSigterm) {
  auto serve = Serve({"--admin-password", "s3cret_pw", "--threads", "2"});
  EXPECT_EQ(serve->listening(),
            "listening on http://127.0.0.1:" + std::to_string(serve->port()) + "/");
  Client c(serve->port());
  Response res = c.Get("/test.asp");
  EXPECT_EQ(res.result(), Status::ok);
  EXPECT_EQ(res.body(), "this is a test!");
  EXPECT_EQ(res[bhttp::field::content_type], "text/html; charset=gb2312");
  EXPECT_EQ(res[bhttp::field::content_length], "15");
  // The same connection goes on serving.
  EXPECT_EQ(c.Get("/no_such_page.asp").result(), Status::not_found);
  EXPECT_EQ(Superuser(), (Rows{{"s3cret_pw", "超级用户", "2"}}))
      << "the folder and the store are created";

  EXPECT_EQ(serve->Stop(SIGTERM), 0);
  EXPECT_TRUE(c.ClosedWithin(std::chrono::seconds(2)));
  std::string err = serve->Stderr();
  EXPECT_TRUE(std::regex_search(
      err, std::regex("127\\.0\\.0\\.1 GET /test\\.asp 200 15 [0-9]+us\n")))
      << err;
  EXPECT_TRUE(std::regex_search(err, std::regex("GET /no_such_page\\.asp 404 ")));
  EXPECT_NE(err.find("created the superuser \"admin\""), std::string::npos) << err;
  EXPECT_EQ(err.find("s3cret_pw"), std::string::npos) << "a given password is not echoed";
  EXPECT_EQ(serve->RestOfStdout(), "") << "one line on stdout";
}

// A random password, made once; SIGINT stops a server with an idle
// connection open at once.
TEST_F(ServeTest, CreatesTheSuperuserWithARandomPasswordOnce) {
  auto first = Serve();
  Client idle(first->port());
  EXPECT_EQ(idle.Get("/test.asp").result(), Status::ok);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(first->Stop(SIGINT), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  std::smatch m;
  std::string err = first->Stderr();
  ASSERT_TRUE(std::regex_search(
      err, m,
      std::regex(
          "created the superuser \"admin\" with the password ([A-Za-z0-9]{12})\n")))
      << err;
  EXPECT_EQ(Superuser(), (Rows{{m[1], "超级用户", "2"}}));

  auto second = Serve({"--admin-password", "other"});
  ASSERT_EQ(second->Stop(SIGTERM), 0);
  EXPECT_EQ(second->Stderr().find("created the superuser"), std::string::npos);
  EXPECT_EQ(Superuser(), (Rows{{m[1], "超级用户", "2"}}))
      << "an existing superuser is left alone";
}

// The configuration file tests/cases/server/serve.toml, and a port in use.
TEST_F(ServeTest, ConfigurationFileAndAPortInUse) {
  ServeProcess serve({"--config", TB_SOURCE_DIR "/tests/cases/server/serve.toml", "--db",
                      "sqlite:" + Db()});
  ASSERT_NE(serve.port(), 0) << serve.Stderr();
  EXPECT_TRUE(std::filesystem::exists(Db())) << "--db takes a connection string too";
  EXPECT_EQ(Client(serve.port()).Get("/test.asp").result(), Status::ok);
  // A second server on its port is refused in one line.
  const std::string port = std::to_string(serve.port());
  ServeProcess second({"--listen", "127.0.0.1:" + port, "--db", Db()});
  EXPECT_EQ(second.listening(), "");
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.Stderr(),
            "port " + port +
                " is in use: choose another with PORT=... (make run) or --listen\n");
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

TEST_F(ServeTest, BadConfigurationIsRefused) {
  for (auto c : ReadCases("server/serve_refusals.txt")) {
    for (std::string& arg : c.fields) {
      if (!arg.starts_with("@")) continue;
      const auto path = dir_.path() / arg.substr(1, arg.find('=') - 1);
      std::ofstream(path) << arg.substr(arg.find('=') + 1);
      arg = path.string();
    }
    ServeProcess serve({c.begin() + 1, c.end()});
    EXPECT_EQ(serve.listening(), "");
    EXPECT_EQ(serve.Wait(), 2) << c[0];
    EXPECT_NE(serve.Stderr().find(c[0]), std::string::npos) << serve.Stderr();
  }
}

}  // namespace
}  // namespace tb::testing
