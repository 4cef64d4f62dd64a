// Python's arguments as the runner's options: each value becomes the word its command line
// would hold, and the runner's own readers check it, with their defaults, ranges and messages.
#pragma once

#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/cli/Options.h"

namespace kammelpy {

namespace py = pybind11;

/// The digits of an integer (a Python int or anything with __index__; not a bool). TypeError
/// for anything else.
std::string IntegerText(std::string_view name, py::handle value);

/// "--name=value" for an integer (a Python int or anything with __index__; not a bool).
/// TypeError for anything else.
std::string IntegerWord(std::string_view name, py::handle value);

/// "--name=value" for a real number (an int, a float, or anything with __float__; not a bool):
/// the digits that read back as the same double. TypeError for anything else.
std::string RealWord(std::string_view name, py::handle value);

/// "--name=value" for a str; TypeError for anything else.
std::string TextWord(std::string_view name, py::handle value);

/// The options the words give, read by the runner's parser with these names (and the run's
/// own); ValueError with its message when they do not read.
kammelsim::ParsedOptions ReadWords(const std::vector<std::string>& words,
                                   std::span<const std::string_view> names);

/// A runner's message as Python says it: options named without their leading dashes (quoted
/// values are left as they are).
std::string PythonMessage(std::string_view message);

/// Throws ValueError with the runner's message, as Python says it.
[[noreturn]] void Refuse(std::string_view message);

}  // namespace kammelpy
