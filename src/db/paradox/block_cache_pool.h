#pragma once
// One budget for the block caches of all the table families a session has
// open. Each family keeps its own blocks and its own order of use; when the
// blocks held together pass the budget, the block least recently used among
// all the families that can let go of one is dropped. A run that works on a
// few tables at a time keeps their blocks, whatever number of tables it has
// open, and the memory held stays the same however large the tables are.
// A session is used by one thread at a time, and so is its pool.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tabulor::db {

class BlockCachePool {
 public:
  // What the pool asks of a family.
  class Member {
   public:
    // The use mark of the block the family would let go of first; false when
    // every block it holds is changed or in use.
    virtual bool OldestReleasable(uint64_t& used) const = 0;
    virtual void ReleaseOldest() const = 0;

   protected:
    ~Member() = default;
  };

  // A family's place in a pool (none: the family has only its own budget),
  // from its construction to its end: what it holds is counted in the pool
  // while it lives.
  class Membership {
   public:
    Membership(std::shared_ptr<BlockCachePool> pool, const Member* member);
    ~Membership();
    Membership(const Membership&) = delete;
    Membership& operator=(const Membership&) = delete;
    // The mark of a use: later uses get higher marks.
    uint64_t Use() { return pool_ ? ++pool_->uses_ : 0; }
    void Held(size_t bytes);
    void Released(size_t bytes);
    // Lets go of the least recently used blocks of the pool's families until
    // it is within its budget or nothing more can go.
    void Trim() {
      if (pool_) pool_->Trim();
    }
    // Whether the pool has room for `bytes` more.
    bool Room(size_t bytes) const { return !pool_ || pool_->held_ + bytes <= Budget(); }
    // The bytes held past the budget (changed blocks and blocks in use, which cannot go).
    size_t Excess() const { return pool_ && pool_->held_ > Budget() ? pool_->held_ - Budget() : 0; }

   private:
    std::shared_ptr<BlockCachePool> pool_;
    const Member* member_;
    size_t held_ = 0;
  };

  // The budget of every pool, read at each check (the tests make it small),
  // and the most bytes a pool held at once since it was set.
  static void SetBudget(size_t bytes);
  static size_t Budget();
  static size_t MostHeld();

 private:
  void Trim();
  std::vector<const Member*> members_;
  uint64_t uses_ = 0;
  size_t held_ = 0;
};

}  // namespace tabulor::db
