#include "kammelsim/io/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "kammelsim/io/File.h"

namespace kammelsim::io {
namespace {

namespace fs = std::filesystem;

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

std::string PartName(const std::string& path) {
  return path + std::string(kPart) + std::to_string(::getpid());
}

bool ReplaceFile(const std::string& path, std::string_view bytes, bool durable) {
  const std::string temporary = PartName(path);
  File file;
  bool done = file.Open(temporary, O_WRONLY | O_CREAT | O_TRUNC) && file.Write(bytes) &&
              (!durable || file.Sync()) && file.Close() && Rename(temporary, path) &&
              (!durable || SyncFolderOf(path));
  if (done) return true;
  const int reason = file.Error() != 0 ? file.Error() : errno;
  file.Close();
  ::unlink(temporary.c_str());
  errno = reason;
  return false;
}

bool FolderTakes(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  const fs::path probe = (folder.empty() ? fs::path(".") : folder) /
                         (".kammelsim-probe-" + std::to_string(::getpid()));
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

int RemoveLeftovers(const std::string& path) {
  const fs::path target(path);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const std::string base = target.filename().string();
  int removed = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const long pid = LeftoverOwner(name, base);
    if (pid != 0 && !Running(pid) && RemoveFile(it->path().string())) ++removed;
  }
  return removed;
}

ReadFault ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& bytes) {
  File file;
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  if (!file.Open(path, O_RDONLY | O_NONBLOCK)) {
    errno = file.Error();
    return errno == ENOENT ? ReadFault::Missing : ReadFault::Failed;
  }
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
