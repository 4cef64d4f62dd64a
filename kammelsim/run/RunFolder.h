// A run belongs to the folder of its checkpoint: its outputs are recorded relative to it, so
// they follow a copied or moved folder; only one process runs it at a time.
#pragma once

#include <string>

#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunSettings.h"

namespace kammelsim {

/// The outputs of settings as a checkpoint at checkpoint records them: relative to its folder
/// when below it, absolute otherwise.
RecordedOutputs RecordOutputs(const RunSettings& settings, const std::string& checkpoint);

/// The recorded outputs, resolved against where the checkpoint lies now, into settings. An
/// output recorded outside the checkpoint's folder is refused unless allowOutside; one whose
/// name climbs out of the folder is refused always. False with one line in error.
bool ResolveOutputs(const RecordedOutputs& recorded, const std::string& checkpoint,
                    bool allowOutside, RunSettings& settings, std::string& error);

/// An advisory lock (flock) held for a run's whole life on a file beside its checkpoint,
/// ".NAME.lock": a second run or resume of the same checkpoint is refused at once.
class RunLock {
 public:
  RunLock() = default;
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  /// False, with one line in error and errno set (EWOULDBLOCK: another process holds it), when
  /// it cannot be had.
  bool Acquire(const std::string& checkpoint, std::string& error);

 private:
  int fd_ = -1;
};

}  // namespace kammelsim
