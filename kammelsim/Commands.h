// The subcommands of kammelsim; args start after the subcommand's name.
#pragma once

#include <span>
#include <string>

#include "kammelsim/output/Messages.h"

namespace kammelsim {

struct Resume;

/// A run continued from a checkpoint passes the checkpoint's options and resume.
int RunBedCommand(std::span<const std::string> args, const RunOutput& output,
                  const Resume* resume = nullptr);
int RunProfileCommand(std::span<const std::string> args, const RunOutput& output,
                      const Resume* resume = nullptr);
int RunStatsCommand(std::span<const std::string> args, const RunOutput& output);
int RunResumeCommand(std::span<const std::string> args, const RunOutput& output);

}  // namespace kammelsim
