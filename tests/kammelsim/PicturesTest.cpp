// kammelsim's pictures: files a PNG decoder reads back, on the snapshot schedule, never
// changing the numbers, and faults that say what could not be written.
#include <gtest/gtest.h>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kammelsim/output/pictures/Pictures.h"
#include "kammelsim/output/pictures/PngFile.h"
#include "kammelsim/output/pictures/SpaceTime.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

namespace fs = std::filesystem;
using testing_kammelsim::Kammelsim;

using KammelsimPictures = testing_kammelsim::FolderTest;

// With every picture option, each model prints exactly the heights it prints without.
TEST_F(KammelsimPictures, PicturesNeverChangeTheHeights) {
  const std::vector<std::vector<std::string_view>> runs = {
      {"bed", "--seed", "5", "--batches", "3", "--length", "60", "--width", "20"},
      {"bed", "--settings", "map", "--seed", "5", "--batches", "3"},
      {"profile", "--seed", "5", "--steps", "30"},
  };
  const std::string png = Path("final.png"), frames = Path("frames"), st = Path("st.png");
  for (const auto& plain : runs) {
    auto drawn = plain;
    for (const std::string_view extra :
         {std::string_view("--png"), std::string_view(png), std::string_view("--frames"),
          std::string_view(frames), std::string_view("--spacetime"), std::string_view(st),
          std::string_view("--every"), std::string_view("2"), std::string_view("--force")})
      drawn.push_back(extra);
    const auto without = Kammelsim(plain);
    const auto with = Kammelsim(drawn);
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_EQ(with.out, without.out) << plain[0] << " " << plain[1];
    EXPECT_TRUE(fs::exists(png) && fs::exists(st));
  }
}

TEST_F(KammelsimPictures, FramesFollowTheSnapshotSchedule) {
  const struct {
    const char* steps;
    const char* every;
    std::vector<std::string> names;
  } cases[] = {
      {"6", "3", {"frame-000000.png", "frame-000003.png", "frame-000006.png"}},
      {"7", "3", {"frame-000000.png", "frame-000003.png", "frame-000006.png", "frame-000007.png"}},
      {"0", "5", {"frame-000000.png"}},
      {"2", "1000000", {"frame-000000.png", "frame-000002.png"}},
  };
  for (const auto& c : cases) {
    const std::string frames = Path(std::string("f") + c.steps + "-" + c.every);
    const auto run = Kammelsim({"profile", "--width", "40", "--seed", "1", "--steps", c.steps,
                                "--every", c.every, "--frames", frames});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Files(fs::path(frames).filename()), c.names) << c.steps << " by " << c.every;
  }
  const struct {
    std::int64_t done, total;
    const char* name;
  } names[] = {
      {42, 999999, "frame-000042.png"},
      {42, 1000000, "frame-0000042.png"},
      {1234567, 1234567, "frame-1234567.png"},
      {5, 1'000'000'000'000, "frame-0000000000005.png"},
  };
  for (const auto& n : names) {
    EXPECT_EQ(kammelsim::FrameName(n.done, n.total), n.name);
    EXPECT_EQ(kammelsim::FrameOf(n.name), n.done) << n.name;
  }
  for (const char* other : {"frame-00042.png", "frame-+00042.png", "frame-0000042.PNG"})
    EXPECT_EQ(kammelsim::FrameOf(other), -1) << other;
}

// A run past 999999 names its frames with more digits, so that they sort as its snapshots;
// continued past it, it names its kept frames so too.
TEST_F(KammelsimPictures, FrameNamesSortAsTheSnapshotsPast999999) {
  const std::string frames = Path("f"), checkpoint = Path("c.ck");
  const auto run = Kammelsim({"profile", "--width", "4", "--thickness", "1", "--seed", "1",
                              "--steps", "999999", "--every", "500000", "--frames", frames,
                              "--canvas", "16x16", "--checkpoint", checkpoint});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Files("f"),
            (std::vector<std::string>{"frame-000000.png", "frame-500000.png", "frame-999999.png"}));
  const std::vector<std::string> longer = {"frame-0000000.png", "frame-0500000.png",
                                           "frame-0999999.png", "frame-1000000.png",
                                           "frame-1000001.png"};
  ASSERT_EQ(Kammelsim({"resume", checkpoint, "--steps", "1000001"}).status, 0);
  EXPECT_EQ(Files("f"), longer);
  // A frame left of the narrower name (a resume stopped as it renamed) is still the run's.
  fs::rename(fs::path(frames) / "frame-0500000.png", fs::path(frames) / "frame-500000.png");
  const auto checked = Kammelsim({"resume", checkpoint});
  EXPECT_EQ(checked.status, 0) << checked.err;
}

