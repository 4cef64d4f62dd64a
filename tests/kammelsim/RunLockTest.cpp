// One process per run, whatever names its files have, and nothing that hangs a run: each case
// runs kammelsim as a process of its own, with a deadline that fails the test, never hangs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kammelsim/io/Faults.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/Interrupts.h"
#include "tests/kammelsim/CapturedRun.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_kammelsim::Kammelsim;
using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;

// Generous: a busy machine, or a sanitized build, is slow; a hang is not.
constexpr auto kDeadline = 90s;

// kammelsim as a process of its own, its stderr in a file; killed if it outlives the test.
class Child {
 public:
  Child(std::vector<std::string> args, const fs::path& err) : err_(err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    args.insert(args.begin(), KAMMELSIM);
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, KAMMELSIM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (!status_ && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  /// The exit status (128 + signal for one it died of), or nothing at the deadline.
  std::optional<int> Wait() {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (!Ended() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(10ms);
    return status_;
  }
  /// Whether, before the deadline and while it runs, what it says comes to hold text.
  bool Says(const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (Err().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until || Ended()) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
  void Signal(int signal) const { kill(pid_, signal); }
  bool Running() { return !Ended(); }
  std::string Err() const { return Slurp(err_); }

 private:
  // One look, without waiting.
  bool Ended() {
    int raw = 0;
    if (!status_ && pid_ > 0 && waitpid(pid_, &raw, WNOHANG) == pid_)
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status_.has_value() || pid_ <= 0;
  }

  fs::path err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

using RunLock = testing_kammelsim::FolderTest;

std::vector<std::string> Profile(const fs::path& run, int steps) {
  return {"profile",
          "--width",
          "60",
          "--seed",
          "5",
          "--every",
          "10",
          "--checkpoint-interval",
          "0",
          "--steps",
          std::to_string(steps),
          "--stats",
          (run / "s.csv").string(),
          "--netcdf",
          (run / "d.nc").string(),
          "--checkpoint",
          (run / "run.ck").string()};
}

testing_kammelsim::CapturedRun InProcess(const std::vector<std::string>& words) {
  return Kammelsim(std::vector<std::string_view>(words.begin(), words.end()));
}

// The statistics' rows without the provenance.
std::vector<std::string> Rows(const fs::path& path) {
  std::vector<std::string> rows;
  std::string all = Slurp(path);
  for (std::size_t at = 0, end; at < all.size(); at = end + 1) {
    end = std::min(all.find('\n', at), all.size());
    if (all[at] != '#') rows.push_back(all.substr(at, end - at));
  }
  return rows;
}

// While a resume runs, a second one through another name of its checkpoint, a copy of it in
// the folder, or with every lock file removed is refused at once, and so is a new run told to
// replace a file it appends to; the first ends as if alone.
TEST_F(RunLock, OneProcessPerRunWhateverItsNames) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run);
  ASSERT_EQ(InProcess(Profile(run, 20)).status, 0);
  fs::create_hard_link(run / "run.ck", run / "other.ck");
  fs::copy_file(run / "run.ck", run / "backup.ck");
  Child first({"resume", (run / "run.ck").string(), "--steps", "1000000"}, folder_ / "first.err");
  ASSERT_TRUE(first.Says("appending to")) << first.Err();
  const auto resume = [&run](const char* checkpoint) {
    return std::vector<std::string>{"resume", (run / checkpoint).string(), "--steps", "2000"};
  };
  const auto replacing = [&run](const char* option, const char* name) {
    return std::vector<std::string>{
        "profile", "--seed", "1", "--steps", "5", option, (run / name).string(), "--force"};
  };
  const struct {
    const char* name;
    std::vector<std::string> second;
    bool removeLocks;
  } cases[] = {
      {"the same name", resume("run.ck"), false},
      {"a second name (a hard link)", resume("other.ck"), false},
      {"a copy beside it", resume("backup.ck"), false},
      {"a copy, every lock file removed", resume("backup.ck"), true},
      {"the same name, every lock file removed", resume("run.ck"), true},
      {"a new run replacing its statistics", replacing("--stats", "s.csv"), false},
      {"a new run replacing its data file", replacing("--netcdf", "d.nc"), false},
      {"a new run writing its statistics over the data file", replacing("--stats", "d.nc"), true},
  };
  for (const auto& c : cases) {
    for (const char* lock :
         {".run.ck.lock", ".other.ck.lock", ".backup.ck.lock", ".kammelsim.lock"})
      if (c.removeLocks) fs::remove(run / lock);
    const auto second = InProcess(c.second);
    EXPECT_EQ(second.status, 1) << c.name << ": " << second.err;
    EXPECT_NE(second.err.find("is in use by another kammelsim run or resume"), std::string::npos)
        << c.name << ": " << second.err;
    EXPECT_EQ(std::count(second.err.begin(), second.err.end(), '\n'), 1) << second.err;
  }
  first.Signal(SIGTERM);
  ASSERT_EQ(first.Wait(), 143) << first.Err();
  kammelsim::CheckpointData stopped;
  std::string error;
  ASSERT_TRUE(kammelsim::ReadCheckpoint((run / "run.ck").string(), stopped, error)) << error;
  const fs::path alone = folder_ / "alone";
  fs::create_directories(alone);
  ASSERT_EQ(InProcess(Profile(alone, static_cast<int>(stopped.done))).status, 0);
  const auto rows = Rows(run / "s.csv"), expected = Rows(alone / "s.csv");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(stopped.done / 10 + 2)) << "header and rows";
  EXPECT_TRUE(std::equal(rows.begin(), rows.end(), expected.begin())) << "rows lost or spliced";
}

// No other run takes a running run's outputs: any of its names, --force or not, or a file in
// its frame folder; and no output takes a lock file's name, a device or a link to one, or a
// checkpoint's link, whose next checkpoint would split the run in two.
TEST_F(RunLock, NoOutputIsAnotherRunsOrNotAFile) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run);
  std::vector<std::string> words = Profile(run, 20);
  words.insert(words.end(), {"--heights", (run / "h.txt").string(), "--png",
                             (run / "p.png").string(), "--frames", (run / "fr").string()});
  ASSERT_EQ(InProcess(words).status, 0);
  Child first({"resume", (run / "run.ck").string(), "--steps", "1000000"}, folder_ / "first.err");
  ASSERT_TRUE(first.Says("appending to")) << first.Err();
  const auto newRun = [&run](const char* option, const char* name, bool force) {
    std::vector<std::string> w = {
        "profile", "--seed", "1", "--steps", "5", option, (run / name).string()};
    if (force) w.push_back("--force");
    return w;
  };
  const fs::path device = folder_ / "null";
  const bool devices = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  fs::create_symlink("/dev/null", folder_ / "to-null");
  fs::create_symlink(run / "run.ck", folder_ / "link.ck");
  // A stream sent to a file, as a batch system's log: --force must not replace its link.
  const int stream = ::open((folder_ / "log.txt").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(stream, 0);
  fs::create_symlink("/proc/self/fd/" + std::to_string(stream), folder_ / "to-stream");
  fs::create_symlink("to-stream", folder_ / "to-to-stream");
  const struct {
    const char* name;
    std::vector<std::string> second;
    int status;
    const char* says;
  } cases[] = {
      {"its heights", newRun("--heights", "h.txt", false), 1, "is in use by another"},
      {"its picture, forced", newRun("--png", "p.png", true), 1, "is in use by another"},
      {"its frame folder", newRun("--frames", "fr", true), 1, "is in use by another"},
      {"a file in its frame folder", newRun("--png", "fr/frame-000010.png", true), 1,
       "is in use by another"},
      {"its folder's lock file", newRun("--stats", ".kammelsim.lock", true), 2,
       "keeps for its locks"},
      {"a link to a device", newRun("--stats", "../to-null", true), 2, "leads to a device"},
      {"a device", newRun("--stats", "../null", true), 2, "is a device"},
      {"a stream's link", newRun("--heights", "../to-stream", false), 2, "open file"},
      {"a stream's link, forced", newRun("--heights", "../to-stream", true), 2, "open file"},
      {"a link to a stream's link", newRun("--stats", "../to-to-stream", true), 2, "open file"},
      {"the checkpoint through a link",
       {"resume", (folder_ / "link.ck").string()},
       1,
       "is a link to"},
  };
  for (const auto& c : cases) {
    if (!devices && c.status == 2 && std::string(c.says) == "is a device") continue;
    const auto second = InProcess(c.second);
    EXPECT_EQ(second.status, c.status) << c.name << ": " << second.err;
    EXPECT_NE(second.err.find(c.says), std::string::npos) << c.name << ": " << second.err;
  }
  EXPECT_TRUE(fs::is_symlink(folder_ / "to-null"));
  EXPECT_TRUE(fs::is_symlink(folder_ / "to-stream") && fs::is_symlink(folder_ / "to-to-stream"));
  EXPECT_EQ(fs::file_size(folder_ / "log.txt"), 0u) << "written through a stream's link";
  ::close(stream);
  if (devices) EXPECT_TRUE(fs::is_character_file(device));
  first.Signal(SIGTERM);
  ASSERT_EQ(first.Wait(), 143) << first.Err();
  const auto resumed = InProcess({"resume", (run / "run.ck").string(), "--steps", "2000"});
  EXPECT_EQ(resumed.status, 0) << "the frame folder was left as the run's: " << resumed.err;
}

// A new run refused before it began leaves no lock file under its checkpoint's name; one that
// began, or whose checkpoint is there already, keeps it.
TEST_F(RunLock, ARefusedRunLeavesNoLockFileBehind) {
  Spill(Path("s.csv"), "x");
  const std::string lock = Path(".new.ck.lock");
  const std::vector<std::string> run = {"profile", "--steps", "5", "--checkpoint", Path("new.ck")};
  const struct {
    const char* name;
    std::vector<std::string> more;
    bool kept;
  } cases[] = {
      {"an output that exists", {"--stats", Path("s.csv")}, false},
      {"a device", {"--stats", "/dev/null"}, false},
      {"two outputs of one name", {"--stats", Path("t.csv"), "--netcdf", Path("t.csv")}, false},
      {"a run that began", {}, true},
      {"its checkpoint there already", {}, true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words = run;
    words.insert(words.end(), c.more.begin(), c.more.end());
    const int status = c.kept && !fs::exists(Path("new.ck")) ? 0 : 2;
    const auto made = InProcess(words);
    EXPECT_EQ(made.status, status) << c.name << made.err;
    EXPECT_EQ(fs::exists(lock), c.kept) << c.name;
  }
}

// A finished run continued further keeps the heights its first end wrote, as its own, until
// its new end replaces them: stopped on the way, or failing as it writes them after its last
// checkpoint, it resumes and ends as the run made in one go.
TEST_F(RunLock, AFinishedRunContinuedFurtherResumesAfterAStop) {
  const auto withHeights = [](const fs::path& at, std::int64_t steps) {
    fs::create_directories(at);
    std::vector<std::string> words = Profile(at, static_cast<int>(steps));
    words.insert(words.end(), {"--heights", (at / "h.txt").string()});
    return InProcess(words);
  };
  const fs::path run = folder_ / "run", failed = folder_ / "failed";
  ASSERT_EQ(withHeights(run, 20).status, 0);
  ASSERT_EQ(withHeights(failed, 20).status, 0);
  Child further({"resume", (run / "run.ck").string(), "--steps", "1000000"}, folder_ / "err");
  // Stopped only once the stretch has begun: two snapshots past the first end.
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (Rows(run / "s.csv").size() < 6 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(10ms);
  further.Signal(SIGINT);
  ASSERT_EQ(further.Wait(), 130) << further.Err();
  kammelsim::CheckpointData stopped;
  std::string error;
  ASSERT_TRUE(kammelsim::ReadCheckpoint((run / "run.ck").string(), stopped, error)) << error;
  ASSERT_GT(stopped.done, 20) << further.Err();
  const std::string total = std::to_string(stopped.done + 10);
  const auto again = InProcess({"resume", (run / "run.ck").string(), "--steps", total});
  ASSERT_EQ(again.status, 0) << again.err;

  kammelsim::io::ClearFaults();
  kammelsim::io::FailChange("h.txt", kammelsim::io::Change::Rename, 1, EIO);
  const auto broken = InProcess({"resume", (failed / "run.ck").string(), "--steps", total});
  kammelsim::io::ClearFaults();
  ASSERT_EQ(broken.status, 1) << broken.err;
  const auto complete = InProcess({"resume", (failed / "run.ck").string()});
  ASSERT_EQ(complete.status, 0) << complete.err;

  const fs::path alone = folder_ / "alone";
  ASSERT_EQ(withHeights(alone, stopped.done + 10).status, 0);
  for (const fs::path& folder : {run, failed}) {
    EXPECT_EQ(Slurp(folder / "h.txt"), Slurp(alone / "h.txt")) << folder;
    EXPECT_EQ(Rows(folder / "s.csv"), Rows(alone / "s.csv")) << folder;
  }
}

// A run with nothing it appends to (its heights and picture come whole at its end) holds its
// id in its folder all the same: a copy of its checkpoint, its lock files removed, is refused.
TEST_F(RunLock, ACopyIsTheSameRunWithoutFilesToLock) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run);
  const std::vector<std::string> words = {"profile",
                                          "--width",
                                          "60",
                                          "--seed",
                                          "5",
                                          "--steps",
                                          "1000000",
                                          "--checkpoint",
                                          (run / "run.ck").string(),
                                          "--heights",
                                          (run / "h.txt").string()};
  Child first(words, folder_ / "first.err");
  const auto checkpointed = [&] { return fs::exists(run / "run.ck"); };
  for (auto until = std::chrono::steady_clock::now() + kDeadline;
       !checkpointed() && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(checkpointed()) << first.Err();
  fs::copy_file(run / "run.ck", run / "copy.ck");
  for (const char* lock : {".run.ck.lock", ".kammelsim.lock"})
    fs::remove(run / lock);
  const auto second = Kammelsim({"resume", (run / "copy.ck").string()});
  EXPECT_EQ(second.status, 1) << second.err;
  EXPECT_NE(second.err.find("is in use by another kammelsim run or resume"), std::string::npos)
      << second.err;
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(), 143) << first.Err();
}

// An output that would block, or a recorded length beyond what the run can have written, is
// refused with one line, before a byte of it is read.
TEST_F(RunLock, NothingHangsAResume) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run);
  ASSERT_EQ(InProcess(Profile(run, 20)).status, 0);
  const std::string good = Slurp(run / "run.ck");
  kammelsim::CheckpointData data;
  std::string error;
  ASSERT_TRUE(kammelsim::DecodeCheckpoint(good, data, error)) << error;
  const auto crafted = [&](auto change) {
    kammelsim::CheckpointData copy = data;
    change(copy);
    return kammelsim::EncodeCheckpoint(copy);
  };
  const auto fifo = [&run](const char* name) {
    fs::rename(run / name, run / (std::string(name) + ".kept"));
    mkfifo((run / name).c_str(), 0644);
  };
  const struct {
    const char* name;
    std::function<void()> damage;
    std::string message;
  } cases[] = {
      {"a FIFO for the data file", [&] { fifo("d.nc"); }, "d.nc' is a FIFO"},
      {"/dev/zero for the statistics",
       [&] {
         fs::rename(run / "s.csv", run / "s.csv.kept");
         fs::create_symlink("/dev/zero", run / "s.csv");
       },
       "s.csv' is a symbolic link"},
      {"a recorded length of 2^62",
       [&] {
         Spill(run / "run.ck", crafted([](auto& d) { d.statsBytes = std::int64_t{1} << 62; }));
       },
       "it records 4611686018427387904 bytes of statistics, more than"},
      {"no record where the data file holds three",
       [&] { Spill(run / "run.ck", crafted([](auto& d) { d.netcdfRecords = 0; })); },
       "it records 0 snapshots in the data file"},
      {"a FIFO for the checkpoint", [&] { fifo("run.ck"); }, "run.ck': not a regular file"},
  };
  for (const auto& c : cases) {
    c.damage();
    Child resume({"resume", (run / "run.ck").string(), "--steps", "40"}, folder_ / "err");
    EXPECT_EQ(resume.Wait(), 1) << c.name << ": " << resume.Err();
    EXPECT_NE(resume.Err().find(c.message), std::string::npos) << c.name << ": " << resume.Err();
    for (const char* name : {"d.nc", "s.csv", "run.ck"}) {
      if (!fs::exists(run / (std::string(name) + ".kept"))) continue;
      fs::remove(run / name);
      fs::rename(run / (std::string(name) + ".kept"), run / name);
    }
    Spill(run / "run.ck", good);
  }
}

