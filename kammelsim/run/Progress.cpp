#include "kammelsim/run/Progress.h"

#include <cstdio>

namespace kammelsim {

Progress::Progress(const RunOutput& output, std::int64_t first, std::int64_t total,
                   std::string_view unit)
    : output_(output),
      first_(first),
      total_(total),
      unit_(unit),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  Clear();
}

void Progress::Clear() {
  if (shown_) std::fputs("\r\033[K", output_.err);
  shown_ = false;
}

void Progress::Update(std::int64_t done) {
  if (!output_.errIsTerminal) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - lastShown_ < std::chrono::milliseconds(200))
    return;
  lastShown_ = now;
  shown_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const std::string line =
      ProgressLine(done, total_, unit_, static_cast<double>(done - first_) / seconds);
  std::fprintf(output_.err, "\r%s\033[K", line.c_str());
  std::fflush(output_.err);
}

std::string ProgressLine(std::int64_t done, std::int64_t total, std::string_view unit,
                         double rate) {
  char text[160];
  const int u = static_cast<int>(unit.size());
  int length = std::snprintf(text, sizeof text, "%lld of %lld %.*s, %.3g %.*s/s",
                             static_cast<long long>(done), static_cast<long long>(total), u,
                             unit.data(), rate, u, unit.data());
  if (!(rate > 0)) return std::string(text, static_cast<std::size_t>(length));
  const double left = static_cast<double>(total - done) / rate;
  const auto whole = static_cast<long long>(left + 0.5);
  if (whole < 60) {
    length += std::snprintf(text + length, sizeof text - length, ", %lld s left", whole);
  } else {
    length += std::snprintf(text + length, sizeof text - length, ", %lld:%02lld:%02lld left",
                            whole / 3600, whole / 60 % 60, whole % 60);
  }
  return std::string(text, static_cast<std::size_t>(length));
}

}  // namespace kammelsim
