// Files replaced whole or not at all, and files read whole within a limit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "kammelsim/io/File.h"
#include "kammelsim/io/Place.h"

namespace kammelsim::io {

/// The temporary place a file is written under before it is renamed into place:
/// "NAME.part-PID" beside it. A killed run leaves these behind; RemoveLeftovers clears them.
Place PartOf(const Place& place);

/// Makes the temporary file at part for writing (O_RDWR), exclusively: never through a link
/// or into a file that was there; one left under this process's own number (a dead process's
/// that had it, or one planted there) is removed first. False with errno.
bool CreatePart(const Place& part, File& file);

/// Writes bytes to PartOf(place) and renames it into place, so that place holds either its old
/// content or all of the new; whatever had the name, a link included, is replaced, never
/// written through. With durable, the data and the rename reach the disk before this returns.
/// With locked, the new file is taken with File::Lock before it gets the name, and kept open
/// there. False, with errno set, when it could not; the temporary file is gone then.
bool ReplaceFile(const Place& place, std::string_view bytes, bool durable, File* locked = nullptr);
/// The same with the bytes written by write, a piece at a time, so that a file larger than
/// memory spares is never held whole; write returns false (with the file's or errno's reason)
/// to give up.
bool ReplaceFileWith(const Place& place, const std::function<bool(File&)>& write, bool durable,
                     File* locked = nullptr);
/// The same for a path as named (PlaceOf).
bool ReplaceFile(const std::string& path, std::string_view bytes, bool durable);

/// Whether a file can be made beside place, tried for real (permissions do not tell root), so
/// that an output that could not be written is found before the run, not after it. False with
/// errno set.
bool FolderTakes(const Place& place);

/// Removes the PartOf files of place whose process no longer runs; a live run's are left
/// alone. Returns how many went.
int RemoveLeftovers(const Place& place);

/// Why a read was refused.
enum class ReadFault { None, Missing, NotAFile, TooLarge, Failed };

/// The whole content of a regular file of at most limit bytes. FIFOs, devices and folders are
/// refused before anything is read, so nothing blocks or grows without end. On a fault, says
/// which and leaves errno for Failed and Missing.
ReadFault ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& bytes);
/// The same for a place, whose name is never followed: a link is NotAFile.
ReadFault ReadWholeFile(const Place& place, std::uint64_t limit, std::string& bytes);
/// The same for a file open for reading.
ReadFault ReadWholeFile(File& file, std::uint64_t limit, std::string& bytes);

/// The reason of a ReadFault, as messages give it (errno for Failed and Missing).
std::string ReadFaultReason(ReadFault fault, std::uint64_t limit);

}  // namespace kammelsim::io
