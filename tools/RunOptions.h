// What every kammelsim run shares: the run's length, its seed, its snapshot schedule, its
// outputs, and the provenance written into them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tools/Options.h"
#include "tools/Pictures.h"
#include "tools/Report.h"
#include "tools/Snapshots.h"

namespace tools {

/// The options every subcommand takes besides its model's: with a value, and flags.
inline constexpr std::array<std::string_view, 9> kRunOptions = {
    "seed", "every", "png", "frames", "canvas", "spacetime", "stats", "netcdf", "checkpoint"};
inline constexpr std::array<std::string_view, 1> kRunFlags = {"force"};

/// A subcommand's own option names followed by kRunOptions.
std::vector<std::string_view> WithRunOptions(std::span<const std::string_view> own);

struct RunSettings {
  SnapshotSchedule schedule;
  bool seedGiven = false;
  std::uint32_t seed = 0;
  PictureOptions pictures;
  std::string stats;       ///< the statistics file; empty: none
  std::string netcdf;      ///< the data file; empty: none
  std::string checkpoint;  ///< the checkpoint file; empty: none
};

/// Reads the run's options; total is the batches or steps asked for. On a fault sets error.
RunSettings ReadRunSettings(const ParsedOptions& options, std::int64_t total, std::string& error);

/// Name and value pairs that say how an output was made.
using Provenance = std::vector<std::pair<std::string, std::string>>;

/// The command line as a shell would take it back: words with blanks or quotes quoted.
std::string CommandLine(std::string_view command, std::span<const std::string_view> args);

/// A real with every digit it needs to be read back exactly.
std::string ExactReal(double value);

/// The program and its version, the command line, the seed used and the parameters.
Provenance MakeProvenance(std::string_view commandLine, std::uint32_t seed,
                          std::string_view parameters);

/// The program's version: from git describe when it was built, else the project's.
std::string_view Version();

/// The generator state the pictures draw with, made from the run's seed.
inline std::uint32_t PictureSeed(std::uint32_t seed) {
  return seed ^ 0x9e3779b9u;
}

}  // namespace tools
