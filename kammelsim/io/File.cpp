#include "kammelsim/io/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Faults.h"

namespace kammelsim::io {

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      error_(std::exchange(other.error_, 0)),
      name_(std::move(other.name_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::exchange(other.error_, 0);
    name_ = std::move(other.name_);
  }
  return *this;
}

bool File::Fail() {
  error_ = errno;
  return false;
}

namespace {

bool Writes(int flags) {
  return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
}

}  // namespace

// What every open shares: the fault seam's count, EINTR, and the name changes count under.
bool File::Opened(int fd, std::string_view name) {
  fd_ = fd;
  name_ = ChangeFile(name);
  return fd_ >= 0 || Fail();
}

bool File::Open(const std::string& path, int flags, mode_t mode) {
  Close();
  if (Writes(flags) && !ChangeAllowed(path, Change::Open)) return Fail();
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return Opened(fd, path);
}

bool File::Open(const Place& place, int flags, mode_t mode) {
  Close();
  if (Writes(flags) && !ChangeAllowed(place.name, Change::Open)) return Fail();
  int fd = -1;
  do {
    fd = ::openat(place.Dir(), place.name.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, mode);
  } while (fd < 0 && errno == EINTR);
  return Opened(fd, place.name);
}

bool File::OpenLock(const Place& place) {
  Close();
  int fd = -1;
  do {
    fd = ::openat(place.Dir(), place.name.c_str(),
                  O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW, 0644);
  } while (fd < 0 && errno == EINTR);
  return Opened(fd, place.name);
}

bool File::OpenRegular(const Place& place, int flags, std::string& why) {
  Close();
  struct stat before {
  }, after{};
  if (!StatusOf(place, before)) return Fail();
  why = KindOf(before);
  if (why.empty()) {
    // Non-blocking: should the name become a FIFO in between, the open does not wait on it.
    if (!Open(place, flags | O_NONBLOCK)) return false;
    if (::fstat(fd_, &after) != 0) return Fail();
    why = KindOf(after);
    if (why.empty() && (after.st_ino != before.st_ino || after.st_dev != before.st_dev))
      why = "replaced while it was opened";
    if (why.empty()) return ::fcntl(fd_, F_SETFL, flags & ~O_ACCMODE & ~O_NONBLOCK) == 0 || Fail();
    Close();
  }
  errno = EINVAL;
  return Fail();
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
    if (!ChangeAllowed(name_, Change::Write)) return Fail();
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
  if (!ChangeAllowed(name_, Change::Sync)) return Fail();
  return ::fsync(fd_) == 0 || Fail();
}

bool File::Truncate(std::uint64_t size) {
  if (!ChangeAllowed(name_, Change::Truncate)) return Fail();
  return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 || Fail();
}

bool File::Size(std::uint64_t& size) {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return Fail();
  size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

bool File::Lock() {
  int locked = -1;
  do {
    locked = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  return locked == 0 || Fail();
}

void File::CountAs(std::string_view name) {
  name_ = ChangeFile(name);
}

bool File::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd < 0) return true;
  // close is not retried on EINTR: on Linux the descriptor is gone either way.
  return ::close(fd) == 0 || Fail();
}

bool Rename(const Place& from, const Place& to) {
  if (!ChangeAllowed(to.name, Change::Rename)) return false;
  return ::renameat(from.Dir(), from.name.c_str(), to.Dir(), to.name.c_str()) == 0;
}

bool SyncFolderOf(const Place& place) {
  if (!ChangeAllowed(place.name, Change::FolderSync)) return false;
  return ::fsync(place.Dir()) == 0;
}

bool TakeFile(const Place& place, bool write, File& file, std::string& why) {
  std::string kind;
  struct stat status {};
  if (!file.OpenRegular(place, write ? O_RDWR : O_RDONLY, kind)) {
    why = kind.empty() ? "cannot be opened: " + Reason(file.Error())
                       : "is " + kind + ", not a file this run wrote";
    return false;
  }
  if (::fstat(file.Descriptor(), &status) != 0) {
    why = "cannot be read: " + Reason(errno);
  } else if (!file.Lock()) {
    why = file.Error() == EWOULDBLOCK ? "is in use by another kammelsim run or resume"
                                      : "cannot be locked: " + Reason(file.Error());
  }
  if (why.empty()) return true;
  const int reason = file.Error() != 0 ? file.Error() : EINVAL;
  file.Close();
  errno = reason;
  return false;
}

namespace {

// Whether a lock is held on name in folder that keeps out one of kind; nothing stays held.
bool HeldElsewhere(int folder, const char* name, int flags, int kind) {
  const int fd = ::openat(folder, name, flags | O_CLOEXEC);
  if (fd < 0) return false;
  int locked = -1;
  do {
    locked = ::flock(fd, kind | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  const bool held = locked != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

}  // namespace

bool InUse(const Place& place) {
  struct stat status {};
  if (!StatusOf(place, status) || !S_ISREG(status.st_mode)) return false;
  // Non-blocking: should the name become a FIFO in between, the open does not wait on it.
  return HeldElsewhere(place.Dir(), place.name.c_str(),
                       O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY, LOCK_EX);
}

bool FolderInUse(const Place& place) {
  return HeldElsewhere(place.Dir(), ".", O_RDONLY | O_DIRECTORY, LOCK_SH);
}

bool Shared(const File& file) {
  struct stat status {};
  return ::fstat(file.Descriptor(), &status) == 0 && status.st_nlink > 1;
}

bool CopyApart(const Place& place, File& file, std::uint64_t bytes) {
  const Place part = PartOf(place);
  File copy;
  std::string chunk;
  bool copied = CreatePart(part, copy);
  for (std::uint64_t at = 0; copied && at < bytes; at += chunk.size()) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes - at, 4 << 20));
    if (!file.ReadAt(at, piece, chunk) || chunk.empty()) {
      if (file.Error() == 0) errno = EIO;
      copied = false;
      break;
    }
    copied = copy.WriteAt(at, chunk);
  }
  copied = copied && copy.Sync() && copy.Lock() && Rename(part, place) && SyncFolderOf(place);
  if (!copied) {
    const int reason = copy.Error() != 0 ? copy.Error() : file.Error() != 0 ? file.Error() : errno;
    copy.Close();
    RemoveAt(part);
    errno = reason;
    return false;
  }
  copy.CountAs(place.name);
  file = std::move(copy);
  return true;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::string Reason(int error) {
  return std::strerror(error);
}

}  // namespace kammelsim::io
