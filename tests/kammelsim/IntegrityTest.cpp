// A run's folder is its own: no link, planted file or FIFO leads a run outside it, and resume
// keeps nothing it has not checked. Each case leaves the files outside the folder as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kammelsim/io/Faults.h"
#include "kammelsim/output/data/NetcdfFormat.h"
#include "kammelsim/run/Checkpoint.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

namespace fs = std::filesystem;
using testing_kammelsim::Kammelsim;
using testing_kammelsim::Slurp;
using testing_kammelsim::Spill;

// Every file below folder with its bytes, and every link with where it leads.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = fs::relative(it->path(), folder).string();
    if (it->is_symlink())
      files[name] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file())
      files[name] = Slurp(*it);
  }
  return files;
}

// The data rows of a statistics file, without its provenance.
std::string Rows(const fs::path& path) {
  const std::string all = Slurp(path);
  std::string rows;
  for (std::size_t at = 0, end; at < all.size(); at = end + 1) {
    end = std::min(all.find('\n', at), all.size());
    if (all[at] != '#') rows += all.substr(at, end - at + 1);
  }
  return rows;
}

class Integrity : public testing_kammelsim::FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    kammelsim::io::ClearFaults();
    outside_ = folder_ / "outside";
    fs::create_directories(outside_);
    Spill(outside_ / "victim", "precious");
  }
  void TearDown() override {
    kammelsim::io::ClearFaults();
    FolderTest::TearDown();
  }

  // A profile run in folder with every output, the statistics in a subfolder, the heights to
  // a file and a checkpoint at every snapshot.
  static testing_kammelsim::CapturedRun Run(const fs::path& folder, int steps,
                                            std::vector<std::string> more = {}) {
    fs::create_directories(folder / "sub");
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
    for (const auto& [option, name] : {std::pair{"--stats", "sub/s.csv"},
                                       {"--netcdf", "d.nc"},
                                       {"--frames", "f"},
                                       {"--spacetime", "st.png"},
                                       {"--png", "p.png"},
                                       {"--heights", "h.txt"},
                                       {"--checkpoint", "run.ck"}}) {
      words.push_back(option);
      words.push_back((folder / name).string());
    }
    words.insert(words.end(), more.begin(), more.end());
    return Kammelsim(std::vector<std::string_view>(words.begin(), words.end()));
  }

  static testing_kammelsim::CapturedRun Resume(const fs::path& checkpoint, int steps) {
    const std::string path = checkpoint.string(), total = std::to_string(steps);
    return Kammelsim({"resume", path, "--steps", total});
  }

  // A refusal: status 1, one line, and message in it.
  static void ExpectRefused(const testing_kammelsim::CapturedRun& run, const std::string& message,
                            const std::string& label) {
    EXPECT_EQ(run.status, 1) << label << ": " << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << label << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << label << ": " << run.err;
  }

  fs::path outside_;
};

