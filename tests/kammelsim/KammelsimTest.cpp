#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/kammelsim/CapturedRun.h"

namespace {

using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;

namespace fs = std::filesystem;
using KammelsimConfig = testing_kammelsim::FolderTest;

using testing_kammelsim::Kammelsim;
using testing_kammelsim::Rows;

TEST(KammelsimBed, PrintsRowsZeroToLOfWPlusOneHeights) {
  const auto run =
      Kammelsim({"bed", "--length", "7", "--width=4", "--seed", "3", "--batches", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "kammelsim: bed: warning: a jump from height 20 is 45 cells, longer than the bed's 7 "
            "along the wind\n");
  const auto rows = Rows(run.out);
  ASSERT_EQ(rows.size(), 8u);
  for (const auto& row : rows)
    EXPECT_EQ(row.size(), 5u);
  EXPECT_EQ(run.out.find("  "), std::string::npos) << "single spaces only";
}

// A run whose parameters leave nothing to measure says so once, and runs on as it would.
TEST(KammelsimRun, WarnsOnceWhenNothingCanJumpOrAJumpOvershootsTheBed) {
  const std::string idle = "nothing can jump";
  const struct {
    std::vector<std::string_view> args;
    std::string warning;  ///< empty: none
  } cases[] = {
      {{"bed", "--height", "5", "--q", "5"},
       "bed: warning: q 5 is at least every starting height (at most 5): " + idle},
      {{"bed", "--settings", "map", "--height", "3", "--q", "9"}, idle},
      {{"bed", "--height", "5", "--q", "4"}, ""},
      {{"bed", "--length", "14", "--b", "1", "--wind", "4"},
       "a jump from height 20 is 24 cells, longer than the bed's 14 along the wind\n"},
      {{"bed", "--length", "24", "--b", "1", "--wind", "4"}, ""},
      {{"bed", "--length", "30", "--b", "-2", "--height", "20"},
       "jump from height 20 is 35 cells against the wind, longer"},
      {{"bed", "--length", "30", "--b", "-1e12", "--height", "20"},
       "jump from height 20 is 1073741824 cells against the wind, longer"},
      {{"profile", "--width", "20", "--b", "-1e12"}, "is 1073741824 cells against the wind"},
      {{"profile", "--width", "20"}, "profile: warning: a jump from height 50 is 105 cells"},
      {{"profile", "--thickness", "4", "--q", "4"}, "profile: warning: q 4 is at least"},
  };
  const auto dir =
      std::filesystem::temp_directory_path() / ("kammelsim-warns-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string stats = (dir / "s.csv").string();
  for (const auto& c : cases) {
    std::vector<std::string_view> args = c.args;
    for (const std::string_view more : {"--seed", "1", "--every", "1", "--force", "--stats"})
      args.push_back(more);
    args.push_back(stats);
    args.push_back(args[0] == "bed" ? "--batches" : "--steps");
    args.push_back("3");
    const auto run = Kammelsim(args);
    const std::string said = std::string(args[0]) + " " + std::string(args[2]);
    EXPECT_EQ(run.status, 0) << said << ": " << run.err;
    EXPECT_FALSE(run.out.empty()) << said;
    const std::size_t at = run.err.find("warning: ");
    if (c.warning.empty()) {
      EXPECT_EQ(at, std::string::npos) << said << ": " << run.err;
      continue;
    }
    EXPECT_NE(run.err.find(c.warning), std::string::npos) << said << ": " << run.err;
    EXPECT_EQ(run.err.find("warning: ", at + 1), std::string::npos) << "once: " << run.err;
  }
  std::filesystem::remove_all(dir);
}

// A resume looks again at the heights it continues from.
TEST(KammelsimRun, AResumeWarnsAgain) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("kammelsim-warn-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string checkpoint = (dir / "c.ck").string();
  const auto first = Kammelsim({"bed", "--length", "7", "--seed", "1", "--batches", "2",
                                "--checkpoint", checkpoint, "--force"});
  ASSERT_EQ(first.status, 0) << first.err;
  const auto resumed = Kammelsim({"resume", checkpoint, "--batches", "4"});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("kammelsim: resume: warning: a jump from height"), std::string::npos)
      << resumed.err;
  std::filesystem::remove_all(dir);
}

TEST(KammelsimBed, ZeroBatchesPrintTheInitialBed) {
  const auto run = Kammelsim({"bed", "--settings", "map", "--batches", "0", "--seed", "0"});
  ASSERT_EQ(run.status, 0);
  const auto rows = Rows(run.out);
  ASSERT_EQ(rows.size(), 301u);
  EXPECT_EQ(rows[0], std::vector<long>(151, 5));
  EXPECT_EQ(rows[300], std::vector<long>(151, 5));
}

TEST(KammelsimBed, TheSameCommandLinePrintsTheSameBed) {
  const std::vector<std::string_view> args = {"bed", "--seed", "4294967295", "--b", "1.5"};
  const auto first = Kammelsim(args);
  const auto second = Kammelsim(args);
  EXPECT_EQ(first.out, second.out);
  EXPECT_NE(first.out, Kammelsim({"bed", "--seed", "1", "--b", "1.5"}).out);
}

TEST(KammelsimBed, WithoutASeedReportsTheClockSeedSoTheRunCanBeRepeated) {
  const auto run = Kammelsim({"bed", "--length", "20", "--width", "5"});
  ASSERT_EQ(run.status, 0);
  unsigned seed = 0;
  ASSERT_EQ(std::sscanf(run.err.c_str(), "kammelsim: seed %u", &seed), 1) << run.err;
  const std::string given = std::to_string(seed);
  const auto repeat = Kammelsim({"bed", "--length", "20", "--width", "5", "--seed", given});
  EXPECT_EQ(repeat.out, run.out);
}

TEST(KammelsimBed, LimitsFollowTheSettings) {
  EXPECT_EQ(Kammelsim({"bed", "--length", "999", "--width", "499", "--batches", "0"}).status, 0);
  EXPECT_EQ(Kammelsim({"bed", "--settings", "map", "--length", "1000", "--width", "500",
                       "--batches", "0"})
                .status,
            0);
  EXPECT_EQ(Kammelsim({"bed", "--length", "1000"}).status, 2);
  EXPECT_EQ(Kammelsim({"bed", "--settings", "map", "--width", "501"}).status, 2);
}

constexpr char kLong[] = "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz";

TEST(KammelsimBed, BadCommandLinesGiveOneLineAndStatusTwo) {
  struct Case {
    std::vector<std::string_view> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "missing subcommand"},
      {{"dune"}, "unknown subcommand 'dune'"},
      {{"bed", "--length", "0"}, "--length takes an integer in 1..999, not '0'"},
      {{"bed", "--length", "12x"}, "--length takes an integer in 1..999"},
      {{"bed", "--width", "500"}, "--width takes an integer in 1..499"},
      {{"bed", "--height", "-1"}, "--height takes an integer in 0..1000"},
      {{"bed", "--q", "1001"}, "--q takes an integer in 0..1000"},
      {{"bed", "--b", "nan"}, "--b takes a finite real number, not 'nan'"},
      {{"bed", "--wind", "1e999"}, "--wind takes a finite real number"},
      {{"bed", "--wind", ""}, "--wind takes a finite real number"},
      {{"bed", "--seed", "4294967296"}, "--seed takes an integer in 0..4294967295"},
      {{"bed", "--seed", "-1"}, "--seed takes an integer in 0..4294967295"},
      {{"bed", "--batches", "1000000000000001"},
       "--batches takes an integer in 0..1000000000000000"},
      {{"bed", "--settings", "dune"}, "--settings takes relief or map or open, not 'dune'"},
      {{"bed", "--speed", "3"}, "unknown option '--speed'"},
      {{"bed", "--length"}, "--length needs a value"},
      {{"bed", "300"}, "unexpected argument '300'"},
      {{"bed", "--b", "--wind", "3"}, "bed: --b needs a value"},
      {{"bed", "--wind", "1", "--b", "--length=3"}, "bed: --b needs a value"},
      {{"bed", "--length", "x", "--length", "5"}, "bed: --length takes an integer in 1..999"},
      {{"profile", "--b", "x", "--b", "2"}, "profile: --b takes a finite real number"},
      {{"bed", "--b", "\x1b[2J\n"}, "bed: --b takes a finite real number, not '\\x1b[2J\\x0a'"},
      {{"bed", "--b", std::string_view(kLong)}, "not '" + std::string(40, 'z') + "...'"},
      {{"bed", "--wind", "1e400"}, "bed: --wind takes a finite real number"},
      {{"profile", "--width", "0"}, "profile: --width takes an integer in 1..2097151"},
      {{"stats", "a", "b"}, "stats: unexpected argument 'b'"},
      {{"resume"}, "resume: which checkpoint?"},
      {{"bed", "--force=1"}, "bed: --force takes no value"},
  };
  for (const Case& c : cases)
    testing_kammelsim::ExpectUsageFault(c.args, c.message);
}

// The dialogs read a number too small for a double as 0; so does the command line.
TEST(KammelsimBed, UnderflowingRealsReadAsZero) {
  const auto tiny = Kammelsim({"bed", "--b", "1e-400", "--wind", "-1e-99999", "--seed", "2"});
  const auto zero = Kammelsim({"bed", "--b", "0", "--wind", "0", "--seed", "2"});
  EXPECT_EQ(tiny.status, 0) << tiny.err;
  EXPECT_EQ(tiny.out, zero.out);
}

// Config files mean what they say: the command line wins, flags take truth values, a value is
// taken whole, and every fault in the file names the file and line, or is a file that cannot be
// read.
TEST_F(KammelsimConfig, FilesMeanWhatTheySay) {
  const std::string ini = Path("run.ini"), kept = Path("kept.csv");
  const auto given = Kammelsim({"bed", "--length", "12", "--width", "3", "--seed", "9"});
  struct Case {
    std::string text;
    std::vector<std::string_view> more;
    int status;
    std::string message;  // empty: the run of given, or its stderr is checked below
  } cases[] = {
      {"# a bed\nlength = 12\n\n; width\nwidth=3\nseed = 9\n", {}, 0, ""},
      {"length = 12\nwidth = 7\nseed = 9\n", {"--width", "3"}, 0, ""},
      {"seed = 9\nbatchs = 2\n", {}, 2, ini + "':2: unknown option 'batchs'"},
      {"force = false\nstats = " + kept + "\n", {}, 2, "exists already; add --force"},
      {"force = maybe\n", {}, 2, ini + "':1: force takes true or false, not 'maybe'"},
      {"stats = \"" + kept + "\n", {}, 2, ":1: the value of stats is quoted but not closed"},
      {"config = " + ini + "\n", {}, 2, ":1: a config file cannot name another"},
      {"length 12\n", {}, 2, ":1: not 'name = value'"},
      {"seed = 4# x\n", {}, 2, ini + "':1: --seed takes an integer in 0..4294967295, not '4# x'"},
      {"seed = 9\nb = much\n", {}, 2, ini + "':2: --b takes a finite real number, not 'much'"},
      {"\nsettings = sand\n",
       {},
       2,
       ini + "':2: --settings takes relief or map or open, not 'sand'"},
      {"canvas = 8x8\n", {}, 2, ini + "':1: --canvas takes WIDTHxHEIGHT"},
      {"seed = 9\n", {"--seed", "x"}, 2, "bed: --seed takes an integer"},  // the command line's
  };
  for (const Case& c : cases) {
    Spill(kept, "keep me");
    std::ofstream(ini) << c.text;
    std::vector<std::string_view> args = {"bed", "--config", ini};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const auto run = Kammelsim(args);
    EXPECT_EQ(run.status, c.status) << c.text << run.err;
    if (c.message.empty()) {
      EXPECT_EQ(run.out, given.out) << c.text;
    }
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.text << run.err;
    EXPECT_EQ(Slurp(kept), "keep me") << c.text;
  }
  // Values with blanks are taken whole, quoted or not; yes means yes.
  for (const std::string& value : {Path("my run.csv"), "'" + Path("my run.csv") + "' # quoted"}) {
    std::ofstream(ini) << "force = yes\nstats = " << value << "\n";
    const auto run = Kammelsim({"bed", "--config", ini, "--seed", "1", "--length", "5"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(Path("my run.csv"))) << value;
    fs::remove(Path("my run.csv"));
  }
  // A file that cannot be read is status 1, like every unreadable file.
  for (const std::string& unreadable : {Path("none.ini"), Path("")}) {
    const auto run = Kammelsim({"bed", "--config", unreadable});
    EXPECT_EQ(run.status, 1) << unreadable;
    EXPECT_NE(run.err.find("bed: --config: cannot read"), std::string::npos) << run.err;
  }
}

TEST(KammelsimBed, HelpPrintsTheUsage) {
  for (const auto& args : {std::vector<std::string_view>{"--help"}, {"bed", "--help"}}) {
    const auto run = Kammelsim(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: kammelsim bed"), std::string::npos);
  }
}

}  // namespace
