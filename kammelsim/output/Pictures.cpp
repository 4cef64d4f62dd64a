#include "kammelsim/output/Pictures.h"

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
int PictureOutputs::OpenFrameFolder(const RunOutput& output, std::string_view command) {
  const io::Place& entry = places_.framesEntry;
  const std::string shown = "frames into " + QuoteFile(options_.frames);
  struct stat status {};
  if (!io::StatusOf(entry, status)) {
    if (errno != ENOENT || ::mkdirat(entry.Dir(), entry.name.c_str(), 0777) != 0)
      return WriteFault(output, shown);
  } else if (!S_ISDIR(status.st_mode)) {
    return UsageFault(output, std::string(command) + ": the frame folder " +
                                  QuoteFile(options_.frames) + " is " + io::KindOf(status) +
                                  ", not a folder");
  }
  const int fd =
      ::openat(entry.Dir(), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return WriteFault(output, shown);
  places_.frames = std::make_shared<const io::Folder>(fd);
  // Held for the run's life: a second run writing frames here is refused.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    std::fprintf(output.err,
                 "kammelsim: %.*s: the frame folder %s is in use by another kammelsim "
                 "run or resume\n",
                 static_cast<int>(command.size()), command.data(),
                 QuoteFile(options_.frames).c_str());
    return 1;
  }
  return 0;
}

int PictureOutputs::Prepare(const RunOutput& output, std::string_view command) {
  for (const io::Place* file : {&places_.png, &places_.spacetime}) {
    if (!file->Empty() && !io::FolderTakes(*file))
      return WriteFault(output, QuoteFile(file->shown));
  }
  if (options_.frames.empty()) return 0;
  if (const int fault = OpenFrameFolder(output, command)) return fault;
  if (!io::NamesIn(*places_.frames).empty()) {
    if (!options_.force) {
      return UsageFault(output, std::string(command) + ": the frame folder " +
                                    QuoteFile(options_.frames) +
                                    " holds files already; add --force to write into it");
    }
    for (const auto& [done, name] : FramesIn(*places_.frames)) {
      if (!io::RemoveAt(Frame(name)))
        return WriteFault(output, "over " + QuoteFile(Frame(name).shown));
    }
  }
  if (!io::FolderTakes(Frame("frame")))
    return WriteFault(output, "frames into " + QuoteFile(options_.frames));
  RemoveFrameLeftovers(places_.frames);
  return 0;
}

namespace {

// Whether a picture file carries the run's id; says why not on err.
bool CarriesRun(const io::Place& place, const std::string& runId, const RunOutput& output) {
  std::string found;
  if (ReadPngText(place, "Run", found) && found == runId) return true;
  std::fprintf(output.err, "kammelsim: resume: %s is not a picture of this run (%s)\n",
               QuoteFile(place.shown).c_str(), found.empty() ? "no run id" : "another run's id");
  return false;
}

}  // namespace

// A kept frame is read whole: its image decodes at the run's canvas, and it is the picture of
// its own snapshot in this run.
bool PictureOutputs::FrameIsKept(const std::string& name, std::int64_t done,
                                 const std::string& runId, const RunOutput& output) const {
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
  if (why.empty()) return true;
  std::fprintf(output.err, "kammelsim: resume: %s %s\n", QuoteFile(frame.shown).c_str(),
               why.c_str());
  return false;
}

bool PictureOutputs::Verify(const std::string& runId, const std::vector<std::int64_t>& expected,
                            const RunOutput& output) const {
  for (const io::Place* file : {&places_.png, &places_.spacetime}) {
    if (!file->Empty() && io::Exists(*file) && !CarriesRun(*file, runId, output)) return false;
  }
  if (options_.frames.empty()) return true;
  auto frames = FramesIn(*places_.frames);
  std::sort(frames.begin(), frames.end());
  const std::int64_t last = expected.empty() ? -1 : expected.back();
  for (const auto& [done, name] : frames) {
    const bool kept = done <= last;
    if (kept ? !FrameIsKept(name, done, runId, output) : !CarriesRun(Frame(name), runId, output))
      return false;
  }
  for (const std::int64_t done : expected) {
    if (io::Exists(Frame(FrameName(done)))) continue;
    std::fprintf(output.err, "kammelsim: resume: the frame folder %s lacks %s\n",
                 QuoteFile(options_.frames).c_str(), FrameName(done).c_str());
    return false;
  }
  return true;
}

bool PictureOutputs::CutBack(std::int64_t done, const RunOutput& output) {
  for (const io::Place* file : {&places_.png, &places_.spacetime}) {
    if (!file->Empty()) io::RemoveLeftovers(*file);
  }
  if (options_.frames.empty()) return true;
  RemoveFrameLeftovers(places_.frames);
  for (const auto& [frame, name] : FramesIn(*places_.frames)) {
    if (frame > done && !io::RemoveAt(Frame(name))) {
      WriteFault(output, "over " + QuoteFile(Frame(name).shown));
      return false;
    }
  }
  return true;
}

bool PictureOutputs::Sync(const RunOutput& output) {
  for (const std::string& name : unsynced_) {
    io::File frame;
    if (!frame.Open(Frame(name), O_RDONLY) || !frame.Sync() || !frame.Close()) {
      errno = frame.Error();
      WriteFault(output, QuoteFile(Frame(name).shown));
      return false;
    }
  }
  if (!unsynced_.empty() && !io::SyncFolderOf(Frame(unsynced_.back()))) {
    WriteFault(output, "the frame folder " + QuoteFile(options_.frames));
    return false;
  }
  unsynced_.clear();
  return true;
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

bool PictureOutputs::Save(const io::Place& place, const jheadless::Picture& picture,
                          const RunOutput& output, const PngTexts& texts, bool durable) {
  std::string reason;
  if (png_.Write(place, picture, texts, durable, reason)) return true;
  std::fprintf(output.err, "kammelsim: cannot write %s: %s\n", QuoteFile(place.shown).c_str(),
               reason.c_str());
  return false;
}

bool PictureOutputs::Snapshot(const View& view, std::int64_t done, bool last,
                              const RunOutput& output, const Provenance& provenance) {
  if (spaceTime_) spaceTime_->AddRow(view.heightsAlongWind());
  const bool frame = !options_.frames.empty();
  const bool final = last && !options_.png.empty();
  PngTexts texts = provenance;
  texts.emplace_back("Snapshot", std::to_string(done));
  if (frame || final) {
    Draw(view);
    jheadless::CanvasPicture(picture_);
    if (frame && !Save(Frame(FrameName(done)), picture_, output, texts, false)) return false;
    if (frame) unsynced_.push_back(FrameName(done));
    if (final && !Save(places_.png, picture_, output, texts, true)) return false;
  }
  if (last) return SaveSpaceTime(output, provenance);
  return true;
}

bool PictureOutputs::SaveSpaceTime(const RunOutput& output, const Provenance& provenance) {
  if (!spaceTime_ || spaceTime_->Rows().empty()) return true;
  PngTexts texts = provenance;
  texts.emplace_back("HeightRange", LegendNumber(spaceTime_->Lowest()) + " .. " +
                                        LegendNumber(spaceTime_->Highest()));
  return Save(places_.spacetime, spaceTime_->Draw(), output, texts, true);
}

}  // namespace kammelsim