// Links where a run's files are, or where it will make them: each is refused, naming what it
// is, or replaced; never followed. The same with the walk that stands in for openat2.
TEST_F(Integrity, NoLinkLeadsARunOutOfItsFolder) {
  const struct {
    const char* name;
    std::function<void(const fs::path& run, const fs::path& outside)> plant;
    std::string message;  ///< empty: the resume goes on, and ends as the run made in one go
  } cases[] = {
      {"a symbolic link for a subfolder",
       [](const fs::path& run, const fs::path& outside) {
         fs::rename(run / "sub", outside / "sub");
         fs::create_directory_symlink(outside / "sub", run / "sub");
       },
       "--stats 'sub/s.csv' passes through a symbolic link"},
      {"a symbolic link for an output",
       [](const fs::path& run, const fs::path& outside) {
         fs::rename(run / "d.nc", outside / "d.nc");
         fs::create_symlink(outside / "d.nc", run / "d.nc");
       },
       "d.nc' is a symbolic link, not a file this run wrote"},
      {"a symbolic link for the frame folder",
       [](const fs::path& run, const fs::path& outside) {
         fs::rename(run / "f", outside / "f");
         fs::create_directory_symlink(outside / "f", run / "f");
       },
       "--frames 'f' passes through a symbolic link"},
      {"links planted as this process's part files",
       [](const fs::path& run, const fs::path& outside) {
         const std::string pid = ".part-" + std::to_string(getpid());
         for (const char* name :
              {"run.ck", "h.txt", "p.png", "st.png", "d.nc", "f/frame-000009.png", "sub/s.csv"})
           fs::create_symlink(outside / "victim", run / (std::string(name) + pid));
       },
       ""},
  };
  ASSERT_EQ(Run(folder_ / "whole", 12).status, 0);
  for (const bool walk : {false, true}) {
    for (const auto& c : cases) {
      const std::string label = std::string(c.name) + (walk ? " (walked)" : " (openat2)");
      const fs::path run = folder_ / "run";
      fs::remove_all(run);
      fs::remove_all(outside_ / "sub");
      fs::remove_all(outside_ / "f");
      fs::remove(outside_ / "d.nc");
      ASSERT_EQ(Run(run, 6).status, 0) << label;
      c.plant(run, outside_);
      const auto outside = Tree(outside_);
      kammelsim::io::PretendNoOpenat2(walk);
      const auto resumed = Resume(run / "run.ck", 12);
      kammelsim::io::PretendNoOpenat2(false);
      EXPECT_TRUE(Tree(outside_) == outside) << label << ": a file outside changed";
      if (!c.message.empty()) {
        ExpectRefused(resumed, c.message, label);
        continue;
      }
      ASSERT_EQ(resumed.status, 0) << label << ": " << resumed.err;
      EXPECT_FALSE(fs::is_symlink(run / "run.ck")) << label;
      EXPECT_EQ(Slurp(run / "h.txt"), Slurp(folder_ / "whole" / "h.txt")) << label;
      EXPECT_EQ(Rows(run / "sub" / "s.csv"), Rows(folder_ / "whole" / "sub" / "s.csv")) << label;
    }
  }
}

// Copies of a run folder: cp -r and cp -al continue apart from the original, which stays as it
// was; cp -as, whose files are links into the original, is refused.
TEST_F(Integrity, CopiesOfARunFolderNeverWriteIntoTheOriginal) {
  ASSERT_EQ(Run(folder_ / "whole", 12).status, 0);
  const fs::path run = folder_ / "run";
  ASSERT_EQ(Run(run, 6).status, 0);
  const struct {
    const char* copy;
    std::string message;  ///< empty: the copy continues
  } cases[] = {{"cp -r", ""}, {"cp -al", ""}, {"cp -as", "is a link to"}};
  for (const auto& c : cases) {
    const fs::path copy = folder_ / "copy";
    fs::remove_all(copy);
    ASSERT_EQ(
        std::system(
            (std::string(c.copy) + " '" + run.string() + "' '" + copy.string() + "'").c_str()),
        0)
        << c.copy;
    const auto original = Tree(run);
    const auto resumed = Resume(copy / "run.ck", 12);
    EXPECT_TRUE(Tree(run) == original) << c.copy << ": the copy changed the original";
    if (!c.message.empty()) {
      ExpectRefused(resumed, c.message, c.copy);
      continue;
    }
    ASSERT_EQ(resumed.status, 0) << c.copy << ": " << resumed.err;
    EXPECT_EQ(Rows(copy / "sub" / "s.csv"), Rows(folder_ / "whole" / "sub" / "s.csv")) << c.copy;
    EXPECT_EQ(Slurp(copy / "h.txt"), Slurp(folder_ / "whole" / "h.txt")) << c.copy;
  }
  // The original goes on too, after the copy made of hard links has gone its own way.
  ASSERT_EQ(Resume(run / "run.ck", 12).status, 0);
  EXPECT_EQ(Rows(run / "sub" / "s.csv"), Rows(folder_ / "whole" / "sub" / "s.csv"));
}

