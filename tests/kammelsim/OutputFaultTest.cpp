// kammelsim never reports a failed write as success: whatever stdout is, at any output size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

enum class Stdout { DevFull, Closed, BrokenPipe };

struct Outcome {
  int status = -1;
  std::string err;
};

// Runs kammelsim with stdout made to fail as sink says, and SIGPIPE ignored.
Outcome RunInto(Stdout sink, std::vector<std::string> args) {
  signal(SIGPIPE, SIG_IGN);  // inherited: the write itself must fail, not kill the process
  int errPipe[2], outPipe[2];
  if (pipe(errPipe) != 0 || pipe(outPipe) != 0) return {};
  close(outPipe[0]);  // a reader that has gone away
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (sink == Stdout::DevFull)
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
  if (sink == Stdout::Closed) posix_spawn_file_actions_addclose(&actions, 1);
  if (sink == Stdout::BrokenPipe) posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  std::string program = KAMMELSIM;
  std::vector<char*> argv{program.data()};
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, KAMMELSIM, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(errPipe[1]);
  close(outPipe[1]);
  Outcome outcome;
  char chunk[256];
  for (ssize_t n; (n = read(errPipe[0], chunk, sizeof chunk)) > 0;)
    outcome.err.append(chunk, std::size_t(n));
  close(errPipe[0]);
  int raw = 0;
  if (spawned == 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw))
    outcome.status = WEXITSTATUS(raw);
  return outcome;
}

TEST(KammelsimOutputFaults, EveryFailedWriteGivesOneLineAndStatusOne) {
  const std::vector<std::string> commands[] = {
      {"bed", "--seed", "1", "--length", "3", "--width", "3", "--b", "0", "--wind", "1",
       "--batches", "0"},
      {"bed", "--seed", "1", "--settings", "map", "--length", "1000", "--width", "500", "--batches",
       "0"},
      {"profile", "--seed", "1", "--width", "10", "--b", "0.1", "--steps", "0"},
      {"profile", "--seed", "1", "--width", "10000", "--steps", "0"},
      {"--help"},
      {"bed", "--b", "1", "--help"},
      {"--version"},
  };
  const Stdout sinks[] = {Stdout::DevFull, Stdout::Closed, Stdout::BrokenPipe};
  for (const auto& command : commands) {
    for (const Stdout sink : sinks) {
      const Outcome outcome = RunInto(sink, command);
      const std::string label =
          command[0] + " " + command.back() + " sink " + std::to_string(static_cast<int>(sink));
      EXPECT_EQ(outcome.status, 1) << label;
      const std::string what = command.back() == "--help"      ? "the help"
                               : command.back() == "--version" ? "the version"
                                                               : "";
      EXPECT_NE(outcome.err.find("kammelsim: cannot write " + what), std::string::npos)
          << label << ": " << outcome.err;
      EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << label << ": " << outcome.err;
    }
  }
}

}  // namespace
