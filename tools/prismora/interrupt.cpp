#include "interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "imageio/pending_file.h"

namespace prismora::cli {
namespace {

std::atomic<int> g_signals{0};
std::atomic<int> g_first{0};  // the first signal's number
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

constexpr int kExitSignalBase = 128;  // shells report a program ended by signal N as 128 + N

extern "C" void OnInterrupt(int signal) {
  int none = 0;
  g_first.compare_exchange_strong(none, signal);
  if (g_signals.fetch_add(1) > 0) {
    imageio::RemovePendingFilesNow();
    std::_Exit(kExitSignalBase + signal);
  }
  // std::signal may reset the handler before calling it; keep it.
  std::signal(signal, OnInterrupt);
}

using Handler = void (*)(int);
struct Caught {
  int signal;
  Handler previous;
};
Caught g_caught[] = {
    {SIGINT, SIG_DFL},
    {SIGTERM, SIG_DFL},
#ifdef SIGHUP
    {SIGHUP, SIG_DFL},
#endif
};

}  // namespace

InterruptScope::InterruptScope() {
  g_signals.store(0);
  g_first.store(0);
  for (Caught& c : g_caught) {
    c.previous = std::signal(c.signal, OnInterrupt);
    // A signal ignored by whoever started the program (nohup, a background
    // job) stays ignored.
    if (c.previous == SIG_IGN) std::signal(c.signal, SIG_IGN);
  }
}

InterruptScope::~InterruptScope() {
  // Once stopping, the program is on its way out: a further signal still
  // ends it at once with its code, not by the signal's default action.
  if (Requested()) return;
  for (const Caught& c : g_caught) {
    std::signal(c.signal, c.previous == SIG_ERR ? SIG_DFL : c.previous);
  }
}

bool InterruptScope::Requested() { return g_signals.load() > 0; }

int InterruptScope::ExitCode() {
  const int signal = g_first.load();
  return kExitSignalBase + (signal != 0 ? signal : SIGINT);
}

const char* InterruptScope::Verb() { return g_first.load() == SIGINT ? "interrupted" : "terminated"; }

}  // namespace prismora::cli
