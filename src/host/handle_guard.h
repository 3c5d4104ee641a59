// Guards for host handles, so that every early return and every throw gives
// back what was taken.
#pragma once

#include <utility>

#include "host/ae_effect.h"

namespace prismora {

// A handle this call allocated and still owns: disposed on scope exit unless
// ownership was passed on with Release().
class OwnedHandle {
 public:
  OwnedHandle(const PF_HandleSuite1* suite, A_HandleSize size)
      : suite_(suite), handle_(suite->host_new_handle(size)) {}
  ~OwnedHandle() {
    if (handle_ != nullptr) suite_->host_dispose_handle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  PF_Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  PF_Handle Release() { return std::exchange(handle_, nullptr); }

 private:
  const PF_HandleSuite1* suite_;
  PF_Handle handle_;
};

// A lock on a handle, undone on scope exit. A lock that yielded no pointer
// took nothing, so nothing is undone for it.
class HandleLock {
 public:
  HandleLock(const PF_HandleSuite1* suite, PF_Handle handle)
      : suite_(suite), handle_(handle), data_(suite->host_lock_handle(handle)) {}
  ~HandleLock() {
    if (data_ != nullptr) suite_->host_unlock_handle(handle_);
  }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

  template <class T>
  T* As() const {
    return static_cast<T*>(data_);
  }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  const PF_HandleSuite1* suite_;
  PF_Handle handle_;
  void* data_;
};

}  // namespace prismora
