#include "kammelsim/io/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kammelsim {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The rename is durable only once the folder that holds the name is synced too.
void SyncFolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  const int fd = open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view bytes, bool durable,
                 std::string& error) {
  const std::string temporary = path + ".part-" + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  bool written = WriteAll(fd, bytes) && (!durable || fsync(fd) == 0);
  int reason = errno;
  if (close(fd) != 0 && written) {
    written = false;
    reason = errno;
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) {
    if (durable) SyncFolderOf(path);
    return true;
  }
  error = std::strerror(written ? errno : reason);
  unlink(temporary.c_str());
  return false;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  bytes.clear();
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  const int reason = errno;
  std::fclose(file);
  if (failed) error = std::strerror(reason);
  return !failed;
}

}  // namespace kammelsim