// A lock file is only ever a regular file the runner made: a FIFO, device or link planted
// under its name, whose open could wait, act or lead elsewhere, is replaced, never opened.
TEST_F(RunLock, LockFilesPlantedAsOtherKindsAreReplaced) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run);
  ASSERT_EQ(InProcess(Profile(run, 20)).status, 0);
  Spill(folder_ / "victim", "precious");
  const struct {
    const char* name;
    std::function<int(const char*)> plant;
  } cases[] = {
      {"a FIFO", [](const char* path) { return mkfifo(path, 0644); }},
      {"a device", [](const char* path) { return mknod(path, S_IFCHR | 0644, makedev(1, 5)); }},
      {"a link out of the folder",
       [this](const char* path) { return symlink((folder_ / "victim").c_str(), path); }},
  };
  int steps = 20;
  for (const auto& c : cases) {
    for (const char* lock : {".run.ck.lock", ".kammelsim.lock"}) {
      fs::remove(run / lock);
      if (c.plant((run / lock).c_str()) != 0) GTEST_SKIP() << c.name << ": " << strerror(errno);
    }
    steps += 10;
    const auto resumed =
        InProcess({"resume", (run / "run.ck").string(), "--steps", std::to_string(steps)});
    EXPECT_EQ(resumed.status, 0) << c.name << ": " << resumed.err;
    for (const char* lock : {".run.ck.lock", ".kammelsim.lock"})
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(run / lock))) << c.name << " " << lock;
  }
  EXPECT_EQ(Slurp(folder_ / "victim"), "precious");
}

