// One entry of a command's table of options: everything the command line, the config file,
// Python's keywords, --help and the outputs' provenance know of one option.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kammelsim::params {

enum class Type {
  Integer,   ///< a whole number in min..max
  Real,      ///< a finite real number
  Seed,      ///< the model's seed: a whole number in min..max
  Choice,    ///< one of the words in choices, separated by " or "
  Canvas,    ///< WIDTHxHEIGHT, each side in min..max
  Output,    ///< the name of a file or folder to write
  Input,     ///< the name of a file to read
  Flag,      ///< given or not; takes no value on the command line
  Schedule,  ///< snapshots every E (E in min..max) or N to a decade ("log:N")
  Lag,       ///< a whole number in min..max, or "every"
};

struct Option {
  std::string_view name = {};
  Type type = Type::Integer;
  std::int64_t min = 0, max = 0;  ///< of an Integer, a Seed or a Canvas's sides
  /// The value when the option is not given: a number, or for a Choice the word; fallback
  /// says in words what a number cannot ("H0 + 1", "the total", "the clock's").
  double number = 0;
  std::string_view word = {}, fallback = {};
  std::string_view unit = {};     ///< of a number: "cells", "grains", "batches", "seconds", "1"
  std::string_view meaning = {};  ///< one line
  /// Where the value stands in the parameters every output records, lowest first; 0: not
  /// there. A key rather than a position, so that the run's own options fall in place
  /// among each model's.
  int place = 0;
  std::string_view choices = {};  ///< of a Choice
  /// What --help calls the value ("FILE"), and what it says of the option, a line a "\n"; "%r"
  /// stands for the range (min..max). Empty: the command's help says it in its prose.
  std::string_view metavar = {}, help = {};
};

/// The range of an Integer, a Seed or a Canvas's sides as --help and messages write it.
std::string Range(const Option& option);

/// A command's options, in the order their values are checked (the first fault is the one
/// reported).
using Table = std::span<const Option>;

/// The factors of the jump and the transport, which the bed, the profile and the statistics
/// of heights share: b and wind finite reals, q grains in 0..most.
constexpr Option FactorB(double fallback, int place = 0) {
  return {.name = "b",
          .type = Type::Real,
          .number = fallback,
          .unit = "1",
          .meaning = "how the jump grows with height",
          .place = place};
}
constexpr Option FactorWind(double fallback, int place = 0) {
  return {.name = "wind",
          .type = Type::Real,
          .number = fallback,
          .unit = "cells",
          .meaning = "the wind's strength: the jump at height 0",
          .place = place};
}
constexpr Option FactorQ(std::int64_t most, double fallback, int place = 0) {
  return {.name = "q",
          .type = Type::Integer,
          .max = most,
          .number = fallback,
          .unit = "grains",
          .meaning = "grains a jump carries",
          .place = place};
}

/// A command's own options followed by the run's.
template <std::size_t N, std::size_t M>
constexpr std::array<Option, N + M> Join(const std::array<Option, N>& own,
                                         const std::array<Option, M>& run) {
  std::array<Option, N + M> all{};
  for (std::size_t n = 0; n < N; ++n)
    all[n] = own[n];
  for (std::size_t n = 0; n < M; ++n)
    all[N + n] = run[n];
  return all;
}

/// The option of that name, or nullptr.
const Option* Find(Table table, std::string_view name);

/// What a bad value of option is told after its name: "takes an integer in 1..999", "takes a
/// finite real number", "needs a file or folder name".
std::string Wants(const Option& option);

/// Whether a bad value's message goes on with ", not <the value>".
inline bool ShowsValue(const Option& option) {
  return option.type != Type::Output;
}

}  // namespace kammelsim::params
