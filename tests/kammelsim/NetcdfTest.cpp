// kammelsim's data file, read back with netCDF's own library: the CF attributes and units, a
// failed write at every step of it, and resume's refusals and cut-back.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kammelsim/io/Faults.h"
#include "kammelsim/output/data/NetcdfOutput.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

using testing_kammelsim::Slurp;

namespace fs = std::filesystem;
using testing_kammelsim::Kammelsim;
using KammelsimDataFile = testing_kammelsim::FolderTest;

// A data file opened for reading by netCDF's library; id < 0 when it would not open.
struct Dataset {
  explicit Dataset(const std::string& path) {
    if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) id = -1;
  }
  ~Dataset() {
    if (id >= 0) nc_close(id);
  }
  int Variable(const char* name) const {
    int v = -2;
    nc_inq_varid(id, name, &v);
    return v;
  }
  nc_type Type(int v, const char* name) const {
    nc_type type = NC_NAT;
    nc_inq_atttype(id, v, name, &type);
    return type;
  }
  std::string Text(int v, const char* name) const {
    std::size_t length = 0;
    if (Type(v, name) != NC_CHAR || nc_inq_attlen(id, v, name, &length) != NC_NOERR) return "";
    std::string text(length, '\0');
    nc_get_att_text(id, v, name, text.data());
    return text;
  }
  std::vector<std::string> Dimensions(int v) const {
    int dims[NC_MAX_VAR_DIMS], rank = 0;
    nc_inq_var(id, v, nullptr, nullptr, &rank, dims, nullptr);
    std::vector<std::string> names;
    for (int d = 0; d < rank; ++d) {
      char name[NC_MAX_NAME + 1] = {};
      nc_inq_dimname(id, dims[d], name);
      names.emplace_back(name);
    }
    return names;
  }
  std::vector<int> Heights() const {
    std::size_t cells = 1, length = 0;
    int dims[NC_MAX_VAR_DIMS], rank = 0;
    nc_inq_var(id, Variable("height"), nullptr, nullptr, &rank, dims, nullptr);
    for (int d = 0; d < rank; ++d) {
      nc_inq_dimlen(id, dims[d], &length);
      cells *= length;
    }
    std::vector<int> heights(cells);
    if (cells > 0) nc_get_var_int(id, Variable("height"), heights.data());
    return heights;
  }
  int id = -1;
};

