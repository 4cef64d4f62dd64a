// kammelsim's long runs: checkpoints that refuse what is not theirs, resume that continues a
// run exactly, the NetCDF data file's snapshots, outputs never replaced by surprise.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/Progress.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;

namespace fs = std::filesystem;
using testing_kammelsim::Kammelsim;

using KammelsimLongRuns = testing_kammelsim::FolderTest;

// The CSV's rows without the provenance above them.
std::string DataRows(const std::string& path) {
  std::istringstream lines(Slurp(path));
  std::string rows;
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with('#')) rows += line + "\n";
  }
  return rows;
}

// Every record of the data file's height variable, as integers.
std::vector<int> NetcdfHeights(const std::string& path, std::size_t& records) {
  int id = -1, variable = -1;
  std::vector<int> heights;
  records = 0;
  if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return heights;
  std::size_t cells = 1;
  int dims[3], rank = 0;
  nc_inq_varid(id, "height", &variable);
  nc_inq_varndims(id, variable, &rank);
  nc_inq_vardimid(id, variable, dims);
  for (int d = 0; d < rank; ++d) {
    std::size_t length = 0;
    nc_inq_dimlen(id, dims[d], &length);
    (d == 0 ? records : cells) = d == 0 ? length : cells * length;
  }
  heights.resize(records * cells);
  nc_get_var_int(id, variable, heights.data());
  nc_close(id);
  return heights;
}

std::string Attribute(const std::string& path, const char* variable, const char* name) {
  int id = -1, v = NC_GLOBAL;
  std::size_t length = 0;
  if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "";
  if (variable) nc_inq_varid(id, variable, &v);
  std::string text;
  if (nc_inq_attlen(id, v, name, &length) == NC_NOERR) {
    text.resize(length);
    nc_get_att_text(id, v, name, text.data());
  }
  nc_close(id);
  return text;
}

bool SamePixels(const std::string& a, const std::string& b) {
  const QImage first(QString::fromStdString(a)), second(QString::fromStdString(b));
  return !first.isNull() && first.convertToFormat(QImage::Format_RGB32) ==
                                second.convertToFormat(QImage::Format_RGB32);
}

// A run stopped at a snapshot and resumed to a larger total is the run made in one go.
TEST_F(KammelsimLongRuns, ResumedRunEqualsTheRunMadeInOneGo) {
  const std::vector<std::vector<std::string_view>> models = {
      {"profile", "--width", "300", "--seed", "8", "--every", "3", "--steps"},
      {"bed", "--length", "40", "--width", "12", "--seed", "8", "--every", "3", "--batches"},
      {"bed", "--settings", "map", "--length", "40", "--width", "12", "--seed", "8", "--every", "3",
       "--batches"},
  };
  for (const auto& model : models) {
    for (const std::string run : {"whole", "parts"}) {
      fs::create_directories(folder_ / run);
      auto args = model;
      args.push_back(run == "whole" ? "9" : "6");
      const std::string stats = Path(run + "/s.csv"), data = Path(run + "/d.nc"),
                        frames = Path(run + "/f"), checkpoint = Path(run + "/c.ck");
      args.insert(args.end(), {"--stats", stats, "--netcdf", data, "--frames", frames,
                               "--checkpoint", checkpoint, "--force"});
      auto result = Kammelsim(args);
      ASSERT_EQ(result.status, 0) << result.err;
      if (run == "parts") {
        const std::string_view unit = model.front() == "bed" ? "--batches" : "--steps";
        result = Kammelsim({"resume", checkpoint, unit, "9"});
        ASSERT_EQ(result.status, 0) << result.err;
      }
      Spill(Path(run + "/out.txt"), result.out);
    }
    SCOPED_TRACE(model.front());
    EXPECT_EQ(Slurp(Path("whole/out.txt")), Slurp(Path("parts/out.txt")));
    EXPECT_EQ(DataRows(Path("whole/s.csv")), DataRows(Path("parts/s.csv")));
    std::size_t wholeRecords = 0, partsRecords = 0;
    EXPECT_EQ(NetcdfHeights(Path("whole/d.nc"), wholeRecords),
              NetcdfHeights(Path("parts/d.nc"), partsRecords));
    EXPECT_EQ(wholeRecords, 4u);
    EXPECT_EQ(partsRecords, 4u);
    for (const char* frame : {"frame-000000.png", "frame-000006.png", "frame-000009.png"})
      EXPECT_TRUE(SamePixels(Path("whole/f/") + frame, Path("parts/f/") + frame)) << frame;
    fs::remove_all(folder_ / "whole");
    fs::remove_all(folder_ / "parts");
  }
}

