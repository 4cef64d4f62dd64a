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

inline constexpr Option kEvery{
    .name = "every",
    .type = Type::Integer,
    .min = 1,
    .max = kMaxEvery,
    .fallback = "the total",
    .unit = "batches or steps",
    .meaning = "a snapshot every E, and at 0 and the end",
    .place = 90,  // after each model's total
    .metavar = "E",
    .help = "%r: a snapshot every E batches or steps, and at 0 and the end"};
inline constexpr Option kSeed{.name = "seed",
                              .type = Type::Seed,
                              .max = 4294967295,
                              .fallback = "the clock's",
                              .unit = "1",
                              .meaning = "the model's seed; the same seed gives the same run",
                              .metavar = "S",
                              .help =
                                  "%r; without it the seed comes from the clock and is reported\n"
                                  "on stderr. The same command line prints the same heights."};
inline constexpr Option kCanvas{.name = "canvas",
                                .type = Type::Canvas,
                                .min = kMinSide,
                                .max = kMaxSide,
                                .word = "800x600",
                                .unit = "pixels",
                                .meaning = "the canvas size, WIDTHxHEIGHT",
                                .metavar = "WxH",
                                .help = "the canvas size, each %r; 800x600 unless given"};
inline constexpr Option kCheckpointInterval{
    .name = "checkpoint-interval",
    .type = Type::Integer,
    .max = 86400,
    .number = 60,
    .unit = "seconds",
    .meaning = "seconds between checkpoints (0: every snapshot)",
    .metavar = "S",
    .help =
        "%r seconds between checkpoints, 60 unless given; one\n"
        "is also written at the start, the end and a stop (0: every snapshot)"};

inline constexpr Option kInitial{
    .name = "initial",
    .type = Type::Input,
    .meaning = "the heights to start from instead of a flat bed",
    .metavar = "FILE",
    .help =
        "start from these heights instead of a flat bed: text as the run prints\n"
        "them (or --heights writes), or FILE.nc:K, the snapshot at batch or step K\n"
        "of a --netcdf file; their shape must be the bed's"};

/// An output of a run: a file or folder it writes.
constexpr Option Output(std::string_view name, std::string_view meaning, std::string_view help,
                        std::string_view metavar = "FILE") {
  return {.name = name, .type = Type::Output, .meaning = meaning, .metavar = metavar, .help = help};
}

/// The run's options, in the order they are checked.
inline constexpr std::array<Option, 13> kRunOptions = {
    kEvery,
    kSeed,
    kInitial,
    kCanvas,
    kCheckpointInterval,
    Output("png", "the picture of the final state", "the picture of the final state"),
    Output("frames", "a folder of pictures, one per snapshot",
           "a picture per snapshot, DIR/frame-NNNNNN.png", "DIR"),
    Output("spacetime", "a row of heights per snapshot",
           "a row of heights along the wind per snapshot, coloured by height"),
    Output("stats", "a CSV row of statistics per snapshot",
           "a CSV row of ripple statistics per snapshot"),
    Output("netcdf", "the heights per snapshot, as NetCDF",
           "the heights (and statistics) per snapshot as a NetCDF data file\n"
           "(CDF-5, CF-1.8), readable while the run writes it"),
    Output("checkpoint", "the whole state, to resume from",
           "the whole state at the start, every --checkpoint-interval, at the end\n"
           "and when stopped, to resume from;\n"
           "outputs below its folder are recorded relative to it"),
    Output("heights", "the final heights instead of stdout",
           "the final heights into FILE instead of stdout"),
    Option{.name = "force",
           .type = Type::Flag,
           .meaning = "replace outputs that exist",
           .help = "replace outputs that exist; clear a frame folder's frames first"},
};

/// Whether option names one of a run's outputs, or is the flag that lets them replace files:
/// what a checkpoint keeps apart from the run's options.
inline bool IsOutput(const Option& option) {
  return option.type == Type::Output || option.name == "force";
}

}  // namespace kammelsim::params
