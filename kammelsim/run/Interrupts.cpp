#include "kammelsim/run/Interrupts.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace kammelsim {
namespace {

volatile std::sig_atomic_t pending = 0;
// Set by the run's thread, read by the handler, which may run on another thread.
std::atomic<bool> stepping{false};
static_assert(std::atomic<bool>::is_always_lock_free);
struct sigaction previousInt, previousTerm, previousHangup;
sigset_t previousMask;

extern "C" void OnInterrupt(int signal) {
  if (pending != 0) {
    // A stop being written is finished: the signal asked for it already.
    if (!stepping) return;
    // The user insists: the default action ends the process with this signal's status.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  pending = signal;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  pending = 0;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
  // A dropped ssh session hangs up: the run stops as it would for Ctrl+C, and can go on. Under
  // nohup the user asked for the run to outlive the session, so it does.
  sigaction(SIGHUP, &action, &previousHangup);
  if (previousHangup.sa_handler == SIG_IGN) sigaction(SIGHUP, &previousHangup, nullptr);
  // A signal held back by whoever started us arrives now, and stops the run at its start.
  sigset_t ours;
  sigemptyset(&ours);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaddset(&ours, signal);
  sigprocmask(SIG_UNBLOCK, &ours, &previousMask);
}

InterruptGuard::~InterruptGuard() {
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  sigaction(SIGHUP, &previousHangup, nullptr);
  pending = 0;
}

int InterruptGuard::Pending() {
  return pending;
}

InterruptGuard::Stepping::Stepping() {
  stepping = true;
}

InterruptGuard::Stepping::~Stepping() {
  stepping = false;
}

}  // namespace kammelsim
