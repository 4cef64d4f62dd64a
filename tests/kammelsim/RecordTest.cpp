// What the runner writes, it reads back: every option of the table, given as often as a user
// may, makes a checkpoint that resumes; limits are found when the run starts or the resume is
// asked, never after the work. And the pieces those promises rest on: the checkpoint's limits,
// names resolved below a folder, the fault seam's counts, messages and picture texts.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "kammelsim/io/Faults.h"
#include "kammelsim/io/Place.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/output/pictures/PngFile.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/OutputWorker.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

namespace fs = std::filesystem;
using testing_kammelsim::Kammelsim;
using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;
using Records = testing_kammelsim::FolderTest;

testing_kammelsim::CapturedRun InProcess(const std::vector<std::string>& words) {
  return Kammelsim(std::vector<std::string_view>(words.begin(), words.end()));
}

// A valid value of every option a run takes; outputs named in folder.
std::map<std::string, std::string, std::less<>> Values(const fs::path& folder, bool bed) {
  std::map<std::string, std::string, std::less<>> values = {
      {"seed", "1"},
      {"every", "1"},
      {"stats-every", "log:3"},
      {"netcdf-every", "2"},
      {"frames-every", "1"},
      {"speed-lag", "every"},
      {"png", (folder / "p.png").string()},
      {"frames", (folder / "f").string()},
      {"canvas", "32x32"},
      {"spacetime", (folder / "st.png").string()},
      {"stats", (folder / "s.csv").string()},
      {"netcdf", (folder / "d.nc").string()},
      {"checkpoint", (folder / "c.ck").string()},
      {"heights", (folder / "h.txt").string()},
      {"checkpoint-interval", "0"},
      {"b", "2"},
      {"wind", "5"},
      {"q", "1"}};
  values.insert({"initial", (folder / "start.txt").string()});
  if (bed) {
    values.insert({{"settings", "map"},
                   {"length", "10"},
                   {"width", "5"},
                   {"height", "5"},
                   {"batches", "1"},
                   {"threshold", "6"},
                   {"ties", "alternating"},
                   {"periodic", "yes"}});
  } else {
    values.insert({{"width", "20"}, {"thickness", "5"}, {"steps", "1"}});
  }
  return values;
}

// Each option of the table (and --force) given 300 times, as a script or a config file may
// give it: the checkpoint the run writes is one that resume takes.
TEST_F(Records, EveryOptionGivenOftenMakesACheckpointThatResumes) {
  for (const bool bed : {true, false}) {
    const kammelsim::params::Table table =
        bed ? kammelsim::params::Table(kammelsim::params::BedOptions<model3d::MapSettings>::all)
            : kammelsim::params::Table(kammelsim::params::ProfileOptions::all);
    std::vector<std::string> all;
    for (const kammelsim::params::Option& option : table)
      all.emplace_back(option.name);
    for (const std::string& name : all) {
      const fs::path folder = folder_ / (std::string(bed ? "bed-" : "profile-") + name);
      fs::create_directories(folder);
      const auto values = Values(folder, bed);
      // The heights of the bed the words make: 11 rows of 6, or the default profile's 1001.
      std::string start;
      for (int row = 0; row < (bed ? 11 : 1); ++row) {
        for (int cell = 0; cell < (bed ? 6 : 1001); ++cell)
          start += std::to_string(cell % 7) + (cell + 1 < (bed ? 6 : 1001) ? " " : "\n");
      }
      testing_kammelsim::Spill(folder / "start.txt", start);
      ASSERT_TRUE(name == "force" || values.contains(name)) << "no value for --" << name;
      std::vector<std::string> words = {bed ? "bed" : "profile", "--checkpoint",
                                        (folder / "c.ck").string(), "--force"};
      if (bed) words.insert(words.end(), {"--settings", "map", "--length", "10", "--width", "5"});
      for (int n = 0; n < 300; ++n) {
        words.push_back("--" + name);
        if (name != "force") words.push_back(values.find(name)->second);
      }
      const auto made = InProcess(words);
      ASSERT_EQ(made.status, 0) << name << ": " << made.err;
      const auto resumed = Kammelsim({"resume", (folder / "c.ck").string()});
      EXPECT_EQ(resumed.status, 0) << name << ": " << resumed.err;
      EXPECT_NE(resumed.err.find("the run is complete"), std::string::npos) << resumed.err;
      fs::remove_all(folder);
    }
  }
}

