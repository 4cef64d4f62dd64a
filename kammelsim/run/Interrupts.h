// SIGINT, SIGTERM and SIGHUP during a run: the first asks the run to stop at the end of its current
// batch or step; a second ends the process at once while a batch or step is computed, and
// waits while files are written, so that none is left half written.
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

  /// While one lives, a batch or step is computed: a second signal may end the process.
  class Stepping {
   public:
    Stepping();
    ~Stepping();
    Stepping(const Stepping&) = delete;
    Stepping& operator=(const Stepping&) = delete;
  };
};

}  // namespace kammelsim
