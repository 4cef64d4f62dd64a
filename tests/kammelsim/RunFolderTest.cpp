// A run belongs to the folder of its checkpoint: copied, moved, continued from an older
// checkpoint, fed a crafted one, or failing on every write in turn, no output is lost or
// written to the wrong place.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "kammelsim/io/Faults.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunFolder.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;

namespace fs = std::filesystem;
using testing_kammelsim::Kammelsim;

// Every file below folder with its bytes: what "untouched" is compared by.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file()) files[fs::relative(it->path(), folder).string()] = Slurp(*it);
  }
  return files;
}

// A file's lines but those of the provenance, which differ between two runs.
std::string Data(const fs::path& path) {
  std::string kept, line;
  std::ifstream file(path);
  while (std::getline(file, line)) {
    if (!line.starts_with('#')) kept += line + "\n";
  }
  return kept;
}

// A PNG's chunks but its texts: the picture as stored, without its provenance.
std::string PngData(const fs::path& path) {
  const std::string bytes = Slurp(path);
  std::string kept;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    std::uint32_t length = 0;
    for (int n = 0; n < 4; ++n)
      length = length << 8 | static_cast<unsigned char>(bytes[at + n]);
    const std::string type = bytes.substr(at + 4, 4);
    if (type != "tEXt" && type != "iTXt") kept += bytes.substr(at, 12 + length);
    at += 12 + length;
  }
  return kept;
}

// The iTXt texts of a PNG by keyword; a tEXt chunk is reported as a keyword "tEXt".
std::map<std::string, std::string> ItxtTexts(const fs::path& path) {
  const std::string bytes = Slurp(path);
  std::map<std::string, std::string> texts;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    std::uint32_t length = 0;
    for (int n = 0; n < 4; ++n)
      length = length << 8 | static_cast<unsigned char>(bytes[at + n]);
    const std::string type = bytes.substr(at + 4, 4), data = bytes.substr(at + 8, length);
    if (type == "tEXt") texts["tEXt"] = data;
    if (type == "iTXt") {
      const std::size_t keyword = data.find('\0');
      texts[data.substr(0, keyword)] = data.substr(keyword + 5);  // flag, method, two empties
    }
    at += 12 + length;
  }
  return texts;
}

class RunFolder : public testing_kammelsim::FolderTest {
 protected:
  // A profile run with every file output in folder, named absolute; the heights to a file.
  std::vector<std::string> Outputs(const fs::path& folder) const {
    return {
        "--stats",     (folder / "s.csv").string(),  "--frames",     (folder / "f").string(),
        "--spacetime", (folder / "st.png").string(), "--png",        (folder / "p.png").string(),
        "--heights",   (folder / "h.txt").string(),  "--checkpoint", (folder / "run.ck").string()};
  }

  testing_kammelsim::CapturedRun Run(const fs::path& folder, int steps,
                                     std::vector<std::string> more = {}) {
    fs::create_directories(folder);
    // A checkpoint at every snapshot, so that a failure is tried in every one of them.
    std::vector<std::string> words = {"profile",
                                      "--width",
                                      "120",
                                      "--seed",
                                      "3",
                                      "--every",
                                      "3",
                                      "--checkpoint-interval",
                                      "0",
                                      "--steps",
                                      std::to_string(steps)};
    for (const std::string& word : Outputs(folder))
      words.push_back(word);
    words.insert(words.end(), more.begin(), more.end());
    return Kammelsim(std::vector<std::string_view>(words.begin(), words.end()));
  }

  static testing_kammelsim::CapturedRun Resume(const fs::path& checkpoint, int steps) {
    const std::string path = checkpoint.string(), total = std::to_string(steps);
    return Kammelsim({"resume", path, "--steps", total});
  }

