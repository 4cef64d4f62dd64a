#include "kammelsim/run/Snapshots.h"

#include <charconv>
#include <cmath>

namespace kammelsim {
namespace {

// The k-th point of a logarithmic schedule, 10^(k/n) to the nearest whole batch or step.
std::int64_t Point(std::int64_t k, std::int64_t n) {
  return std::llround(std::pow(10.0, static_cast<double>(k) / static_cast<double>(n)));
}

// A k at or below the first whose point reaches at least value (>= 1).
std::int64_t Below(double value, std::int64_t n) {
  const double k = std::floor(static_cast<double>(n) * std::log10(value)) - 1;
  return k > 0 ? static_cast<std::int64_t>(k) : 0;
}

}  // namespace

bool Schedule::OnGrid(std::int64_t done) const {
  if (done == 0) return true;
  if (done < 0) return false;
  if (perDecade == 0) return done % every == 0;
  std::int64_t k = Below(static_cast<double>(done) - 0.5, perDecade);
  while (Point(k, perDecade) < done)
    ++k;
  return Point(k, perDecade) == done;
}

std::int64_t Schedule::Next(std::int64_t done, std::int64_t total) const {
  if (done >= total) return total;
  std::int64_t next = 0;
  if (perDecade == 0) {
    next = done < 0 ? 0 : (done / every + 1) * every;
  } else if (done < 0) {
    next = 0;
  } else {
    std::int64_t k = Below(static_cast<double>(done) + 0.5, perDecade);
    while (Point(k, perDecade) <= done)
      ++k;
    next = Point(k, perDecade);
  }
  return next < total ? next : total;
}

std::int64_t Schedule::CountUpTo(std::int64_t done) const {
  if (done < 0) return 0;
  if (perDecade == 0) return done / every + 1;
  std::int64_t count = 1;  // the snapshot at 0
  for (std::int64_t k = 0, last = 0; Point(k, perDecade) <= done; ++k) {
    const std::int64_t point = Point(k, perDecade);
    count += point != last;
    last = point;
  }
  return count;
}

std::string Schedule::Text() const {
  return perDecade > 0 ? "log:" + std::to_string(perDecade) : std::to_string(every);
}

bool ParseSchedule(std::string_view text, std::int64_t most, Schedule& schedule) {
  const bool log = text.starts_with("log:");
  if (log) text.remove_prefix(4);
  std::int64_t n = 0;
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || fault != std::errc{} || end != text.data() + text.size() || n < 1 ||
      n > (log ? Schedule::kMaxPerDecade : most)) {
    return false;
  }
  schedule = log ? Schedule{1, n} : Schedule{n, 0};
  return true;
}

}  // namespace kammelsim
