// J_start reaches the display it can and reports the others as a plain 0, printing nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ReadLine.h"
#include "toolkit/qt/DisplayProbe.h"

extern char** environ;

namespace {

using Changes = std::map<std::string, std::optional<std::string>>;

struct Outcome {
  int exitCode = -1;   ///< the probe's: 10 connected, 20 not; -1 for a crash
  std::string output;  ///< standard output and error together
};

std::vector<std::string> Environment(const Changes& changes) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('='));
    const bool display = name == "QT_QPA_PLATFORM" || name == "DISPLAY" ||
                         name == "WAYLAND_DISPLAY" || name == "XDG_SESSION_TYPE";
    if (!display && !changes.count(name)) variables.push_back(variable);
  }
  for (const auto& [name, value] : changes) {
    if (value) variables.push_back(name + "=" + *value);
  }
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Spawns a program with its output (and, when given, one more descriptor as fd 3) in pipes.
pid_t Spawn(std::vector<std::string> arguments, std::vector<std::string> environment, int out,
            int extra = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, out, 2);
  if (extra >= 0) posix_spawn_file_actions_adddup2(&actions, extra, 3);
  auto argv = Pointers(arguments);
  auto envp = Pointers(environment);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::string ReadAll(int fd) {
  std::string text;
  char chunk[512];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;)
    text.append(chunk, std::size_t(n));
  return text;
}

Outcome RunProbe(const Changes& changes) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = Spawn({START_PROBE}, Environment(changes), pipeFds[1]);
  close(pipeFds[1]);
  Outcome outcome;
  outcome.output = ReadAll(pipeFds[0]);
  close(pipeFds[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
  return outcome;
}

// A display number with no X server behind it.
std::string DeadDisplay() {
  for (int n = 99;; ++n) {
    const std::string number = std::to_string(n);
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + number) &&
        !std::filesystem::exists("/tmp/.X" + number + "-lock")) {
      return ":" + number;
    }
  }
}

TEST(ToolkitStartTest, UnreachableDisplaysFailQuietlyAndReachableOnesConnect) {
  const std::string dead = DeadDisplay();
  const struct {
    Changes changes;
    int exitCode;
  } cases[] = {
      {{{"DISPLAY", dead}}, 20},
      {{}, 20},
      {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", dead}}, 20},
      {{{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "/nonexistent/wayland-0"}}, 20},
      {{{"QT_QPA_PLATFORM", "eglfs"}}, 20},
      {{{"QT_QPA_PLATFORM", "no-such-platform"}}, 20},
      {{{"QT_QPA_PLATFORM", "xcb;offscreen"}, {"DISPLAY", dead}}, 10},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, 10},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunProbe(c.changes);
    const std::string platform =
        c.changes.count("QT_QPA_PLATFORM") ? *c.changes.at("QT_QPA_PLATFORM") : "(unset)";
    EXPECT_EQ(outcome.exitCode, c.exitCode) << platform;
    EXPECT_EQ(outcome.output, "") << platform;
  }
}

// Qt's X11 platform for real, on a server of our own, when the machine has one to start.
TEST(ToolkitStartTest, ConnectsToARunningXServer) {
  const char* server = "/usr/bin/Xvfb";
  if (access(server, X_OK) != 0) GTEST_SKIP() << "no Xvfb";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const int quiet = open("/dev/null", O_WRONLY);
  // -noreset: with no other client, the server would start over when the toolkit's probe
  // disconnects, and could refuse Qt's connection that follows it.
  const pid_t pid = Spawn(
      {server, "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24"},
      Environment({}), quiet, ready[1]);
  close(ready[1]);
  close(quiet);
  ASSERT_GT(pid, 0);
  // The server writes its display number once it accepts clients, perhaps in more than one
  // write; the pipe stays open until the server is gone, or a late write would kill it.
  const std::string number = testing_support::ReadLine(ready[0], std::chrono::seconds(20));
  Outcome outcome;
  if (!number.empty()) outcome = RunProbe({{"DISPLAY", ":" + number}});
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  close(ready[0]);
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";
  EXPECT_EQ(outcome.exitCode, 10);
  EXPECT_EQ(outcome.output, "");
}

struct FakeDisplays {
  std::map<std::string, std::string> variables;
  std::set<std::string> answering;  ///< X displays and Wayland sockets that answer
  std::set<std::string> plugins = {"xcb", "offscreen", "minimal"};

  std::string Choose() const {
    jqt::DisplayEnvironment environment;
    environment.variable = [this](const std::string& name) -> std::optional<std::string> {
      const auto found = variables.find(name);
      return found == variables.end() ? std::nullopt : std::optional(found->second);
    };
    environment.xServerAnswers = [this](const std::string& d) { return answering.count(d) > 0; };
    environment.waylandAnswers = [this](const std::string& s) { return answering.count(s) > 0; };
    environment.pluginInstalled = [this](const std::string& p) { return plugins.count(p) > 0; };
    return jqt::ChoosePlatform(environment);
  }
};

TEST(ToolkitStartTest, ChoosesTheFirstPlatformThatCanBeReached) {
  const std::map<std::string, std::string> wayland = {{"XDG_SESSION_TYPE", "wayland"},
                                                      {"WAYLAND_DISPLAY", "wayland-1"},
                                                      {"XDG_RUNTIME_DIR", "/run/user/7"},
                                                      {"DISPLAY", ":0"}};
  const std::set<std::string> both = {":0", "/run/user/7/wayland-1"};
  const std::set<std::string> withWayland = {"xcb", "wayland"};
  const struct {
    FakeDisplays displays;
    std::string expected;
  } cases[] = {
      {{{{"DISPLAY", ":0"}}, {":0"}}, "xcb"},
      {{{{"DISPLAY", ":0"}}, {}}, ""},
      {{{}, {":0"}}, ""},
      {{{{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":0"}}, {":0"}}, "xcb"},
      {{{{"QT_QPA_PLATFORM", "offscreen:fontengine=freetype"}}, {}},
       "offscreen:fontengine=freetype"},
      {{{{"QT_QPA_PLATFORM", "minimal"}}, {}, {"xcb"}}, ""},
      {{{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":1"}}, {":1"}}, "xcb"},
      {{{{"QT_QPA_PLATFORM", "vnc"}}, {}}, ""},
      {{wayland, both, withWayland}, "wayland"},
      {{wayland, both}, "xcb"},  // Wayland session, but Qt has no Wayland plugin here
      {{{{"WAYLAND_DISPLAY", "/tmp/w"}}, {"/tmp/w"}, withWayland}, "wayland"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].displays.Choose(), cases[i].expected) << "case " << i;
  }
}

}  // namespace
