// Guestbook::WriteCached: an operation's output served from the host's page
// cache while the store is as it was when the output was rendered.
#include "component/cached_page.h"

#include <utility>

#include "component/guestbook.h"

namespace tb {
namespace {

// Gathers what the page writes, to be written in one piece; cookies, a
// redirect and kept pages go to the page at once. Output that set any is not
// kept: served again, the text alone would leave them out.
class GatheredResponse final : public host::Response {
 public:
  explicit GatheredResponse(host::Response& page) : page_(page) {}

  void Write(std::string_view text) override { text_ += text; }
  void WriteKept(std::string_view kept) override {
    only_text_ = false;
    page_.WriteKept(kept);
  }
  void Redirect(std::string_view page) override {
    only_text_ = false;
    page_.Redirect(page);
  }
  void SetCookie(std::string_view name, std::string_view value) override {
    only_text_ = false;
    page_.SetCookie(name, value);
  }
  void SetCookieExpires(std::string_view name, std::string_view expires) override {
    only_text_ = false;
    page_.SetCookieExpires(name, expires);
  }

  std::string& text() { return text_; }
  bool only_text() const { return only_text_; }

 private:
  host::Response& page_;
  std::string text_;
  bool only_text_ = true;
};

// Binds the component's writes to another response while it lives.
class Rebound {
 public:
  Rebound(host::Response*& bound, host::Response& to)
      : bound_(bound), saved_(std::exchange(bound, &to)) {}
  ~Rebound() { bound_ = saved_; }
  Rebound(const Rebound&) = delete;
  Rebound& operator=(const Rebound&) = delete;

 private:
  host::Response*& bound_;
  host::Response* saved_;
};

// The numbers the store's triggers raise with every change (so another
// process's writes count too); nullopt when the store lacks them: nothing is
// then kept.
std::optional<host::PageCache::Version> ReadNumbers(data::Connection& db) {
  auto rs = db.Execute("select n, visits from page_version");
  if (rs.Eof()) return std::nullopt;
  const auto n = rs["n"].Whole();
  const auto visits = rs["visits"].Whole();
  if (!n || !visits) return std::nullopt;
  return host::PageCache::Version{static_cast<std::uint64_t>(*n),
                                  static_cast<std::uint64_t>(*visits)};
}

}  // namespace

bool Guestbook::WriteCached(std::string_view key, data::Connection& db, Shows shows,
                            const std::function<bool()>& render) {
  host::PageCache* cache = Server().Pages();
  // Read before the page reads anything: a change made while it renders
  // leaves what it renders out of date at once.
  const auto read = cache ? cache->ReadVersion(DSNtemp(), db.engine()->ChangeMark(),
                                               [&] { return ReadNumbers(db); })
                          : std::nullopt;
  if (!read) return render();
  // Both numbers only grow, so their sum changes with either.
  const std::uint64_t version =
      read->changes + (shows == Shows::kEverything ? read->visits : 0);
  // Held until the page is kept, or this rendering ends without it.
  const host::PageCache::Lookup lookup = cache->FindOrRender(key, version);
  if (lookup.page) {
    Response().WriteKept(*lookup.page);
    return true;
  }
  GatheredResponse gathered(Response());
  bool complete;
  {
    Rebound rebound(response_, gathered);
    complete = render();
  }
  // Written in the form it is kept in, so that it is converted once.
  if (complete && gathered.only_text()) {
    Response().WriteKept(*cache->Keep(key, version, std::move(gathered.text())));
  } else {
    Write(gathered.text());
  }
  return complete;
}

}  // namespace tb
