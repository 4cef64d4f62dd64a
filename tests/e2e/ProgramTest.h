// A test fixture for one program: one X server for the test binary, the program started anew
// for each case, and the checks every program's cases share.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

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
    ASSERT_TRUE(session_->ok()) << "no X server with a window manager";
    program_ = std::make_unique<ProgramDriver>(*session_, ProgramPath(name), name);
    ASSERT_TRUE(program_->ok()) << program_->process().Stderr();
  }

  /// Every colour on the canvas with its count.
  std::map<std::uint32_t, long> CanvasColours() const {
    const Image shot = program_->Shot();
    const Rect c = program_->Canvas();
    return shot.Histogram(c.x, c.y, c.x + c.width, c.y + c.height);
  }

  /// The canvas's colours once two screenshots in a row agree (the program has drawn).
  std::map<std::uint32_t, long> SettledColours() const {
    std::map<std::uint32_t, long> before, now = CanvasColours();
    WaitFor(
        [&] {
          before = std::exchange(now, CanvasColours());
          return before == now;
        },
        std::chrono::seconds(20));
    return now;
  }

  void ExpectEndsWithStatus(int expected) {
    const auto status = program_->process().Wait(std::chrono::seconds(20));
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_EQ(*status, expected) << program_->process().Stderr();
  }

  static inline XSession* session_ = nullptr;
  std::unique_ptr<ProgramDriver> program_;
};

}  // namespace e2e
