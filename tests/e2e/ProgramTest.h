// A test fixture for one program: one X server for the test binary, the program started anew
// for each case, and the checks every program's cases share.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/e2e/ProgramDriver.h"

namespace e2e {

class ProgramTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { session_ = new XSession(); }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }

  /// Starts build/bin/<name> and waits for its window titled name.
  void StartProgram(const std::string& name) {
    ASSERT_TRUE(session_->ok()) << "no X server with the window manager " << session_->manager();
    program_ = std::make_unique<ProgramDriver>(*session_, ProgramPath(name), name);
    ASSERT_TRUE(program_->ok()) << WhyNoWindow(name);
  }

  /// What a test that found no window can tell of the program: whether it runs, where its
  /// threads wait, which windows it has under which names and whether they show, whether the
  /// window manager still runs, what the program said.
  std::string WhyNoWindow(const std::string& name) {
    Process& process = program_->process();
    std::string why = "no window titled " + name + "; the program " +
                      (process.Running() ? "runs" : "has ended") + ThreadsOf(process.pid()) +
                      ", with windows";
    for (const std::string& window : session_->AllWindowsOf(process.pid())) {
      std::string title = session_->Property(window, "WM_NAME");
      while (!title.empty() && title.back() == '\n')
        title.pop_back();
      why += " " + window + (session_->Viewable(window) ? " shown (" : " hidden (") + title +
             LinesOf(e2e::Run({"xwininfo", "-tree", "-id", window}, session_->display()),
                     {"Parent window id:"}) +
             "; " + session_->Property(window, "WM_STATE") + ")";
    }
    why += session_->ManagerRunning() ? "; the window manager runs" : "; no window manager";
    why += " and said: " + session_->ManagerSaid();
    return why + "; it said: " + process.Stderr();
  }

  /// The lines of text that start, after blanks, with one of the prefixes.
  static std::string LinesOf(const std::string& text, const std::vector<std::string>& prefixes) {
    std::string found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t start = line.find_first_not_of(' ');
      for (const std::string& prefix : prefixes) {
        if (start != std::string::npos && line.compare(start, prefix.size(), prefix) == 0)
          found += "; " + line.substr(start);
      }
    }
    return found;
  }

  /// Each thread's name, state and the kernel call it waits in.
  static std::string ThreadsOf(pid_t pid) {
    std::string threads;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
      const auto read = [&](const char* file) {
        std::ifstream in(task.path() / file);
        std::string text;
        std::getline(in, text);
        return text;
      };
      const std::string stat = read("stat");
      const std::size_t state = stat.rfind(')');
      threads += "; thread " + read("comm") + " " +
                 (state == std::string::npos ? "?" : stat.substr(state + 2, 1)) + " in " +
                 read("wchan");
    }
    return threads;
  }

  /// Every colour on the canvas with its count.
  std::map<std::uint32_t, long> CanvasColours() const {
    const Image shot = program_->Shot();
    const Rect c = program_->Canvas();
    return shot.Histogram(c.x, c.y, c.x + c.width, c.y + c.height);
  }

  /// The canvas's colours once it differs from before and has then held still: the action
  /// taken since before has drawn, and drawn all it will.
  std::map<std::uint32_t, long> ColoursAfterChangeFrom(const Image& before) const {
    const bool changed = WaitFor([&] { return !(program_->Shot().rgb == before.rgb); }, kPatience);
    EXPECT_TRUE(changed) << "the canvas did not change";
    return SteadyColours();
  }

  /// The canvas's colours once two screenshots taken apart agree.
  std::map<std::uint32_t, long> SteadyColours() const {
    EXPECT_TRUE(HoldsStill(kPatience)) << "the canvas kept changing";
    return CanvasColours();
  }

  /// Whether, within timeout, the window shows the same picture over 400 ms.
  bool HoldsStill(std::chrono::milliseconds timeout) const {
    Image last = program_->Shot();
    return WaitFor(
        [&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(400));
          return std::exchange(last, program_->Shot()).rgb == last.rgb;
        },
        timeout);
  }

  /// Whether the window's picture changes within timeout.
  bool Changes(std::chrono::milliseconds timeout) const {
    const Image first = program_->Shot();
    return WaitFor([&] { return !(program_->Shot().rgb == first.rgb); }, timeout);
  }

  /// The canvas shows, pixel for pixel, what kammelsim draws with these arguments (and --png).
  void ExpectCanvasIsKammelsim(std::vector<std::string> args) {
    const std::string png =
        testing::TempDir() + "kammelsim-canvas-" + std::to_string(getpid()) + ".png";
    args.insert(args.begin(), ProgramPath("kammelsim"));
    args.insert(args.end(), {"--png", png, "--seed", "1"});
    Process runner(args, {});
    ASSERT_EQ(runner.Wait(kPatience), 0) << runner.Stderr();
    const Image drawn = ReadImage(png);
    std::remove(png.c_str());
    ASSERT_EQ(drawn.width, 800);
    ASSERT_EQ(drawn.height, 600);
    const Image shot = program_->Shot();
    const Rect c = program_->Canvas();
    long differing = 0;
    for (int y = 0; y < drawn.height; ++y) {
      for (int x = 0; x < drawn.width; ++x)
        differing += !(shot.At(c.x + x, c.y + y) == drawn.At(x, y));
    }
    EXPECT_EQ(differing, 0) << "pixels that differ from kammelsim's picture";
  }

  void ExpectEndsWithStatus(int expected) {
    const auto status = program_->process().Wait(kPatience);
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_EQ(*status, expected) << program_->process().Stderr();
  }

  static inline XSession* session_ = nullptr;
  std::unique_ptr<ProgramDriver> program_;
};

}  // namespace e2e
