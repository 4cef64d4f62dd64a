// SIGINT, SIGTERM and SIGHUP during a run: the first asks the run to stop at the end of its current
// batch or step, a second ends the process at once.
#pragma once

namespace kammelsim {

class InterruptGuard {
 public:
  /// Catches SIGINT, SIGTERM and SIGHUP until destroyed, then restores what was there before.
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  /// The signal that asked the run to stop, or 0.
  static int Pending();
  /// The exit status of a run stopped by signal: 128 + its number.
  static int ExitStatus(int signal) { return 128 + signal; }
};

}  // namespace kammelsim
