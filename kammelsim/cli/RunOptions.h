// The options every kammelsim run takes besides its model's: its snapshots, its seed and its
// outputs.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/cli/Options.h"
#include "kammelsim/run/RunSettings.h"

namespace kammelsim {

/// The options every subcommand takes besides its model's: with a value, and flags.
inline constexpr std::array<std::string_view, 11> kRunOptions = {"seed",
                                                                 "every",
                                                                 "png",
                                                                 "frames",
                                                                 "canvas",
                                                                 "spacetime",
                                                                 "stats",
                                                                 "netcdf",
                                                                 "checkpoint",
                                                                 "heights",
                                                                 "checkpoint-interval"};
inline constexpr std::array<std::string_view, 1> kRunFlags = {"force"};

/// The options naming outputs, and the flag that lets them replace files: what a checkpoint
/// keeps apart from the run's options (see RecordedOptions).
inline constexpr std::array<std::string_view, 8> kOutputOptions = {
    "png", "frames", "spacetime", "stats", "netcdf", "checkpoint", "heights", "force"};

/// The options a checkpoint records to make the run again: canonical ("--name=value") words
/// without the outputs, which it records on their own, and without --config, already merged;
/// of an option given more than once, the last, which is the one that counts.
std::vector<std::string> RecordedOptions(const std::vector<std::string>& canonical);

/// The first recorded word a resume does not take (an output, --force, --config), or empty.
std::string ForeignRecordedOption(const std::vector<std::string>& recorded);

/// A subcommand's own option names followed by kRunOptions.
std::vector<std::string_view> WithRunOptions(std::span<const std::string_view> own);

/// Reads the run's options; total is the batches or steps asked for. On a fault sets error.
RunSettings ReadRunSettings(const ParsedOptions& options, std::int64_t total, std::string& error);

}  // namespace kammelsim
