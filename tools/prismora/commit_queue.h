// Finished output files handed over to be committed (flushed to disk and
// renamed into place) on a thread of their own, so that a render thread
// goes on to its next frame while the disk catches up. Files are committed
// in the order given; every file handed over is committed, even once the
// work has been told to stop, since each is whole.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "imageio/pending_file.h"

namespace prismora::cli {

class CommitQueue {
 public:
  // Told of each file once it is in place, or of the message of a commit
  // that failed; called on the queue's thread.
  using Done = std::function<void(int64_t frame, const std::string* error)>;

  explicit CommitQueue(Done done);
  // Commits whatever is still queued, then ends the thread.
  ~CommitQueue();
  CommitQueue(const CommitQueue&) = delete;
  CommitQueue& operator=(const CommitQueue&) = delete;

  // Queues `file`, written in full, as frame `frame`. Waits while a few
  // files are already waiting, so that a slow disk holds back the renders
  // instead of piling up files.
  void Commit(int64_t frame, std::unique_ptr<imageio::PendingFile> file);
  // Commits everything queued and returns once it is done.
  void Finish();
  // Time spent committing so far, in nanoseconds.
  int64_t busy_ns() const { return busy_ns_.load(); }

 private:
  struct Item {
    int64_t frame = 0;
    std::unique_ptr<imageio::PendingFile> file;
  };
  static constexpr std::size_t kMaxWaiting = 4;

  void Run();

  Done done_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  bool closing_ = false;  // no more items will come
  std::atomic<int64_t> busy_ns_{0};
  std::thread thread_;
};

}  // namespace prismora::cli
