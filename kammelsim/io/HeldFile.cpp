#include "kammelsim/io/HeldFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kammelsim::io {

std::shared_ptr<const HeldFile> HeldFile::Hold(File& file, std::uint64_t limit, ReadFault& fault) {
  struct stat status {};
  fault = ReadFault::Failed;
  if (::fstat(file.Descriptor(), &status) != 0) return nullptr;
  fault = !S_ISREG(status.st_mode)                             ? ReadFault::NotAFile
          : static_cast<std::uint64_t>(status.st_size) > limit ? ReadFault::TooLarge
                                                               : ReadFault::None;
  if (fault != ReadFault::None) return nullptr;
  const int fd = ::fcntl(file.Descriptor(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    fault = ReadFault::Failed;
    return nullptr;
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::shared_ptr<const HeldFile>(new HeldFile(fd, size));
}

std::shared_ptr<const HeldFile> HeldFile::Hold(const std::string& path, std::uint64_t limit,
                                               ReadFault& fault) {
  File file;
  if (!file.Open(path, O_RDONLY | O_NONBLOCK)) {
    errno = file.Error();
    fault = errno == ENOENT ? ReadFault::Missing : ReadFault::Failed;
    return nullptr;
  }
  return Hold(file, limit, fault);
}

HeldFile::~HeldFile() {
  ::close(fd_);
}

bool HeldFile::Read(std::uint64_t offset, std::span<char> out) const {
  std::size_t got = 0;
  while (got < out.size()) {
    const ssize_t n =
        ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace kammelsim::io
