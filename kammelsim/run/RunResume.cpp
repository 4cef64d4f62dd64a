// Continuing a run from its checkpoint: nothing is used or touched until the checkpoint fits
// the run its options make and every output is this run's, as long as recorded.
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelsim {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(fs::symlink_status(path, error));
}

// The snapshots of a run at or before done: the frames it has written.
std::vector<std::int64_t> SnapshotsUpTo(const SnapshotSchedule& schedule, std::int64_t done,
                                        std::int64_t recordedTotal) {
  std::vector<std::int64_t> snapshots;
  for (std::int64_t at = 0; at <= done; at += schedule.every)
    snapshots.push_back(at);
  if (done == recordedTotal && done % schedule.every != 0) snapshots.push_back(done);
  return snapshots;
}

}  // namespace

int RunDriver::Continue(const RunModel& model) {
  if (!Fits(model) || !VerifyOutputs(model) || !ReopenOutputs(model)) return 1;
  SayAppending();
  Restore();
  return 0;
}

// A checkpoint whose checksum holds can still name another bed than its options make: its
// array and the rows it carries must be those of this run before anything is put back.
bool RunDriver::Fits(const RunModel& model) const {
  const CheckpointData& data = resume_->data;
  const analysis::Snapshot shape = model.bed();
  const auto alongWind = static_cast<std::size_t>(shape.rows);
  const StatsCarry& carry = data.stats;
  // The sand the run's options put in the array, all of it, none below zero: saltation and
  // creep move grains and never make or lose one, and that bounds every height.
  const auto total = [](const auto& cells) {
    std::int64_t sum = 0;
    for (const std::int32_t h : cells)
      sum += h;
    return sum;
  };
  const bool cells =
      data.cells.size() == model.cells.size() &&
      std::none_of(data.cells.begin(), data.cells.end(), [](std::int32_t h) { return h < 0; }) &&
      total(data.cells) == total(model.cells);
  const bool stats = !data.hasStats || carry.previousField.empty() ||
                     (carry.rows == shape.rows && carry.columns == shape.columns &&
                      carry.previousField.size() == (alongWind - 1) * shape.columns);
  const bool rows = std::all_of(data.spaceTime.rows.begin(), data.spaceTime.rows.end(),
                                [&](const auto& row) { return row.size() == alongWind; });
  const bool outputs = data.hasStats == !settings_.stats.empty() &&
                       (settings_.netcdf.empty() || data.netcdfRecords <= data.done + 1) &&
                       data.spaceTime.rows.size() <= static_cast<std::size_t>(data.done + 1);
  if (cells && stats && rows && outputs) return true;
  std::fprintf(output_.err, "kammelsim: resume: %s does not fit the run it records\n",
               QuoteFile(resume_->path).c_str());
  return false;
}

// Every output is this run's and holds what the checkpoint recorded; nothing is changed.
bool RunDriver::VerifyOutputs(const RunModel& model) const {
  const CheckpointData& data = resume_->data;
  if (!settings_.stats.empty() &&
      !StatsOutput::Verify(settings_.stats, data.statsBytes, data.statsCrc, data.runId, output_)) {
    return false;
  }
  if (!settings_.netcdf.empty() && !NetcdfOutput::Verify(settings_.netcdf, Layout(model),
                                                         data.netcdfRecords, data.runId, output_)) {
    return false;
  }
  const std::vector<std::int64_t> frames =
      SnapshotsUpTo(settings_.schedule, data.done, resume_->data.total);
  return pictures_.Verify(data.runId, frames, output_) && HeightsFileIsOurs();
}

// The heights file carries no id of its own: one there already is this run's only when the
// checkpoint recorded writing it, with its CRC-32.
bool RunDriver::HeightsFileIsOurs() const {
  const std::string& path = settings_.heights;
  if (!Exists(path)) return true;
  std::string bytes;
  const bool ours = resume_->data.heightsWritten &&
                    io::ReadWholeFile(path, 1 << 30, bytes) == io::ReadFault::None &&
                    crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                          static_cast<uInt>(bytes.size())) == resume_->data.heightsCrc;
  if (ours) return true;
  std::fprintf(output_.err,
               "kammelsim: resume: %s exists, and this checkpoint did not write it; move it away "
               "to continue\n",
               QuoteFile(path).c_str());
  return false;
}

// The data file is checked and cut back in one call; it comes first, so that a file it
// refuses leaves every other output as it was.
bool RunDriver::ReopenOutputs(const RunModel& model) {
  const CheckpointData& data = resume_->data;
  const std::string& history = record_.history.back();
  if (!settings_.netcdf.empty()) {
    netcdf_.emplace();
    if (!netcdf_->Reopen(settings_.netcdf, Layout(model), data.netcdfRecords, data.runId, history,
                         output_)) {
      return false;
    }
  }
  if (!settings_.stats.empty()) {
    stats_.emplace(model.kind, model.jump, model.q, data.stats.initialTotal);
    if (!stats_->Reopen(settings_.stats, data.statsBytes, data.statsCrc, data.stats, history,
                        output_)) {
      return false;
    }
  }
  if (!settings_.heights.empty()) io::RemoveLeftovers(settings_.heights);
  io::RemoveLeftovers(settings_.checkpoint);
  return pictures_.CutBack(data.done, output_);
}

void RunDriver::SayAppending() const {
  for (const std::string* file :
       {&settings_.stats, &settings_.netcdf, &settings_.pictures.frames}) {
    if (!file->empty())
      std::fprintf(output_.err, "kammelsim: resume: appending to %s\n", QuoteFile(*file).c_str());
  }
}

// Puts back the array and the generators as the checkpoint holds them.
void RunDriver::Restore() {
  const CheckpointData& data = resume_->data;
  std::copy(data.cells.begin(), data.cells.end(), model_->cells.begin());
  model_->random.state = data.modelState;
  pictures_.SetPictureSeed(data.pictureState);
  pictures_.RestoreSpaceTime(data.spaceTime);
}

// A run continued to where it ended already changes no output: once its checkpoint and every
// output are found to be this run's, whole, it says so, and gives its heights where they went,
// writing the heights file only if it has gone.
int RunDriver::Completed() {
  if (!Fits(*model_) || !VerifyOutputs(*model_)) return 1;
  std::fprintf(output_.err, "kammelsim: resume: the run is complete (%lld of %lld %s)\n",
               static_cast<long long>(record_.done), static_cast<long long>(record_.total),
               unit_.c_str());
  Restore();
  if (!settings_.heights.empty() && Exists(settings_.heights)) return HeightsFileIsOurs() ? 0 : 1;
  return WriteHeights(model_->heights()) ? 0 : 1;
}

}  // namespace kammelsim
