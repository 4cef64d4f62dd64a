#include "kammelsim/run/RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/output/Messages.h"

namespace kammelsim {
namespace {

namespace fs = std::filesystem;

fs::path Absolute(const std::string& name) {
  std::error_code error;
  const fs::path path = fs::absolute(name, error);
  return (error ? fs::path(name) : path).lexically_normal();
}

fs::path FolderOf(const std::string& checkpoint) {
  return Absolute(checkpoint).parent_path();
}

// A recorded name that stays below the folder: relative, and no ".." once normalised.
bool StaysBelow(const fs::path& name) {
  if (name.empty() || name.is_absolute()) return false;
  const fs::path normal = name.lexically_normal();
  return !normal.empty() && *normal.begin() != ".." && normal != ".";
}

std::string Recorded(const std::string& name, const fs::path& folder) {
  const fs::path path = Absolute(name);
  const fs::path relative = path.lexically_relative(folder);
  return StaysBelow(relative) ? relative.string() : path.string();
}

// A new run's output: below root without a link when its name lies there, else as named.
bool PlaceNew(const io::FolderRef& root, const fs::path& folder, const std::string& name,
              io::Place& place, std::string& record, std::string& error) {
  if (name.empty()) return true;
  if (root) {
    record = Recorded(name, folder);
    if (StaysBelow(record) && io::PlaceBeneath(root, record, name, place)) return true;
    if (StaysBelow(record) && errno != ELOOP && errno != EXDEV) {
      error = WriteFailed(QuoteFile(name), errno).Message();
      return false;
    }
    record = Absolute(name).string();  // reached through a link: outside the folder
  }
  if (io::PlaceOf(name, place)) return true;
  error = WriteFailed(QuoteFile(name), errno).Message();
  return false;
}

// The missing folders above a new run's frame folder, made as named.
bool MakeParents(const std::string& frames, std::string& error) {
  const fs::path parent = fs::path(frames).parent_path();
  std::error_code made;
  if (parent.empty() || fs::create_directories(parent, made) || !made) return true;
  errno = made.value();
  error = WriteFailed("frames into " + QuoteFile(frames), errno).Message();
  return false;
}

}  // namespace

bool PlaceNewOutputs(const RunSettings& s, OutputPlaces& places, RecordedOutputs& recorded,
                     std::string& error) {
  io::FolderRef root;
  const fs::path folder = s.checkpoint.empty() ? fs::path() : FolderOf(s.checkpoint);
  if (!s.checkpoint.empty()) {
    if (!io::PlaceOf(s.checkpoint, places.checkpoint)) {
      error = WriteFailed(QuoteFile(s.checkpoint), errno).Message();
      return false;
    }
    root = places.checkpoint.folder;
  }
  PicturePlaces& p = places.pictures;
  return PlaceNew(root, folder, s.stats, places.stats, recorded.stats, error) &&
         PlaceNew(root, folder, s.netcdf, places.netcdf, recorded.netcdf, error) &&
         PlaceNew(root, folder, s.pictures.png, p.png, recorded.png, error) &&
         PlaceNew(root, folder, s.pictures.spacetime, p.spacetime, recorded.spacetime, error) &&
         PlaceNew(root, folder, s.heights, places.heights, recorded.heights, error) &&
         (s.pictures.frames.empty() || MakeParents(s.pictures.frames, error)) &&
         PlaceNew(root, folder, s.pictures.frames, p.framesEntry, recorded.frames, error);
}

bool DistinctOutputs(const OutputPlaces& places, std::string& error) {
  const PicturePlaces& p = places.pictures;
  const std::pair<const char*, const io::Place*> outputs[] = {{"--stats", &places.stats},
                                                              {"--netcdf", &places.netcdf},
                                                              {"--png", &p.png},
                                                              {"--spacetime", &p.spacetime},
                                                              {"--heights", &places.heights},
                                                              {"--checkpoint", &places.checkpoint},
                                                              {"--frames", &p.framesEntry}};
  // A place is its folder, as the file system knows it, and a name there.
  const auto same = [](const io::Place& a, const io::Place& b) {
    struct stat one {
    }, other{};
    return a.name == b.name && ::fstat(a.Dir(), &one) == 0 && ::fstat(b.Dir(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
  };
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    for (std::size_t j = i + 1; j < std::size(outputs); ++j) {
      const io::Place &a = *outputs[i].second, &b = *outputs[j].second;
      if (a.Empty() || b.Empty() || !same(a, b)) continue;
      error = std::string(outputs[i].first) + " and " + outputs[j].first + " name one file, " +
              QuoteFile(b.shown) + "; each output needs its own";
      return false;
    }
  }
  return true;
}

namespace {

// Why a recorded name below the folder cannot be reached there.
std::string Unreachable(const char* option, const std::string& name, int error) {
  const std::string what = "--" + std::string(option) + " " + QuoteFile(name);
  if (error == ELOOP)
    return what + " passes through a symbolic link; a run writes only below its folder";
  if (error == EXDEV) return what + " leads out of the checkpoint's folder";
  return what + ": cannot open its folder: " + io::Reason(error);
}

}  // namespace

namespace {

// One recorded output: below the folder without a link, or outside it when allowed. The frame
// folder (no place) is opened itself.
bool PlaceRecorded(const io::FolderRef& root, const fs::path& folder, const char* option,
                   const std::string& name, bool allowOutside, std::string& target,
                   io::Place* place, io::FolderRef& frames, std::string& error) {
  const fs::path path(name);
  const bool below = StaysBelow(path),
             absolute = path.is_absolute() && path.lexically_normal() == path;
  if (!below && !(absolute && allowOutside)) {
    error = "--" + std::string(option) + " " + QuoteFile(name) +
            (absolute ? " lies outside the checkpoint's folder; add --allow-outside to write there"
                      : " leads out of the checkpoint's folder");
    return false;
  }
  target = below ? (folder / path).string() : name;
  bool reached = false;
  if (!place) {
    frames = below ? io::OpenFolderBeneath(*root, name) : io::OpenFolder(name);
    reached = frames != nullptr;
  } else {
    reached = below ? io::PlaceBeneath(root, name, target, *place) : io::PlaceOf(name, *place);
  }
  if (!reached) error = Unreachable(option, name, errno);
  return reached;
}

}  // namespace

bool PlaceRecordedOutputs(const RecordedOutputs& recorded, const std::string& checkpoint,
                          bool allowOutside, RunSettings& settings, OutputPlaces& places,
                          std::string& error) {
  if (!io::PlaceOf(checkpoint, places.checkpoint)) {
    error = "cannot open the folder of " + QuoteFile(checkpoint) + ": " + io::Reason(errno);
    return false;
  }
  RecordedOutputs names = recorded;
  PicturePlaces& p = places.pictures;
  std::string* targets[] = {&settings.stats,
                            &settings.netcdf,
                            &settings.pictures.png,
                            &settings.pictures.frames,
                            &settings.pictures.spacetime,
                            &settings.heights};
  io::Place* files[] = {&places.stats, &places.netcdf, &p.png,
                        nullptr,       &p.spacetime,   &places.heights};
  std::size_t n = 0;
  names.ForEach([&](const char* option, const std::string& name) {
    std::string& target = *targets[n];
    io::Place* place = files[n++];
    target.clear();
    if (!name.empty() && error.empty()) {
      PlaceRecorded(places.checkpoint.folder, FolderOf(checkpoint), option, name, allowOutside,
                    target, place, p.frames, error);
    }
  });
  return error.empty();
}

std::string LockFault(const std::string& checkpoint, int error) {
  if (error == EWOULDBLOCK || error == EAGAIN || error == EACCES)
    return QuoteFile(checkpoint) + " is in use by another kammelsim run or resume";
  return "cannot lock " + QuoteFile(checkpoint) + ": " + io::Reason(error);
}

bool RunLock::LockCheckpoint(const std::string& path, bool missingOk,
                             std::shared_ptr<const io::HeldFile>* held, std::string& error) {
  // The name may be given a new file between the open and the lock (a run writing its next
  // checkpoint): the lock holds only once the name still leads to the file locked.
  for (int attempt = 0; attempt < 16; ++attempt) {
    io::File file;
    struct stat locked {
    }, named{};
    if (!file.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY) ||
        ::fstat(file.Descriptor(), &locked) != 0 || !S_ISREG(locked.st_mode)) {
      const int reason = file.Error() != 0 ? file.Error() : errno;
      if (missingOk && (file.IsOpen() || reason == ENOENT)) return true;
      error = "cannot read " + QuoteFile(path) + ": " +
              (file.IsOpen() ? std::string("not a regular file") : io::Reason(reason));
      errno = reason;
      return false;
    }
    if (!file.Lock()) {
      error = LockFault(path, file.Error());
      errno = file.Error();
      return false;
    }
    if (::stat(path.c_str(), &named) != 0 || named.st_ino != locked.st_ino ||
        named.st_dev != locked.st_dev) {
      continue;
    }
    io::ReadFault fault = io::ReadFault::None;
    if (held) {
      if (*held = io::HeldFile::Hold(file, kMaxCheckpointBytes, fault); !*held) {
        error = "cannot read " + QuoteFile(path) + ": " +
                io::ReadFaultReason(fault, kMaxCheckpointBytes);
        return false;
      }
    }
    checkpoint_ = std::move(file);
    return true;
  }
  error = "cannot lock " + QuoteFile(path) + ": it is replaced again and again";
  errno = EAGAIN;
  return false;
}

namespace {

// Puts a fresh, empty file under a lock file's name, in one rename. 0, or why it cannot.
int SwapInFreshLockFile(const io::Place& place) {
  const io::Place fresh = place.Sibling(place.name + ".part-" + std::to_string(::getpid()));
  int fd = -1;
  do {
    fd = ::openat(fresh.Dir(), fresh.name.c_str(),
                  O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  ::close(fd);
  if (io::Rename(fresh, place)) return 0;
  const int reason = errno;
  io::RemoveAt(fresh);
  return reason;
}

// Replaces the lock file seen, if it is still linked elsewhere. Two runs starting in one
// copied folder could otherwise each replace it and each lock a file of its own: the folder
// itself, which cannot be hard-linked, is locked for the few calls this takes.
int ReplaceLinkedLockFile(const io::Place& place, const struct stat& seen) {
  const int folder = ::openat(place.Dir(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return errno;
  int reason = 0;
  for (int wait = 0; ::flock(folder, LOCK_EX | LOCK_NB) != 0; ++wait) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || wait == 200) {
      reason = errno;
      break;
    }
    ::usleep(10000);
  }
  struct stat now {};
  if (reason == 0 && io::StatusOf(place, now) && now.st_ino == seen.st_ino &&
      now.st_dev == seen.st_dev && now.st_nlink > 1)
    reason = SwapInFreshLockFile(place);
  ::close(folder);
  return reason;
}

// A lock file in the checkpoint's folder, never through a link planted under its name (or
// copied there, as cp -as does), nor a FIFO or device planted there, whose open could wait or
// act: no run makes one of those, so it is removed, never opened; and no open waits or takes
// a terminal, should one come in between. 0, or why it cannot be had.
int OpenLockFile(const io::Place& place, io::File& file) {
  // A run killed as it replaced a hard-linked lock file left its fresh one half way.
  io::RemoveLeftovers(place);
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat status {};
    const bool planted =
        io::StatusOf(place, status) && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
    if (!planted && file.OpenLock(place)) {
      if (::fstat(file.Descriptor(), &status) == 0 && S_ISREG(status.st_mode) &&
          status.st_nlink <= 1)
        return 0;
      file.Close();
      // A hard link (cp -al) shares its locks with the folder it came from: this folder gets
      // one of its own, and the other keeps its file.
      if (S_ISREG(status.st_mode)) {
        if (const int reason = ReplaceLinkedLockFile(place, status)) return reason;
        continue;
      }
    } else if (!planted && file.Error() != ELOOP) {
      return file.Error();
    }
    if (!io::RemoveAt(place)) return errno;
  }
  return EAGAIN;
}

int OpenLockFile(const fs::path& path, io::File& file) {
  io::Place place;
  return io::PlaceOf(path.string(), place) ? OpenLockFile(place, file) : errno;
}

}  // namespace

bool RunLock::LockName(const std::string& checkpoint, std::string& error) {
  const fs::path path(checkpoint);
  int reason =
      io::PlaceOf((path.parent_path() / ("." + path.filename().string() + ".lock")).string(),
                  namePlace_)
          ? 0
          : errno;
  // A refused run removes the lock file it made (DropName): the lock holds only once the name
  // still leads to the file locked, not to one made after the removal.
  for (int attempt = 0; reason == 0; ++attempt) {
    struct stat locked {
    }, named{};
    reason = OpenLockFile(namePlace_, name_);
    if (reason == 0 && !name_.Lock()) reason = name_.Error();
    if (reason != 0) break;
    if (::fstat(name_.Descriptor(), &locked) == 0 && io::StatusOf(namePlace_, named) &&
        named.st_ino == locked.st_ino && named.st_dev == locked.st_dev)
      return true;
    name_.Close();
    if (attempt == 15) reason = EAGAIN;
  }
  error = LockFault(checkpoint, reason);
  errno = reason;  // for a caller that tells the two apart
  return false;
}

void RunLock::DropName(const std::string& checkpoint) {
  if (!name_.IsOpen() || io::Exists(checkpoint)) return;
  io::RemoveAt(namePlace_);
  name_.Close();
}

namespace {

constexpr const char* kFolderLock = ".kammelsim.lock";

// One byte of the folder's lock file, for writing, and the same byte of the folder itself, for
// reading, which another run's asking finds: removing the lock file while the run goes on lets
// no second one in. 0, or why it cannot be had.
int LockByte(const io::FolderRef& folder, std::uint64_t at, io::File& file) {
  if (!folder) return errno;
  if (!file.IsOpen()) {
    if (const int reason = OpenLockFile(io::Place{folder, kFolderLock, kFolderLock}, file))
      return reason;
  }
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(at);
  range.l_len = 1;
  if (::fcntl(file.Descriptor(), F_OFD_SETLK, &range) != 0) return errno;
  struct flock asked = range;
  if (::fcntl(folder->Descriptor(), F_OFD_GETLK, &asked) != 0) return errno;
  if (asked.l_type != F_UNLCK) return EWOULDBLOCK;
  range.l_type = F_RDLCK;
  return ::fcntl(folder->Descriptor(), F_OFD_SETLK, &range) == 0 ? 0 : errno;
}

// A name's byte: FNV-1a, in the 60 bits the run ids' bytes take, so names and runs of a folder
// lock apart.
std::uint64_t NameByte(const std::string& name) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : name)
    hash = (hash ^ c) * 1099511628211ull;
  return hash >> 4;
}

}  // namespace