  // Every output of a run in folder equal to those of the run made in one go in whole.
  static void ExpectSameRun(const fs::path& folder, const fs::path& whole) {
    EXPECT_EQ(Slurp(folder / "h.txt"), Slurp(whole / "h.txt")) << folder;
    EXPECT_EQ(Data(folder / "s.csv"), Data(whole / "s.csv")) << folder;
    for (const char* picture : {"st.png", "p.png"})
      EXPECT_EQ(PngData(folder / picture), PngData(whole / picture)) << folder << picture;
    const auto frames = Tree(folder / "f"), expected = Tree(whole / "f");
    ASSERT_EQ(frames.size(), expected.size()) << folder;
    for (const auto& [name, bytes] : expected)
      EXPECT_EQ(PngData(folder / "f" / name), PngData(whole / "f" / name)) << folder << name;
  }
};

// Copy and continue both, move and continue from inside and from elsewhere, continue an older
// checkpoint to a smaller total: each folder ends as the run made in one go, and no other
// folder changes.
TEST_F(RunFolder, FollowsItsFolderWhereverItGoes) {
  for (const int steps : {9, 12})
    ASSERT_EQ(Run(folder_ / ("whole" + std::to_string(steps)), steps).status, 0);
  const fs::path a = folder_ / "a", copy = folder_ / "copy", moved = folder_ / "moved";
  ASSERT_EQ(Run(a, 6).status, 0);
  fs::copy(a, copy, fs::copy_options::recursive);
  const auto before = Tree(a);
  ASSERT_EQ(Resume(copy / "run.ck", 12).status, 0);
  EXPECT_EQ(Tree(a), before) << "the copy wrote into the original";
  ExpectSameRun(copy, folder_ / "whole12");
  fs::copy_file(a / "run.ck", a / "old.ck");  // at 6
  ASSERT_EQ(Resume(a / "run.ck", 12).status, 0);
  ExpectSameRun(a, folder_ / "whole12");

  fs::rename(a, moved);
  const auto elsewhere = fs::current_path();
  fs::current_path(folder_);    // resumed from another folder than the run's
  fs::remove(moved / "h.txt");  // written by the run to 12, which old.ck did not record
  const auto older = Resume("moved/old.ck", 9);
  fs::current_path(elsewhere);
  ASSERT_EQ(older.status, 0) << older.err;
  EXPECT_FALSE(fs::exists(a)) << "the moved run wrote where it was";
  ExpectSameRun(moved, folder_ / "whole9");
  EXPECT_NE(older.err.find("appending to '" + (moved / "s.csv").string()), std::string::npos)
      << older.err;
}

