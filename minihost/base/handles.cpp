#include "minihost/base/handles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace minihost {
namespace {

constexpr std::size_t kAlignment = 16;

void* Allocate(std::size_t size) {
  // At least one byte, so that every live handle has its own address.
  return ::operator new(size == 0 ? 1 : size, std::align_val_t{kAlignment}, std::nothrow);
}

void Free(void* data) { ::operator delete(data, std::align_val_t{kAlignment}); }

}  // namespace

HandleTable::~HandleTable() {
  for (auto& [handle, block] : blocks_) {
    if (block->live) Free(block->master);
  }
}

PF_Handle HandleTable::New(std::size_t size) {
  void* data = Allocate(size);
  if (data == nullptr) return nullptr;
  std::memset(data, kFreshFill, size);
  auto block = std::make_unique<Block>();
  block->master = data;
  block->size = size;
  block->serial = next_serial_++;
  block->live = true;
  PF_Handle handle = &block->master;
  blocks_.emplace(handle, std::move(block));
  ++live_;
  return handle;
}

HandleTable::Block* HandleTable::Find(PF_Handle handle) const {
  auto it = blocks_.find(handle);
  return it == blocks_.end() ? nullptr : it->second.get();
}

void* HandleTable::Lock(PF_Handle handle) {
  Block* block = Find(handle);
  if (block == nullptr || !block->live) {
    Problem(block == nullptr ? "lock of an unknown handle" : "lock of a disposed handle #" +
                                                                 std::to_string(block->serial));
    return nullptr;
  }
  ++block->locks;
  return block->master;
}

void HandleTable::Unlock(PF_Handle handle) {
  Block* block = Find(handle);
  if (block == nullptr || !block->live) {
    Problem(block == nullptr ? "unlock of an unknown handle"
                             : "unlock of a disposed handle #" + std::to_string(block->serial));
    return;
  }
  if (block->locks == 0) {
    Problem("unlock of handle #" + std::to_string(block->serial) + ", which is not locked");
    return;
  }
  --block->locks;
}

void HandleTable::Dispose(PF_Handle handle) {
  Block* block = Find(handle);
  if (block == nullptr) {
    Problem("dispose of an unknown handle");
    return;
  }
  if (!block->live) {
    Problem("dispose of handle #" + std::to_string(block->serial) + ", already disposed");
    return;
  }
  if (block->locks != 0) {
    Problem("dispose of handle #" + std::to_string(block->serial) + " while locked");
  }
  Free(block->master);
  // The block itself stays, so the address is never reused and a later use
  // of the stale handle is recognised.
  block->master = nullptr;
  block->live = false;
  block->locks = 0;
  --live_;
}

std::size_t HandleTable::Size(PF_Handle handle) const {
  const Block* block = Find(handle);
  return block != nullptr && block->live ? block->size : 0;
}

bool HandleTable::IsLive(PF_Handle handle) const {
  const Block* block = Find(handle);
  return block != nullptr && block->live;
}

int HandleTable::LockCount(PF_Handle handle) const {
  const Block* block = Find(handle);
  return block != nullptr ? block->locks : 0;
}

std::vector<HandleInfo> HandleTable::Live() const {
  std::vector<HandleInfo> out;
  for (const auto& [handle, block] : blocks_) {
    if (block->live) out.push_back({handle, block->serial, block->size, block->locks});
  }
  std::sort(out.begin(), out.end(),
            [](const HandleInfo& a, const HandleInfo& b) { return a.serial < b.serial; });
  return out;
}

std::vector<std::string> HandleTable::TakeProblems() {
  std::vector<std::string> out;
  out.swap(problems_);
  return out;
}

std::string Describe(const HandleInfo& info) {
  return "handle #" + std::to_string(info.serial) + " (" + std::to_string(info.size) + " bytes)";
}

}  // namespace minihost