// A run its checkpoint could not hold is refused before any work, with one line and status 2;
// without a checkpoint it runs. A config file of 300 lines is no such run.
TEST_F(Records, WhatACheckpointCannotHoldIsRefusedBeforeTheRun) {
  const std::string checkpoint = Path("c.ck"), config = Path("many.ini");
  std::string lines;
  for (int n = 0; n < 300; ++n)
    lines += "seed = " + std::to_string(n) + "\n";
  Spill(config, lines);
  EXPECT_EQ(Kammelsim({"profile", "--config", config, "--checkpoint", checkpoint}).status, 0);
  EXPECT_EQ(Kammelsim({"resume", checkpoint}).status, 0);
  std::vector<std::string> words = {"profile", "--checkpoint", Path("long.ck")};
  for (int n = 0; n < 11; ++n)
    words.insert(words.end(), {"--b", std::string(100'000, '0') + "2"});
  testing_kammelsim::ExpectUsageFault(
      std::vector<std::string_view>(words.begin(), words.end()),
      "profile: a checkpoint cannot hold this run: the command line is");
  EXPECT_FALSE(fs::exists(Path("long.ck")));
  words.erase(words.begin() + 1, words.begin() + 3);
  EXPECT_EQ(InProcess(words).status, 0) << "without a checkpoint, nothing to hold";
}

// A command line at the checkpoint's limit puts the run's id past the first MiB of the
// statistics file: the resume still finds it there.
TEST_F(Records, ARunWithTheLongestCommandLineResumesItsStatistics) {
  const std::string checkpoint = Path("c.ck"), stats = Path("s.csv");
  std::vector<std::string> words = {"profile", "--width", "20",           "--steps", "2",
                                    "--stats", stats,     "--checkpoint", checkpoint};
  std::size_t length = std::string("kammelsim").size();
  for (const std::string& word : words)
    length += word.size() + 1;
  // The history line is the longest text: its stamp and the version (longer in a changed
  // checkout) come before the command line, which may gain a few quotes.
  const std::size_t history = kammelsim::HistoryLine("", 0, 2, "steps").size();
  const std::size_t padding = kammelsim::kMaxText - length - history - 16;
  words.push_back("--b=2." + std::string(padding, '0'));
  const auto made = InProcess(words);
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_GT(Slurp(stats).find("\n# Run: "), std::size_t{1} << 20) << "the case is lost";
  const auto resumed = Kammelsim({"resume", checkpoint, "--steps", "4"});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
}

// A resume asks nothing its run cannot record or draw: the space-time view's rows and the
// history's lines are counted when it is asked, with one line and status 2.
TEST_F(Records, AResumeIsRefusedWhenItsRunCouldNotBeRecorded) {
  const std::string checkpoint = Path("c.ck"), spacetime = Path("st.png");
  ASSERT_EQ(Kammelsim({"profile", "--steps", "30", "--every", "3", "--checkpoint", checkpoint,
                       "--spacetime", spacetime})
                .status,
            0);
  const std::string good = Slurp(checkpoint);
  testing_kammelsim::ExpectUsageFault({"resume", checkpoint, "--steps", "20000"},
                                      "--spacetime draws at most 4096 snapshots");
  EXPECT_EQ(Slurp(checkpoint), good);
  kammelsim::CheckpointData data;
  std::string error;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(good, data, error)) << error;
  data.history.assign(kammelsim::kMaxHistory, "a stretch");
  Spill(checkpoint, kammelsim::EncodeCheckpoint(data));
  testing_kammelsim::ExpectUsageFault({"resume", checkpoint, "--steps", "33"},
                                      "cannot record another stretch of its run: the history "
                                      "holds 100001, more than 100000");
  EXPECT_EQ(Kammelsim({"resume", checkpoint, "--steps", "30"}).status, 0) << "complete: no stretch";
}

// Recordable holds data to the very limits the reader does: what passes reads back, what does
// not is refused by both.
TEST(CheckpointLimits, WhatIsRecordableReadsBack) {
  const auto base = [] {
    kammelsim::CheckpointData d;
    d.command = "bed";
    d.runId = std::string(32, 'a');
    return d;
  };
  const struct {
    const char* name;
    void (*change)(kammelsim::CheckpointData&);
    bool recordable;
  } cases[] = {
      {"a text at the limit", [](auto& d) { d.commandLine.assign(kammelsim::kMaxText, 'x'); },
       true},
      {"a text past it", [](auto& d) { d.commandLine.assign(kammelsim::kMaxText + 1, 'x'); },
       false},
      {"options at the limit",
       [](auto& d) { d.args.assign(kammelsim::kMaxRecordedOptions, "--q=1"); }, true},
      {"options past it",
       [](auto& d) { d.args.assign(kammelsim::kMaxRecordedOptions + 1, "--q=1"); }, false},
      {"texts past the total",
       [](auto& d) {
         d.history.assign(kammelsim::kMaxTexts / kammelsim::kMaxText + 1,
                          std::string(kammelsim::kMaxText, 'h'));
       },
       false},
      {"space-time rows past the view",
       [](auto& d) { d.spaceTime.rows.assign(kammelsim::SpaceTime::kMaxRows + 1, {}); }, false},
  };
  for (const auto& c : cases) {
    kammelsim::CheckpointData data = base();
    c.change(data);
    std::string why, error;
    kammelsim::CheckpointData back;
    EXPECT_EQ(kammelsim::Recordable(data, why), c.recordable) << c.name << ": " << why;
    EXPECT_EQ(kammelsim::DecodeCheckpoint(kammelsim::EncodeCheckpoint(data), back, error),
              c.recordable)
        << c.name << ": " << error;
  }
}

// Names below a folder, resolved with openat2 and with the walk that stands in for it alike.
TEST_F(Records, NamesBelowAFolderAreReachedWithoutALink) {
  fs::create_directories(folder_ / "a" / "b");
  fs::create_directory_symlink(folder_ / "a", folder_ / "link");
  fs::create_directory_symlink(folder_ / "a", folder_ / "a" / "inner");
  const kammelsim::io::FolderRef root = kammelsim::io::OpenFolder(folder_.string());
  ASSERT_TRUE(root);
  const struct {
    const char* relative;
    int error;  ///< 0: reached
  } cases[] = {
      {"", 0},         {"a/b", 0},           {"a/./b/", 0},   {"link", ELOOP}, {"a/inner/b", ELOOP},
      {"../x", EXDEV}, {"a/../../x", EXDEV}, {"none", ENOENT}};
  for (const bool walk : {false, true}) {
    kammelsim::io::PretendNoOpenat2(walk);
    for (const auto& c : cases) {
      errno = 0;
      const bool reached = kammelsim::io::OpenFolderBeneath(*root, c.relative) != nullptr;
      EXPECT_EQ(reached, c.error == 0) << c.relative << (walk ? " walked" : "");
      if (!reached) {
        EXPECT_EQ(errno, c.error) << c.relative << (walk ? " walked" : "");
      }
    }
  }
  kammelsim::io::PretendNoOpenat2(false);
}

// The fault seam counts each file's changes apart: the same run counts the same, whatever
// its threads did first, so "the nth write of d.nc" is one write.
TEST_F(Records, TheFaultSeamCountsAlikeInEveryRun) {
  std::vector<kammelsim::io::ChangeCounts> counts;
  for (const char* folder : {"one", "two"}) {
    fs::create_directories(folder_ / folder);
    const fs::path f = folder_ / folder;
    kammelsim::io::ClearFaults();
    ASSERT_EQ(InProcess({"bed", "--length", "30", "--width", "7", "--seed", "2", "--batches", "9",
                         "--every", "1", "--stats", (f / "s.csv").string(), "--netcdf",
                         (f / "d.nc").string(), "--checkpoint", (f / "c.ck").string(),
                         "--checkpoint-interval", "0"})
                  .status,
              0);
    counts.push_back(kammelsim::io::ChangesMade());
  }
  kammelsim::io::ClearFaults();
  EXPECT_EQ(counts[0], counts[1]);
  EXPECT_EQ(counts[0].at({"c.ck.part", kammelsim::io::Change::Open}), 10) << "a checkpoint a batch";
}

// Messages show names as text that cannot act on a terminal: every control code (C1 too) and
// every byte that is not UTF-8 as \xNN, the rest as it is.
TEST(KammelsimMessages, EscapeControlCodesAndBytesThatAreNotUtf8) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"D\xc3\xbcne \xe2\x86\x92 \xf0\x9f\x8f\x9c", "D\xc3\xbcne \xe2\x86\x92 \xf0\x9f\x8f\x9c"},
      {"a\x1b[2J", "a\\x1b[2J"},
      {"\x7f", "\\x7f"},
      {"\xc2\x85next line", "\\xc2\\x85next line"},
      {"\xc2\x9b"
       "31m",
       "\\xc2\\x9b31m"},
      {"latin-1 \xe9t\xe9", "latin-1 \\xe9t\\xe9"},
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"cut \xe2\x86", "cut \\xe2\\x86"},
      {"it's \\", "it\\x27s \\x5c"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kammelsim::Escaped(c.text), c.shown) << kammelsim::Escaped(c.text);
}