// Crafted checkpoints whose checksums hold are refused with their own line, and nothing is
// written anywhere.
TEST_F(RunFolder, CraftedCheckpointsAreRefusedTouchingNothing) {
  const fs::path run = folder_ / "run", checkpoint = run / "run.ck";
  ASSERT_EQ(Run(run, 6).status, 0);
  Spill(folder_ / "victim.txt", "precious");
  Spill(run / "victim.csv", "precious");
  kammelsim::CheckpointData good;
  std::string error;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(Slurp(checkpoint), good, error)) << error;
  const auto crafted = [&](auto change) {
    kammelsim::CheckpointData data = good;
    data.done = data.stats.previousDone = 3;
    change(data);
    return kammelsim::EncodeCheckpoint(data);
  };
  const struct {
    const char* name;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"climbing out", crafted([](auto& d) { d.outputs.stats = "../victim.txt"; }),
       "'../victim.txt' leads out of the checkpoint's folder"},
      {"absolute outside", crafted([&](auto& d) { d.outputs.png = (folder_ / "x.png").string(); }),
       "lies outside the checkpoint's folder; add --allow-outside"},
      {"a victim inside",
       crafted([](auto& d) { d.outputs.stats = "victim.csv", d.statsBytes = 0; }),
       "victim.csv' is not this run's statistics file"},
      {"another run's id", crafted([](auto& d) { d.runId = std::string(32, 'a'); }),
       "is not this run's statistics file"},
      {"heights over a victim", crafted([](auto& d) { d.outputs.heights = "victim.csv"; }),
       "victim.csv' exists, and this checkpoint did not write it"},
      {"a config file", crafted([](auto& d) { d.args.push_back("--config=/etc/passwd"); }),
       "records '--config=/etc/passwd', which a resume does not take"},
      {"an output option", crafted([](auto& d) { d.args.push_back("--stats=x.csv"); }),
       "records '--stats=x.csv', which a resume does not take"},
      {"a huge total", crafted([](auto& d) { d.total = 1'000'000'000'000'001; }),
       "records a total of 1000000000000001 steps, beyond 1000000000000000"},
      {"too many rows", crafted([](auto& d) { d.spaceTime.rows.assign(5000, {1.0f}); }),
       "is damaged (its content does not add up)"},
      {"sand made from nothing", crafted([](auto& d) { d.cells[500] = 2'147'483'000; }),
       "does not fit the run it records"},
      {"options that cannot be", crafted([](auto& d) { d.args.push_back("--canvas=1x1"); }),
       "records options that cannot be: --canvas takes WIDTHxHEIGHT"},
      {"too many cells", crafted([](auto& d) { d.cells.assign(600'000, 0); }),
       "its array holds 600000 cells, where the run has"},
  };
  const auto before = Tree(folder_);
  for (const auto& c : cases) {
    Spill(checkpoint, c.bytes);
    const auto resumed = Resume(checkpoint, 9);
    EXPECT_EQ(resumed.status, 1) << c.name;
    EXPECT_NE(resumed.err.find(c.message), std::string::npos) << c.name << ": " << resumed.err;
    EXPECT_EQ(std::count(resumed.err.begin(), resumed.err.end(), '\n'), 1) << resumed.err;
    auto after = Tree(folder_);
    after["run/run.ck"] = before.at("run/run.ck");
    EXPECT_TRUE(after == before) << c.name << " changed a file";
  }
}

// Every write, sync and rename failing in turn, as a full disk or a failing one makes them:
// one line, status 1, the last checkpoint whole, and the run continued once the fault is gone
// ends as the run made in one go.
TEST_F(RunFolder, EveryFailedWriteLeavesARunThatCanBeContinued) {
  ASSERT_EQ(Run(folder_ / "whole", 9).status, 0);
  kammelsim::io::ClearFaults();
  ASSERT_EQ(Run(folder_ / "counted", 9).status, 0);
  // Counted per file and operation: the nth of them is the same one in every run, whichever
  // thread makes it, so each is failed in turn by construction.
  const kammelsim::io::ChangeCounts changes = kammelsim::io::ChangesMade();
  std::int64_t total = 0;
  for (const auto& [key, count] : changes)
    total += count;
  ASSERT_GT(total, 20);
  std::printf("%lld changes to %zu files and operations, each failed in turn\n",
              static_cast<long long>(total), changes.size());
  int call = 0;
  for (const auto& [key, count] : changes) {
    for (std::int64_t nth = 1; nth <= count; ++nth, ++call) {
      const fs::path folder = folder_ / "faulty";
      fs::remove_all(folder);
      kammelsim::io::ClearFaults();
      kammelsim::io::FailChange(key.first, key.second, nth, call % 2 ? ENOSPC : EIO);
      const auto failed = Run(folder, 9);
      kammelsim::io::ClearFaults();
      SCOPED_TRACE(key.first + " " + std::string(kammelsim::io::ChangeName(key.second)) + " " +
                   std::to_string(nth));
      ASSERT_EQ(failed.status, 1) << failed.err;
      EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
      EXPECT_NE(failed.err.find(call % 2 ? "No space left on device" : "Input/output error"),
                std::string::npos)
          << failed.err;
      kammelsim::CheckpointData data;
      std::string error;
      const bool saved = fs::exists(folder / "run.ck");
      if (saved) {
        ASSERT_TRUE(kammelsim::DecodeCheckpoint(Slurp(folder / "run.ck"), data, error)) << error;
      }
      const auto again = saved ? Resume(folder / "run.ck", 9) : Run(folder, 9, {"--force"});
      ASSERT_EQ(again.status, 0) << again.err;
      ExpectSameRun(folder, folder_ / "whole");
    }
  }
}

// The total a resume goes to: --steps at what a stopped run holds is refused, never called
// complete, and a stretch to a smaller total leaves the run's own total to a plain resume.
TEST_F(RunFolder, AResumeGoesToTheTotalAskedOrElseTheRunsOwn) {
  ASSERT_EQ(Run(folder_ / "whole", 12).status, 0);
  const fs::path run = folder_ / "run";
  kammelsim::io::ClearFaults();
  kammelsim::io::FailChange("s.csv", kammelsim::io::Change::Write, 5, EIO);
  ASSERT_EQ(Run(run, 12).status, 1);
  kammelsim::io::ClearFaults();
  kammelsim::CheckpointData data;
  std::string error;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(Slurp(run / "run.ck"), data, error)) << error;
  ASSERT_GT(data.done, 0);
  ASSERT_LT(data.done + 1, 12);
  const std::string path = (run / "run.ck").string(), at = std::to_string(data.done),
                    next = std::to_string(data.done + 1);
  const struct {
    std::vector<std::string_view> total;
    int status;
    std::string message, reached;
  } steps[] = {
      {{"--steps", at}, 2, "holds " + at + " steps already; --steps must be more", at},
      {{"--steps", next}, 0, "appending to", next},
      {{}, 0, "appending to", "12"},
      {{}, 0, "the run is complete (12 of 12 steps)", "12"},
  };
  for (const auto& step : steps) {
    std::vector<std::string_view> args = {"resume", path};
    args.insert(args.end(), step.total.begin(), step.total.end());
    const auto resumed = Kammelsim(args);
    SCOPED_TRACE(step.message);
    EXPECT_EQ(resumed.status, step.status) << resumed.err;
    EXPECT_NE(resumed.err.find(step.message), std::string::npos) << resumed.err;
    ASSERT_TRUE(kammelsim::DecodeCheckpoint(Slurp(run / "run.ck"), data, error)) << error;
    EXPECT_EQ(std::to_string(data.done), step.reached);
  }
  EXPECT_EQ(Slurp(run / "h.txt"), Slurp(folder_ / "whole" / "h.txt"));
}

// The same for a finished run continued further: each change of the continued stretch failing
// in turn leaves a run that, continued again, ends as the run made in one go.
TEST_F(RunFolder, EveryFailedWriteOfAContinuedRunLeavesOneThatCanBeContinued) {
  ASSERT_EQ(Run(folder_ / "whole", 12).status, 0);
  ASSERT_EQ(Run(folder_ / "start", 6).status, 0);
  const fs::path folder = folder_ / "continued";
  const auto restart = [&] {
    fs::remove_all(folder);
    fs::copy(folder_ / "start", folder, fs::copy_options::recursive);
  };
  restart();
  kammelsim::io::ClearFaults();
  ASSERT_EQ(Resume(folder / "run.ck", 12).status, 0);
  const kammelsim::io::ChangeCounts changes = kammelsim::io::ChangesMade();
  int call = 0;
  for (const auto& [key, count] : changes) {
    for (std::int64_t nth = 1; nth <= count; ++nth, ++call) {
      restart();
      kammelsim::io::ClearFaults();
      kammelsim::io::FailChange(key.first, key.second, nth, call % 2 ? ENOSPC : EIO);
      const auto failed = Resume(folder / "run.ck", 12);
      kammelsim::io::ClearFaults();
      SCOPED_TRACE(key.first + " " + std::string(kammelsim::io::ChangeName(key.second)) + " " +
                   std::to_string(nth));
      ASSERT_EQ(failed.status, 1) << failed.err;
      const auto again = Resume(folder / "run.ck", 12);
      ASSERT_EQ(again.status, 0) << again.err;
      ExpectSameRun(folder, folder_ / "whole");
    }
  }
  EXPECT_GT(call, 10);
}

// A small tmpfs, gone with the object.
struct SmallDisk {
  explicit SmallDisk(const fs::path& at) : path(at) {
    fs::create_directories(path);
    mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=96k") == 0;
  }
  ~SmallDisk() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
  }
  bool Grow() { return mount("tmpfs", path.c_str(), "tmpfs", MS_REMOUNT, "size=16m") == 0; }
  fs::path path;
  bool mounted = false;
};

// A real disk that fills: the same, on a small tmpfs (root only).
TEST_F(RunFolder, AFullDiskStopsTheRunCleanly) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  SmallDisk small(folder_ / "disk");
  if (!small.mounted) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  const fs::path disk = small.path;
  ASSERT_EQ(Run(folder_ / "whole", 30).status, 0);
  const auto failed = Run(disk / "run", 30);
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("No space left on device"), std::string::npos) << failed.err;
  EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
  ASSERT_TRUE(small.Grow()) << std::strerror(errno);
  const bool saved = fs::exists(disk / "run" / "run.ck");
  const auto again =
      saved ? Resume(disk / "run" / "run.ck", 30) : Run(disk / "run", 30, {"--force"});
  EXPECT_EQ(again.status, 0) << again.err;
  ExpectSameRun(disk / "run", folder_ / "whole");
}

// One process per run; what killed runs left half written goes, a live run's stays; --force
// clears a frame folder's frames, and nothing else in it.
// A complete run is continued only once it is found whole: damaged, missing or another run's
// outputs are refused as for a stopped run, not called complete.
TEST_F(RunFolder, ACompleteRunIsCheckedBeforeItIsCalledComplete) {
  const fs::path run = folder_ / "run", other = folder_ / "other";
  ASSERT_EQ(Run(run, 6).status, 0);
  ASSERT_EQ(Run(other, 3, {"--every", "1"}).status, 0);
  const auto before = Tree(run);
  const struct {
    const char* name;
    std::function<void()> damage;
    std::string message;
  } cases[] = {
      {"statistics cut short", [&] { fs::resize_file(run / "s.csv", 200); },
       "s.csv' is shorter than the checkpoint recorded"},
      {"a frame gone", [&] { fs::remove(run / "f" / "frame-000006.png"); },
       "lacks frame-000006.png"},
      {"another final picture",
       [&] { fs::copy_file(other / "p.png", run / "p.png", fs::copy_options::overwrite_existing); },
       "p.png' is not a picture of this run"},
      {"another run's checkpoint",
       [&] {
         fs::copy_file(other / "run.ck", run / "run.ck", fs::copy_options::overwrite_existing);
       },
       "s.csv' is "},
  };
  for (const auto& c : cases) {
    c.damage();
    const auto resumed = Resume(run / "run.ck", 6);
    EXPECT_EQ(resumed.status, 1) << c.name;
    EXPECT_NE(resumed.err.find(c.message), std::string::npos) << c.name << ": " << resumed.err;
    EXPECT_EQ(resumed.err.find("complete"), std::string::npos) << resumed.err;
    for (const auto& [name, bytes] : before)
      Spill(run / name, bytes);
  }
  fs::remove(run / "h.txt");  // what a complete run may write again
  const auto whole = Resume(run / "run.ck", 6);
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.err.find("the run is complete (6 of 6 steps)"), std::string::npos) << whole.err;
  EXPECT_TRUE(Tree(run) == before) << "a complete run changed an output";
}

