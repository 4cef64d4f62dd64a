// The progress line of a long run on a terminal: done of total, the rate and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "kammelsim/output/Messages.h"

namespace kammelsim {

/// Shows "<done> of <total> <unit>", the rate and the time left on a terminal once a run has
/// taken about a second.
class Progress {
 public:
  /// first is where the run starts: a continued run's rate counts only its own work.
  Progress(const RunOutput& output, std::int64_t first, std::int64_t total, std::string_view unit);
  ~Progress();
  void Update(std::int64_t done);
  /// Takes the line away, so that a message can stand alone.
  void Clear();

 private:
  const RunOutput& output_;
  std::int64_t first_, total_;
  std::string_view unit_;
  std::chrono::steady_clock::time_point start_, lastShown_;
  bool shown_ = false;
};

/// The progress line: "40 of 100 batches, 12.5 batches/s, 4 s left" (h:mm:ss once long).
std::string ProgressLine(std::int64_t done, std::int64_t total, std::string_view unit, double rate);

}  // namespace kammelsim
