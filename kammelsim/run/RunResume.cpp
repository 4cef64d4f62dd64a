// Continuing a run from its checkpoint: nothing is used or touched until the checkpoint fits
// the run its options make and every output is this run's, as long as recorded.
#include <sys/file.h>

#include <algorithm>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/run/CheckpointFit.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelsim {
namespace {

// The snapshots of a run of total on schedule at or before done: the frames it has written.
std::vector<std::int64_t> SnapshotsUpTo(const Schedule& schedule, std::int64_t done,
                                        std::int64_t total) {
  std::vector<std::int64_t> snapshots;
  for (std::int64_t at = 0; at <= done; at = schedule.Next(at, total)) {
    snapshots.push_back(at);
    if (at == total) break;
  }
  return snapshots;
}

}  // namespace

int RunDriver::Continue(const RunModel& model) {
  if (!Fits(model) || !TakeOutputs(model, true) || !ContinueOutputs()) return 1;
  SayAppending();
  return Restore() ? 0 : 1;
}

// A checkpoint whose checksum holds can still name another bed than its options make: its
// array and the rows it carries must be those of this run before anything is put back.
bool RunDriver::Fits(const RunModel& model) const {
  const CheckpointData& data = resume_->data;
  std::string why;
  if (CheckpointFits(data, model, settings_.schedule, why)) return true;
  std::fprintf(output_.err, "kammelsim: resume: %s %s\n", QuoteFile(resume_->path).c_str(),
               why.c_str());
  return false;
}

// Every output is this run's, whole as the checkpoint recorded it, and held by this process
// alone, before anything of any of them changes. With write, the files it appends to are
// taken for writing; without, they are only read (a complete run, on a read-only disk too).
bool RunDriver::TakeOutputs(const RunModel& model, bool write) {
  const CheckpointData& data = resume_->data;
  if (!settings_.stats.empty()) {
    stats_.emplace(model.kind, model.jump, model.q, data.stats.initialTotal);
    if (!Fine(stats_->Take(places_.stats, data.statsBytes, data.statsCrc, data.runId, write)))
      return false;
  }
  if (!settings_.netcdf.empty()) {
    netcdf_.emplace();
    NetcdfRecord record{data.netcdfRecords, data.runId, data.netcdfHeaderCrc, data.netcdfRecordsCrc,
                        ""};
    for (const std::string& line : data.history)
      record.history += (record.history.empty() ? "" : "\n") + ProvenanceText(line);
    if (!Fine(netcdf_->Take(places_.netcdf, Layout(model), record, write))) return false;
  }
  if (const io::FolderRef& frames = places_.pictures.frames;
      frames && ::flock(frames->Descriptor(), LOCK_EX | LOCK_NB) != 0) {
    std::fprintf(output_.err, "kammelsim: resume: the frame folder %s\n",
                 LockFault(settings_.pictures.frames, errno).c_str());
    return false;
  }
  const std::vector<std::int64_t> frames =
      settings_.pictures.frames.empty()
          ? std::vector<std::int64_t>()
          : SnapshotsUpTo(settings_.schedule.frames, data.done, settings_.schedule.total);
  return Fine(pictures_.Verify(data.runId, frames)) && HeightsFileIsOurs();
}

// The heights file carries no id of its own: one there already is this run's only when the
// checkpoint recorded writing it, with its CRC-32.
bool RunDriver::HeightsFileIsOurs() const {
  const io::Place& place = places_.heights;
  if (place.Empty() || !io::Exists(place)) return true;
  std::string bytes;
  const bool ours = resume_->data.heightsWritten &&
                    io::ReadWholeFile(place, 1 << 30, bytes) == io::ReadFault::None &&
                    io::Crc32(bytes) == resume_->data.heightsCrc;
  if (ours) return true;
  std::fprintf(output_.err,
               "kammelsim: resume: %s exists, and this checkpoint did not write it; move it away "
               "to continue\n",
               QuoteFile(settings_.heights).c_str());
  return false;
}

// Every output has been taken: each is cut back to the checkpoint, the data file first.
bool RunDriver::ContinueOutputs() {
  const std::string& history = record_.history.back();
  const std::string change = change_.empty() ? "" : record_.changes.back();
  if (netcdf_ && !Fine(netcdf_->Continue(history, record_.changes, record_.total))) return false;
  if (stats_ && !Fine(stats_->Continue(resume_->data.stats, history, change))) return false;
  if (!places_.heights.Empty()) io::RemoveLeftovers(places_.heights);
  io::RemoveLeftovers(places_.checkpoint);
  return Fine(pictures_.CutBack(resume_->data.done));
}

void RunDriver::SayAppending() const {
  for (const std::string* file :
       {&settings_.stats, &settings_.netcdf, &settings_.pictures.frames}) {
    if (!file->empty())
      std::fprintf(output_.err, "kammelsim: resume: appending to %s\n", QuoteFile(*file).c_str());
  }
}

// Puts back the array and the generators as the checkpoint holds them.
bool RunDriver::Restore() {
  const CheckpointData& data = resume_->data;
  if (!CopyCells(data, model_->cells)) {
    std::fprintf(output_.err, "kammelsim: resume: %s %s\n", QuoteFile(resume_->path).c_str(),
                 std::string(kChangedWhileRead).c_str());
    return false;
  }
  model_->random.state = data.modelState;
  if (model_->resumed) model_->resumed(data.done);
  pictures_.SetPictureSeed(data.pictureState);
  pictures_.RestoreSpaceTime(data.spaceTime);
  return true;
}

// A run continued to where it ended already changes no output: once its checkpoint and every
// output are found to be this run's, whole, it says so, and gives its heights where they went,
// writing the heights file only if it has gone.
int RunDriver::Completed() {
  if (!Fits(*model_) || !TakeOutputs(*model_, false)) return 1;
  std::fprintf(output_.err, "kammelsim: resume: the run is complete (%lld of %lld %s)\n",
               static_cast<long long>(record_.done), static_cast<long long>(record_.total),
               unit_.c_str());
  if (!Restore()) return 1;
  if (!places_.heights.Empty() && io::Exists(places_.heights)) return HeightsFileIsOurs() ? 0 : 1;
  if (model_->heightPieces) return WriteHeights(model_->heightPieces) ? 0 : 1;
  return WriteHeights(model_->heights()) ? 0 : 1;
}

}  // namespace kammelsim
