// Runs that do not start flat or keep their parameters: --initial from heights as text or a
// data file's snapshot, hostile initial files refused, and a change of parameters on resume.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/kammelsim/CapturedRun.h"

namespace {

namespace fs = std::filesystem;
using testing_kammelsim::ExpectUsageFault;
using testing_kammelsim::Kammelsim;
using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;
using Args = std::vector<std::string_view>;

using KammelsimInitial = testing_kammelsim::FolderTest;

// The models' command lines up to their total's option.
const std::vector<Args> kModels = {
    {"profile", "--width", "60", "--seed", "4", "--every", "3", "--steps"},
    {"bed", "--length", "30", "--width", "8", "--seed", "4", "--every", "3", "--batches"},
    {"bed", "--settings", "map", "--length", "30", "--width", "8", "--seed", "4", "--every", "3",
     "--batches"},
};

Args With(Args args, std::initializer_list<std::string_view> more) {
  args.insert(args.end(), more);
  return args;
}

// The statistics file's line that starts with head.
std::string LineOf(const std::string& text, const std::string& head) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(head)) return line;
  }
  return "";
}

std::string DataRows(const std::string& text) {
  std::istringstream lines(text);
  std::string rows;
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with('#')) rows += line + "\n";
  }
  return rows;
}

std::string GlobalText(const std::string& path, const char* name) {
  int id = -1;
  std::size_t length = 0;
  std::string text;
  if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "no file";
  if (nc_inq_attlen(id, NC_GLOBAL, name, &length) == NC_NOERR) {
    text.resize(length);
    nc_get_att_text(id, NC_GLOBAL, name, text.data());
  }
  nc_close(id);
  return text;
}

std::vector<int> Heights(const std::string& path) {
  int id = -1, variable = -1;
  std::vector<int> heights;
  if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return heights;
  int dims[3], rank = 0;
  nc_inq_varid(id, "height", &variable);
  nc_inq_varndims(id, variable, &rank);
  nc_inq_vardimid(id, variable, dims);
  std::size_t cells = 1;
  for (int d = 0; d < rank; ++d) {
    std::size_t length = 0;
    nc_inq_dimlen(id, dims[d], &length);
    cells *= length;
  }
  heights.resize(cells);
  nc_get_var_int(id, variable, heights.data());
  nc_close(id);
  return heights;
}