TEST_F(KammelsimPictures, PicturesAreTheCanvasAndSayHowTheyWereMade) {
  const std::string png = Path("map.png");
  const auto run = Kammelsim({"bed", "--settings", "map", "--seed", "77", "--batches", "0",
                              "--canvas", "320x200", "--png", png});
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage picture(QString::fromStdString(png));
  ASSERT_EQ(picture.size(), QSize(320, 200));
  EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 0, 0)) << "the black margin";
  EXPECT_EQ(picture.pixel(50, 50), qRgb(160, 120, 0)) << "a fresh bed is brown";
  EXPECT_EQ(picture.text("Seed"), "77");
  EXPECT_TRUE(picture.text("Software").startsWith("kammelsim "));
  EXPECT_TRUE(picture.text("Command").contains("--canvas 320x200"));
  EXPECT_TRUE(picture.text("Parameters").contains("threshold=6"));
  EXPECT_EQ(picture.text("Snapshot"), "0");
}

TEST_F(KammelsimPictures, SpaceTimeHasARowPerSnapshotAndALegend) {
  const std::string st = Path("st.png");
  const auto run = Kammelsim({"profile", "--width", "300", "--seed", "3", "--steps", "10",
                              "--every", "2", "--spacetime", st});
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage picture(QString::fromStdString(st));
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.width(), 301);
  EXPECT_GT(picture.height(), 6) << "six snapshots, then the legend";
  // The flat first snapshot is one colour, the low end of the range or above it.
  for (int x = 1; x < 301; ++x)
    ASSERT_EQ(picture.pixel(x, 0), picture.pixel(0, 0)) << x;
  EXPECT_FALSE(picture.text("HeightRange").isEmpty());
}

// Palette pictures (up to 256 colours) and RGB ones decode to exactly the pixels written.
TEST(PngWriter, PicturesDecodeToTheirPixels) {
  kammelsim::PngWriter writer;
  for (const int colours : {1, 2, 255, 256, 257, 5000}) {
    jheadless::Picture picture{97, 61, {}};
    for (int n = 0; n < picture.width * picture.height; ++n)
      picture.rgb.push_back(static_cast<std::uint32_t>((n * 7919) % colours) * 3187u);
    const std::string& png = writer.Encode(picture, {{"Seed", "42"}});
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(reinterpret_cast<const uchar*>(png.data()),
                                     static_cast<int>(png.size()), "PNG"))
        << colours;
    ASSERT_EQ(decoded.size(), QSize(97, 61));
    EXPECT_EQ(decoded.text("Seed"), "42");
    long wrong = 0;
    for (int y = 0; y < 61; ++y) {
      for (int x = 0; x < 97; ++x)
        wrong += (decoded.pixel(x, y) & 0xffffffu) != picture.rgb[std::size_t(y) * 97 + x];
    }
    EXPECT_EQ(wrong, 0) << colours << " colours";
  }
}

TEST(Viridis, EndsAndMiddleMatchTheColourMap) {
  const struct {
    double t;
    int r, g, b;
  } cases[] = {{0.0, 68, 1, 84}, {0.5, 33, 145, 140}, {1.0, 253, 231, 37}, {-1, 68, 1, 84}};
  for (const auto& c : cases) {
    const std::uint32_t rgb = kammelsim::Viridis(c.t);
    EXPECT_NEAR(int(rgb >> 16), c.r, 4) << c.t;
    EXPECT_NEAR(int(rgb >> 8 & 255), c.g, 4) << c.t;
    EXPECT_NEAR(int(rgb & 255), c.b, 4) << c.t;
  }
}

TEST_F(KammelsimPictures, FaultsSayWhatAndNothingHalfWrittenIsLeft) {
  const std::string frames = Path("full");
  fs::create_directories(frames);
  std::ofstream(frames + "/old.png") << "x";
  const struct {
    std::vector<std::string_view> args;
    int status;
    std::string message;
  } cases[] = {
      {{"profile", "--png", "/nonexistent/folder/p.png"}, 1, "cannot write '/nonexistent"},
      {{"bed", "--spacetime", "/proc/st.png"}, 1, "cannot write '/proc/st.png'"},
      {{"profile", "--frames", frames}, 2, "holds files already; add --force"},
      {{"profile", "--frames", "/proc/frames"}, 1, "cannot write frames into '/proc/frames'"},
      {{"bed", "--canvas", "15x600"}, 2, "--canvas takes WIDTHxHEIGHT, each 16..8192"},
      {{"bed", "--canvas", "800"}, 2, "--canvas takes WIDTHxHEIGHT"},
      {{"bed", "--threshold", "3"}, 2, "--threshold is for --settings map"},
      {{"bed", "--every", "0"}, 2, "--every takes an integer in 1..1000000000000000 or log:N"},
      {{"profile", "--force=yes"}, 2, "--force takes no value"},
      {{"profile", "--steps", "100000", "--every", "1", "--spacetime", "x.png"},
       2,
       "--spacetime draws at most 4096 snapshots"},
  };
  for (const auto& c : cases) {
    const auto run = Kammelsim(c.args);
    EXPECT_EQ(run.status, c.status) << c.message;
    EXPECT_EQ(run.out, "") << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(Files("full"), std::vector<std::string>{"old.png"}) << "nothing written there";
  const auto forced = Kammelsim({"profile", "--seed", "1", "--frames", frames, "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(Files("full"),
            (std::vector<std::string>{"frame-000000.png", "frame-000001.png", "old.png"}));
}

}  // namespace
