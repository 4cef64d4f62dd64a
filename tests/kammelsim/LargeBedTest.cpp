// Open beds beyond the programs' arrays: checkpoints written a piece at a time and read in
// place, hostile counts refused before anything is made for them, and the map of a bed with more
// cells than the canvas has pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kammel3map/Map.h"
#include "kammelsim/BedSetup.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/output/pictures/Pictures.h"
#include "kammelsim/run/Checkpoint.h"
#include "layer/Mapping.h"
#include "layer/Palette.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

namespace ks = kammelsim;
using LargeBed = testing_kammelsim::FolderTest;

// A checkpoint whose array spans several of the pieces a file is written in.
ks::CheckpointData Large(std::vector<std::int32_t>& cells) {
  ks::CheckpointData d;
  d.version = "test";
  d.command = "bed";
  d.runId = "0123456789abcdef0123456789abcdef";
  d.history = {"first"};
  d.done = 1;
  d.total = 2;
  cells.resize(3'000'001);
  for (std::size_t n = 0; n < cells.size(); ++n)
    cells[n] = static_cast<std::int32_t>(n * 2654435761u >> 7);
  d.stats.previousField = {0.5, 1.5};
  d.initial = {"start.nc:1", 7, 9};
  return d;
}

TEST_F(LargeBed, StreamedCheckpointHasTheBytesOfOneEncodedWholeAndReadsBackInPlace) {
  std::vector<std::int32_t> cells;
  ks::CheckpointData owned = Large(cells), live = owned;
  owned.cells = cells;
  live.liveCells = cells;
  const std::string whole = ks::EncodeCheckpoint(owned);
  EXPECT_EQ(ks::EncodeCheckpoint(live), whole);
  std::string error;
  const std::string path = Path("large.ck");
  ASSERT_TRUE(ks::WriteCheckpoint(path, live, error)) << error;
  EXPECT_EQ(testing_kammelsim::Slurp(path), whole);

  ks::CheckpointData back;
  ASSERT_TRUE(ks::ReadCheckpoint(path, back, error)) << error;
  EXPECT_TRUE(back.cells.empty()) << "the array is read in place";
  ASSERT_EQ(ks::CellCount(back), cells.size());
  std::vector<std::int32_t> restored(cells.size());
  EXPECT_TRUE(ks::CopyCells(back, restored));
  EXPECT_EQ(restored, cells);
  EXPECT_EQ(ks::EncodeCheckpoint(back), whole);
  EXPECT_EQ(back.initial.name, "start.nc:1");
}

// Another program may cut a checkpoint short or rewrite it while it is read: every read then
// fails with one reason, never with a signal, and no array but the checkpoint's is taken.
TEST_F(LargeBed, ACheckpointChangedUnderItsReaderIsRefused) {
  std::vector<std::int32_t> cells;
  ks::CheckpointData d = Large(cells);
  d.liveCells = cells;
  const std::string path = Path("changed.ck");
  std::string error;
  ASSERT_TRUE(ks::WriteCheckpoint(path, d, error)) << error;
  const std::string whole = testing_kammelsim::Slurp(path);
  const auto cut = [&](std::size_t size) { ASSERT_EQ(::truncate(path.c_str(), size), 0); };
  const auto rewrite = [&] {  // a cell's byte, within the file's length
    std::string bytes = whole;
    bytes[bytes.size() / 2] ^= 1;
    testing_kammelsim::Spill(path, bytes);
  };
  const struct {
    const char* name;
    bool decoded;  // changed once decoded, before the array is read again
    std::function<void()> change;
  } cases[] = {
      {"cut within the header", false, [&] { cut(10); }},
      {"cut within the array", false, [&] { cut(whole.size() / 2); }},
      {"cut before the trailer", false, [&] { cut(whole.size() - 2); }},
      {"cut within the array, once decoded", true, [&] { cut(whole.size() / 2); }},
      {"emptied, once decoded", true, [&] { cut(0); }},
      {"rewritten, once decoded", true, rewrite},
  };
  for (const auto& c : cases) {
    testing_kammelsim::Spill(path, whole);
    ks::io::ReadFault fault = ks::io::ReadFault::None;
    auto file = ks::io::HeldFile::Hold(path, ks::kMaxCheckpointBytes, fault);
    ASSERT_TRUE(file) << c.name;
    if (!c.decoded) c.change();
    ks::CheckpointData back;
    EXPECT_EQ(ks::DecodeCheckpoint(file, back, error), c.decoded) << c.name;
    if (!c.decoded) {
      EXPECT_EQ(error, ks::kChangedWhileRead) << c.name;
      continue;
    }
    c.change();
    std::vector<std::int32_t> restored(ks::CellCount(back));
    EXPECT_FALSE(ks::CopyCells(back, restored)) << c.name;
    EXPECT_FALSE(ks::VisitCells(back, [](auto) {})) << c.name;
  }
}

