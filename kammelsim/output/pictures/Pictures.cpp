#include "kammelsim/output/pictures/Pictures.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "layer/Window.h"

namespace kammelsim {
namespace {

namespace fs = std::filesystem;

}  // namespace

PictureOutputs::PictureOutputs(const PictureOptions& options) : options_(options) {
  if (!options_.spacetime.empty()) spaceTime_.emplace();
  if (!options_.Drawn()) return;
  jheadless::SetCanvasSize(options_.canvasWidth, options_.canvasHeight);
  layer::OpenProgramWindow();
  open_ = true;
}

PictureOutputs::~PictureOutputs() {
  if (open_) layer::CloseProgramWindow();
}

SpaceTimeCarry PictureOutputs::SpaceTimeState() const {
  if (!spaceTime_) return {};
  return {spaceTime_->Rows(), spaceTime_->Lowest(), spaceTime_->Highest()};
}

void PictureOutputs::RestoreSpaceTime(const SpaceTimeCarry& state) {
  if (spaceTime_) spaceTime_->Restore(state.rows, state.lowest, state.highest);
}

io::Place PictureOutputs::Frame(const std::string& name) const {
  return {places_.frames, name, (fs::path(options_.frames) / name).string()};
}

// The frame folder of a new run made where it is missing, and held open: never one that is a
// link, whose frames would land wherever it leads.
Outcome PictureOutputs::OpenFrameFolder() {
  const io::Place& entry = places_.framesEntry;
  const std::string shown = "frames into " + QuoteFile(options_.frames);
  const std::string folder = "the frame folder " + QuoteFile(options_.frames);
  struct stat status {};
  if (!io::StatusOf(entry, status)) {
    if (errno != ENOENT || ::mkdirat(entry.Dir(), entry.name.c_str(), 0777) != 0)
      return WriteFailed(shown, errno);
  } else if (!S_ISDIR(status.st_mode)) {
    return Unusable(folder, "is " + io::KindOf(status) + ", not a folder");
  }
  const int fd =
      ::openat(entry.Dir(), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return WriteFailed(shown, errno);
  places_.frames = std::make_shared<const io::Folder>(fd);
  // Held for the run's life: a second run writing frames here is refused.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return Unusable(folder, "is in use by another kammelsim run or resume", 1);
  return std::nullopt;
}

Outcome PictureOutputs::Prepare() {
  for (const io::Place* file : {&places_.png, &places_.spacetime}) {
    if (!file->Empty() && !io::FolderTakes(*file))
      return WriteFailed(QuoteFile(file->shown), errno);
  }
  if (options_.frames.empty()) return std::nullopt;
  if (Outcome fault = OpenFrameFolder()) return fault;
  if (!io::NamesIn(*places_.frames).empty()) {
    if (!options_.force) {
      return Unusable("the frame folder " + QuoteFile(options_.frames),
                      "holds files already; add --force to write into it");
    }
    for (const auto& [done, name] : FramesIn(*places_.frames)) {
      if (!io::RemoveAt(Frame(name)))
        return WriteFailed("over " + QuoteFile(Frame(name).shown), errno);
    }
  }
  if (!io::FolderTakes(Frame("frame")))
    return WriteFailed("frames into " + QuoteFile(options_.frames), errno);
  RemoveFrameLeftovers(places_.frames);
  return std::nullopt;
}

namespace {

// Whether a picture file carries the run's id, and why not.
Outcome CarriesRun(const io::Place& place, const std::string& runId) {
  std::string found;
  if (ReadPngText(place, "Run", found) && found == runId) return std::nullopt;
  return Refused(QuoteFile(place.shown), std::string("is not a picture of this run (") +
                                             (found.empty() ? "no run id" : "another run's id") +
                                             ")");
}

}  // namespace

// A kept frame is read whole: its image decodes at the run's canvas, and it is the picture of
// its own snapshot in this run.
Outcome PictureOutputs::FrameIsKept(const std::string& name, std::int64_t done,
                                    const std::string& runId) const {
  const io::Place frame = Frame(name);
  const std::uint64_t raw = std::uint64_t{3} * options_.canvasWidth * options_.canvasHeight +
                            static_cast<std::uint64_t>(options_.canvasHeight);
  const std::uint64_t limit = raw + raw / 100 + (8u << 20);
  std::string bytes, why;
  PngImage image;
  if (const io::ReadFault fault = io::ReadWholeFile(frame, limit, bytes);
      fault != io::ReadFault::None) {
    why = "cannot be read: " + io::ReadFaultReason(fault, limit);
  } else if (DecodePng(bytes, image, why)) {
    const auto text = [&image](const char* key) {
      const auto found = image.texts.find(key);
      return found == image.texts.end() ? std::string() : found->second;
    };
    if (text("Run") != runId) {
      why = std::string("is not a picture of this run (") +
            (text("Run").empty() ? "no run id" : "another run's id") + ")";
    } else if (image.width != options_.canvasWidth || image.height != options_.canvasHeight) {
      why = "is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
            ", not the run's canvas of " + std::to_string(options_.canvasWidth) + " x " +
            std::to_string(options_.canvasHeight);
    } else if (text("Snapshot") != std::to_string(done)) {
      why = "is the picture of snapshot " + QuoteValue(text("Snapshot")) + ", not of " +
            std::to_string(done);
    }
  }
  if (why.empty()) return std::nullopt;
  return Refused(QuoteFile(frame.shown), why);
}

Outcome PictureOutputs::Verify(const std::string& runId,
                               const std::vector<std::int64_t>& expected) const {
  for (const io::Place* file : {&places_.png, &places_.spacetime}) {
    if (file->Empty() || !io::Exists(*file)) continue;
    if (Outcome fault = CarriesRun(*file, runId)) return fault;
  }
  if (options_.frames.empty()) return std::nullopt;
  auto frames = FramesIn(*places_.frames);
  std::sort(frames.begin(), frames.end());
  const std::int64_t last = expected.empty() ? -1 : expected.back();
  for (const auto& [done, name] : frames) {
    const bool kept = done <= last;
    if (Outcome fault = kept ? FrameIsKept(name, done, runId) : CarriesRun(Frame(name), runId))
      return fault;
  }
  for (const std::int64_t done : expected) {
    const auto at = std::lower_bound(frames.begin(), frames.end(), std::pair(done, std::string()));
    if (at == frames.end() || at->first != done) {
      return Refused("the frame folder " + QuoteFile(options_.frames),
                     "lacks " + FrameName(done, options_.total));
    }
  }
  return std::nullopt;
}

Outcome PictureOutputs::CutBack(std::int64_t done) {
  for (const io::Place* file : {&places_.png, &places_.spacetime}) {
    if (!file->Empty()) io::RemoveLeftovers(*file);
  }
  if (options_.frames.empty()) return std::nullopt;
  RemoveFrameLeftovers(places_.frames);
  for (const auto& [frame, name] : FramesIn(*places_.frames)) {
    if (frame > done && !io::RemoveAt(Frame(name)))
      return WriteFailed("over " + QuoteFile(Frame(name).shown), errno);
    // A total of more digits names every frame with them, so that the names sort still.
    const std::string renamed = FrameName(frame, options_.total);
    if (frame <= done && name != renamed && !io::Rename(Frame(name), Frame(renamed)))
      return WriteFailed(QuoteFile(Frame(renamed).shown), errno);
  }
  return std::nullopt;
}

Outcome PictureOutputs::Sync() {
  for (const std::string& name : unsynced_) {
    io::File frame;
    if (!frame.Open(Frame(name), O_RDONLY) || !frame.Sync() || !frame.Close())
      return WriteFailed(QuoteFile(Frame(name).shown), frame.Error());
  }
  if (!unsynced_.empty() && !io::SyncFolderOf(Frame(unsynced_.back())))
    return WriteFailed("the frame folder " + QuoteFile(options_.frames), errno);
  unsynced_.clear();
  return std::nullopt;
}

void DrawPicture(const View& view, int width, int height, common::Random& sparkle,
                 jheadless::Picture& picture) {
  jheadless::SetCanvasSize(width, height);
  layer::OpenProgramWindow();
  view.place();
  view.redraw(sparkle);
  jheadless::CanvasPicture(picture);
  layer::CloseProgramWindow();
}

bool PictureOutputs::Draw(const View& view) {
  view.redraw(pictureRandom_);
  return true;
}

Outcome PictureOutputs::Save(const io::Place& place, const jheadless::Picture& picture,
                             const PngTexts& texts, bool durable) {
  std::string reason;
  if (png_.Write(place, picture, texts, durable, reason)) return std::nullopt;
  return WriteFailed(QuoteFile(place.shown), reason);
}

Outcome PictureOutputs::Snapshot(const View& view, std::int64_t done, bool last,
                                 const Provenance& provenance) {
  if (spaceTime_) spaceTime_->AddRow(view.heightsAlongWind());
  const bool frame = !options_.frames.empty();
  const bool final = last && !options_.png.empty();
  PngTexts texts = provenance;
  texts.emplace_back("Snapshot", std::to_string(done));
  if (frame || final) {
    Draw(view);
    jheadless::CanvasPicture(picture_);
    if (frame) {
      const std::string name = FrameName(done, options_.total);
      if (Outcome fault = Save(Frame(name), picture_, texts, false)) return fault;
      unsynced_.push_back(name);
    }
    if (final) {
      if (Outcome fault = Save(places_.png, picture_, texts, true)) return fault;
    }
  }
  if (last) return SaveSpaceTime(provenance);
  return std::nullopt;
}

Outcome PictureOutputs::SaveSpaceTime(const Provenance& provenance) {
  if (!spaceTime_ || spaceTime_->Rows().empty()) return std::nullopt;
  PngTexts texts = provenance;
  texts.emplace_back("HeightRange", LegendNumber(spaceTime_->Lowest()) + " .. " +
                                        LegendNumber(spaceTime_->Highest()));
  return Save(places_.spacetime, spaceTime_->Draw(), texts, true);
}

}  // namespace kammelsim
