#include "python/Interrupts.h"

#include <atomic>
#include <csignal>
#include <mutex>

namespace kammelpy {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};
constexpr int kCount = sizeof kSignals / sizeof kSignals[0];

std::mutex watching;
int watches = 0;
struct sigaction previous[kCount];
bool chained[kCount];
std::atomic<bool> arrived{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

int Slot(int signal) {
  for (int n = 0; n < kCount; ++n) {
    if (kSignals[n] == signal) return n;
  }
  return 0;
}

bool Handles(const struct sigaction& action) {
  if (action.sa_flags & SA_SIGINFO) return action.sa_sigaction != nullptr;
  return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

extern "C" void Note(int signal, siginfo_t* info, void* context) {
  arrived.store(true);
  const struct sigaction& before = previous[Slot(signal)];
  if (before.sa_flags & SA_SIGINFO)
    before.sa_sigaction(signal, info, context);
  else
    before.sa_handler(signal);
}

bool IsNote(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == Note;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  const std::lock_guard lock(watching);
  if (watches++ > 0) return;
  arrived.store(false);
  for (int n = 0; n < kCount; ++n) {
    struct sigaction current = {};
    chained[n] = sigaction(kSignals[n], nullptr, &current) == 0 && Handles(current);
    if (!chained[n]) continue;
    previous[n] = current;
    struct sigaction note = {};
    note.sa_sigaction = Note;
    note.sa_mask = current.sa_mask;
    note.sa_flags = SA_SIGINFO | (current.sa_flags & (SA_ONSTACK | SA_RESTART));
    sigaction(kSignals[n], &note, nullptr);
  }
}

InterruptWatch::~InterruptWatch() {
  const std::lock_guard lock(watching);
  if (--watches > 0) return;
  for (int n = 0; n < kCount; ++n) {
    struct sigaction current = {};
    // Whoever set another handler meanwhile keeps it.
    if (chained[n] && sigaction(kSignals[n], nullptr, &current) == 0 && IsNote(current))
      sigaction(kSignals[n], &previous[n], nullptr);
  }
}

bool InterruptWatch::Take() {
  return arrived.exchange(false);
}

}  // namespace kammelpy
