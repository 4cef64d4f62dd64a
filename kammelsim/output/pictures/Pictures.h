// The runner's pictures: the programs' own canvas drawn headless, as a final picture, as frames
// at every snapshot, and the space-time view.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Random.h"
#include "kammelsim/io/Place.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/output/pictures/Frames.h"
#include "kammelsim/output/pictures/PngFile.h"
#include "kammelsim/output/pictures/SpaceTime.h"

namespace kammelsim {

struct PictureOptions {
  std::string png;         ///< the final picture; empty: none
  std::string frames;      ///< the folder for frame-NNNNNN.png; empty: none
  std::string spacetime;   ///< the space-time view; empty: none
  bool force = false;      ///< write frames into a folder that holds files already
  std::int64_t total = 0;  ///< of the run, whose digits the frames' names take
  int canvasWidth = 800, canvasHeight = 600;

  bool Drawn() const { return !png.empty() || !frames.empty(); }
};

/// How a run's view draws: the program's drawing routine, with the generator its sparkle draws
/// from, the heights along the wind, and the program's mapping for the canvas's current size.
struct View {
  std::function<void(common::Random& sparkle)> redraw;
  std::function<std::vector<double>()> heightsAlongWind;
  std::function<void()> place;
};

/// One picture as a run draws it, on a canvas of its own of width x height (16..8192 each): the
/// view placed on it and drawn with sparkle. Works on the layer's and the headless toolkit's
/// state: one caller at a time, and not while a run draws.
void DrawPicture(const View& view, int width, int height, common::Random& sparkle,
                 jheadless::Picture& picture);

/// Where the pictures go: the files' places, and the frame folder as a name in its parent (a
/// new run, which makes it) or held open (a continued run).
struct PicturePlaces {
  io::Place png, spacetime, framesEntry;
  io::FolderRef frames;
};

class PictureOutputs {
 public:
  /// Opens the headless canvas when a picture is drawn; before the model's set-up, which places
  /// its mapping on the canvas.
  explicit PictureOutputs(const PictureOptions& options);
  ~PictureOutputs();
  PictureOutputs(const PictureOutputs&) = delete;
  PictureOutputs& operator=(const PictureOutputs&) = delete;

  /// Seeds the generator that pictures draw with.
  void SetPictureSeed(std::uint32_t seed) { pictureRandom_.state = seed; }
  std::uint32_t PictureState() const { return pictureRandom_.state; }

  /// The space-time view's rows so far, for a checkpoint, and back.
  SpaceTimeCarry SpaceTimeState() const;
  void RestoreSpaceTime(const SpaceTimeCarry& state);

  /// Where the pictures go, before Prepare or Verify.
  void SetPlaces(PicturePlaces places) { places_ = std::move(places); }

  /// Checks and makes the frame folder of a new run, before any work: what the command asks
  /// that cannot be (status 2), or a write that failed. With force, a frame folder's frames go
  /// first, so it never mixes runs; nothing else in it is touched. A frame folder that is a
  /// link is refused: a run writes only into folders it can hold.
  Outcome Prepare();

  /// Whether the pictures of a run to continue are this run's: every frame in the folder
  /// carries runId; those kept (expected: the snapshots at or before the checkpoint) are there,
  /// decode whole at the run's canvas and carry their own snapshot; a final picture or
  /// space-time view already there carries runId. Changes nothing.
  Outcome Verify(const std::string& runId, const std::vector<std::int64_t>& expected) const;

  /// Removes the frames after done, which the continued run makes again, and what killed runs
  /// left half written.
  Outcome CutBack(std::int64_t done);

  /// Makes the frames written since the last call durable.
  Outcome Sync();

  /// The outputs of one snapshot after done batches or steps (the last when last).
  /// Provenance goes into every file.
  Outcome Snapshot(const View& view, std::int64_t done, bool last, const Provenance& provenance);

  /// Writes the space-time view of the rows so far, when asked for.
  Outcome SaveSpaceTime(const Provenance& provenance);

 private:
  bool Draw(const View& view);
  Outcome Save(const io::Place& place, const jheadless::Picture& picture, const PngTexts& texts,
               bool durable);
  Outcome OpenFrameFolder();
  Outcome FrameIsKept(const std::string& name, std::int64_t done, const std::string& runId) const;
  io::Place Frame(const std::string& name) const;

  PictureOptions options_;
  PicturePlaces places_;
  common::Random pictureRandom_;  ///< the pictures' own: the model's numbers stay the same
  bool open_ = false;
  std::optional<SpaceTime> spaceTime_;
  jheadless::Picture picture_;  ///< kept: every frame has the same size
  PngWriter png_;
  std::vector<std::string> unsynced_;  ///< frames written since the last Sync
};

/// The generator state the pictures draw with, made from the run's seed.
inline std::uint32_t PictureSeed(std::uint32_t seed) {
  return seed ^ 0x9e3779b9u;
}

}  // namespace kammelsim
