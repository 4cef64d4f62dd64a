#include "kammelsim/io/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "kammelsim/io/Faults.h"

namespace kammelsim::io {

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::exchange(other.error_, 0);
  }
  return *this;
}

bool File::Fail() {
  error_ = errno;
  return false;
}

bool File::Open(const std::string& path, int flags, mode_t mode) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  const bool writes = (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
  if (writes && !ChangeAllowed()) return Fail();
  do {
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0 || Fail();
}

bool File::Write(std::string_view bytes) {
  return WriteFrom(-1, bytes);
}

bool File::WriteAt(std::uint64_t offset, std::string_view bytes) {
  return WriteFrom(static_cast<std::int64_t>(offset), bytes);
}

// All of bytes, at offset or (below 0) at the current position, in as many calls as it takes.
bool File::WriteFrom(std::int64_t offset, std::string_view bytes) {
  while (!bytes.empty()) {
    if (!ChangeAllowed()) return Fail();
    const ssize_t n = offset < 0 ? ::write(fd_, bytes.data(), bytes.size())
                                 : ::pwrite(fd_, bytes.data(), bytes.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail();
    if (n == 0) {
      errno = EIO;
      return Fail();
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    if (offset >= 0) offset += n;
  }
  return true;
}

bool File::ReadAt(std::uint64_t offset, std::size_t size, std::string& bytes) {
  bytes.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n =
        ::pread(fd_, bytes.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail();
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return true;
}

bool File::Sync() {
  if (!ChangeAllowed()) return Fail();
  return ::fsync(fd_) == 0 || Fail();
}

bool File::Truncate(std::uint64_t size) {
  if (!ChangeAllowed()) return Fail();
  return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 || Fail();
}

bool File::Size(std::uint64_t& size) {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return Fail();
  size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

bool File::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd < 0) return true;
  // close is not retried on EINTR: on Linux the descriptor is gone either way.
  return ::close(fd) == 0 || Fail();
}

bool Rename(const std::string& from, const std::string& to) {
  if (!ChangeAllowed()) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SyncFolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  File folder;
  if (!folder.Open(parent.empty() ? "." : parent.string(), O_RDONLY | O_DIRECTORY)) return false;
  if (!ChangeAllowed()) return false;
  const bool synced = ::fsync(folder.Descriptor()) == 0;
  const int reason = errno;
  folder.Close();
  errno = reason;
  return synced;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::string Reason(int error) {
  return std::strerror(error);
}

}  // namespace kammelsim::io
