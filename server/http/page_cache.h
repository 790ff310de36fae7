// File: page_cache.h — the HTTP host's cache of whole pages (host::PageCache):
// the pages used most recently, up to a total size, each for one version of
// the store it was read from, kept as the site sends them (GB18030), so that
// serving a kept page converts nothing.
//
// serve keeps one for the process and every page reaches it through its
// context (host::Server::Pages), from any worker thread. A page of another
// version is dropped when looked up; the page used least recently goes when
// a new one does not fit; a page larger than the limit per page is not kept
// at all. FindOrRender lets one request render a missing page while the
// others that ask for it wait (kRenderWait at most) and serve what it keeps;
// ReadVersion lets the requests that ask at once share one version read.
//
// Example:
//   PageCache pages(32 << 20, 1 << 20);
//   pages.Keep("k", 7, "<p>留</p>");
//   pages.Find("k", 7);  // the page, "<p>\xc1\xf4</p>"
//   pages.Find("k", 8);  // nullptr: the store has changed, the page is gone
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/page.h"

namespace tb::server::http {

class PageCache final : public host::PageCache {
 public:
  // `max_bytes`: what the kept pages and their keys may take together;
  // `max_page_bytes`: a page (with its key) larger than this is not kept.
  PageCache(std::size_t max_bytes, std::size_t max_page_bytes);
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  std::shared_ptr<const std::string> Find(std::string_view key,
                                          std::uint64_t version) override;
  std::shared_ptr<const std::string> Keep(std::string_view key, std::uint64_t version,
                                          std::string text) override;
  Lookup FindOrRender(std::string_view key, std::uint64_t version) override;
  // One read of a store's version at a time per thread priority: those who
  // ask while it runs wait for it to end and share the next read, which one
  // of them makes. None while the mark is that of the last read.
  std::optional<Version> ReadVersion(std::string_view dsn, std::string_view mark,
                                     const VersionRead& read) override;

  // Gives `then`, on the reading thread, the store and the numbers of the
  // first version read of any store (by ReadVersion, at any priority) that
  // begins after this call, once it has ended well; a read that fails drops
  // it. False, and `then` dropped, while kMostWaiting wait already. So a
  // request may be answered from the kept pages without a read of its own,
  // where reads cross the network and others are reading anyway.
  using ReadSeen = std::function<void(const std::string& dsn, const Version& read)>;
  bool AfterNextRead(ReadSeen then);
  static constexpr std::size_t kMostWaiting = 1024;

  // How long a request waits for another's rendering of the same page
  // before it renders the page itself.
  static constexpr std::chrono::seconds kRenderWait{5};

  // The pages kept, and the bytes counted for them.
  std::size_t size() const;
  std::size_t bytes() const;

 private:
  struct Entry {
    std::string key;
    std::uint64_t version;
    std::shared_ptr<const std::string> page;
    std::size_t bytes;
  };
  using Entries = std::list<Entry>;

  void Drop(Entries::iterator entry);
  std::shared_ptr<const std::string> FindLocked(std::string_view key,
                                                std::uint64_t version);

  // A request's turn to render the page of a key.
  struct Rendering {
    std::uint64_t version, turn;
  };

  const std::size_t max_bytes_, max_page_bytes_;
  mutable std::mutex mutex_;
  Entries entries_;  // the most recently used first
  // List nodes do not move, so the index can view their keys.
  std::unordered_map<std::string_view, Entries::iterator> index_;
  std::size_t bytes_ = 0;
  std::unordered_map<std::string, Rendering> rendering_;
  std::uint64_t turns_ = 0;
  std::condition_variable rendered_;

  // The version reads of one store, numbered as they begin.
  struct VersionReads {
    std::uint64_t begun = 0;
    bool running = false;
    std::string last_mark;  // taken before the last good read; empty for none
    // The number of the last read that ended well, and what it gave,
    // written under the lock (Publish) and read also without it (Read): the
    // threads that wait for a read wake all at once, and would otherwise
    // queue for the lock one by one.
    struct Published {
      std::uint64_t ended;
      std::optional<Version> last;
    };
    void Publish(const Published& read);
    Published Read() const;
    std::atomic<std::uint64_t> ends = 0;  // reads ended, well or not
    std::atomic<std::uint64_t> seq = 0;   // odd while Publish writes
    std::atomic<std::uint64_t> ended = 0, changes = 0, visits = 0;
    std::atomic<bool> has_last = false;
  };
  std::mutex versions_mutex_;
  std::unordered_map<std::string, VersionReads> versions_;
  // Reads begun, of every store and priority, and those waiting for the
  // next (AfterNextRead) with the count when they began to wait.
  std::uint64_t reads_begun_ = 0;
  std::vector<std::pair<std::uint64_t, ReadSeen>> waiting_;
};

// Thrown by KeptOnly where the page would have to be rendered.
class NotKept : public std::exception {
 public:
  const char* what() const noexcept override { return "the page is not kept"; }
};

// A cache's kept pages, and nothing else: a page that is not kept for the
// store's version throws NotKept rather than being rendered, so that a page
// may try to answer at once from the cache where rendering it could be slow.
// Given a read (PageCache::AfterNextRead), the store's version is that read's,
// for that store only, and no other read is made.
class KeptOnly final : public host::PageCache {
 public:
  explicit KeptOnly(host::PageCache& pages) : pages_(pages) {}
  KeptOnly(host::PageCache& pages, std::string dsn, Version read)
      : pages_(pages), given_(std::pair{std::move(dsn), read}) {}

  std::shared_ptr<const std::string> Find(std::string_view key,
                                          std::uint64_t version) override {
    return pages_.Find(key, version);
  }
  std::shared_ptr<const std::string> Keep(std::string_view, std::uint64_t,
                                          std::string) override {
    throw NotKept();
  }
  Lookup FindOrRender(std::string_view key, std::uint64_t version) override {
    if (auto page = pages_.Find(key, version)) return {std::move(page), nullptr};
    throw NotKept();
  }
  // A store without version numbers keeps no pages.
  std::optional<Version> ReadVersion(std::string_view dsn, std::string_view mark,
                                     const VersionRead& read) override {
    if (given_) {
      if (dsn == given_->first) return given_->second;
    } else if (auto version = pages_.ReadVersion(dsn, mark, read)) {
      return version;
    }
    throw NotKept();
  }

 private:
  host::PageCache& pages_;
  std::optional<std::pair<std::string, Version>> given_;
};

}  // namespace tb::server::http
