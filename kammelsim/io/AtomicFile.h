// Files replaced whole or not at all, and files read whole within a limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kammelsim::io {

/// The temporary name a file is written under before it is renamed into place:
/// "NAME.part-PID". A killed run leaves these behind; RemoveLeftovers clears them.
std::string PartName(const std::string& path);

/// Writes bytes to PartName(path) and renames it into place, so that path holds either its old
/// content or all of the new. With durable, the data and the rename reach the disk before this
/// returns, so a crash right after it keeps the new file. False, with errno set, when it could
/// not; the temporary file is gone then.
bool ReplaceFile(const std::string& path, std::string_view bytes, bool durable);

/// Whether a file can be made beside path, tried for real (permissions do not tell root), so
/// that an output that could not be written is found before the run, not after it. False with
/// errno set.
bool FolderTakes(const std::string& path);

/// Removes the PartName files of path (and, for a folder's frames, of its pattern) whose
/// process no longer runs; a live run's are left alone. Returns how many went.
int RemoveLeftovers(const std::string& path);

/// Why a read was refused.
enum class ReadFault { None, Missing, NotAFile, TooLarge, Failed };

/// The whole content of a regular file of at most limit bytes. FIFOs, devices and folders are
/// refused before anything is read, so nothing blocks or grows without end. On a fault, says
/// which and leaves errno for Failed and Missing.
ReadFault ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& bytes);

/// The reason of a ReadFault, as messages give it (errno for Failed and Missing).
std::string ReadFaultReason(ReadFault fault, std::uint64_t limit);

}  // namespace kammelsim::io
