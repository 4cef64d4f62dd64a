// A frame folder's pictures, frame-NNNNNN.png: the names, and which run made them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/io/Place.h"

namespace kammelsim {

/// The name of the frame after done batches or steps: frame-000042.png.
std::string FrameName(std::int64_t done);

/// The snapshot of a frame's name, or -1 when name is not one.
std::int64_t FrameOf(std::string_view name);

/// The frames in folder, as snapshot and name, in no order; none when it cannot be read.
std::vector<std::pair<std::int64_t, std::string>> FramesIn(const io::Folder& folder);

/// The temporary files of frames ("frame-NNNNNN.png.part-PID") whose process no longer runs,
/// removed; those of a live run are left alone. Returns how many went.
int RemoveFrameLeftovers(const io::FolderRef& folder);

}  // namespace kammelsim
