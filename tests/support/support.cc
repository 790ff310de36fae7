#include "tests/support/support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tb::testing {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tavobook-test-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

PageTest::PageTest() : dsn_("sqlite:" + (dir_.path() / "test.db").string()) {
  page_ = std::make_unique<host::MemoryPage>(pool_);
  NextRequest();
}

PageTest::~PageTest() {
  if (book_) book_->OnEndPage();
}

void PageTest::NextRequest() {
  auto next = std::make_unique<host::MemoryPage>(pool_);
  next->session_values = page_->session_values;
  next->now = DateTime{2026, 3, 5, 14, 7, 9};
  next->random.seed(42);
  next->server_variables = {};
  next->server_variables.Add("remote_addr", "10.1.2.3");
  next->ad_script_url = "http://ad.example/ad.js";
  if (book_) book_->OnEndPage();
  page_ = std::move(next);
  book_ = std::make_unique<Guestbook>();
  book_->SetDSNtemp(dsn_);
  book_->OnStartPage(*page_);
}

void PageTest::Seed(std::string_view sql) {
  data::Connection conn(pool_);
  conn.Open(dsn_);
  conn.Execute(sql);
}

std::string PageTest::Scalar(std::string_view sql) {
  data::Connection conn(pool_);
  conn.Open(dsn_);
  auto rs = conn.Execute("select (" + std::string(sql) + ") as v");
  return rs.Field("v").Text();
}

std::int64_t PageTest::Count(std::string_view sql) {
  data::Connection conn(pool_);
  conn.Open(dsn_);
  auto rs = conn.Execute("select count(*) as n from (" + std::string(sql) + ")");
  return rs.Field("n").Whole().value_or(-1);
}

void ExpectGolden(std::string_view name, std::string_view actual) {
  std::filesystem::path file =
      std::filesystem::path(TB_SOURCE_DIR) / "tests" / "golden" / name;
  const char* update = std::getenv("TB_UPDATE_GOLDEN");
  if (update && std::string_view(update) == "1") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << file << " (run with TB_UPDATE_GOLDEN=1)";
  std::stringstream want;
  want << in.rdbuf();
  EXPECT_EQ(want.str(), actual) << "golden file " << file;
}

}  // namespace tb::testing
