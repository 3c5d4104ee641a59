// Host memory handles. A handle is the address of a master pointer that the
// host keeps, so a plug-in may reach the block without locking it. The table
// counts locks, keeps every block it ever handed out so that a stale or
// foreign handle is recognised (and reported) instead of crashing, and can
// list what is still alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/ae_types.h"

namespace minihost {

struct HandleInfo {
  PF_Handle handle;
  uint64_t serial;  // 1 for the first handle of the table, and so on
  std::size_t size;
  int locks;
};

class HandleTable {
 public:
  HandleTable() = default;
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // Fresh blocks are filled with a pattern, never zero, so a plug-in that
  // reads what it did not write is caught by the tests.
  static constexpr unsigned char kFreshFill = 0xA5;

  PF_Handle New(std::size_t size);
  void* Lock(PF_Handle handle);
  void Unlock(PF_Handle handle);
  void Dispose(PF_Handle handle);
  // 0 for null, unknown or disposed handles.
  std::size_t Size(PF_Handle handle) const;

  bool IsLive(PF_Handle handle) const;
  int LockCount(PF_Handle handle) const;
  std::vector<HandleInfo> Live() const;
  std::size_t LiveCount() const { return live_; }

  // Misuse seen since the last TakeProblems(): unknown or disposed handles
  // given back, unlocks without a lock.
  std::vector<std::string> TakeProblems();

 private:
  struct Block {
    void* master = nullptr;  // the handle is &master
    std::size_t size = 0;
    int locks = 0;
    uint64_t serial = 0;
    bool live = false;
  };
  Block* Find(PF_Handle handle) const;
  void Problem(std::string text) { problems_.push_back(std::move(text)); }

  std::unordered_map<PF_Handle, std::unique_ptr<Block>> blocks_;
  uint64_t next_serial_ = 1;
  std::size_t live_ = 0;
  std::vector<std::string> problems_;
};

std::string Describe(const HandleInfo& info);

}  // namespace minihost
