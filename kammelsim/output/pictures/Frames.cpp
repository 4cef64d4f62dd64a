#include "kammelsim/output/pictures/Frames.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "kammelsim/io/AtomicFile.h"

namespace kammelsim {

namespace {

std::string NameOfWidth(std::int64_t done, int digits) {
  char name[48];
  std::snprintf(name, sizeof name, "frame-%0*lld.png", digits, static_cast<long long>(done));
  return name;
}

}  // namespace

std::string FrameName(std::int64_t done, std::int64_t total) {
  return NameOfWidth(done, std::max(6, static_cast<int>(std::to_string(total).size())));
}

std::int64_t FrameOf(std::string_view name) {
  constexpr std::string_view prefix = "frame-", suffix = ".png";
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return -1;
  const std::string_view digits =
      name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  std::int64_t done = -1;
  const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), done);
  const bool whole = fault == std::errc{} && end == digits.data() + digits.size();
  return whole && digits.size() >= 6 && digits.size() <= 19 && done >= 0 &&
                 NameOfWidth(done, static_cast<int>(digits.size())) == name
             ? done
             : -1;
}

std::vector<std::pair<std::int64_t, std::string>> FramesIn(const io::Folder& folder) {
  std::vector<std::pair<std::int64_t, std::string>> frames;
  for (const std::string& name : io::NamesIn(folder)) {
    const std::int64_t done = FrameOf(name);
    if (done >= 0) frames.emplace_back(done, name);
  }
  return frames;
}

int RemoveFrameLeftovers(const io::FolderRef& folder) {
  // Each frame's leftovers are named after it; the frames that may have them are those present
  // and those a run was about to write, whose names are known only from the leftovers.
  int removed = 0;
  for (const std::string& name : io::NamesIn(*folder)) {
    const std::size_t part = name.find(".png.part-");
    if (part == std::string::npos || FrameOf(name.substr(0, part + 4)) < 0) continue;
    removed += io::RemoveLeftovers({folder, name.substr(0, part + 4), name.substr(0, part + 4)});
  }
  return removed;
}

}  // namespace kammelsim