// An output that cannot be written is found before the run, not after it.
TEST_F(RunFolder, UnwritableOutputsAreFoundBeforeTheRun) {
  for (const char* option : {"--heights", "--checkpoint", "--png", "--stats"}) {
    const std::string file = (folder_ / "none" / "x").string();
    const auto run = Kammelsim({"profile", "--steps", "1000000", option, file});
    EXPECT_EQ(run.status, 1) << option;
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
  }
}

TEST_F(RunFolder, OneProcessPerRunAndNoLeftovers) {
  const fs::path run = folder_ / "run";
  ASSERT_EQ(Run(run, 6).status, 0);
  {
    kammelsim::RunLock held;
    std::string error;
    ASSERT_TRUE(held.LockName((run / "run.ck").string(), error)) << error;
    const auto second = Resume(run / "run.ck", 9);
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("is in use by another kammelsim run or resume"), std::string::npos)
        << second.err;
    EXPECT_EQ(Run(run, 6, {"--force"}).status, 1);
  }
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = ".part-" + std::to_string(gone),
                    live = ".part-" + std::to_string(getpid());
  // Fresh lock files too, which a run killed as it replaced a hard-linked one left.
  const fs::path gones[] = {run / ("run.ck" + dead), run / "f" / ("frame-000006.png" + dead),
                            run / (".run.ck.lock" + dead)};
  const fs::path kept[] = {run / ("s.csv" + live), run / (".run.ck.lock" + live),
                           run / (".run.ck.lock" + dead + "0x"), folder_ / "target"};
  for (const fs::path& left : gones)
    Spill(left, "half");
  for (const fs::path& left : kept)
    Spill(left, "half");
  const fs::path link = run / (".kammelsim.lock" + dead);  // the link goes, never what it names
  fs::create_symlink(folder_ / "target", link);
  ASSERT_EQ(Resume(run / "run.ck", 9).status, 0);
  for (const fs::path& left : gones)
    EXPECT_FALSE(fs::exists(left)) << left;
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));
  for (const fs::path& left : kept)
    EXPECT_EQ(Slurp(left), "half") << left << ": not a dead run's, or not in the run's folder";

  Spill(run / "f" / "notes.txt", "mine");
  ASSERT_EQ(Run(run, 3, {"--force"}).status, 0);
  EXPECT_EQ(Tree(run / "f").size(), 3u) << "frames 0 and 3, and the notes";
  EXPECT_EQ(Slurp(run / "f" / "notes.txt"), "mine");
}

