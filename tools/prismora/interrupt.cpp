#include "interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "imageio/pending_file.h"

namespace prismora::cli {
namespace {

std::atomic<int> g_signals{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void OnInterrupt(int signal) {
  if (g_signals.fetch_add(1) > 0) {
    imageio::RemovePendingFilesNow();
    std::_Exit(kExitInterrupted);
  }
  // std::signal may reset the handler before calling it; keep it.
  std::signal(signal, OnInterrupt);
}

using Handler = void (*)(int);
Handler g_previous_int = SIG_DFL;
Handler g_previous_term = SIG_DFL;

}  // namespace

InterruptScope::InterruptScope() {
  g_signals.store(0);
  g_previous_int = std::signal(SIGINT, OnInterrupt);
  g_previous_term = std::signal(SIGTERM, OnInterrupt);
}

InterruptScope::~InterruptScope() {
  std::signal(SIGINT, g_previous_int == SIG_ERR ? SIG_DFL : g_previous_int);
  std::signal(SIGTERM, g_previous_term == SIG_ERR ? SIG_DFL : g_previous_term);
}

bool InterruptScope::Requested() { return g_signals.load() > 0; }

}  // namespace prismora::cli
