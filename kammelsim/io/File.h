// Files as the runner writes and reads them: every call checked, its reason kept, and every
// change counted by the fault seam (Faults.h).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

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
  bool Close();

  /// errno of the last call that failed; 0 while none has.
  int Error() const { return error_; }

 private:
  bool Fail();
  bool WriteFrom(std::int64_t offset, std::string_view bytes);
  int fd_ = -1;
  int error_ = 0;
};

/// rename(2), counted; false with errno set.
bool Rename(const std::string& from, const std::string& to);

/// Syncs the folder that holds path, so that a name made or renamed there lasts a crash.
bool SyncFolderOf(const std::string& path);

/// Removes a file; a missing one is no failure.
bool RemoveFile(const std::string& path);

/// The reason of an errno, as messages give it.
std::string Reason(int error);

}  // namespace kammelsim::io
