// A run belongs to the folder of its checkpoint: its outputs are recorded relative to it, so
// they follow a copied or moved folder, and reached below it without a link; only one process
// runs it at a time, whatever names its files have.
#pragma once

#include <string>
#include <vector>

#include "kammelsim/io/File.h"
#include "kammelsim/io/Place.h"
#include "kammelsim/output/pictures/Pictures.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunSettings.h"

namespace kammelsim {

/// Where a run's outputs are, each held by its folder (see io::Place); empty for one not
/// asked for.
struct OutputPlaces {
  io::Place stats, netcdf, heights, checkpoint;
  PicturePlaces pictures;
};

/// A new run's outputs: one whose name lies below the checkpoint's folder is reached there
/// without a link and recorded relative to it; any other (one outside, or reached through a
/// link) as named, and recorded by its absolute name, which a resume takes only with
/// --allow-outside. Missing folders of the frame folder are made. False with one line in error
/// and errno.
bool PlaceNewOutputs(const RunSettings& settings, OutputPlaces& places, RecordedOutputs& recorded,
                     std::string& error);

/// Whether each of a new run's outputs has a file of its own: two options that name one place
/// (however spelled, or reached through links) would leave one of them lost. False with one
/// line, naming both, in error.
bool DistinctOutputs(const OutputPlaces& places, std::string& error);

/// The recorded outputs, resolved against where the checkpoint lies now, into settings (the
/// names messages give) and places. One recorded relative is reached below the checkpoint's
/// folder without a link, or refused; one recorded outside the folder is refused unless
/// allowOutside, and one whose name climbs out of the folder always. False with one line in
/// error.
bool PlaceRecordedOutputs(const RecordedOutputs& recorded, const std::string& checkpoint,
                          bool allowOutside, RunSettings& settings, OutputPlaces& places,
                          std::string& error);

/// The locks that keep a run to one process, held for the run's life: flock on the checkpoint
/// file itself (moved to each new one it writes), on ".NAME.lock" beside it for its name, OFD
/// locks on the run's id in the folder's ".kammelsim.lock" and on the folder itself (a copy of
/// the checkpoint is the same run, and a removed lock file frees nothing), and, taken by the
/// outputs, flock on the files it appends to and on its frame folder.
class RunLock {
 public:
  /// Locks the checkpoint file at path (a link the caller named is followed) and, when held
  /// is given, holds the locked file there to be read in place. A missing file is no failure when
  /// missingOk; neither is a file that is no regular file then (nothing of a run is there to hold).
  /// False with one line in error and errno: EWOULDBLOCK when another process holds it.
  bool LockCheckpoint(const std::string& path, bool missingOk,
                      std::shared_ptr<const io::HeldFile>* held, std::string& error);
  /// Locks the checkpoint's name: ".NAME.lock" beside it. False as LockCheckpoint; EROFS on a
  /// read-only file system, where no lock file can be made.
  bool LockName(const std::string& checkpoint, std::string& error);
  /// Removes the name's lock file, held still, when no checkpoint was written under the name:
  /// a run refused before it began leaves nothing behind.
  void DropName(const std::string& checkpoint);
  /// Locks the run's id in the checkpoint's folder. False as LockName.
  bool LockRun(const std::string& checkpoint, const std::string& runId, std::string& error);
  /// Locks the name of each of the run's outputs in its folder, as the run's id is locked, so
  /// that no other run makes, replaces or appends to a file of the same name while this one
  /// runs. False with one line in error: EWOULDBLOCK when another run holds one.
  bool LockOutputs(const OutputPlaces& places, std::string& error);
  /// The checkpoint file just written in place of the last one, locked already.
  void KeepCheckpoint(io::File file) { checkpoint_ = std::move(file); }

 private:
  io::File checkpoint_, name_, run_;
  io::Place namePlace_;            ///< of name_, the checkpoint's ".NAME.lock"
  io::FolderRef folder_;           ///< the checkpoint's folder, holding the run's id as a read lock
  std::vector<io::File> outputs_;  ///< the lock files that hold the outputs' names
};

/// Whether name is one the runner keeps for its locks (".kammelsim.lock", ".NAME.lock"): no
/// output may take it.
bool IsLockName(const std::string& name);

/// The line a lock that could not be had gives: "'run.ck' is in use by another kammelsim run
/// or resume", or why it could not be tried.
std::string LockFault(const std::string& checkpoint, int error);

}  // namespace kammelsim