// Each snapshot in the data file is what a run stopped there prints.
TEST_F(KammelsimLongRuns, DataFileSnapshotsAreTheHeightsOfRunsStoppedThere) {
  const std::string data = Path("d.nc");
  const auto run = Kammelsim({"bed", "--length", "30", "--width", "7", "--seed", "4", "--batches",
                              "4", "--every", "2", "--netcdf", data, "--stats", Path("s.csv")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::size_t records = 0;
  const std::vector<int> heights = NetcdfHeights(data, records);
  ASSERT_EQ(records, 3u);
  const std::size_t cells = heights.size() / records;
  for (std::size_t r = 0; r < records; ++r) {
    const std::string batches = std::to_string(2 * r);
    const auto stopped =
        Kammelsim({"bed", "--length", "30", "--width", "7", "--seed", "4", "--batches", batches});
    // The file has x (a printed line) varying fastest: column by column.
    const auto lines = testing_kammelsim::Rows(stopped.out);
    std::vector<int> printed;
    for (std::size_t column = 0; column < lines.front().size(); ++column) {
      for (const auto& line : lines)
        printed.push_back(static_cast<int>(line[column]));
    }
    EXPECT_EQ(printed, std::vector<int>(heights.begin() + static_cast<long>(r * cells),
                                        heights.begin() + static_cast<long>((r + 1) * cells)))
        << "snapshot at " << batches;
  }
  EXPECT_EQ(Attribute(data, "height", "units"), "1");
  EXPECT_NE(Attribute(data, nullptr, "command").find("--netcdf"), std::string::npos);
}

// What is not a whole checkpoint of ours is refused, with its own message, touching nothing.
TEST_F(KammelsimLongRuns, DamagedOrForeignCheckpointsAreRefused) {
  const std::string checkpoint = Path("c.ck"), stats = Path("s.csv");
  const auto made = Kammelsim({"profile", "--seed", "3", "--steps", "4", "--every", "2",
                               "--checkpoint", checkpoint, "--stats", stats});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string good = Slurp(checkpoint), statsBefore = Slurp(stats);
  std::string flipped = good, newer = good, older = good, foreign = good;
  flipped[good.size() / 2] ^= 0x10;
  newer[8] = 4;
  older[8] = 2;
  foreign[0] = 'X';
  const struct {
    const char* name;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"a flipped bit", flipped, "is damaged (its checksum does not match)"},
      {"cut short", good.substr(0, good.size() - 9), "is truncated"},
      {"cut in its header", good.substr(0, 14), "is truncated"},
      {"a longer file", good + "x", "is damaged (its length is wrong)"},
      {"another magic", foreign, "is not a kammelsim checkpoint"},
      {"empty", "", "is not a kammelsim checkpoint"},
      {"a newer format", newer, "has format 4; this kammelsim reads format 3"},
      {"an older format", older, "has format 2; this kammelsim reads format 3 (continue it with"},
  };
  for (const auto& c : cases) {
    Spill(checkpoint, c.bytes);
    const auto run = Kammelsim({"resume", checkpoint, "--steps", "8"});
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_NE(run.err.find("resume: '" + checkpoint + "' " + c.message), std::string::npos)
        << c.name << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(Slurp(checkpoint), c.bytes) << c.name;
    EXPECT_EQ(Slurp(stats), statsBefore) << c.name;
  }
  // Whole and checksummed, but not the run its options make: refused before anything is used.
  kammelsim::CheckpointData data;
  std::string error;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(good, data, error)) << error;
  kammelsim::CheckpointData fewerCells = data, shorterField = data;
  fewerCells.cells.pop_back();
  shorterField.stats.previousField.pop_back();
  for (const auto& misfit : {fewerCells, shorterField}) {
    const std::string bytes = kammelsim::EncodeCheckpoint(misfit);
    Spill(checkpoint, bytes);
    const auto run = Kammelsim({"resume", checkpoint, "--steps", "8"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("does not fit the run it records"), std::string::npos) << run.err;
    EXPECT_EQ(Slurp(stats), statsBefore);
    EXPECT_EQ(Slurp(checkpoint), bytes);
  }
  const auto missing = Kammelsim({"resume", Path("none.ck")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
}

// A new run never replaces a file that exists, unless told to.
TEST_F(KammelsimLongRuns, ExistingOutputsAreRefusedWithoutForce) {
  for (const char* option : {"--png", "--spacetime", "--stats", "--netcdf", "--checkpoint"}) {
    const std::string file = Path("old");
    Spill(file, "keep me");
    testing_kammelsim::ExpectUsageFault({"profile", "--width", "20", option, file},
                                        "profile: '" + file + "' exists already; add --force");
    EXPECT_EQ(Slurp(file), "keep me") << option;
    const auto forced = Kammelsim({"profile", "--width", "20", option, file, "--force"});
    EXPECT_EQ(forced.status, 0) << option << forced.err;
    EXPECT_NE(Slurp(file), "keep me") << option;
  }
}

// Two outputs of one run never share a file, however it is named: one would replace the other
// (the checkpoint by the heights, the statistics by the data file) and the run still say 0.
TEST_F(KammelsimLongRuns, TwoOutputsNamingOneFileAreRefused) {
  fs::create_directories(Path("d"));
  fs::create_directory_symlink(Path("d"), Path("l"));
  const struct {
    const char *first, *second;
    std::string one, other, message;
  } cases[] = {
      {"--stats", "--netcdf", Path("x"), Path("x"), "--stats and --netcdf name one file"},
      {"--heights", "--checkpoint", Path("x"), Path("./x"), "--heights and --checkpoint name"},
      {"--png", "--spacetime", Path("d/x"), Path("l/x"), "--png and --spacetime name one file"},
      {"--stats", "--frames", Path("x"), Path("d/../x"), "--stats and --frames name one file"},
  };
  for (const auto& c : cases) {
    testing_kammelsim::ExpectUsageFault(
        {"profile", "--width", "20", c.first, c.one, c.second, c.other, "--force"}, c.message);
    EXPECT_FALSE(fs::exists(Path("x")) || fs::exists(Path("d/x"))) << c.message;
  }
}

// Names this process will make, planted as links before it runs (or left by a killed process
// of the same id): a new run makes its own files in their place and follows none of them.
TEST_F(KammelsimLongRuns, NamesPlantedForThisProcessDoNotStopANewRun) {
  Spill(Path("victim"), "precious");
  const std::string pid = std::to_string(getpid());
  for (const std::string& name : {".kammelsim-probe-" + pid, "h.txt.part-" + pid,
                                  "c.ck.part-" + pid, "s.csv.part-" + pid, "p.png.part-" + pid})
    fs::create_symlink(Path("victim"), Path(name));
  const auto run =
      Kammelsim({"profile", "--width", "20", "--seed", "1", "--heights", Path("h.txt"),
                 "--checkpoint", Path("c.ck"), "--stats", Path("s.csv"), "--png", Path("p.png")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Path("victim")), "precious");
  for (const char* name : {"h.txt", "c.ck", "s.csv", "p.png"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Path(name)))) << name;
}

// Every field set to something of its own survives the trip through the file's bytes: a field
// written but not read, or read in another place, shows here.
TEST(KammelsimCheckpoint, EveryFieldComesBackAsItWasWritten) {
  kammelsim::CheckpointData d;
  d.version = "v";
  d.command = "bed";
  d.commandLine = "kammelsim bed --seed 5";
  d.args = {"--seed=5", "--every=2"};
  d.runId = "0123456789abcdef0123456789abcdef";
  d.history = {"first", "second"};
  d.outputs = {"s.csv", "d.nc", "p.png", "frames", "st.png", "/elsewhere/h.txt"};
  d.parameters = "length=3";
  d.seed = 5;
  d.done = 4;
  d.total = 9;
  d.modelState = 11;
  d.pictureState = 12;
  d.cells = {1, -2, 3};
  d.hasStats = true;
  d.stats = {2, 99.5, 3, 4, {0.25, -1.5}};
  d.statsBytes = 1234;
  d.statsCrc = 77;
  d.netcdfRecords = 3;
  d.spaceTime = {{{1.5f, 2.5f}, {3.5f}}, -1.0, 7.0};
  d.heightsWritten = true;
  d.heightsCrc = 99;
  d.initial = {"start.nc:40", 0x89abcdef, 321};
  d.changes = {"at 2 batches: wind=7 (was 5)", "at 4 batches: q=2 (was 1)"};
  const std::string bytes = kammelsim::EncodeCheckpoint(d);
  kammelsim::CheckpointData back;
  std::string error;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(bytes, back, error)) << error;
  EXPECT_EQ(kammelsim::EncodeCheckpoint(back), bytes);
  EXPECT_EQ(back.args, d.args);
  EXPECT_EQ(back.cells, d.cells);
  EXPECT_EQ(back.stats.previousField, d.stats.previousField);
  EXPECT_EQ(back.spaceTime.rows, d.spaceTime.rows);
  EXPECT_EQ(std::tie(back.done, back.total, back.statsBytes, back.netcdfRecords),
            std::tie(d.done, d.total, d.statsBytes, d.netcdfRecords));
  EXPECT_EQ(std::tie(back.seed, back.modelState, back.pictureState, back.hasStats),
            std::tie(d.seed, d.modelState, d.pictureState, d.hasStats));
  EXPECT_EQ(std::tie(back.stats.previousDone, back.stats.initialTotal, back.stats.rows),
            std::tie(d.stats.previousDone, d.stats.initialTotal, d.stats.rows));
  EXPECT_EQ(back.parameters + back.commandLine + back.version + back.runId,
            d.parameters + d.commandLine + d.version + d.runId);
  EXPECT_EQ(back.history, d.history);
  EXPECT_EQ(back.outputs.heights + back.outputs.frames + back.outputs.stats,
            d.outputs.heights + d.outputs.frames + d.outputs.stats);
  EXPECT_EQ(std::tie(back.statsCrc, back.heightsWritten, back.heightsCrc),
            std::tie(d.statsCrc, d.heightsWritten, d.heightsCrc));
  EXPECT_EQ(std::tie(back.initial.name, back.initial.crc, back.initial.sand),
            std::tie(d.initial.name, d.initial.crc, d.initial.sand));
  EXPECT_EQ(back.changes, d.changes);
  // Without them the checkpoint is what it was before they existed, and reads back so.
  d.initial = {};
  d.changes = {};
  const std::string flat = kammelsim::EncodeCheckpoint(d);
  EXPECT_LT(flat.size(), bytes.size());
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(flat, back, error)) << error;
  EXPECT_TRUE(back.initial.name.empty() && back.changes.empty());
}

TEST(KammelsimProgress, SaysRateAndTimeLeft) {
  const struct {
    std::int64_t done, total;
    double rate;
    const char* line;
  } cases[] = {
      {40, 100, 12.5, "40 of 100 batches, 12.5 batches/s, 5 s left"},
      {1, 100000, 10, "1 of 100000 batches, 10 batches/s, 2:46:40 left"},
      {3, 3, 2, "3 of 3 batches, 2 batches/s, 0 s left"},
      {0, 10, 0, "0 of 10 batches, 0 batches/s"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kammelsim::ProgressLine(c.done, c.total, "batches", c.rate), c.line);
}

}  // namespace
