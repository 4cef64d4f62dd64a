// How every output says how it was made: the program's version, the command line, the seed and
// the parameters.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kammelsim {

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

}  // namespace kammelsim