// A finished run on a read-only file system is checked and found complete without a lock file
// it cannot make; one that would go on says why it cannot (root only: it mounts a tmpfs).
TEST_F(RunLock, AFinishedRunIsCheckedOnAReadOnlyDisk) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const fs::path disk = folder_ / "disk";
  fs::create_directories(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=16m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  ASSERT_EQ(InProcess(Profile(disk, 20)).status, 0);
  ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0)
      << std::strerror(errno);
  const std::string checkpoint = (disk / "run.ck").string();
  const auto complete = Kammelsim({"resume", checkpoint});
  const auto further = Kammelsim({"resume", checkpoint, "--steps", "30"});
  umount2(disk.c_str(), MNT_DETACH);
  EXPECT_EQ(complete.status, 0) << complete.err;
  EXPECT_NE(complete.err.find("the run is complete (20 of 20 steps)"), std::string::npos)
      << complete.err;
  EXPECT_EQ(further.status, 1) << further.err;
  EXPECT_NE(further.err.find("Read-only file system"), std::string::npos) << further.err;
}

}  // namespace

// A second signal while the stop's checkpoint is half written finishes the stop rather than
// leaving a part file and no line saying where the run stopped; while a step is computed it
// still ends the process at once.
TEST_F(RunLock, ASecondSignalEndsAStepButNotTheStopsWriting) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run);
  kammelsim::io::ClearFaults();
  // The second checkpoint's, at step 10, written but not yet synced.
  kammelsim::io::BeforeChange("run.ck.part", kammelsim::io::Change::Sync, 2, [] {
    std::raise(SIGINT);
    std::raise(SIGINT);
  });
  const auto stopped = InProcess(Profile(run, 1000));
  kammelsim::io::ClearFaults();
  ASSERT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_NE(stopped.err.find("stopped after 10 of 1000 steps"), std::string::npos) << stopped.err;
  kammelsim::CheckpointData data;
  std::string error;
  ASSERT_TRUE(kammelsim::ReadCheckpoint((run / "run.ck").string(), data, error)) << error;
  EXPECT_EQ(data.done, 10);
  for (const auto& entry : fs::directory_iterator(run))
    EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();

  EXPECT_EXIT(
      {
        const kammelsim::InterruptGuard guard;
        std::raise(SIGINT);
        const kammelsim::InterruptGuard::Stepping stepping;
        std::raise(SIGINT);
        std::exit(0);
      },
      testing::KilledBySignal(SIGINT), "");
}

