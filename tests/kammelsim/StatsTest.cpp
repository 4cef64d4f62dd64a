// kammelsim's statistics: the CSV of a run, and the stats command on the runner's own text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "kammelsim/input/HeightsText.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

using testing_kammelsim::Kammelsim;

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("kammelsim-stats-" + std::to_string(getpid()) + "-" + name))
      .string();
}

struct Csv {
  std::vector<std::string> comments, header;
  std::vector<std::vector<double>> rows;
};

Csv ReadCsv(const std::string& path) {
  Csv csv;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("#")) {
      csv.comments.push_back(line);
      continue;
    }
    std::vector<std::string> cells;
    std::stringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');)
      cells.push_back(cell);
    if (csv.header.empty()) {
      csv.header = cells;
      continue;
    }
    csv.rows.emplace_back();
    for (const std::string& cell : cells)
      csv.rows.back().push_back(std::strtod(cell.c_str(), nullptr));
  }
  return csv;
}

std::size_t Column(const Csv& csv, const std::string& name) {
  return static_cast<std::size_t>(std::find(csv.header.begin(), csv.header.end(), name) -
                                  csv.header.begin());
}

// Sand leaves the bed only into the array beyond it: the two always add up to the start's.
TEST(KammelsimStats, EverySnapshotAccountsForAllTheSand) {
  const std::vector<std::vector<std::string_view>> runs = {
      {"bed", "--settings", "map", "--seed", "11", "--batches", "12", "--every", "3"},
      {"bed", "--seed", "11", "--batches", "4", "--every", "1", "--length", "80", "--width", "30"},
      {"profile", "--seed", "11", "--steps", "60", "--every", "7"},
  };
  const std::string path = TempFile("run.csv");
  for (auto args : runs) {
    args.push_back("--stats");
    args.push_back(path);
    args.push_back("--force");  // one file for every run
    const auto run = Kammelsim(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const Csv csv = ReadCsv(path);
    ASSERT_EQ(csv.header.size(), args[0] == "bed" ? 19u : 18u);
    EXPECT_EQ(csv.header[0], args[0] == "bed" ? "batch" : "step");
    ASSERT_EQ(csv.comments.size(), 8u)
        << "version, command, seed, parameters, run, history, speed lag, units";
    const std::string units = csv.comments.back();
    EXPECT_EQ(units.rfind("# Units: ", 0), 0u) << units;
    EXPECT_EQ(std::count(units.begin(), units.end(), ','), std::ssize(csv.header) - 1) << units;
    const std::size_t sand = Column(csv, "sand"), outside = Column(csv, "sand_outside");
    ASSERT_GE(csv.rows.size(), 4u);
    const double total = csv.rows[0][sand];
    EXPECT_EQ(csv.rows[0][outside], 0);
    for (const auto& row : csv.rows)
      EXPECT_EQ(row[sand] + row[outside], total) << "at " << row[0];
    EXPECT_GT(csv.rows.back()[outside], 0) << "some sand has left the bed";
  }
  std::remove(path.c_str());
}

TEST(KammelsimStats, StatisticsNeverChangeTheHeights) {
  const std::string path = TempFile("same.csv");
  const auto plain = Kammelsim({"bed", "--settings", "map", "--seed", "2", "--batches", "3"});
  const auto measured = Kammelsim({"bed", "--settings", "map", "--seed", "2", "--batches", "3",
                                   "--every", "1", "--stats", path});
  EXPECT_EQ(measured.out, plain.out);
  std::remove(path.c_str());
}

// The runner's own text in, one row out: a sine of period 40 over 400 cells.
TEST(KammelsimStats, TheStatsCommandReadsTheRunnersText) {
  const std::string now = TempFile("now.txt"), before = TempFile("before.txt");
  const auto write = [](const std::string& path, int shift) {
    std::ofstream out(path);
    for (int i = 0; i <= 400; ++i)
      out << (i ? " " : "") << std::lround(100 + 30 * std::sin(2 * M_PI * (i - shift) / 40));
    out << "\n";
  };
  write(before, 0);
  write(now, 2);
  const auto run = Kammelsim({"stats", now, "--previous", before, "--interval", "4"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::ofstream(TempFile("out.csv")) << run.out;
  const Csv csv = ReadCsv(TempFile("out.csv"));
  ASSERT_EQ(csv.rows.size(), 1u);
  EXPECT_DOUBLE_EQ(csv.rows[0][Column(csv, "wavelength_peak")], 40);
  EXPECT_NEAR(csv.rows[0][Column(csv, "speed")], 0.5, 0.02);
  EXPECT_TRUE(std::isnan(csv.rows[0][Column(csv, "sand_outside")]));
  for (const std::string& path : {now, before, TempFile("out.csv")})
    std::remove(path.c_str());
}

TEST(KammelsimStats, MalformedHeightsNameTheLineAndColumn) {
  const std::string path = TempFile("bad.txt");
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"1 2 3\n4 5\n", "line 2, column 1: 2 heights where line 1 has 3"},
      {"1 2 3\n4 x 6\n", "line 2, column 3: not a height"},
      {"1 2.5 3\n", "line 1, column 3: not a height"},
      {"", "line 1, column 1: no heights"},
      {"1 99999999999\n", "line 1, column 3: out of range"},
      {"2147483648 1\n", "line 1, column 1: out of range"},
  };
  for (const auto& c : cases) {
    std::ofstream(path) << c.text;
    const auto run = Kammelsim({"stats", path});
    EXPECT_EQ(run.status, 1) << c.text;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(Kammelsim({"stats", path, "--interval", "0"}).status, 2);
  EXPECT_EQ(Kammelsim({"stats", "/nonexistent/heights.txt"}).status, 1);
  std::remove(path.c_str());
}

}  // namespace

// A large bed's text read straight into columns holds what the text reader reads, or is left
// to it: never other heights.
TEST(KammelsimStats, ALargeBedReadIntoColumnsHoldsWhatTheTextSays) {
  std::string wide;  // 3 rows of 2100: more columns than are measured whole
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 2100; ++column)
      wide += std::to_string((row * 7 + column * 13) % 50 - (column == 5 ? 3 : 0)) + " ";
    wide.back() = '\n';
  }
  const std::string ragged = wide.substr(0, wide.size() - 3) + "\n";
  std::string tall;  // lines that cross the pieces a file is read in
  for (int copy = 0; copy < 150; ++copy)
    tall += wide;
  const struct {
    std::string text;
    bool read;
  } cases[] = {
      {wide, true},
      {wide.substr(0, wide.size() - 1), true},          // no last newline
      {"+4\t\r " + wide.substr(2), true},               // signs and blanks as strtoll takes them
      {"\f" + wide, false},                             // blanks strtoll alone skips
      {ragged, false},                                  // a short last line
      {wide + "\n", false},                             // an empty line
      {wide.substr(0, wide.find('\n')) + "\n", false},  // one line: a profile
      {"2147483648 " + wide.substr(2), false},          // beyond 4 bytes
      {std::string("1\0", 2) + wide.substr(1), false},  // a NUL
      {"7" + wide.substr(wide.find(' ')), true},
      {tall, true},
      {tall.substr(0, tall.size() - 1), true},
      {tall + "1", false},
      {tall.substr(0, tall.size() / 2) + "x" + tall.substr(tall.size() / 2), false},
  };
  const std::string path = testing::TempDir() + "kammelsim-large-bed-" + std::to_string(getpid());
  for (const auto& c : cases) {
    const std::optional<kammelsim::HeightsColumns> large = kammelsim::ReadLargeBed(c.text);
    EXPECT_EQ(large.has_value(), c.read) << c.text.substr(0, 20);
    // Read from a file a piece at a time, it is the same.
    std::ofstream(path, std::ios::binary) << c.text;
    const std::optional<kammelsim::HeightsColumns> streamed =
        kammelsim::ReadLargeBedFile(path, c.text.size(), 0);
    EXPECT_EQ(streamed.has_value(), c.read) << c.text.substr(0, 20);
    if (!large || !streamed) continue;
    const kammelsim::HeightsText text = kammelsim::ReadHeightsText(c.text);
    ASSERT_TRUE(text.error.empty());
    EXPECT_EQ(large->cells, kammelsim::ColumnsOf(text.snapshot).cells);
    EXPECT_EQ(streamed->cells, large->cells);
    EXPECT_EQ(large->rows, text.snapshot.rows);
  }
  EXPECT_FALSE(kammelsim::ReadLargeBedFile(path, 1000, 0)) << "larger than the limit";
  EXPECT_FALSE(kammelsim::ReadLargeBedFile(path, 1u << 30)) << "too small to stream";
  std::remove(path.c_str());
}
