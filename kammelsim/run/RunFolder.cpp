#include "kammelsim/run/RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "kammelsim/io/File.h"
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
  if (name.empty()) return name;
  const fs::path path = Absolute(name);
  const fs::path relative = path.lexically_relative(folder);
  return StaysBelow(relative) ? relative.string() : path.string();
}

}  // namespace

RecordedOutputs RecordOutputs(const RunSettings& s, const std::string& checkpoint) {
  const fs::path folder = FolderOf(checkpoint);
  return {Recorded(s.stats, folder),
          Recorded(s.netcdf, folder),
          Recorded(s.pictures.png, folder),
          Recorded(s.pictures.frames, folder),
          Recorded(s.pictures.spacetime, folder),
          Recorded(s.heights, folder)};
}

bool ResolveOutputs(const RecordedOutputs& recorded, const std::string& checkpoint,
                    bool allowOutside, RunSettings& settings, std::string& error) {
  const fs::path folder = FolderOf(checkpoint);
  RecordedOutputs names = recorded;
  std::string* targets[] = {&settings.stats,
                            &settings.netcdf,
                            &settings.pictures.png,
                            &settings.pictures.frames,
                            &settings.pictures.spacetime,
                            &settings.heights};
  std::size_t n = 0;
  names.ForEach([&](const char* option, const std::string& name) {
    std::string& target = *targets[n++];
    target.clear();
    if (name.empty() || !error.empty()) return;
    const fs::path path(name);
    if (StaysBelow(path)) {
      target = (folder / path).string();
    } else if (path.is_absolute() && path.lexically_normal() == path && allowOutside) {
      target = name;
    } else if (path.is_absolute() && path.lexically_normal() == path) {
      error = "--" + std::string(option) + " " + QuoteFile(name) +
              " lies outside the checkpoint's folder; add --allow-outside to write there";
    } else {
      error = "--" + std::string(option) + " " + QuoteFile(name) +
              " leads out of the checkpoint's folder";
    }
  });
  return error.empty();
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);  // the lock goes with it
}

bool RunLock::Acquire(const std::string& checkpoint, std::string& error) {
  const fs::path path(checkpoint);
  const fs::path lock = path.parent_path() / ("." + path.filename().string() + ".lock");
  fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  const int reason = errno;
  error = reason == EWOULDBLOCK
              ? QuoteFile(checkpoint) + " is in use by another kammelsim run or resume"
              : "cannot lock " + QuoteFile(checkpoint) + ": " + io::Reason(reason);
  errno = reason;  // for a caller that tells the two apart
  return false;
}

}  // namespace kammelsim