// Whether UDUNITS-2 takes text as a unit.
bool UdunitsParses(const std::string& text) {
  const std::string command = "udunits2 -H '" + text + "' -W '' </dev/null >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST_F(KammelsimDataFile, FollowsCfAndEveryUnitParsesWithUdunits) {
  if (std::system("udunits2 -H 1 -W '' </dev/null >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "udunits2 is missing (Debian's udunits-bin; scripts/setup installs it)";
  const struct {
    std::vector<std::string_view> args;
    std::vector<std::string> dimensions;
    const char* speedUnit;
  } cases[] = {
      {{"bed", "--length", "30", "--width", "7", "--seed", "4000000000", "--b", "2.5", "--batches",
        "2"},
       {"time", "y", "x"},
       "cells per batch"},
      {{"profile", "--width", "50", "--seed", "4000000000", "--b", "2.5", "--steps", "2"},
       {"time", "x"},
       "cells per step"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    auto args = c.args;
    const std::string data = Path("d.nc"), stats = Path("s.csv");
    args.insert(args.end(), {"--netcdf", data, "--stats", stats, "--force"});
    ASSERT_EQ(Kammelsim(args).status, 0);
    const Dataset file(data);
    ASSERT_GE(file.id, 0);
    EXPECT_EQ(file.Dimensions(file.Variable("height")), c.dimensions);
    EXPECT_EQ(file.Text(NC_GLOBAL, "Conventions"), "CF-1.8");
    for (const char* text : {"title", "history", "source", "references", "comment", "command"})
      EXPECT_NE(file.Text(NC_GLOBAL, text), "") << text;
    EXPECT_NE(file.Text(NC_GLOBAL, "references").find("Nishimori"), std::string::npos);
    unsigned seed = 0;
    double b = 0;
    int format = 0;
    EXPECT_EQ(nc_get_att_uint(file.id, NC_GLOBAL, "seed", &seed), NC_NOERR);
    EXPECT_EQ(seed, 4000000000u);
    EXPECT_EQ(file.Type(NC_GLOBAL, "parameter_b"), NC_DOUBLE);
    EXPECT_EQ(nc_get_att_double(file.id, NC_GLOBAL, "parameter_b", &b), NC_NOERR);
    EXPECT_EQ(b, 2.5);
    EXPECT_EQ(file.Type(NC_GLOBAL, "parameter_width"), NC_INT);
    EXPECT_EQ(nc_get_att_int(file.id, NC_GLOBAL, "kammel_format", &format), NC_NOERR);
    EXPECT_EQ(format, 2);
    // The snapshots count batches or steps: not a time, so nothing marks them as one.
    EXPECT_EQ(file.Type(file.Variable("time"), "axis"), NC_NAT);
    EXPECT_EQ(file.Text(file.Variable("x"), "axis"), "X");
    if (c.dimensions.size() == 3) {
      EXPECT_EQ(file.Text(file.Variable("y"), "axis"), "Y");
    }
    int variables = 0;
    nc_inq_nvars(file.id, &variables);
    for (int v = 0; v < variables; ++v) {
      const std::string units = file.Text(v, "units");
      EXPECT_TRUE(UdunitsParses(units)) << "variable " << v << ": " << units;
      EXPECT_NE(file.Text(v, "long_name"), "") << "variable " << v;
    }
    EXPECT_NE(file.Text(file.Variable("speed"), "long_name").find(c.speedUnit), std::string::npos);
    EXPECT_NE(Slurp(stats).find(std::string("# Units: ") + (c.dimensions.size() == 3 ? "b" : "s")),
              std::string::npos);
    EXPECT_NE(Slurp(stats).find(c.speedUnit), std::string::npos);
  }
}

// Each change to the data file failing in turn, once or for good (a full disk): one line,
// status 1, and what is there still opens with the snapshots before the failure, and no
// temporary file stays behind.
TEST_F(KammelsimDataFile, AFailedWriteOrSyncLeavesAFileThatOpensWithTheSnapshotsBefore) {
  const std::string data = Path("d.nc"), stats = Path("s.csv");
  const std::vector<std::string_view> args = {"bed", "--length",  "50", "--width", "5", "--seed",
                                              "2",   "--batches", "4",  "--every", "1", "--stats",
                                              stats, "--netcdf",  data, "--force"};
  kammelsim::io::ClearFaults();
  ASSERT_EQ(Kammelsim(args).status, 0);
  const kammelsim::io::ChangeCounts changes = kammelsim::io::ChangesMade();
  EXPECT_GE(changes.at({"d.nc", kammelsim::io::Change::Write}), 5)
      << "every snapshot's write goes through io/";
  const std::vector<int> whole = Dataset(data).Heights();
  ASSERT_FALSE(whole.empty());
  for (const auto& [key, count] : changes) {
    const auto& [name, change] = key;
    for (std::int64_t nth = 1; nth <= count; ++nth) {
      for (const bool full : {false, true}) {
        fs::remove(data);
        kammelsim::io::ClearFaults();
        kammelsim::io::FailChange(name, change, nth, full ? ENOSPC : EIO, full);
        const auto run = Kammelsim(args);
        kammelsim::io::ClearFaults();
        const std::string label = name + " " + std::string(kammelsim::io::ChangeName(change)) +
                                  " " + std::to_string(nth) + (full ? " ENOSPC" : " EIO");
        EXPECT_EQ(run.status, 1) << label;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << label << run.err;
        EXPECT_NE(run.err.find("cannot write"), std::string::npos) << label << run.err;
        for (const auto& entry : fs::directory_iterator(folder_))
          EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << label;
        if (!fs::exists(data)) continue;
        const Dataset file(data);
        ASSERT_GE(file.id, 0) << label;
        const std::vector<int> heights = file.Heights();
        ASSERT_LE(heights.size(), whole.size()) << label;
        EXPECT_TRUE(std::equal(heights.begin(), heights.end(), whole.begin())) << label;
      }
    }
  }
}

// What ncdump prints, without the history, which a resume adds to.
std::string DumpWithoutHistory(const std::string& path) {
  std::string text;
  std::FILE* pipe = popen(("ncdump '" + path + "' 2>&1").c_str(), "r");
  for (int c; pipe && (c = std::fgetc(pipe)) != EOF;)
    text.push_back(static_cast<char>(c));
  if (pipe) pclose(pipe);
  // std::regex recurses per character, too deep for a long history.
  const std::size_t from = text.find("\t\t:history = ");
  if (from != std::string::npos) text.erase(from, text.find(" ;\n", from) + 3 - from);
  return text.substr(std::min(text.find('\n'), text.size()));  // past "netcdf NAME {"
}

// Runs NetcdfOutput in this process, as the run loop does, with its messages kept.
class DataFileOutput : public KammelsimDataFile {
 protected:
  // What the run loop would say of each fault, as it would say it.
  bool Fine(const kammelsim::Outcome& outcome) {
    if (outcome) said_ += "kammelsim: " + outcome->Message() + "\n";
    return !outcome;
  }
  std::string Messages() { return std::exchange(said_, ""); }
  static analysis::Snapshot Heights(int n) {
    analysis::Snapshot s{4, 3, {}};
    for (int cell = 0; cell < 12; ++cell)
      s.cells.push_back(100 * n + cell);
    return s;
  }
  static kammelsim::io::Place At(const std::string& path) {
    kammelsim::io::Place place;
    EXPECT_TRUE(kammelsim::io::PlaceOf(path, place)) << path;
    return place;
  }
  // A file of the snapshots from..to-1 appended to path, made with runId (none when empty), or
  // continued from cutTo snapshots as recorded_ holds them; recorded_ gets what a checkpoint
  // would record after each snapshot.
  bool Write(const std::string& path, int from, int to, const std::string& runId = kRun,
             std::int64_t cutTo = -1, const std::string& history = "") {
    kammelsim::NetcdfOutput data;
    kammelsim::Provenance provenance = {{"Software", "kammelsim test"}, {"Seed", "1"}};
    if (!runId.empty()) provenance.push_back({"Run", runId});
    provenance.push_back({"History", "the run"});
    const bool opened = cutTo < 0
                            ? Fine(data.Create(At(path), layout_, provenance))
                            : Fine(data.Reopen(At(path), layout_, recorded_.at(cutTo), history));
    bool written = opened;
    if (opened) recorded_[data.Records()] = data.Record(kRun);
    for (int n = from; written && n < to; ++n) {
      written = Fine(data.Snapshot(n, Heights(n), nullptr));
      recorded_[data.Records()] = data.Record(kRun);
    }
    return written && Fine(data.Close());
  }

  std::map<std::int64_t, kammelsim::NetcdfRecord> recorded_;
  static inline const std::string kRun = std::string(32, 'a');
  kammelsim::NetcdfLayout layout_{analysis::Model::Bed, 4, 3, "batches", false};
  std::string said_;
};

// Resume takes up only its own run's file holding at least what the checkpoint recorded, and
// refuses every other before changing a byte.
TEST_F(DataFileOutput, ReopenRefusesAFileNotOursOrHoldingTooLittle) {
  const std::string data = Path("d.nc");
  const struct {
    const char* name;
    std::string runId;     ///< the run id the file is made with
    std::string bytes;     ///< the file's bytes instead, when not empty
    std::int64_t cut;      ///< bytes cut off its end
    std::int64_t records;  ///< what the checkpoint recorded
    std::int32_t xCount;   ///< the run's shape
    std::string message;
  } cases[] = {
      {"another run", std::string(32, 'b'), "", 0, 5, 4, "belongs to another run"},
      {"no run id", "", "", 0, 5, 4, "has no run id"},
      {"fewer snapshots", kRun, "", 0, 6, 4, "holds 5 snapshots, fewer than the 6"},
      {"cut inside a record", kRun, "", 80, 5, 4, "holds 3 snapshots, fewer than the 5"},
      {"another shape", kRun, "", 0, 5, 5, "does not hold the variables of this run"},
      {"text", kRun, "hello\n", 0, 5, 4, "is not a data file kammelsim writes"},
      {"NetCDF-4", kRun, std::string("\x89HDF\r\n\x1a\n") + std::string(600, '\0'), 0, 5, 4,
       "is not a data file kammelsim writes"},
      {"a header cut short", kRun, "CDF\x05", 0, 5, 4, "is not a data file kammelsim writes"},
  };
  for (const auto& c : cases) {
    fs::remove(data);
    ASSERT_TRUE(Write(data, 0, 5, c.runId)) << Messages();
    if (!c.bytes.empty()) std::ofstream(data, std::ios::binary | std::ios::trunc) << c.bytes;
    fs::resize_file(data, fs::file_size(data) - static_cast<std::uintmax_t>(c.cut));
    const std::string before = Slurp(data);
    kammelsim::NetcdfOutput reopened;
    layout_.xCount = c.xCount;
    kammelsim::NetcdfRecord record = recorded_.at(5);
    record.records = c.records;
    EXPECT_FALSE(Fine(reopened.Reopen(At(data), layout_, record, "resumed"))) << c.name;
    layout_.xCount = 4;
    const std::string said = Messages();
    EXPECT_NE(said.find("resume: '" + data + "' " + c.message), std::string::npos)
        << c.name << ": " << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(Slurp(data), before) << c.name;
  }
  kammelsim::NetcdfOutput missing;
  EXPECT_FALSE(Fine(missing.Reopen(At(Path("none.nc")), layout_, {0, kRun, 0, 0, ""}, "")));
  EXPECT_NE(Messages().find("cannot be opened: No such file or directory"), std::string::npos);
  kammelsim::io::Place none;
  EXPECT_FALSE(kammelsim::io::PlaceOf(Path("no/folder/d.nc"), none));
  EXPECT_EQ(errno, ENOENT);
}

// Stopped after 5 snapshots, resumed from a checkpoint at 3 (with a history line short, or long
// enough to move the records): the 2 stale ones go, and the file ends as the uninterrupted one.
TEST_F(DataFileOutput, ReopenCutsBackAndEndsAsTheUninterruptedFile) {
  const std::string whole = Path("whole.nc"), parts = Path("parts.nc");
  ASSERT_TRUE(Write(whole, 0, 7)) << Messages();
  for (const std::string& line : {std::string("resumed"), std::string(20000, 'h')}) {
    fs::remove(parts);
    ASSERT_TRUE(Write(parts, 0, 5)) << Messages();
    kammelsim::NetcdfOutput cut;
    ASSERT_TRUE(Fine(cut.Reopen(At(parts), layout_, recorded_.at(3), line))) << Messages();
    EXPECT_EQ(cut.Records(), 3);
    ASSERT_TRUE(Fine(cut.Close()));
    EXPECT_EQ(Dataset(parts).Heights().size(), 3u * 12);
    ASSERT_TRUE(Write(parts, 3, 7, kRun, 3, "again")) << Messages();
    EXPECT_EQ(DumpWithoutHistory(parts), DumpWithoutHistory(whole)) << line.size();
    EXPECT_EQ(Dataset(parts).Text(NC_GLOBAL, "history"), "the run\n" + line + "\nagain");
    EXPECT_EQ(Files(""), (std::vector<std::string>{"parts.nc", "whole.nc"}));
  }
}

// A resume killed before its checkpoint leaves its history line; the next resume drops it, so
// that what its own checkpoint records is again how the file's history begins.
TEST_F(DataFileOutput, ReopenDropsTheHistoryOfAResumeThatLeftNoCheckpoint) {
  const std::string data = Path("d.nc");
  ASSERT_TRUE(Write(data, 0, 5)) << Messages();
  kammelsim::NetcdfRecord record = recorded_.at(3);
  record.history = "the run";
  for (const char* line : {"killed", "again", "and again"}) {
    kammelsim::NetcdfOutput reopened;
    ASSERT_TRUE(Fine(reopened.Reopen(At(data), layout_, record, line))) << line << Messages();
    ASSERT_TRUE(Fine(reopened.Close()));
    EXPECT_EQ(Dataset(data).Text(NC_GLOBAL, "history"), record.history + "\n" + line);
    // The first stopped before its checkpoint; the others each left one.
    if (std::string(line) != "killed") record.history += std::string("\n") + line;
  }
}

}  // namespace

namespace {

// Columns of 1.2 MB: the array's record goes out in several pieces, the last one short.
TEST_F(DataFileOutput, ABedWrittenFromItsArrayInPiecesHasTheSnapshotsBytes) {
  const int rows = 300001, columns = 7;
  analysis::Snapshot snapshot{rows, columns, {}};
  std::vector<std::int32_t> array(static_cast<std::size_t>(rows + 2) * columns, -1);
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < columns; ++j) {
      const auto h = static_cast<std::int32_t>((std::int64_t{i} * 7919 + j * 104729) % 100003);
      snapshot.cells.push_back(h);
      array[static_cast<std::size_t>(j) * (rows + 2) + 1 + i] = h;
    }
  }
  const analysis::ColumnHeights heights{rows, columns, array.data() + 1, rows + 2};
  analysis::Measures measures{};
  measures.sand = 12345;
  measures.speed = -0.25;
  layout_ = {analysis::Model::Bed, rows, columns, "batches", true};
  const kammelsim::Provenance provenance = {{"Software", "kammelsim test"}, {"Run", kRun}};
  std::vector<std::string> files;
  std::vector<std::uint32_t> crcs;
  for (const bool inPlace : {false, true}) {
    const std::string path = Path(inPlace ? "array.nc" : "snapshot.nc");
    kammelsim::NetcdfOutput data;
    ASSERT_TRUE(Fine(data.Create(At(path), layout_, provenance))) << Messages();
    const analysis::Measures* const each[] = {nullptr, &measures};
    for (const analysis::Measures* m : each) {
      ASSERT_TRUE(Fine(inPlace ? data.Snapshot(3, heights, m) : data.Snapshot(3, snapshot, m)))
          << Messages();
    }
    crcs.push_back(data.Record(kRun).recordsCrc);
    ASSERT_TRUE(Fine(data.Close()));
    files.push_back(Slurp(path));
  }
  EXPECT_TRUE(files[0] == files[1]) << "the files differ";
  EXPECT_EQ(crcs[0], crcs[1]);
  Dataset read(Path("array.nc"));
  ASSERT_GE(read.id, 0);
  int h = 0;
  ASSERT_EQ(nc_inq_varid(read.id, "height", &h), NC_NOERR);
  const std::size_t at[] = {1, 5, 299999};
  int value = 0;
  ASSERT_EQ(nc_get_var1_int(read.id, h, at, &value), NC_NOERR);
  EXPECT_EQ(value, snapshot.At(299999, 5));
}

}  // namespace
