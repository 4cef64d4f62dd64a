// Files as the runner writes and reads them: every call checked, its reason kept, and every
// change counted by the fault seam (Faults.h).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "kammelsim/io/Place.h"

namespace kammelsim::io {

/// One open file descriptor; closed when destroyed (without a check: call Close to see it).
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  /// Opens path with open(2)'s flags (O_CLOEXEC added); one that may write counts as a change.
  bool Open(const std::string& path, int flags, mode_t mode = 0644);
  /// Opens the name at place, never following it if it is a link (O_NOFOLLOW added).
  bool Open(const Place& place, int flags, mode_t mode = 0644);
  /// Opens (or makes) a lock file at place as Open does; no output, so the fault seam leaves it
  /// out.
  bool OpenLock(const Place& place);
  /// Opens the regular file at place with flags (O_CREAT not among them): a link, FIFO,
  /// device or folder is refused before it is opened, with what it is in why ("a FIFO") and
  /// errno EINVAL; nothing there is ENOENT, as from open(2).
  bool OpenRegular(const Place& place, int flags, std::string& why);
  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  /// All of bytes at the current position, or at offset.
  bool Write(std::string_view bytes);
  bool WriteAt(std::uint64_t offset, std::string_view bytes);
  /// size bytes at offset; fewer only at the end of the file.
  bool ReadAt(std::uint64_t offset, std::size_t size, std::string& bytes);
  /// The data and what describes it on disk.
  bool Sync();
  bool Truncate(std::uint64_t size);
  bool Size(std::uint64_t& size);
  /// Takes flock's exclusive lock without waiting: false, errno EWOULDBLOCK, when another open
  /// file holds it. It goes with Close.
  bool Lock();
  bool Close();

  /// Counts the file's later changes under this name (a temporary file renamed into place).
  void CountAs(std::string_view name);

  /// errno of the last call that failed; 0 while none has.
  int Error() const { return error_; }

 private:
  bool Fail();
  bool Opened(int fd, std::string_view name);
  bool WriteFrom(std::int64_t offset, std::string_view bytes);
  int fd_ = -1;
  int error_ = 0;
  std::string name_;  ///< what the fault seam counts its changes under
};

/// renameat(2) from one place to another, counted as a rename of to; false with errno set.
bool Rename(const Place& from, const Place& to);

/// Syncs the folder that holds place, so that a name made or renamed there lasts a crash.
bool SyncFolderOf(const Place& place);

/// Takes the regular file at place that a run continues in place (for writing, or, without
/// write, only to read it), before anything of it changes: refused, with the rest of a line
/// that names it in why, when it is a link, FIFO, device or folder, or when another process
/// holds its lock (File::Lock; errno EWOULDBLOCK then).
bool TakeFile(const Place& place, bool write, File& file, std::string& why);

/// Whether the regular file at place is locked (File::Lock) by another open file: a run that
/// appends to it still runs. Anything else, or a file that cannot be opened, is not.
bool InUse(const Place& place);

/// Whether the folder that holds place is a live run's frame folder (locked as one): nothing
/// but that run writes there.
bool FolderInUse(const Place& place);

/// Whether an open file has other names than its own (hard links, as cp -al makes them),
/// which would change with it.
bool Shared(const File& file);

/// Gives the file at place, open as file, a copy of its first bytes of its own, locked, under
/// its name, before it changes: its other names keep what they hold. False with errno; file
/// is as it was then.
bool CopyApart(const Place& place, File& file, std::uint64_t bytes);

/// Removes a file; a missing one is no failure.
bool RemoveFile(const std::string& path);

/// The reason of an errno, as messages give it.
std::string Reason(int error);

}  // namespace kammelsim::io
