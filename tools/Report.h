// What kammelsim tells the user on stderr, and how it writes heights on stdout.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/Random.h"

#include "tools/Kammelsim.h"

namespace tools {

/// One line "kammelsim: <message>" on err, and the exit status of a bad command line.
int UsageFault(const RunOutput& output, std::string_view message);

/// One line "kammelsim: cannot write <what>: <reason from errno>" on err; returns status 1.
int WriteFault(const RunOutput& output, std::string_view what);

/// Sets the generator from --seed, or from the clock, reporting the seed taken.
void SeedGenerator(common::Random& random, bool seedGiven, std::uint32_t seed,
                   const RunOutput& output);

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

/// Writes the integers separated by single spaces and ends the line; false if out failed.
[[nodiscard]] bool WriteHeightLine(std::FILE* out, const std::int32_t* heights, std::int32_t count);

}  // namespace tools
