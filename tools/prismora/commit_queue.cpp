#include "commit_queue.h"

#include <chrono>
#include <exception>
#include <optional>

namespace prismora::cli {

CommitQueue::CommitQueue(Done done) : done_(std::move(done)), thread_([this] { Run(); }) {}

CommitQueue::~CommitQueue() { Finish(); }

void CommitQueue::Commit(int64_t frame, std::unique_ptr<imageio::PendingFile> file) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return items_.size() < kMaxWaiting; });
  items_.push_back({frame, std::move(file)});
  changed_.notify_all();
}

void CommitQueue::Finish() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void CommitQueue::Run() {
  while (true) {
    Item item;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !items_.empty() || closing_; });
      if (items_.empty()) return;
      item = std::move(items_.front());
      items_.pop_front();
      changed_.notify_all();
    }
    const auto start = std::chrono::steady_clock::now();
    std::optional<std::string> error;
    try {
      item.file->Commit();
    } catch (const std::exception& e) {
      error = e.what();
    }
    item.file.reset();
    busy_ns_.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count());
    done_(item.frame, error ? &*error : nullptr);
  }
}

}  // namespace prismora::cli
