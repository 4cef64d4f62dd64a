// kammelsim's schedules: each output's snapshots, logarithmic ones, resumed stretches, speed
// against the heights a lag before, checkpoints on the clock, and totals beyond 32 bits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kammelsim/io/Bytes.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/Snapshots.h"
#include "tests/kammelsim/CapturedRun.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kammelsim::Schedule;
using testing_kammelsim::Kammelsim;
using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;
using Batches = std::vector<std::int64_t>;

using Schedules = testing_kammelsim::FolderTest;

// The CSV's rows by their first column, without the provenance.
std::map<std::int64_t, std::string> Rows(const std::string& path) {
  std::map<std::int64_t, std::string> rows;
  std::istringstream lines(Slurp(path));
  std::string line;
  while (std::getline(lines, line) && line.starts_with('#')) {
  }
  while (std::getline(lines, line)) {
    if (!line.starts_with('#')) rows[std::stoll(line.substr(0, line.find(',')))] = line;
  }
  return rows;
}

Batches Keys(const std::map<std::int64_t, std::string>& rows) {
  Batches keys;
  for (const auto& [done, row] : rows)
    keys.push_back(done);
  return keys;
}

// The data file's time variable, which must be 64 bits wide.
Batches Times(const std::string& path) {
  int id = -1, variable = -1;
  nc_type type = NC_NAT;
  std::size_t records = 0;
  Batches times;
  if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return times;
  int dimension = -1;
  nc_inq_varid(id, "time", &variable);
  nc_inq_vartype(id, variable, &type);
  nc_inq_dimid(id, "time", &dimension);
  nc_inq_dimlen(id, dimension, &records);
  times.resize(records);
  if (type != NC_INT64 ||
      (records > 0 &&
       nc_get_var_longlong(id, variable, reinterpret_cast<long long*>(times.data())) != NC_NOERR))
    times = {-1};
  nc_close(id);
  return times;
}

Batches Frames(const fs::path& folder) {
  Batches frames;
  for (const auto& entry : fs::directory_iterator(folder))
    frames.push_back(std::stoll(entry.path().stem().string().substr(6)));
  std::sort(frames.begin(), frames.end());
  return frames;
}

Batches Union(Batches a, const Batches& b) {
  a.insert(a.end(), b.begin(), b.end());
  std::sort(a.begin(), a.end());
  a.erase(std::unique(a.begin(), a.end()), a.end());
  return a;
}

