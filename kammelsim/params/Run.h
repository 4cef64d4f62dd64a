// The options every bed and profile run takes besides its model's: its snapshots, its seed
// and its outputs; and the limits they share.
#pragma once

#include <array>
#include <cstdint>

#include "kammelsim/params/Option.h"

namespace kammelsim::params {

/// The most batches or steps a run takes, and the longest snapshot interval.
inline constexpr std::int64_t kMaxRunLength = 1'000'000;
inline constexpr std::int64_t kMaxEvery = 1'000'000;
/// A canvas's sides, in pixels.
inline constexpr std::int64_t kMinSide = 16, kMaxSide = 8192;

inline constexpr Option kEvery{.name = "every",
                               .type = Type::Integer,
                               .min = 1,
                               .max = kMaxEvery,
                               .fallback = "the total",
                               .unit = "batches or steps",
                               .meaning = "a snapshot every E, and at 0 and the end",
                               .place = 90};  // after each model's total
inline constexpr Option kSeed{.name = "seed",
                              .type = Type::Seed,
                              .max = 4294967295,
                              .fallback = "the clock's",
                              .unit = "1",
                              .meaning = "the model's seed; the same seed gives the same run"};
inline constexpr Option kCanvas{.name = "canvas",
                                .type = Type::Canvas,
                                .min = kMinSide,
                                .max = kMaxSide,
                                .word = "800x600",
                                .unit = "pixels",
                                .meaning = "the canvas size, WIDTHxHEIGHT"};
inline constexpr Option kCheckpointInterval{
    .name = "checkpoint-interval",
    .type = Type::Integer,
    .max = 86400,
    .number = 60,
    .unit = "seconds",
    .meaning = "seconds between checkpoints (0: every snapshot)"};

/// An output of a run: a file or folder it writes.
constexpr Option Output(std::string_view name, std::string_view meaning) {
  return {.name = name, .type = Type::Output, .meaning = meaning};
}

/// The run's options, in the order they are checked.
inline constexpr std::array<Option, 12> kRunOptions = {
    kEvery,
    kSeed,
    kCanvas,
    kCheckpointInterval,
    Output("png", "the picture of the final state"),
    Output("frames", "a folder of pictures, one per snapshot"),
    Output("spacetime", "a row of heights per snapshot"),
    Output("stats", "a CSV row of statistics per snapshot"),
    Output("netcdf", "the heights per snapshot, as NetCDF"),
    Output("checkpoint", "the whole state, to resume from"),
    Output("heights", "the final heights instead of stdout"),
    Option{.name = "force", .type = Type::Flag, .meaning = "replace outputs that exist"},
};

/// Whether option names one of a run's outputs, or is the flag that lets them replace files:
/// what a checkpoint keeps apart from the run's options.
inline bool IsOutput(const Option& option) {
  return option.type == Type::Output || option.name == "force";
}

}  // namespace kammelsim::params
