// A thread beside the run that writes what each snapshot records while the model goes on: on
// two cores the statistics and the data file of a snapshot cost the run next to nothing.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "kammelsim/output/Messages.h"

namespace kammelsim {

/// Runs jobs one at a time, in the order handed over; at most one waits to start. A job that
/// fails (returns a fault) stops every later one.
class OutputWorker {
 public:
  OutputWorker();
  ~OutputWorker();
  OutputWorker(const OutputWorker&) = delete;
  OutputWorker& operator=(const OutputWorker&) = delete;

  /// Hands over a job, waiting while the one before it still waits to start.
  void Submit(std::function<Outcome()> job);
  /// Waits until every job handed over has run; false when one failed.
  bool Drain();
  /// Whether a job has failed, without waiting.
  bool Failed();
  /// What the job that failed returned, once: after Drain, to be said.
  Outcome TakeFault();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::function<Outcome()>> waiting_;
  bool running_ = false, failed_ = false, stopping_ = false;
  Outcome fault_;
  std::thread thread_;
};

}  // namespace kammelsim
