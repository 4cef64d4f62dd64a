// A frame folder's pictures, frame-NNNNNN.png: the names, and which run made them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/io/Place.h"

namespace kammelsim {

/// The name of the frame after done batches or steps of a run of total: frame-000042.png, with
/// as many digits as total has where it has more than 6, so that the names of a run's frames
/// sort as its snapshots do.
std::string FrameName(std::int64_t done, std::int64_t total);

/// The snapshot of a frame's name, of 6 digits or more, or -1 when name is not one.
std::int64_t FrameOf(std::string_view name);

/// The frames in folder, as snapshot and name, in no order; none when it cannot be read.
std::vector<std::pair<std::int64_t, std::string>> FramesIn(const io::Folder& folder);

/// The temporary files of frames ("frame-NNNNNN.png.part-PID") whose process no longer runs,
/// removed; those of a live run are left alone. Returns how many went.
int RemoveFrameLeftovers(const io::FolderRef& folder);

}  // namespace kammelsim
