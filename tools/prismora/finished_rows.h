// The rows of a frame that its render has finished, told to a writer on
// another thread so that the file is written while the render goes on.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace prismora::cli {

class FinishedRows {
 public:
  // Rows 0..rows-1 are final.
  void Publish(int rows) {
    {
      std::lock_guard lock(mutex_);
      if (rows <= rows_) return;
      rows_ = rows;
    }
    changed_.notify_all();
  }
  // No more rows will come: writers waiting for them give up.
  void Abandon() {
    {
      std::lock_guard lock(mutex_);
      abandoned_ = true;
    }
    changed_.notify_all();
  }
  // Returns true once rows 0..rows-1 are final, false when they never will
  // be.
  bool WaitFor(int rows) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return rows_ >= rows || abandoned_; });
    return rows_ >= rows;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int rows_ = 0;
  bool abandoned_ = false;
};

}  // namespace prismora::cli
