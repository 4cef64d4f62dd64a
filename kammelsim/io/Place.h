// Where the runner's files lie: a folder held open by its descriptor, and a name in it. Every
// output is opened, made, renamed and removed through its place, so a folder renamed or swapped
// for a link once the run has begun, or a link planted under an output's name, leads nowhere
// else.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace kammelsim::io {

/// An open folder (O_RDONLY | O_DIRECTORY); closed with the last place that holds it.
class Folder {
 public:
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  int Descriptor() const { return fd_; }

 private:
  int fd_;
};
using FolderRef = std::shared_ptr<const Folder>;

/// A file's place: the open folder that holds it, its one-part name there, and its path as
/// messages show it. Empty: no such output.
struct Place {
  FolderRef folder;
  std::string name, shown;

  bool Empty() const { return !folder; }
  int Dir() const { return folder->Descriptor(); }
  /// Another name in the same folder, shown beside this one.
  Place Sibling(const std::string& other) const;
};

/// A folder opened as named: the links on its way are the namer's. Null, with errno, when it
/// cannot be.
FolderRef OpenFolder(const std::string& path);

/// A folder below root (relative, "" for root itself) reached without following any link and
/// without leaving root: openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, or one part at a
/// time where the kernel lacks it. Null with errno: ELOOP for a link on the way, EXDEV for a
/// way out.
FolderRef OpenFolderBeneath(const Folder& root, const std::string& relative);

/// The place of path as named: its folder opened as the name says, its last part never
/// followed. False with errno (EISDIR for a name that ends in a folder, "x/" or "..").
bool PlaceOf(const std::string& path, Place& place);

/// The place of a relative name below root, its folders reached as OpenFolderBeneath reaches
/// them; shown is what messages call it. False with errno as there.
bool PlaceBeneath(const FolderRef& root, const std::string& relative, const std::string& shown,
                  Place& place);

/// What a place holds, its link not followed: false when nothing is there (errno ENOENT) or it
/// cannot be seen.
bool StatusOf(const Place& place, struct stat& status);

/// Whether something, of any kind, has the place's name: true too when it cannot be seen for
/// any reason but its absence, as a check before reading takes it.
bool Exists(const Place& place);

/// Whether something, of any kind, is seen at path, its last part not followed: what a new
/// output would replace. False for an empty path, and where it cannot be seen.
bool Exists(const std::string& path);

/// What a file of this status is, in words, when not a regular file ("a symbolic link", "a
/// FIFO", "a device", "a folder", "a socket"); empty for a regular file.
std::string KindOf(const struct stat& status);

/// The names in a folder but "." and ".."; none when it cannot be read.
std::vector<std::string> NamesIn(const Folder& folder);

/// Removes the name (a link itself, never what it leads to); a missing one is no failure.
bool RemoveAt(const Place& place);

}  // namespace kammelsim::io
