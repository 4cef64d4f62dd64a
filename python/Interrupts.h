// Ctrl+C during a long call. Python's handlers run only when the interpreter gets to them, which
// it cannot while a call runs without the GIL: this notes SIGINT and SIGTERM beside Python's own
// handler, so that the call can stop at the end of its batch or step and let Python act.
#pragma once

namespace kammelpy {

class InterruptWatch {
 public:
  /// Watches SIGINT and SIGTERM where Python handles them (not where they are ignored or end
  /// the process), until the last watch ends. The handlers Python had stay called.
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  /// Whether a watched signal came since the last call.
  static bool Take();
};

}  // namespace kammelpy
