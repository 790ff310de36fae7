// The bytes of one request, as a connection reads them: Beast's parser with
// the server's limits, then the site with every page, on a store in memory.
#include <boost/beast/http/parser.hpp>

#include "data/sqlite_engine.h"
#include "fuzz/fuzz.h"
#include "server/site.h"

namespace http = tb::server::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const http::Limits limits;
  http::bhttp::request_parser<http::bhttp::string_body> parser;
  parser.header_limit(limits.head);
  parser.body_limit(limits.body);
  parser.eager(true);
  boost::beast::error_code ec;
  for (boost::asio::const_buffer rest(data, size);
       !parser.is_done() && rest.size() > 0;) {
    const std::size_t used = parser.put(rest, ec);
    if (ec || used == 0) return 0;
    rest += used;
  }
  if (!parser.is_done()) return 0;

  using namespace std::chrono_literals;
  tb::data::SqlitePool pool;
  http::MemorySessionStore sessions{20min};
  http::VisitCounter visits{pool, 1h, [](std::string_view) {}};
  tb::server::SiteOptions options;
  options.properties.Set("DSNtemp", tb::Value("sqlite::memory:"));
  tb::server::Site site(options, pool, sessions, visits, [](std::string_view) {});
  site.Handle(parser.get(), boost::asio::ip::make_address("10.1.2.3"));
  return 0;
}
