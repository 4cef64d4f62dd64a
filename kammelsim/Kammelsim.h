// kammelsim: the headless runner of both models, for scripted and repeatable runs.
#pragma once

#include <span>
#include <string_view>

#include "kammelsim/output/Messages.h"

namespace kammelsim {

/// Runs one command line (without the program name); returns the exit status: 0 on success,
/// 1 when a file could not be read or written, 2 for a bad command line.
int RunKammelsim(std::span<const std::string_view> args, const RunOutput& output);

}  // namespace kammelsim
