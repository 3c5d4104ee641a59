#include "host/basic_suite_keeper.h"

#include <atomic>

namespace prismora {
namespace {

// Written by global set-up, read by deletions on any thread.
std::atomic<const SPBasicSuite*> kept_basic_suite{nullptr};

}  // namespace

void KeepBasicSuite(const SPBasicSuite* basic) {
  if (basic != nullptr) kept_basic_suite.store(basic, std::memory_order_release);
}

const SPBasicSuite* KeptBasicSuite() {
  return kept_basic_suite.load(std::memory_order_acquire);
}

}  // namespace prismora