bool RunLock::LockRun(const std::string& checkpoint, const std::string& runId, std::string& error) {
  // One byte per run, at the place its id's first 60 bits give: two runs in one folder lock
  // apart, and every checkpoint of one run locks the same byte.
  const std::uint64_t at = std::stoull(runId.substr(0, 15), nullptr, 16);
  folder_ = io::OpenFolder(fs::path(checkpoint).parent_path().string());
  const int reason = LockByte(folder_, at, run_);
  if (reason == 0) return true;
  error = LockFault(checkpoint, reason);
  errno = reason;
  return false;
}

bool RunLock::LockOutputs(const OutputPlaces& p, std::string& error) {
  for (const io::Place* place : {&p.stats, &p.netcdf, &p.heights, &p.pictures.png,
                                 &p.pictures.spacetime, &p.pictures.framesEntry}) {
    if (place->Empty()) continue;
    // A folder that takes no lock file takes no output either: said as the write it is.
    io::File file;
    if (const int reason = OpenLockFile(io::Place{place->folder, kFolderLock, kFolderLock}, file)) {
      error = std::string("cannot write ") +
              (place == &p.pictures.framesEntry ? "frames into " : "") + QuoteFile(place->shown) +
              ": " + io::Reason(reason);
      errno = reason;
      return false;
    }
    if (const int reason = LockByte(place->folder, NameByte(place->name), file); reason != 0) {
      error = LockFault(place->shown, reason);
      errno = reason;
      return false;
    }
    outputs_.push_back(std::move(file));
  }
  return true;
}

bool IsLockName(const std::string& name) {
  return name.size() > 6 && name.starts_with('.') && name.ends_with(".lock");
}

}  // namespace kammelsim
