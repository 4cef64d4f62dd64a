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

/// Where the snapshot interval stands among the parameters: after each model's total.
inline constexpr int kEveryPlace = 90;

inline constexpr Option kEvery{"every",
                               Type::Integer,
                               1,
                               kMaxEvery,
                               0,
                               {},
                               "the total",
                               "batches or steps",
                               "a snapshot every E, and at 0 and the end",
                               kEveryPlace};
inline constexpr Option kSeed{
    "seed",        Type::Seed, 0,
    4294967295,    0,          {},
    "the clock's", "1",        "the model's seed; the same seed gives the same run"};
inline constexpr Option kCanvas{"canvas",
                                Type::Canvas,
                                kMinSide,
                                kMaxSide,
                                0,
                                "800x600",
                                {},
                                "pixels",
                                "the canvas size, WIDTHxHEIGHT"};
inline constexpr Option kCheckpointInterval{"checkpoint-interval",
                                            Type::Integer,
                                            0,
                                            86400,
                                            60,
                                            {},
                                            {},
                                            "seconds",
                                            "seconds between checkpoints (0: every snapshot)"};

/// The run's options, in the order they are checked; the outputs from kPng on.
inline constexpr std::array<Option, 12> kRunOptions = {
    kEvery,
    kSeed,
    kCanvas,
    kCheckpointInterval,
    Option{"png", Type::Output, 0, 0, 0, {}, {}, {}, "the picture of the final state"},
    Option{"frames", Type::Output, 0, 0, 0, {}, {}, {}, "a folder of pictures, one per snapshot"},
    Option{"spacetime", Type::Output, 0, 0, 0, {}, {}, {}, "a row of heights per snapshot"},
    Option{"stats", Type::Output, 0, 0, 0, {}, {}, {}, "a CSV row of statistics per snapshot"},
    Option{"netcdf", Type::Output, 0, 0, 0, {}, {}, {}, "the heights per snapshot, as NetCDF"},
    Option{"checkpoint", Type::Output, 0, 0, 0, {}, {}, {}, "the whole state, to resume from"},
    Option{"heights", Type::Output, 0, 0, 0, {}, {}, {}, "the final heights instead of stdout"},
    Option{"force", Type::Flag, 0, 0, 0, {}, {}, {}, "replace outputs that exist"},
};

/// Whether option names one of a run's outputs, or is the flag that lets them replace files:
/// what a checkpoint keeps apart from the run's options.
inline bool IsOutput(const Option& option) {
  return option.type == Type::Output || option.name == "force";
}

}  // namespace kammelsim::params
