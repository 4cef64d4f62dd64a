// How every output says how it was made: the program's version, the command line, the seed and
// the parameters.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kammelsim {

/// One parameter of a run as its outputs record it: a whole number, a real or a word.
struct Parameter {
  std::string name;
  std::variant<std::int64_t, double, std::string> value;
};

/// The heights a run started from, where they did not make a flat bed: the name given for them
/// ("bed.txt", "run.nc:500", "a Python array"), the CRC-32 of their bytes (see InitialBed.h),
/// and their sand. An empty name: a flat start.
struct InitialRecord {
  std::string name;
  std::uint32_t crc = 0;
  std::int64_t sand = 0;
};

/// The parameters as one line of text: "settings=relief length=300 ... b=2 wind=5".
std::string ParametersText(const std::vector<Parameter>& parameters);

/// Name and value pairs that say how an output was made: Software, Command, Seed, Parameters,
/// Run (the run's id) and History (a line per run and resume, separated by newlines). Values
/// hold no control character but the History's newlines (see ProvenanceText). The seed and
/// the parameters are kept typed too, for the outputs that record numbers as numbers.
struct Provenance : std::vector<std::pair<std::string, std::string>> {
  using vector::vector;
  std::optional<std::uint32_t> seed;
  std::vector<Parameter> parameters;
};

/// The command line as a shell would take it back: words with blanks or quotes quoted, words
/// with control characters in bash's $'...' with them as \xNN.
std::string CommandLine(std::string_view command, std::span<const std::string_view> args);

/// Text as provenance carries it: control characters, and bytes that are not UTF-8, as \xNN,
/// so that no value breaks a line of a file, reaches a terminal, or makes a file invalid.
std::string ProvenanceText(std::string_view text);

/// A new run's identity: 128 random bits as 32 hexadecimal digits.
std::string NewRunId();

/// One line of a run's history: the UTC time, the version, the command line, and the stretch
/// it ran ("2026-12-08T14:50:14Z kammelsim 1.0: kammelsim resume run.ck (100 to 200 batches)").
std::string HistoryLine(std::string_view commandLine, std::int64_t from, std::int64_t to,
                        std::string_view unit);

/// A real with every digit it needs to be read back exactly.
std::string ExactReal(double value);

/// The program and its version, the command line, the seed used, the parameters, the initial
/// heights when given ("Initial: bed.txt (CRC-32 0c4f2a9e)"), the run's id and its history,
/// every value as ProvenanceText makes it.
Provenance MakeProvenance(std::string_view commandLine, std::uint32_t seed,
                          const std::vector<Parameter>& parameters, std::string_view runId,
                          const std::vector<std::string>& history,
                          const InitialRecord& initial = {});

/// Where the parameters named differ between those recorded and those now (each a
/// "name=value" word of ParametersText): "wind=7 (was 5), q=2 (was 1)"; empty where none does.
std::string ParameterChanges(std::string_view recorded, std::string_view now,
                             const std::vector<std::string>& names);

/// The program's version: from git describe when it was built, else the project's.
std::string_view Version();

}  // namespace kammelsim
