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
/// A fault in the options of a bed or profile run: the command line's (status 2), or, for a run
/// continued from a checkpoint, the checkpoint's (status 1), as a file that does not add up.
int RunOptionFault(const RunOutput& output, std::string_view command, const std::string& message,
                   const Resume* resume);

int RunStatsCommand(std::span<const std::string> args, const RunOutput& output);
int RunResumeCommand(std::span<const std::string> args, const RunOutput& output);

}  // namespace kammelsim
