// The programs under sustained use keep their memory: resident size is sampled while kammel
// runs a wide profile and while the 3D programs go through Eingabe and Start again and again.
// KAMMEL_SOAK_SECONDS and KAMMEL_SOAK_CYCLES make it longer (scripts/soak).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/e2e/ProgramTest.h"

namespace {

using namespace std::chrono_literals;

constexpr int kRun = 2, kEingabe = 0, kStart = 1, kStop = 2;
constexpr long kAllowedGrowthKb = 4096;

long Setting(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value ? std::max(1L, std::atol(value)) : fallback;
}

// VmRSS of a process in kB, 0 when it cannot be read.
long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

class Soak : public e2e::ProgramTest {
 protected:
  long Resident() { return ResidentKb(program_->process().pid()); }

  void Report(const std::string& what, long first, long last) {
    RecordProperty(what + "_rss_first_kb", std::to_string(first));
    RecordProperty(what + "_rss_last_kb", std::to_string(last));
    std::printf("soak %s: resident %ld kB after warm-up, %ld kB at the end (%+ld kB)\n",
                what.c_str(), first, last, last - first);
    EXPECT_LT(last - first, kAllowedGrowthKb) << what;
  }

  // One Eingabe with the presets (the length typed as given) and one Start.
  void Cycle(int dialogs) {
    program_->ChooseMenu(kRun, kEingabe);
    for (int n = 0; n < dialogs; ++n) {
      ASSERT_TRUE(program_->AnswerDialog(n < 3 || n > 4 ? "Integer-Eingabe" : "Real-Eingabe"));
    }
    program_->ChooseMenu(kRun, kStart);
  }

  void SoakBatchProgram(const std::string& name, int dialogs) {
    StartProgram(name);
    const long cycles = Setting("KAMMEL_SOAK_CYCLES", 30);
    Cycle(dialogs);
    HoldsStill(e2e::kPatience);
    const long first = Resident();
    for (long n = 1; n < cycles && !HasFatalFailure(); ++n)
      Cycle(dialogs);
    HoldsStill(e2e::kPatience);
    Report(name, first, Resident());
    program_->Key("ctrl+c");
    ExpectEndsWithStatus(0);
  }
};

TEST_F(Soak, ProfileProgramRunningAtWidth10000) {
  StartProgram("kammel");
  program_->ChooseMenu(kRun, kEingabe);
  ASSERT_TRUE(program_->AnswerDialog("Integer-Eingabe", "10000"));
  for (const char* title : {"Integer-Eingabe", "Real-Eingabe", "Real-Eingabe", "Integer-Eingabe"})
    ASSERT_TRUE(program_->AnswerDialog(title));
  program_->ChooseMenu(kRun, kStart);
  // Warm-up: the first passes allocate what they keep; counted in redraws, not in seconds,
  // which a busy machine makes fewer.
  for (int redraw = 0; redraw < 4; ++redraw)
    ASSERT_TRUE(Changes(e2e::kPatience));
  const long first = Resident();
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::seconds(Setting("KAMMEL_SOAK_SECONDS", 5));
  long last = first;
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(500ms);
    last = Resident();
  }
  EXPECT_TRUE(program_->process().Running());
  program_->ChooseMenu(kRun, kStop);
  Report("kammel", first, last);
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Soak, ReliefProgramThroughEingabeAndStart) {
  SoakBatchProgram("kammel3", 6);
}

TEST_F(Soak, MapProgramThroughEingabeAndStart) {
  SoakBatchProgram("kammel3map", 7);
}

// The canvas's backing follows the window up and down again.
TEST_F(Soak, ResizeRoundTripGivesTheMemoryBack) {
  StartProgram("kammel3");
  const e2e::Image blank = program_->Shot();
  program_->ChooseMenu(kRun, kEingabe);
  for (int n = 0; n < 6; ++n)
    ASSERT_TRUE(program_->AnswerDialog(n < 3 || n > 4 ? "Integer-Eingabe" : "Real-Eingabe"));
  ColoursAfterChangeFrom(blank);
  const long before = Resident();
  const auto geometry = session_->Geometry(program_->window());
  ASSERT_TRUE(geometry);
  const auto resize = [&](int width, int height) {
    e2e::Run({"xdotool", "windowsize", program_->window(), std::to_string(width),
              std::to_string(height)},
             session_->display());
  };
  resize(9000, 9000);
  const bool grew = e2e::WaitFor([&] { return Resident() > before + 200'000; }, e2e::kPatience);
  const long large = Resident();
  resize((*geometry)[2], (*geometry)[3]);
  e2e::WaitFor([&] { return Resident() < before + 20'000; }, e2e::kPatience);
  const long after = Resident();
  std::printf("resize: resident %ld kB, %ld kB at 9000 x 9000, %ld kB back at %d x %d\n", before,
              large, after, (*geometry)[2], (*geometry)[3]);
  EXPECT_TRUE(grew) << "the window did not grow";
  EXPECT_LT(after - before, 20'000);
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

}  // namespace
