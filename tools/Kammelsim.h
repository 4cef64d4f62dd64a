// kammelsim: the headless runner of both models, for scripted and repeatable runs.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace tools {

/// Where a run writes: the heights to out, the seed, faults and progress to err. Progress is
/// shown only when err is a terminal.
struct RunOutput {
  std::FILE* out;
  std::FILE* err;
  bool errIsTerminal;
};

/// Runs one command line (without the program name); returns the exit status: 0 on success,
/// 2 for a bad command line.
int RunKammelsim(std::span<const std::string_view> args, const RunOutput& output);

struct Resume;

/// The subcommands; args start after the subcommand's name. A run continued from a checkpoint
/// passes the checkpoint's options and resume.
int RunBedCommand(std::span<const std::string> args, const RunOutput& output,
                  const Resume* resume = nullptr);
int RunProfileCommand(std::span<const std::string> args, const RunOutput& output,
                      const Resume* resume = nullptr);
int RunStatsCommand(std::span<const std::string> args, const RunOutput& output);
int RunResumeCommand(std::span<const std::string> args, const RunOutput& output);

}  // namespace tools
