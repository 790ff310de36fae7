#include "server/http/page_cache.h"

#include <sys/resource.h>
#include <unistd.h>

#include <iterator>
#include <utility>

#include "host/encoding.h"

namespace tb::server::http {
namespace {

// What an entry costs besides its key and page: the list and index nodes
// and the page's shared block, so that many small pages stay bounded too.
constexpr std::size_t kEntryOverhead = 128;

}  // namespace

PageCache::PageCache(std::size_t max_bytes, std::size_t max_page_bytes)
    : max_bytes_(max_bytes), max_page_bytes_(max_page_bytes) {}

std::shared_ptr<const std::string> PageCache::Find(std::string_view key,
                                                   std::uint64_t version) {
  std::lock_guard lock(mutex_);
  return FindLocked(key, version);
}

std::shared_ptr<const std::string> PageCache::FindLocked(std::string_view key,
                                                         std::uint64_t version) {
  auto it = index_.find(key);
  if (it == index_.end()) return nullptr;
  if (it->second->version != version) {
    Drop(it->second);
    return nullptr;
  }
  entries_.splice(entries_.begin(), entries_, it->second);
  return it->second->page;
}

std::shared_ptr<const std::string> PageCache::Keep(std::string_view key,
                                                   std::uint64_t version,
                                                   std::string text) {
  std::string page = host::ToGb18030(text);
  page.shrink_to_fit();
  const std::size_t bytes = key.size() + page.capacity() + kEntryOverhead;
  auto kept = std::make_shared<const std::string>(std::move(page));
  std::lock_guard lock(mutex_);
  if (auto it = rendering_.find(std::string(key));
      it != rendering_.end() && it->second.version == version) {
    rendering_.erase(it);
    rendered_.notify_all();
  }
  if (auto it = index_.find(key); it != index_.end()) Drop(it->second);
  if (bytes > max_page_bytes_ || bytes > max_bytes_) return kept;
  while (bytes_ + bytes > max_bytes_) Drop(std::prev(entries_.end()));
  entries_.push_front({std::string(key), version, kept, bytes});
  index_.emplace(entries_.front().key, entries_.begin());
  bytes_ += bytes;
  return kept;
}

host::PageCache::Lookup PageCache::FindOrRender(std::string_view key,
                                                std::uint64_t version) {
  std::unique_lock lock(mutex_);
  const std::string name(key);
  const auto until = std::chrono::steady_clock::now() + kRenderWait;
  for (bool waited = false;; waited = true) {
    if (auto page = FindLocked(key, version)) return {std::move(page), nullptr};
    auto it = rendering_.find(name);
    if (it == rendering_.end() || it->second.version != version) {
      if (waited) return {};  // given up, or rendered without being kept
      break;
    }
    if (rendered_.wait_until(lock, until) == std::cv_status::timeout) return {};
  }
  const std::uint64_t turn = ++turns_;
  rendering_[name] = {version, turn};
  // Dropped without a Keep: the waiting requests render for themselves.
  return {nullptr, std::shared_ptr<void>(this, [this, name, turn](void*) {
            std::lock_guard done(mutex_);
            if (auto it = rendering_.find(name);
                it != rendering_.end() && it->second.turn == turn) {
              rendering_.erase(it);
              rendered_.notify_all();
            }
          })};
}

std::optional<host::PageCache::Version> PageCache::ReadVersion(std::string_view dsn,
                                                               std::string_view mark,
                                                               const VersionRead& read) {
  // Threads of one scheduling priority share reads: a page worker that the
  // cores serve last never holds up a thread they serve first. A thread's
  // priority is set before it runs any page, so it is asked once per thread.
  thread_local const std::string priority =
      std::to_string(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()))) + " ";
  const std::string key = priority + std::string(dsn);
  std::vector<ReadSeen> seen;
  std::unique_lock lock(versions_mutex_);
  VersionReads& reads = versions_[key];
  if (!mark.empty() && mark == reads.last_mark) return reads.Read().last;
  // Any read numbered from `wanted` on begins after this call.
  const std::uint64_t wanted = reads.begun + 1;
  while (reads.Read().ended < wanted) {
    if (reads.running) {
      const std::uint64_t ended_before = reads.ends.load();
      lock.unlock();
      reads.ends.wait(ended_before);
      if (const auto seen = reads.Read(); seen.ended >= wanted) return seen.last;
      lock.lock();
      continue;
    }
    const std::uint64_t mine = ++reads.begun;
    const std::uint64_t begun = ++reads_begun_;
    reads.running = true;
    std::optional<Version> version;
    try {
      lock.unlock();
      version = read();
      lock.lock();
    } catch (...) {
      // A failed read serves nobody: the next one asking reads again, and
      // those waiting for it no longer wait.
      lock.lock();
      std::erase_if(waiting_, [&](const auto& waiter) { return waiter.first < begun; });
      reads.running = false;
      ++reads.ends;
      reads.ends.notify_all();
      throw;
    }
    reads.running = false;
    reads.last_mark = mark;
    reads.Publish({mine, version});
    ++reads.ends;
    reads.ends.notify_all();
    std::erase_if(waiting_, [&](auto& waiter) {
      if (waiter.first >= begun) return false;
      if (version) seen.push_back(std::move(waiter.second));
      return true;
    });
  }
  const std::optional<Version> last = reads.Read().last;
  lock.unlock();
  for (const ReadSeen& then : seen) then(std::string(dsn), *last);
  return last;
}

// A sequence lock: Publish runs under versions_mutex_, one at a time; Read
// tries again while a Publish is under way or ran meanwhile.
void PageCache::VersionReads::Publish(const Published& read) {
  seq.fetch_add(1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  ended.store(read.ended, std::memory_order_relaxed);
  has_last.store(read.last.has_value(), std::memory_order_relaxed);
  changes.store(read.last ? read.last->changes : 0, std::memory_order_relaxed);
  visits.store(read.last ? read.last->visits : 0, std::memory_order_relaxed);
  seq.fetch_add(1, std::memory_order_release);
}

PageCache::VersionReads::Published PageCache::VersionReads::Read() const {
  for (;;) {
    const std::uint64_t before = seq.load(std::memory_order_acquire);
    Published seen{ended.load(std::memory_order_relaxed), std::nullopt};
    if (has_last.load(std::memory_order_relaxed)) {
      seen.last = Version{changes.load(std::memory_order_relaxed),
                          visits.load(std::memory_order_relaxed)};
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    if (before % 2 == 0 && seq.load(std::memory_order_relaxed) == before) return seen;
  }
}

bool PageCache::AfterNextRead(ReadSeen then) {
  std::lock_guard lock(versions_mutex_);
  if (waiting_.size() >= kMostWaiting) return false;
  waiting_.emplace_back(reads_begun_, std::move(then));
  return true;
}

void PageCache::Drop(Entries::iterator entry) {
  bytes_ -= entry->bytes;
  index_.erase(entry->key);
  entries_.erase(entry);
}

std::size_t PageCache::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::size_t PageCache::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace tb::server::http