// A new run with --force replaces every output that is a link, a FIFO or a file of another
// name; what the link led to stays as it was.
TEST_F(Integrity, ForceReplacesLinksAndFifosAndWritesThroughNone) {
  const fs::path run = folder_ / "run";
  fs::create_directories(run / "sub");
  for (const char* name : {"sub/s.csv", "d.nc", "p.png", "st.png", "h.txt", "run.ck"})
    fs::create_symlink(outside_ / "victim", run / name);
  ASSERT_EQ(mkfifo((run / "fifo.csv").c_str(), 0644), 0);
  const auto outside = Tree(outside_);
  const auto made = Run(run, 3, {"--force"});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_TRUE(Tree(outside_) == outside) << "written through a link";
  for (const char* name : {"sub/s.csv", "d.nc", "p.png", "st.png", "h.txt", "run.ck"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(run / name))) << name;
  const std::string fifo = (run / "fifo.csv").string();
  const auto overFifo = Kammelsim({"profile", "--steps", "1", "--stats", fifo, "--force"});
  EXPECT_EQ(overFifo.status, 0) << overFifo.err;
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(fifo)));
}

// What resume keeps is read whole and checked: a damaged record, attribute or frame is refused
// naming the file and what differs, and nothing in the folder changes.
TEST_F(Integrity, ResumeKeepsOnlyWhatItChecked) {
  const fs::path run = folder_ / "run";
  ASSERT_EQ(Run(run, 6).status, 0);
  const std::string data = Slurp(run / "d.nc");
  kammelsim::cdf::Header header;
  ASSERT_EQ(kammelsim::cdf::Decode(data, header), kammelsim::cdf::Decoded::Whole);
  const auto record = [&](int n) {
    return static_cast<std::size_t>(kammelsim::cdf::RecordStart(header) +
                                    n * kammelsim::cdf::RecordSize(header));
  };
  const auto changed = [](std::string bytes, std::size_t at, char byte) {
    bytes[at] = byte;
    return bytes;
  };
  const std::string frame0 = Slurp(run / "f" / "frame-000000.png");
  const std::string frame3 = Slurp(run / "f" / "frame-000003.png");
  const std::size_t idat = frame3.find("IDAT");
  const std::string stats = Slurp(run / "sub" / "s.csv");
  const std::size_t lastRow = stats.rfind('\n', stats.size() - 2) + 1;
  const struct {
    const char* name;
    const char* file;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"a record's time", "d.nc", changed(data, record(1) + 3, '\x7f'),
       "d.nc' holds other snapshots than the checkpoint recorded"},
      {"a value in the last kept record", "d.nc", changed(data, record(3) - 1, '\x55'),
       "d.nc' holds other snapshots than the checkpoint recorded"},
      {"an attribute's name", "d.nc", changed(data, data.find("Conventions"), 'c'),
       "d.nc' has another header than the checkpoint recorded"},
      {"a byte of its history", "d.nc", changed(data, data.find("kammelsim profile"), 'K'),
       "d.nc' has another history than the checkpoint recorded"},
      {"a frame's image data", "f/frame-000003.png",
       changed(frame3, idat + 20, static_cast<char>(frame3[idat + 20] ^ 0x20)),
       "frame-000003.png' has a damaged IDAT chunk"},
      {"a frame cut short", "f/frame-000003.png", frame3.substr(0, frame3.size() - 20),
       "frame-000003.png' ends inside a chunk"},
      {"a digit in a recorded row", "sub/s.csv", changed(stats, lastRow, '7'),
       "s.csv' has changed since the checkpoint: the CRC-32 of the"},
      {"another run's id", "sub/s.csv", changed(stats, stats.find("# Run: ") + 7, 'x'),
       "s.csv' is not this run's statistics file"},
      {"frame 0 saved as frame 3", "f/frame-000003.png", frame0,
       "frame-000003.png' is the picture of snapshot '0', not of 3"},
  };
  for (const auto& c : cases) {
    const std::string before = Slurp(run / c.file);
    Spill(run / c.file, c.bytes);
    const auto folder = Tree(run);
    ExpectRefused(Resume(run / "run.ck", 12), c.message, c.name);
    EXPECT_TRUE(Tree(run) == folder) << c.name << ": a file changed";
    Spill(run / c.file, before);
  }
  EXPECT_EQ(Resume(run / "run.ck", 12).status, 0) << "the run, mended, goes on";
}

}  // namespace
