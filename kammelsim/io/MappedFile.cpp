#include "kammelsim/io/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kammelsim::io {

std::shared_ptr<const MappedFile> MappedFile::Map(File& file, std::uint64_t limit,
                                                  ReadFault& fault) {
  struct stat status {};
  fault = ReadFault::Failed;
  if (::fstat(file.Descriptor(), &status) != 0) return nullptr;
  fault = !S_ISREG(status.st_mode)                             ? ReadFault::NotAFile
          : static_cast<std::uint64_t>(status.st_size) > limit ? ReadFault::TooLarge
                                                               : ReadFault::None;
  if (fault != ReadFault::None) return nullptr;
  const auto size = static_cast<std::size_t>(status.st_size);
  if (size == 0) return std::shared_ptr<const MappedFile>(new MappedFile(nullptr, 0));
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.Descriptor(), 0);
  if (data == MAP_FAILED) {
    fault = ReadFault::Failed;
    return nullptr;
  }
  ::madvise(data, size, MADV_SEQUENTIAL);
  return std::shared_ptr<const MappedFile>(new MappedFile(static_cast<const char*>(data), size));
}

std::shared_ptr<const MappedFile> MappedFile::Map(const std::string& path, std::uint64_t limit,
                                                  ReadFault& fault) {
  File file;
  if (!file.Open(path, O_RDONLY | O_NONBLOCK)) {
    errno = file.Error();
    fault = errno == ENOENT ? ReadFault::Missing : ReadFault::Failed;
    return nullptr;
  }
  return Map(file, limit, fault);
}

MappedFile::~MappedFile() {
  if (data_) ::munmap(const_cast<char*>(data_), size_);
}

void MappedFile::Drop(std::string_view part) const {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(part.data()) + page - 1) / page * page;
  const auto end = reinterpret_cast<std::uintptr_t>(part.data() + part.size()) / page * page;
  if (part.empty() || end <= begin) return;
  // A private mapping never written to: its pages are the file's, read again if needed.
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

}  // namespace kammelsim::io