// A folder copied with cp -al shares its lock files' inodes with the one it came from: a run
// there is not held up by the original's, and two runs in the copy still exclude each other.
TEST_F(RunLock, HardLinkedLockFilesBelongToTheirOwnFolder) {
  const fs::path a = folder_ / "a", b = folder_ / "b";
  fs::create_directories(a);
  Child first(Profile(a, 100000000), folder_ / "first.err");
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (Rows(a / "s.csv").size() < 3 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(std::system(("cp -al '" + a.string() + "' '" + b.string() + "'").c_str()), 0);
  for (const char* output : {"s.csv", "d.nc", "run.ck"})
    fs::remove(b / output);
  Child second(Profile(b, 100000000), folder_ / "second.err");
  // Not until it says something: its first line is a warning about the bed.
  while (Rows(b / "s.csv").size() < 3 && second.Running() &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(10ms);
  ASSERT_GE(Rows(b / "s.csv").size(), 3u) << second.Err();
  std::vector<std::string> again = Profile(b, 20);
  again.push_back("--force");
  const auto refused = InProcess(again);
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_EQ(fs::hard_link_count(a / ".run.ck.lock"), 1u);
  first.Signal(SIGINT);
  second.Signal(SIGINT);
  EXPECT_EQ(first.Wait(), 130) << first.Err();
  EXPECT_EQ(second.Wait(), 130) << second.Err();
}
