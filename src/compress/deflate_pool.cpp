#include "compress/deflate_pool.h"

#include <algorithm>

#include "compress/blob_deflate.h"

namespace tabulor::compress {

int DeflatePool::DefaultWorkers() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

DeflatePool::DeflatePool(int workers) {
  const int count = workers > 0 ? workers : DefaultWorkers();
  threads_.reserve(count);
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
}

DeflatePool::~DeflatePool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

std::future<db::Blob> DeflatePool::Submit(db::Blob raw) {
  std::packaged_task<db::Blob()> job([raw = std::move(raw)]() mutable {
    db::Blob out = DeflateBlob(raw);
    db::Blob().swap(raw);  // the raw bytes are not needed any more: free them now
    return out;
  });
  std::future<db::Blob> result = job.get_future();
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return result;
}

void DeflatePool::Work() {
  for (;;) {
    std::packaged_task<db::Blob()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace tabulor::compress
