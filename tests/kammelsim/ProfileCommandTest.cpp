#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

using testing_kammelsim::Kammelsim;
using testing_kammelsim::Rows;

TEST(KammelsimProfile, PrintsTheNPlusOneHeightsOnOneLine) {
  const auto run = Kammelsim({"profile", "--width", "20", "--seed=3", "--steps", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "kammelsim: profile: warning: a jump from height 50 is 105 cells, longer than the "
            "bed's 20 along the wind\n");
  const auto rows = Rows(run.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].size(), 21u);
  EXPECT_EQ(run.out.find("  "), std::string::npos) << "single spaces only";
  EXPECT_NE(run.out.front(), ' ');
  EXPECT_EQ(run.out.back(), '\n');
}

TEST(KammelsimProfile, ZeroStepsPrintTheInitialProfileOfTheDialogDefaults) {
  const auto run = Kammelsim({"profile", "--steps", "0", "--seed", "0"});
  ASSERT_EQ(run.status, 0);
  const auto rows = Rows(run.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], std::vector<long>(1001, 50));
}

// The runner passes each option to its parameter: the same run straight on the model.
TEST(KammelsimProfile, PrintsWhatTheModelComputes) {
  const auto run = Kammelsim({"profile", "--width", "30", "--thickness", "7", "--b", "0.5",
                              "--wind", "3", "--q", "2", "--seed", "9", "--steps", "4"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto profile = scenarios::MakeProfile({30, 7, 0.5, 3.0, 2}, 9);
  for (int k = 0; k < 4; ++k)
    model2d::RunProfileStep(*profile);
  std::vector<long> expected;
  for (int i = 0; i <= 30; ++i)
    expected.push_back(model2d::ProfileHeight(*profile, i));
  ASSERT_EQ(Rows(run.out).size(), 1u);
  EXPECT_EQ(Rows(run.out)[0], expected);
}

TEST(KammelsimProfile, TheSameCommandLinePrintsTheSameProfile) {
  const std::vector<std::string_view> args = {"profile", "--seed", "4294967295", "--steps", "3"};
  const auto first = Kammelsim(args);
  EXPECT_EQ(first.out, Kammelsim(args).out);
  EXPECT_NE(first.out, Kammelsim({"profile", "--seed", "1", "--steps", "3"}).out);
}

TEST(KammelsimProfile, WithoutASeedReportsTheClockSeedSoTheRunCanBeRepeated) {
  const auto run = Kammelsim({"profile", "--width", "200"});
  ASSERT_EQ(run.status, 0);
  unsigned seed = 0;
  ASSERT_EQ(std::sscanf(run.err.c_str(), "kammelsim: seed %u", &seed), 1) << run.err;
  const std::string given = std::to_string(seed);
  EXPECT_EQ(Kammelsim({"profile", "--width", "200", "--seed", given}).out, run.out);
}

TEST(KammelsimProfile, AcceptsTheLimitsOfEveryRange) {
  const std::vector<std::vector<std::string_view>> lines = {
      {"profile", "--width", "1", "--steps", "3"},
      {"profile", "--width", "10000", "--steps", "1"},
      {"profile", "--thickness", "0", "--q", "0"},
      {"profile", "--thickness", "100000", "--q", "100000", "--width", "10000"},
      {"profile", "--b", "-1e300", "--wind", "1e300"},
      {"profile", "--steps", "0", "--seed", "0"},
  };
  for (const auto& args : lines) {
    const auto run = Kammelsim(args);
    EXPECT_EQ(run.status, 0) << args[1] << " " << args[2] << ": " << run.err;
    EXPECT_EQ(Rows(run.out).size(), 1u);
  }
}

TEST(KammelsimProfile, BadCommandLinesGiveOneLineAndStatusTwo) {
  struct Case {
    std::vector<std::string_view> args;
    std::string message;
  };
  const Case cases[] = {
      {{"profile", "--width", "0"}, "--width takes an integer in 1..2097151, not '0'"},
      {{"profile", "--width", "2097152"}, "--width takes an integer in 1..2097151, not '2097152'"},
      {{"profile", "--width", "-5"}, "--width takes an integer in 1..2097151"},
      {{"profile", "--width", "1e3"}, "--width takes an integer in 1..2097151"},
      {{"profile", "--thickness", "-1"}, "--thickness takes an integer in 0..100000"},
      {{"profile", "--thickness", "100001"}, "--thickness takes an integer in 0..100000"},
      {{"profile", "--q", "100001"}, "--q takes an integer in 0..100000"},
      {{"profile", "--q", "-1"}, "--q takes an integer in 0..100000"},
      {{"profile", "--b", "nan"}, "--b takes a finite real number, not 'nan'"},
      {{"profile", "--wind", "inf"}, "--wind takes a finite real number"},
      {{"profile", "--steps", "1000000000000001"},
       "--steps takes an integer in 0..1000000000000000"},
      {{"profile", "--steps", "-1"}, "--steps takes an integer in 0..1000000000000000"},
      {{"profile", "--seed", "4294967296"}, "--seed takes an integer in 0..4294967295"},
      {{"profile", "--batches", "2"}, "unknown option '--batches'"},
      {{"profile", "--settings", "map"}, "unknown option '--settings'"},
      {{"profile", "--width"}, "--width needs a value"},
      {{"profile", "1000"}, "unexpected argument '1000'"},
  };
  for (const Case& c : cases)
    testing_kammelsim::ExpectUsageFault(c.args, c.message);
}

TEST(KammelsimProfile, HelpShowsTheProfileCommand) {
  for (const auto& args : {std::vector<std::string_view>{"--help"}, {"profile", "--help"}}) {
    const auto run = Kammelsim(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("kammelsim profile [--width N]"), std::string::npos);
  }
}

}  // namespace