// Overwrites the 8-byte count before the first occurrence of marker and mends the checksum, so
// that only the count is wrong.
std::string WithCount(std::string bytes, const std::string& marker, std::uint64_t count) {
  const std::size_t at = bytes.find(marker);
  EXPECT_NE(at, std::string::npos);
  for (int n = 0; n < 8; ++n)
    bytes[at - 8 + n] = static_cast<char>(count >> (8 * n) & 0xff);
  const std::uint32_t crc = ks::io::Crc32(std::string_view(bytes).substr(0, bytes.size() - 4));
  for (int n = 0; n < 4; ++n)
    bytes[bytes.size() - 4 + n] = static_cast<char>(crc >> (8 * n) & 0xff);
  return bytes;
}

// Counts the file cannot hold, within every limit of a run, are refused unread: neither kept in
// place nor made (an array of 2^31 - 1 cells would take 8 GiB).
TEST(LargeCheckpoint, CountsBeyondWhatTheFileHoldsAreRefusedBeforeAnythingIsMade) {
  ks::CheckpointData d;
  d.command = "bed";
  d.runId = std::string(32, 'a');
  d.cells = {0x7a7a7a7a, 0x7a7a7a7a};
  d.stats.previousField = {std::bit_cast<double>(std::uint64_t{0x6b6b6b6b6b6b6b6b})};
  const std::string good = ks::EncodeCheckpoint(d);
  const std::string cellMark(8, '\x7a'), fieldMark(8, '\x6b');
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"the largest open bed's array", WithCount(good, cellMark, (std::uint64_t{1} << 31) - 1)},
      {"one cell more than is there", WithCount(good, cellMark, 3)},
      {"a field of as many values as bytes", WithCount(good, fieldMark, good.size())},
      {"a count past 2^64 / 8", WithCount(good, fieldMark, ~std::uint64_t{0} / 4)},
  };
  for (const auto& c : cases) {
    ks::CheckpointData back;
    std::string error;
    EXPECT_FALSE(ks::DecodeCheckpoint(c.bytes, back, error)) << c.name;
    EXPECT_EQ(error, "is damaged (its content does not add up)") << c.name;
  }
  ks::CheckpointData back;
  std::string error;
  EXPECT_TRUE(ks::DecodeCheckpoint(good, back, error)) << error;
}

// The colour a palette index is drawn in.
std::uint32_t Colour(std::int32_t index) {
  ks::View fill{[index](common::Random&) { layer::ClearCanvas(index); },
                [] { return std::vector<double>{}; }, [] {}};
  common::Random sparkle{1};
  jheadless::Picture picture;
  ks::DrawPicture(fill, 16, 16, sparkle, picture);
  return picture.rgb.at(0);
}

// Which cells of a bed a map shows: the one DrawPicture draws from the shown cells only, and the
// map's own drawing of every cell, agree pixel for pixel on what is sand, bright and bare.
TEST(LargeBedMap, ShowsEachPixelTheCellTheMapsDrawingLeavesThere) {
  using OpenBed = model3d::BedState<model3d::OpenSettings>;
  for (const auto [L, W] : {std::pair{40, 20}, std::pair{1999, 701}, std::pair{700, 2500}}) {
    ks::BedRun run{};
    run.params = {L, W, 5, 2.0, 5.0, 1};
    run.schedule = model3d::Schedule::map;
    std::string error;
    const std::unique_ptr<OpenBed> bed = ks::MakeOpenBed(run, error);
    ASSERT_TRUE(bed) << error;
    for (std::int32_t i = 0; i <= L; ++i) {
      for (std::int32_t j = 0; j <= W; ++j)
        bed->grid.at(i, j) = static_cast<std::int32_t>((i * 7919u + j * 104729u) >> 3 & 15);
    }
    const std::int32_t threshold = 8;
    ks::View every = ks::BedView(*bed, threshold);
    every.redraw = [&](common::Random& sparkle) {
      layer::ClearCanvas(layer::Black);
      for (std::int32_t i = 0; i <= L; ++i) {
        for (std::int32_t j = 0; j <= W; ++j) {
          const bool bright = bed->grid.at(i, j) >= threshold;
          layer::DrawPixel(layer::WorldToScreenX(i), layer::WorldToScreenY(j),
                           bright ? layer::Yellow + common::RandomBelow(sparkle, 2) : layer::Brown);
        }
      }
    };
    common::Random sparkle{1}, again{1};
    jheadless::Picture shown, drawn;
    ks::DrawPicture(ks::BedView(*bed, threshold), 800, 600, sparkle, shown);
    ks::DrawPicture(every, 800, 600, again, drawn);
    ASSERT_EQ(shown.rgb.size(), drawn.rgb.size());
    // Yellow and white are both bright: the sparkle is drawn for fewer cells.
    const std::uint32_t black = Colour(layer::Black), brown = Colour(layer::Brown);
    const auto kind = [&](const jheadless::Picture& p, std::size_t n) {
      return p.rgb[n] == black ? 0 : p.rgb[n] == brown ? 1 : 2;
    };
    std::size_t differ = 0, bright = 0;
    for (std::size_t n = 0; n < shown.rgb.size(); ++n) {
      differ += kind(shown, n) != kind(drawn, n);
      bright += kind(drawn, n) == 2;
    }
    EXPECT_EQ(differ, 0u) << L << " x " << W;
    EXPECT_GT(bright, 300u) << "nothing bright drawn";
    if (L == 40) EXPECT_EQ(shown.rgb, drawn.rgb) << "a small bed is drawn cell for cell";
  }
}

}  // namespace