// A picture carries at most 64 KiB of a text: a history of many resumes keeps its first and
// last lines, and says how much it leaves out; a text cut inside a line stays UTF-8.
TEST(KammelsimPictures, TextsInPicturesAreBounded) {
  std::string history;
  for (int n = 0; n < 5000; ++n)
    history +=
        "2026-12-09T00:00:00Z kammelsim 1.0: kammelsim resume run.ck (" + std::to_string(n) + ")\n";
  history += "the last line";
  const std::string kept = kammelsim::PictureText(history);
  EXPECT_LE(kept.size(), kammelsim::kMaxPictureText);
  EXPECT_TRUE(
      kept.starts_with("2026-12-09T00:00:00Z kammelsim 1.0: kammelsim resume run.ck (0)\n"));
  EXPECT_TRUE(kept.ends_with("\nthe last line"));
  EXPECT_NE(kept.find(" bytes left out ...]\n"), std::string::npos);
  std::string arrows;
  for (int n = 0; n < 30000; ++n)
    arrows += "\xe2\x86\x92";
  std::string cut = kammelsim::PictureText(arrows);
  EXPECT_LE(cut.size(), kammelsim::kMaxPictureText);
  std::erase(cut, '\n');  // the note's own lines
  EXPECT_EQ(kammelsim::Escaped(cut), cut) << "cut inside a character";
  EXPECT_EQ(kammelsim::PictureText("short"), "short");
}

// The writer beside the run keeps the first fault, skips every job after it, and hands the fault
// over once, so that the run says it in one line however often it waits.
TEST(OutputWorker, KeepsTheFirstFaultAndSkipsTheRest) {
  kammelsim::OutputWorker worker;
  int ran = 0;
  worker.Submit([&ran]() -> kammelsim::Outcome {
    ++ran;
    return std::nullopt;
  });
  worker.Submit([&ran]() -> kammelsim::Outcome {
    ++ran;
    return kammelsim::WriteFailed("'s.csv'", ENOSPC);
  });
  worker.Submit([&ran]() -> kammelsim::Outcome {
    ++ran;
    return kammelsim::WriteFailed("'d.nc'", EIO);
  });
  EXPECT_FALSE(worker.Drain());
  EXPECT_EQ(ran, 2);
  const kammelsim::Outcome fault = worker.TakeFault();
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->Message(), "cannot write 's.csv': No space left on device");
  EXPECT_FALSE(worker.TakeFault());
  EXPECT_FALSE(worker.Drain()) << "failed for good";
}

}  // namespace
