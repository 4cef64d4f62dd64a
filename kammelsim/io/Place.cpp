#include "kammelsim/io/Place.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "kammelsim/io/Faults.h"

namespace kammelsim::io {
namespace {

namespace fs = std::filesystem;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

FolderRef Held(int fd) {
  return fd < 0 ? nullptr : std::make_shared<const Folder>(fd);
}

// Set once the kernel (or a filter in front of it) has said it has no openat2.
std::atomic<bool> kernelLacksOpenat2{false};

// openat2 below root without any link; -2 when the call is not there, so that the caller
// walks instead.
int Openat2Beneath(int root, const std::string& relative) {
  if (kernelLacksOpenat2 || Openat2Pretended()) return -2;
  open_how how{};
  how.flags = kFolderFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  // EAGAIN: a rename raced with the walk; a few tries, not an endless loop against a racer.
  for (int attempt = 0; attempt < 64; ++attempt) {
    const long fd = syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno == EINTR || errno == EAGAIN) continue;
    // ENOSYS: an older kernel; EPERM: a seccomp filter that forbids it (as some containers do).
    if (errno == ENOSYS || errno == EPERM) {
      kernelLacksOpenat2 = true;
      return -2;
    }
    return -1;
  }
  return -1;
}

// The same walk one folder at a time, none of them followed if it is a link.
int WalkBeneath(int root, const std::string& relative) {
  int at = ::dup(root);
  for (const fs::path& part : fs::path(relative)) {
    const std::string name = part.string();
    if (at < 0 || name.empty() || name == ".") continue;
    int next = -1;
    if (name == ".." || name == "/") {
      errno = EXDEV;
    } else {
      next = ::openat(at, name.c_str(), kFolderFlags | O_NOFOLLOW);
      struct stat status {};
      // O_NOFOLLOW with O_DIRECTORY says ENOTDIR or ELOOP for a link: say ELOOP, as openat2.
      if (next < 0 && ::fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(status.st_mode)) {
        errno = ELOOP;
      }
    }
    const int reason = errno;
    ::close(at);
    errno = reason;
    at = next;
  }
  return at;
}

}  // namespace

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Place Place::Sibling(const std::string& other) const {
  const fs::path parent = fs::path(shown).parent_path();
  return {folder, other, (parent / other).string()};
}

FolderRef OpenFolder(const std::string& path) {
  int fd = -1;
  do {
    fd = ::open(path.empty() ? "." : path.c_str(), kFolderFlags);
  } while (fd < 0 && errno == EINTR);
  return Held(fd);
}

FolderRef OpenFolderBeneath(const Folder& root, const std::string& relative) {
  const fs::path normal = fs::path(relative).lexically_normal();
  if (normal.is_absolute() || (!normal.empty() && *normal.begin() == "..")) {
    errno = EXDEV;
    return nullptr;
  }
  if (normal.empty() || normal == ".") return Held(::fcntl(root.Descriptor(), F_DUPFD_CLOEXEC, 0));
  const int fd = Openat2Beneath(root.Descriptor(), normal.string());
  return Held(fd == -2 ? WalkBeneath(root.Descriptor(), normal.string()) : fd);
}

namespace {

// The last part of a name that names a file: not empty, ".", "..", nor one ending in "/".
bool FileName(const fs::path& path, std::string& name) {
  name = path.filename().string();
  if (name.empty() || name == "." || name == "..") {
    errno = EISDIR;
    return false;
  }
  return true;
}

}  // namespace

bool PlaceOf(const std::string& path, Place& place) {
  std::string name;
  if (!FileName(fs::path(path), name)) return false;
  FolderRef folder = OpenFolder(fs::path(path).parent_path().string());
  if (!folder) return false;
  place = {std::move(folder), std::move(name), path};
  return true;
}

bool PlaceBeneath(const FolderRef& root, const std::string& relative, const std::string& shown,
                  Place& place) {
  const fs::path normal = fs::path(relative).lexically_normal();
  std::string name;
  if (!FileName(normal, name)) return false;
  FolderRef folder = OpenFolderBeneath(*root, normal.parent_path().string());
  if (!folder) return false;
  place = {std::move(folder), std::move(name), shown};
  return true;
}

bool StatusOf(const Place& place, struct stat& status) {
  return ::fstatat(place.Dir(), place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Exists(const Place& place) {
  struct stat status {};
  return StatusOf(place, status) || errno != ENOENT;
}

bool Exists(const std::string& path) {
  struct stat status {};
  return !path.empty() && ::lstat(path.c_str(), &status) == 0;
}

std::string KindOf(const struct stat& status) {
  switch (status.st_mode & S_IFMT) {
    case S_IFREG:
      return "";
    case S_IFLNK:
      return "a symbolic link";
    case S_IFDIR:
      return "a folder";
    case S_IFIFO:
      return "a FIFO";
    case S_IFCHR:
    case S_IFBLK:
      return "a device";
    case S_IFSOCK:
      return "a socket";
  }
  return "not a regular file";
}

std::vector<std::string> NamesIn(const Folder& folder) {
  std::vector<std::string> names;
  const int fd = ::openat(folder.Descriptor(), ".", kFolderFlags);
  DIR* listing = fd < 0 ? nullptr : ::fdopendir(fd);
  if (!listing) {
    if (fd >= 0) ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(listing);
  return names;
}

bool RemoveAt(const Place& place) {
  return ::unlinkat(place.Dir(), place.name.c_str(), 0) == 0 || errno == ENOENT;
}

}  // namespace kammelsim::io
