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
inline constexpr std::array<std::string_view, 9> kRunOptions = {
    "seed", "every", "png", "frames", "canvas", "spacetime", "stats", "netcdf", "checkpoint"};
inline constexpr std::array<std::string_view, 1> kRunFlags = {"force"};

/// A subcommand's own option names followed by kRunOptions.
std::vector<std::string_view> WithRunOptions(std::span<const std::string_view> own);

/// Reads the run's options; total is the batches or steps asked for. On a fault sets error.
RunSettings ReadRunSettings(const ParsedOptions& options, std::int64_t total, std::string& error);

}  // namespace kammelsim
