#pragma once
// A small pool of threads that deflate blobs while the run goes on examining
// and committing rows. Each blob's result comes back through its own future,
// so the caller collects them in the order it handed them in.
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "db/paradox/types.h"

namespace tabulor::compress {

class DeflatePool {
 public:
  // `workers` threads; 0 gives one a core.
  explicit DeflatePool(int workers = 0);
  // Blobs not yet started are dropped (their futures report a broken promise).
  ~DeflatePool();
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  int Workers() const { return static_cast<int>(threads_.size()); }
  // The future yields DeflateBlob(raw) or its exception.
  std::future<db::Blob> Submit(db::Blob raw);

  static int DefaultWorkers();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<db::Blob()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tabulor::compress
