#include "db/paradox/block_cache_pool.h"

#include <algorithm>
#include <atomic>

namespace tabulor::db {

namespace {
// The blocks a few tables work on at once: an import reads and writes about
// a dozen tables in step.
std::atomic<size_t> pool_budget{16u << 20};
std::atomic<size_t> most_held{0};
}  // namespace

void BlockCachePool::SetBudget(size_t bytes) {
  pool_budget = bytes;
  most_held = 0;
}
size_t BlockCachePool::Budget() { return pool_budget; }
size_t BlockCachePool::MostHeld() { return most_held; }

BlockCachePool::Membership::Membership(std::shared_ptr<BlockCachePool> pool, const Member* member)
    : pool_(std::move(pool)), member_(member) {
  if (pool_) pool_->members_.push_back(member_);
}

BlockCachePool::Membership::~Membership() {
  if (!pool_) return;
  pool_->held_ -= held_;
  std::vector<const Member*>& members = pool_->members_;
  members.erase(std::remove(members.begin(), members.end(), member_), members.end());
}

void BlockCachePool::Membership::Held(size_t bytes) {
  held_ += bytes;
  if (!pool_) return;
  pool_->held_ += bytes;
  size_t seen = most_held;
  while (pool_->held_ > seen && !most_held.compare_exchange_weak(seen, pool_->held_)) {
  }
}

void BlockCachePool::Membership::Released(size_t bytes) {
  held_ -= bytes;
  if (pool_) pool_->held_ -= bytes;
}

void BlockCachePool::Trim() {
  const size_t budget = Budget();
  while (held_ > budget) {
    const Member* oldest = nullptr;
    uint64_t oldest_use = 0;
    for (const Member* m : members_) {
      uint64_t used = 0;
      if (m->OldestReleasable(used) && (!oldest || used < oldest_use)) {
        oldest = m;
        oldest_use = used;
      }
    }
    if (!oldest) return;
    oldest->ReleaseOldest();
  }
}

}  // namespace tabulor::db