// The end of one run is the start of another, from its text and from its data file alike:
// both give the same heights, the same CRC-32, the same run; and a run that started so
// resumes to the run made in one go without the file.
TEST_F(KammelsimInitial, EndOfOneRunStartsAnotherFromTextOrDataFile) {
  for (const Args& model : kModels) {
    SCOPED_TRACE(model[2]);
    const std::string text = Path("end.txt"), data = Path("end.nc");
    auto run = Kammelsim(With(model, {"5", "--heights", text, "--netcdf", data, "--force"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string nc = data + ":5";
    for (const std::string& start : {text, nc}) {
      run = Kammelsim(With(model, {"0", "--initial", start, "--stats", Path("s.csv"), "--force"}));
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.out, Slurp(text)) << start;
      const std::string line = LineOf(Slurp(Path("s.csv")), "# Initial: ");
      EXPECT_NE(line.find(start + " (CRC-32 "), std::string::npos) << line;
    }
    // Both name the same heights: their CRC-32s agree.
    const auto crc = [&](const std::string& start) {
      Kammelsim(With(model, {"0", "--initial", start, "--stats", Path("c.csv"), "--force"}));
      const std::string line = LineOf(Slurp(Path("c.csv")), "# Initial: ");
      return line.substr(line.rfind(' ') + 1);
    };
    EXPECT_EQ(crc(text), crc(nc));

    const std::string stats = Path("w.csv");
    run = Kammelsim(With(model, {"9", "--initial", text, "--stats", stats, "--force"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string whole = run.out, wholeRows = DataRows(Slurp(Path("w.csv")));
    EXPECT_NE(whole, Slurp(text));
    const std::string checkpoint = Path("c.ck");
    run = Kammelsim(With(
        model, {"6", "--initial", text, "--stats", stats, "--force", "--checkpoint", checkpoint}));
    ASSERT_EQ(run.status, 0) << run.err;
    fs::remove(text);  // the checkpoint holds the heights
    const std::string_view unit = model.back();
    run = Kammelsim({"resume", checkpoint, unit, "9"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, whole);
    EXPECT_EQ(DataRows(Slurp(Path("w.csv"))), wholeRows);
    EXPECT_NE(LineOf(Slurp(Path("w.csv")), "# Initial: "), "");
  }
}

// Whatever a file holds, a run that cannot start from it says why in one line, status 2.
TEST_F(KammelsimInitial, HostileInitialFilesAreRefused) {
  const Args bed = {"bed", "--length", "3", "--width", "2", "--seed", "1", "--initial"};
  const Args profile = {"profile", "--width", "3", "--initial"};
  const std::string good = "1 2 3\n4 5 6\n7 8 9\n1 1 1\n";
  ASSERT_EQ(Kammelsim({"bed", "--length", "3", "--width", "2", "--every", "1", "--batches", "2",
                       "--netcdf", Path("run.nc"), "--seed", "1"})
                .status,
            0);
  const std::string nc = Slurp(Path("run.nc"));
  // The same file with its heights under another name, as another program's file has them.
  std::string foreign = nc;
  const std::size_t name = foreign.find(std::string("\0\0\0\x06height", 10));
  ASSERT_NE(name, std::string::npos);
  foreign[name + 4] = 'w';
  struct Case {
    const char* name;
    std::string bytes;  ///< the file's content; "" with no file made
    const char* given;  ///< what --initial names, below the folder
    bool isProfile;
    const char* message;
  } cases[] = {
      {"missing", "", "none.txt", false, "cannot read"},
      {"empty", "\n", "f", false, "no heights"},
      {"a row short", "1 2 3\n4 5 6\n7 8 9\n", "f", false,
       "3 rows of 3 cells, where the bed has 4"},
      {"a column short", "1 2 3\n4 5\n7 8 9\n1 1 1\n", "f", false, "line 2, column 1: 2 heights"},
      {"a row", "1 2 3\n", "f", false, "1 row of 3 cells, where the bed has 4 rows of 3 cells"},
      {"a column", "1\n2\n3\n4\n", "f", false, "4 rows of 1 cell, where"},
      {"a cell", "1\n", "f", true, "1 cell, where the profile has 4 cells"},
      {"a blank line between rows", "1 2 3\n\n4 5 6\n7 8 9\n1 1 1\n", "f", false,
       "line 2, column 1: the line is empty"},
      {"a blank line first", "\n1 2 3\n4 5 6\n7 8 9\n1 1 1\n", "f", false,
       "line 1, column 1: the line is empty"},
      {"blank lines only", "\n \n\t\n", "f", false, "no heights"},
      {"nan", "1 2 3\n4 nan 6\n7 8 9\n1 1 1\n", "f", false, "line 2, column 3: not a height"},
      {"a fraction", "1 2 3\n4 5.5 6\n7 8 9\n1 1 1\n", "f", false, "not a height"},
      {"beyond 32 bits", "1 2 3\n4 99999999999 6\n7 8 9\n1 1 1\n", "f", false,
       "line 2, column 3: out of range (heights lie in -2147483648..2147483647)"},
      {"below 0", "1 2 3\n4 -5 6\n7 8 9\n1 1 1\n", "f", false, "height -5 below 0 at row 1"},
      {"too much sand", "1 2 3\n4 20000 6\n7 8 9\n1 1 1\n", "f", false, "more than 12000"},
      {"a NUL", std::string("1 2 3\n4 \0 6\n", 12), "f", false, "not a height"},
      {"two lines for a profile", "1 2 3 4\n1 2 3 4\n", "f", true, "2 lines"},
      {"a data file without K", nc, "f", false, "name its snapshot"},
      {"a snapshot it lacks", nc, "f:7", false, "holds no snapshot at 7"},
      {"a data file of another shape", nc, "f:1", true, "holds snapshots of 4 x 3 heights"},
      {"another program's data file", foreign, "f:1", false,
       "its variables are not a kammelsim run's: it has no 'height'"},
      {"a data file cut in its header", nc.substr(0, 100), "f:1", false, "not a data file"},
      {"a data file cut in its records", nc.substr(0, nc.size() - 10), "f:2", false,
       "holds no snapshot at 2"},
      {"text named as a snapshot", good, "f:1", false, "not a data file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty()) Spill(Path("f"), c.bytes);
    Args args = c.isProfile ? profile : bed;
    const std::string given = Path(c.given);
    args.push_back(given);
    ExpectUsageFault(args, c.message);
    fs::remove(Path("f"));
  }
  // What is no regular file, or too large to be heights, is not read at all.
  fs::create_directory(Path("folder"));
  fs::create_symlink("/dev/zero", Path("zero"));
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  Spill(Path("huge"), "1");
  ASSERT_EQ(::truncate(Path("huge").c_str(), off_t{1} << 30), 0);
  for (const char* name : {"folder", "zero", "fifo", "folder:1", "zero:1", "fifo:1"})
    ExpectUsageFault(With(bed, {Path(name)}), "not a regular file");
  ExpectUsageFault(With(bed, {Path("huge")}), "larger than");
  ExpectUsageFault(With(bed, {Path("huge:1")}), "not a data file");
  ExpectUsageFault(With(bed, {""}), "--initial takes a file name");
  Spill(Path("f"), good);
  ExpectUsageFault(With(bed, {Path("f"), "--height", "3"}), "--height is for a flat start");
  EXPECT_EQ(Kammelsim(With(bed, {Path("f"), "--batches", "0"})).out, good);
  // Blank lines after the last row, as an editor leaves them, are no row.
  for (const std::string& end : {"\n", "\n\n", " \n\t\n  "}) {
    Spill(Path("f"), good + end);
    EXPECT_EQ(Kammelsim(With(bed, {Path("f"), "--batches", "0"})).out, good) << end.size();
    Spill(Path("f"), "1 2 3 4" + end);
    EXPECT_EQ(Kammelsim(With(profile, {Path("f"), "--steps", "0"})).out, "1 2 3 4\n");
  }
}

// A change of wind on resume runs on with the new wind, says so in the history, the statistics
// and the data file, and a run resumed with the change and then resumed again is the run
// resumed with the change in one go.
TEST_F(KammelsimInitial, ChangeOfWindOnResumeThenASecondResume) {
  for (const Args& model : kModels) {
    SCOPED_TRACE(model[2]);
    const std::string_view unit = model.back();
    const std::string what = unit == "--steps" ? "steps" : "batches";
    std::vector<std::string> outs;
    for (const std::string run : {"once", "twice", "unchanged"}) {
      fs::create_directories(folder_ / run);
      const std::string stats = Path(run + "/s.csv"), data = Path(run + "/d.nc"),
                        checkpoint = Path(run + "/c.ck");
      auto result = Kammelsim(
          With(model, {"6", "--stats", stats, "--netcdf", data, "--checkpoint", checkpoint}));
      ASSERT_EQ(result.status, 0) << result.err;
      if (run == "once") result = Kammelsim({"resume", checkpoint, "--wind", "7", unit, "12"});
      if (run == "unchanged") {
        // A resume with a change stopped before its checkpoint leaves no trace of it.
        fs::copy_file(checkpoint, checkpoint + ".kept");
        ASSERT_EQ(Kammelsim({"resume", checkpoint, "--wind", "7", unit, "9"}).status, 0);
        fs::copy_file(checkpoint + ".kept", checkpoint, fs::copy_options::overwrite_existing);
        result = Kammelsim({"resume", checkpoint, unit, "12"});
      }
      if (run == "twice") {
        result = Kammelsim({"resume", checkpoint, "--wind", "7.0", unit, "9"});
        ASSERT_EQ(result.status, 0) << result.err;
        result = Kammelsim({"resume", checkpoint, unit, "12"});
      }
      ASSERT_EQ(result.status, 0) << result.err;
      outs.push_back(result.out);
      if (run == "unchanged") {
        EXPECT_EQ(LineOf(Slurp(stats), "# Change"), "");
        EXPECT_EQ(GlobalText(data, "changes"), "");
        continue;
      }
      const std::string change = "at 6 " + what + ": wind=7 (was 5)";
      const std::string text = Slurp(stats);
      EXPECT_EQ(LineOf(text, "# Change"), "# Change: " + change);
      EXPECT_EQ(text.find("# Change"), text.rfind("# Change"));
      EXPECT_LT(text.find("\n6,"), text.find("# Change"));
      EXPECT_LT(text.find("# Change"), text.find("\n9,"));
      EXPECT_NE(text.find("(6 to " + std::string(run == "once" ? "12" : "9") + " " + what +
                          ") with wind=7 (was 5)"),
                std::string::npos);
      EXPECT_EQ(GlobalText(data, "changes"), change);
    }
    EXPECT_EQ(outs[0], outs[1]);
    EXPECT_NE(outs[0], outs[2]);
    EXPECT_EQ(DataRows(Slurp(Path("once/s.csv"))), DataRows(Slurp(Path("twice/s.csv"))));
    EXPECT_EQ(Heights(Path("once/d.nc")), Heights(Path("twice/d.nc")));
    // What a resume may not change, or cannot: the bed's size, a value out of range, a
    // complete run.
    ExpectUsageFault({"resume", Path("once/c.ck"), "--wind", "x", unit, "15"},
                     "--wind takes a finite real number");
    ExpectUsageFault({"resume", Path("once/c.ck"), "--q=-1", unit, "15"}, "--q takes");
    ExpectUsageFault({"resume", Path("once/c.ck"), "--width", "9", unit, "15"}, "--width");
    ExpectUsageFault({"resume", Path("once/c.ck"), "--wind", "9"}, "the run is complete");
    for (const std::string run : {"once", "twice", "unchanged"})
      fs::remove_all(folder_ / run);
  }
}

}  // namespace
