#include "kammelsim/io/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace kammelsim::io {
namespace {

constexpr std::string_view kPart = ".part-";

// Whether a process of this id still runs (one of another user's counts as running).
bool Running(long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The process id of a leftover's name "BASE.part-PID", or 0 when it is not one of base's.
long LeftoverOwner(std::string_view name, std::string_view base) {
  if (!name.starts_with(base) || name.substr(base.size(), kPart.size()) != kPart) return 0;
  const std::string_view digits = name.substr(base.size() + kPart.size());
  long pid = 0;
  const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  return fault == std::errc{} && end == digits.data() + digits.size() ? pid : 0;
}

}  // namespace

Place PartOf(const Place& place) {
  return place.Sibling(place.name + std::string(kPart) + std::to_string(::getpid()));
}

bool CreatePart(const Place& part, File& file) {
  // O_EXCL with O_CREAT follows no link: a name that is there, of any kind, is refused.
  constexpr int kFlags = O_RDWR | O_CREAT | O_EXCL;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (file.Open(part, kFlags, 0644)) return true;
    if (file.Error() != EEXIST || !RemoveAt(part)) break;
  }
  errno = file.Error();
  return false;
}

bool ReplaceFile(const Place& place, std::string_view bytes, bool durable, File* locked) {
  return ReplaceFileWith(
      place, [bytes](File& file) { return file.Write(bytes); }, durable, locked);
}

bool ReplaceFileWith(const Place& place, const std::function<bool(File&)>& write, bool durable,
                     File* locked) {
  const Place temporary = PartOf(place);
  File file;
  const bool done = CreatePart(temporary, file) && write(file) && (!durable || file.Sync()) &&
                    (!locked || file.Lock()) && (locked || file.Close()) &&
                    Rename(temporary, place) && (!durable || SyncFolderOf(place));
  if (done) {
    if (locked) *locked = std::move(file);
    return true;
  }
  const int reason = file.Error() != 0 ? file.Error() : errno;
  file.Close();
  RemoveAt(temporary);
  errno = reason;
  return false;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, bool durable) {
  Place place;
  return PlaceOf(path, place) && ReplaceFile(place, bytes, durable);
}

bool FolderTakes(const Place& place) {
  const Place probe = place.Sibling(".kammelsim-probe-" + std::to_string(::getpid()));
  int fd = -1;
  // The name is this process's: one there already was left by a killed one of the same id,
  // or planted, and goes.
  for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
    fd = ::openat(probe.Dir(), probe.name.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && (errno != EEXIST || !RemoveAt(probe))) return false;
  }
  if (fd < 0) return false;
  ::close(fd);
  RemoveAt(probe);
  return true;
}

int RemoveLeftovers(const Place& place) {
  int removed = 0;
  for (const std::string& name : NamesIn(*place.folder)) {
    const long pid = LeftoverOwner(name, place.name);
    if (pid != 0 && !Running(pid) && RemoveAt(place.Sibling(name))) ++removed;
  }
  return removed;
}

ReadFault ReadWholeFile(File& file, std::uint64_t limit, std::string& bytes) {
  struct stat status {};
  if (::fstat(file.Descriptor(), &status) != 0) return ReadFault::Failed;
  if (!S_ISREG(status.st_mode)) return ReadFault::NotAFile;
  if (static_cast<std::uint64_t>(status.st_size) > limit) return ReadFault::TooLarge;
  // One byte more than it holds: a file that grows while read is still caught.
  const std::uint64_t want = std::min(static_cast<std::uint64_t>(status.st_size), limit) + 1;
  if (!file.ReadAt(0, static_cast<std::size_t>(want), bytes)) {
    errno = file.Error();
    return ReadFault::Failed;
  }
  return bytes.size() > limit ? ReadFault::TooLarge : ReadFault::None;
}

ReadFault ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& bytes) {
  File file;
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  if (!file.Open(path, O_RDONLY | O_NONBLOCK)) {
    errno = file.Error();
    return errno == ENOENT ? ReadFault::Missing : ReadFault::Failed;
  }
  return ReadWholeFile(file, limit, bytes);
}

ReadFault ReadWholeFile(const Place& place, std::uint64_t limit, std::string& bytes) {
  File file;
  std::string kind;
  if (!file.OpenRegular(place, O_RDONLY, kind)) {
    errno = file.Error();
    if (!kind.empty()) return ReadFault::NotAFile;
    return errno == ENOENT ? ReadFault::Missing : ReadFault::Failed;
  }
  return ReadWholeFile(file, limit, bytes);
}

std::string ReadFaultReason(ReadFault fault, std::uint64_t limit) {
  switch (fault) {
    case ReadFault::None:
      return "";
    case ReadFault::NotAFile:
      return "not a regular file";
    case ReadFault::TooLarge:
      return "larger than " + std::to_string(limit) + " bytes";
    case ReadFault::Missing:
    case ReadFault::Failed:
      break;
  }
  return std::strerror(errno);
}

}  // namespace kammelsim::io
