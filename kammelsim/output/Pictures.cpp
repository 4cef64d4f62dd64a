#include "kammelsim/output/Pictures.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <filesystem>
#include <system_error>

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

int PictureOutputs::Prepare(const RunOutput& output, std::string_view command) {
  for (const std::string* file : {&options_.png, &options_.spacetime}) {
    if (!file->empty() && !io::FolderTakes(*file)) return WriteFault(output, QuoteFile(*file));
  }
  if (options_.frames.empty()) return 0;
  const fs::path folder = options_.frames;
  std::error_code error;
  if (fs::is_directory(folder, error) && !fs::is_empty(folder, error)) {
    if (!options_.force) {
      return UsageFault(output, std::string(command) + ": the frame folder " +
                                    QuoteFile(options_.frames) +
                                    " holds files already; add --force to write into it");
    }
    for (const auto& [done, path] : FramesIn(options_.frames)) {
      if (!io::RemoveFile(path)) return WriteFault(output, "over " + QuoteFile(path));
    }
  }
  fs::create_directories(folder, error);
  if (error || !io::FolderTakes((folder / "frame").string())) {
    if (error) errno = error.value();
    return WriteFault(output, "frames into " + QuoteFile(options_.frames));
  }
  RemoveFrameLeftovers(options_.frames);
  return 0;
}

namespace {

// Whether a picture file carries the run's id; says why not on err.
bool CarriesRun(const std::string& path, const std::string& runId, const RunOutput& output) {
  std::string found;
  if (ReadPngText(path, "Run", found) && found == runId) return true;
  std::fprintf(output.err, "kammelsim: resume: %s is not a picture of this run (%s)\n",
               QuoteFile(path).c_str(), found.empty() ? "no run id" : "another run's id");
  return false;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

}  // namespace

bool PictureOutputs::Verify(const std::string& runId, const std::vector<std::int64_t>& expected,
                            const RunOutput& output) const {
  for (const std::string* file : {&options_.png, &options_.spacetime}) {
    if (!file->empty() && Exists(*file) && !CarriesRun(*file, runId, output)) return false;
  }
  if (options_.frames.empty()) return true;
  for (const auto& [done, path] : FramesIn(options_.frames)) {
    if (!CarriesRun(path, runId, output)) return false;
  }
  for (const std::int64_t done : expected) {
    const std::string path = (fs::path(options_.frames) / FrameName(done)).string();
    if (Exists(path)) continue;
    std::fprintf(output.err, "kammelsim: resume: the frame folder %s lacks %s\n",
                 QuoteFile(options_.frames).c_str(), FrameName(done).c_str());
    return false;
  }
  return true;
}

bool PictureOutputs::CutBack(std::int64_t done, const RunOutput& output) {
  for (const std::string* file : {&options_.png, &options_.spacetime}) {
    if (!file->empty()) io::RemoveLeftovers(*file);
  }
  if (options_.frames.empty()) return true;
  RemoveFrameLeftovers(options_.frames);
  for (const auto& [frame, path] : FramesIn(options_.frames)) {
    if (frame > done && !io::RemoveFile(path)) {
      WriteFault(output, "over " + QuoteFile(path));
      return false;
    }
  }
  return true;
}

bool PictureOutputs::Sync(const RunOutput& output) {
  for (const std::string& path : unsynced_) {
    io::File frame;
    if (!frame.Open(path, O_RDONLY) || !frame.Sync() || !frame.Close()) {
      errno = frame.Error();
      WriteFault(output, QuoteFile(path));
      return false;
    }
  }
  if (!unsynced_.empty() && !io::SyncFolderOf(unsynced_.back())) {
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

bool PictureOutputs::Save(const std::string& path, const jheadless::Picture& picture,
                          const RunOutput& output, const PngTexts& texts, bool durable) {
  std::string reason;
  if (png_.Write(path, picture, texts, durable, reason)) return true;
  std::fprintf(output.err, "kammelsim: cannot write %s: %s\n", QuoteFile(path).c_str(),
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
    const std::string path = (fs::path(options_.frames) / FrameName(done)).string();
    if (frame && !Save(path, picture_, output, texts, false)) return false;
    if (frame) unsynced_.push_back(path);
    if (final && !Save(options_.png, picture_, output, texts, true)) return false;
  }
  if (last) return SaveSpaceTime(output, provenance);
  return true;
}

bool PictureOutputs::SaveSpaceTime(const RunOutput& output, const Provenance& provenance) {
  if (!spaceTime_ || spaceTime_->Rows().empty()) return true;
  PngTexts texts = provenance;
  texts.emplace_back("HeightRange", LegendNumber(spaceTime_->Lowest()) + " .. " +
                                        LegendNumber(spaceTime_->Highest()));
  return Save(options_.spacetime, spaceTime_->Draw(), output, texts, true);
}

}  // namespace kammelsim