// Names with newlines and terminal escapes stay inside their lines: in the CSV's '#' lines, in
// the pictures' texts (iTXt, UTF-8, no control characters) and in every message.
TEST_F(RunFolder, HostileNamesStayOnTheirLines) {
  const fs::path odd = folder_ / "a\nb\x1b[2J";
  fs::create_directories(odd);
  const std::string stats = (odd / "s\n.csv").string(), png = (odd / "p.png").string();
  const std::vector<std::string_view> args = {"profile", "--seed", "1",     "--steps", "3",
                                              "--stats", stats,    "--png", png,       "--force"};
  ASSERT_EQ(Kammelsim(args).status, 0);
  std::ifstream csv(stats);
  int lines = 0;
  for (std::string line; std::getline(csv, line); ++lines) {
    EXPECT_TRUE(line.starts_with("# ") || line.starts_with("step,") || std::isdigit(line[0]))
        << line;
  }
  EXPECT_EQ(lines, 6 + 1 + 1 + 1 + 2) << "provenance, speed lag, units, header, two rows";
  const auto texts = ItxtTexts(png);
  ASSERT_EQ(texts.count("Command"), 1u);
  for (const auto& [keyword, value] : texts) {
    EXPECT_TRUE(std::none_of(value.begin(), value.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 && c != '\n';
    })) << keyword;
  }
  EXPECT_NE(texts.at("Command").find("\\x1b[2J"), std::string::npos) << texts.at("Command");
  const auto refused = Kammelsim({args.begin(), args.end() - 1});  // without --force
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
  EXPECT_EQ(refused.err.find('\x1b'), std::string::npos) << refused.err;
}

}  // namespace
