#include "kammelsim/output/Pictures.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "kammelsim/output/Messages.h"
#include "layer/Window.h"

namespace kammelsim {
namespace {

namespace fs = std::filesystem;

// The folder a file goes into: "." for a bare name.
fs::path FolderOf(const std::string& file) {
  const fs::path parent = fs::path(file).parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

// Whether a file can be made in folder: tried for real, as permissions do not tell root.
bool WritableFolder(const fs::path& folder, int& reason) {
  const fs::path probe = folder / (".kammelsim-probe-" + std::to_string(getpid()));
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  reason = errno;
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}

}  // namespace

std::string FrameName(std::int64_t done) {
  char name[40];
  std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(done));
  return name;
}

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

int PictureOutputs::Prepare(const RunOutput& output, std::string_view command, bool continuing) {
  int reason = 0;
  for (const std::string* file : {&options_.png, &options_.spacetime}) {
    if (!file->empty() && !WritableFolder(FolderOf(*file), reason)) {
      errno = reason;
      return WriteFault(output, QuoteFile(*file));
    }
  }
  if (options_.frames.empty()) return 0;
  const fs::path folder = options_.frames;
  std::error_code error;
  if (fs::is_directory(folder, error) && !fs::is_empty(folder, error) && !options_.force &&
      !continuing) {
    return UsageFault(output, std::string(command) + ": the frame folder " +
                                  QuoteFile(options_.frames) +
                                  " holds files already; add --force to write into it");
  }
  fs::create_directories(folder, error);
  if (error || !WritableFolder(folder, reason)) {
    errno = error ? error.value() : reason;
    return WriteFault(output, "frames into " + QuoteFile(options_.frames));
  }
  return 0;
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
                          const RunOutput& output, const PngTexts& texts) {
  std::string reason;
  if (png_.Write(path, picture, texts, reason)) return true;
  std::fprintf(output.err, "kammelsim: cannot write '%s': %s\n", path.c_str(), reason.c_str());
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
    if (frame &&
        !Save((fs::path(options_.frames) / FrameName(done)).string(), picture_, output, texts)) {
      return false;
    }
    if (final && !Save(options_.png, picture_, output, texts)) return false;
  }
  if (last) return SaveSpaceTime(output, provenance);
  return true;
}

bool PictureOutputs::SaveSpaceTime(const RunOutput& output, const Provenance& provenance) {
  if (!spaceTime_ || spaceTime_->Rows().empty()) return true;
  PngTexts texts = provenance;
  texts.emplace_back("HeightRange", LegendNumber(spaceTime_->Lowest()) + " .. " +
                                        LegendNumber(spaceTime_->Highest()));
  return Save(options_.spacetime, spaceTime_->Draw(), output, texts);
}

}  // namespace kammelsim