// Each output on its schedule, run whole and in stretches: the stretched run has the ends of
// its stretches besides, and every row both have is the same, speed included.
TEST_F(Schedules, EachOutputTakesItsOwnSnapshotsAlsoWhenResumed) {
  const struct {
    std::vector<std::string_view> schedule;
    Batches stats, netcdf, frames, stretches;
  } cases[] = {
      {{"--every", "4"}, {0, 4, 8, 10}, {0, 4, 8, 10}, {0, 4, 8, 10}, {3, 7}},
      {{"--every", "log:10"},
       {0, 1, 2, 3, 4, 5, 6, 8, 10},
       {0, 1, 2, 3, 4, 5, 6, 8, 10},
       {0, 1, 2, 3, 4, 5, 6, 8, 10},
       {7}},
      {{"--every", "5", "--stats-every", "log:4", "--netcdf-every", "3", "--frames-every", "7"},
       {0, 1, 2, 3, 6, 10},
       {0, 3, 6, 9, 10},
       {0, 7, 10},
       {4, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.schedule[1]);
    std::map<std::string, std::map<std::int64_t, std::string>> stats;
    for (const std::string run : {"whole", "parts"}) {
      const fs::path folder = folder_ / run;
      fs::create_directories(folder);
      std::vector<std::string_view> args = {"bed", "--length", "30", "--width", "8", "--seed", "6"};
      args.insert(args.end(), c.schedule.begin(), c.schedule.end());
      const std::string csv = (folder / "s.csv").string(), nc = (folder / "d.nc").string(),
                        frames = (folder / "f").string(), ck = (folder / "c.ck").string(),
                        first = std::to_string(run == "whole" ? 10 : c.stretches.front());
      args.insert(args.end(), {"--batches", first, "--stats", csv, "--netcdf", nc, "--frames",
                               frames, "--canvas", "16x16", "--checkpoint", ck});
      auto made = Kammelsim(args);
      ASSERT_EQ(made.status, 0) << made.err;
      if (run == "parts") {
        for (std::size_t n = 1; n <= c.stretches.size(); ++n) {
          const std::string to = n < c.stretches.size() ? std::to_string(c.stretches[n]) : "10";
          made = Kammelsim({"resume", ck, "--batches", to});
          ASSERT_EQ(made.status, 0) << made.err;
        }
      }
      const Batches ends = run == "whole" ? Batches{} : c.stretches;
      stats[run] = Rows(csv);
      EXPECT_EQ(Keys(stats[run]), Union(c.stats, ends)) << run;
      EXPECT_EQ(Times(nc), Union(c.netcdf, ends)) << run;
      EXPECT_EQ(Frames(frames), Union(c.frames, ends)) << run;
      Spill((folder / "out.txt").string(), made.out);
    }
    for (const auto& [done, row] : stats["parts"]) {
      if (stats["whole"].contains(done)) EXPECT_EQ(row, stats["whole"][done]);
    }
    EXPECT_EQ(Slurp(Path("whole/out.txt")), Slurp(Path("parts/out.txt")));
    fs::remove_all(folder_ / "whole");
    fs::remove_all(folder_ / "parts");
  }
}

// A column of the row `kammelsim stats` prints, or of a statistics file's row.
std::string Field(const std::string& header, const std::string& row, const std::string& name) {
  std::istringstream names(header), values(row);
  for (std::string n, v; std::getline(names, n, ',') && std::getline(values, v, ',');) {
    if (n == name) return v;
  }
  return "?";
}

std::string HeaderOf(const std::string& path) {
  std::istringstream lines(Slurp(path));
  std::string line;
  while (std::getline(lines, line) && line.starts_with('#')) {
  }
  return line;
}

// Speed and its correlation at a sparse interval are those `kammelsim stats --previous` gives
// for the heights the lag before (every: the snapshot before, as runs before the lag did).
TEST_F(Schedules, SpeedComparesWithTheHeightsItsLagBefore) {
  const std::vector<std::string_view> bed = {"bed",     "--settings", "map",    "--length", "60",
                                             "--width", "20",         "--seed", "2"};
  const auto heights = [&](std::int64_t batches) {
    auto args = bed;
    const std::string total = std::to_string(batches), file = Path("h" + total + ".txt");
    args.insert(args.end(), {"--batches", total, "--heights", file, "--force"});
    EXPECT_EQ(Kammelsim(args).status, 0);
    return file;
  };
  for (const auto& [lag, back] : {std::pair{"1", 1}, {"4", 4}, {"every", 10}}) {
    SCOPED_TRACE(lag);
    auto args = bed;
    const std::string csv = Path(std::string("s-") + lag + ".csv");
    args.insert(args.end(),
                {"--batches", "20", "--stats-every", "10", "--stats", csv, "--speed-lag", lag});
    ASSERT_EQ(Kammelsim(args).status, 0);
    EXPECT_NE(Slurp(csv).find(std::string("\n# Speed lag: ") + lag + "\n"), std::string::npos);
    const auto rows = Rows(csv);
    ASSERT_EQ(Keys(rows), (Batches{0, 10, 20}));
    for (const std::int64_t t : {10, 20}) {
      const std::string before = heights(t - back), now = heights(t);
      const auto stats =
          Kammelsim({"stats", now, "--previous", before, "--interval", std::to_string(back)});
      ASSERT_EQ(stats.status, 0) << stats.err;
      const std::string header = stats.out.substr(0, stats.out.find('\n'));
      const std::string row =
          stats.out.substr(header.size() + 1, stats.out.size() - header.size() - 2);
      for (const char* name : {"speed", "speed_correlation"}) {
        EXPECT_EQ(Field(HeaderOf(csv), rows.at(t), name), Field(header, row, name))
            << name << " at " << t;
      }
    }
  }
}

// A checkpoint written before the lag existed goes on comparing with the snapshot before.
TEST_F(Schedules, AnOlderCheckpointResumesWithTheLagItRanWith) {
  const std::vector<std::string_view> run = {"profile", "--width", "200", "--seed",
                                             "3",       "--every", "5"};
  const std::string e = Path("e.csv"), o = Path("o.csv"), ck = Path("o.ck");
  auto args = run;
  args.insert(args.end(), {"--steps", "20", "--speed-lag", "every", "--stats", e});
  ASSERT_EQ(Kammelsim(args).status, 0);
  args = run;
  args.insert(args.end(), {"--steps", "10", "--stats", o, "--checkpoint", ck});
  ASSERT_EQ(Kammelsim(args).status, 0);
  // The same bytes as format 3 wrote them: only the format and the checksum differ.
  std::string bytes = Slurp(Path("o.ck"));
  bytes[8] = 3;
  const std::uint32_t crc =
      kammelsim::io::Crc32(std::string_view(bytes).substr(0, bytes.size() - 4));
  for (int n = 0; n < 4; ++n)
    bytes[bytes.size() - 4 + n] = static_cast<char>(crc >> (8 * n));
  Spill(Path("o.ck"), bytes);
  const auto resumed = Kammelsim({"resume", Path("o.ck"), "--steps", "20"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  const auto older = Rows(Path("o.csv")), every = Rows(Path("e.csv"));
  for (const std::int64_t t : {15, 20})
    EXPECT_EQ(older.at(t), every.at(t)) << t;
}

class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    args.insert(args.begin(), KAMMELSIM);
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, KAMMELSIM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { Kill(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  bool Running() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) != 0) pid_ = -1;
    return pid_ > 0;
  }

 private:
  pid_t pid_ = -1;
};

// A run whose snapshots lie far apart, killed outright: its checkpoints came on the clock, so
// what is lost is at most an interval, and the resume ends as the run made in one go. A total
// of 10^12 batches, beyond 32 bits, is a run like any other.
TEST_F(Schedules, SigkillLosesAnIntervalNotTheRunBetweenSparseSnapshots) {
  const std::vector<std::string> run = {"bed", "--settings", "map",       "--length",
                                        "40",  "--width",    "10",        "--seed",
                                        "4",   "--every",    "1000000000"};
  auto args = run;
  args.insert(args.end(), {"--batches", "1000000000000", "--checkpoint-interval", "1",
                           "--checkpoint", Path("k/c.ck"), "--stats", Path("k/s.csv")});
  fs::create_directories(folder_ / "k");
  Child child(args);
  kammelsim::CheckpointData data;
  std::string error;
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (std::chrono::steady_clock::now() < until && child.Running() &&
         !(kammelsim::ReadCheckpoint(Path("k/c.ck"), data, error) && data.done > 0))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  child.Kill();
  ASSERT_TRUE(kammelsim::ReadCheckpoint(Path("k/c.ck"), data, error)) << error;
  ASSERT_GT(data.done, 0) << "no checkpoint between the snapshots";
  EXPECT_LT(data.done, 1'000'000'000);
  EXPECT_EQ(data.total, 1'000'000'000'000);
  const std::string end = std::to_string(data.done + 3);
  const auto resumed = Kammelsim({"resume", Path("k/c.ck"), "--batches", end});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  std::vector<std::string_view> whole(run.begin(), run.end());
  const std::string stats = Path("w.csv");
  whole.insert(whole.end(), {"--batches", end, "--stats", stats});
  const auto made = Kammelsim(whole);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(resumed.out, made.out);
  EXPECT_EQ(Rows(Path("k/s.csv")), Rows(Path("w.csv")));
}

// Schedules and the checkpoint count past 2^32 as they count below it.
TEST(SchedulesBeyond32Bits, CountAndRecordLongRuns) {
  constexpr std::int64_t total = 5'000'000'000'000, big = (std::int64_t{1} << 33) + 7;
  const Schedule linear{1'000'000'000, 0}, log{1, 20};
  EXPECT_EQ(linear.Next(big, total), 9'000'000'000);
  EXPECT_EQ(linear.Count(total), 5001);
  EXPECT_TRUE(log.OnGrid(1'000'000'000'000));  // 10^(240/20)
  EXPECT_FALSE(log.OnGrid(1'000'000'000'001));
  EXPECT_EQ(log.Next(999'999'999'999, total), 1'000'000'000'000);
  EXPECT_EQ(log.Next(1'000'000'000'000, total), 1'122'018'454'302);  // 10^(241/20)
  EXPECT_EQ(log.Next(4'999'999'999'999, total), total);
  // Each point once however dense: log:1000 rounds its first 177 points to 1.
  EXPECT_EQ(Schedule({1, 1000}).CountUpTo(2), 3);
  kammelsim::CheckpointData data, back;
  data.command = "bed";
  data.runId = std::string(32, 'a');
  data.done = big;
  data.total = total;
  data.stats.previousDone = big - 1;
  std::string why;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(kammelsim::EncodeCheckpoint(data), back, why)) << why;
  EXPECT_EQ(back.done, big);
  EXPECT_EQ(back.total, total);
  EXPECT_EQ(back.stats.previousDone, big - 1);
}

}  // namespace
