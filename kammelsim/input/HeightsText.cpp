#include "kammelsim/input/HeightsText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include "kammelsim/io/File.h"
#include "kammelsim/params/Stats.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

static_assert(params::kMostRows == model3d::kMaxOpenLength + 1 &&
              params::kMostBedCells == model3d::kMaxOpenCells &&
              params::kMostCells == model2d::kMaxWideProfileWidth + 1);

// One line's integers; false, naming the column, at the first that is not one.
bool ParseLine(const std::string& line, int number, std::vector<std::int64_t>& values,
               std::string& error) {
  if (const std::size_t nul = line.find('\0'); nul != std::string::npos) {
    error =
        "line " + std::to_string(number) + ", column " + std::to_string(nul + 1) + ": not a height";
    return false;
  }
  const char* at = line.c_str();
  while (true) {
    while (*at == ' ' || *at == '\t' || *at == '\r')
      ++at;
    if (!*at) return true;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(at, &end, 10);
    const bool isNumber = end != at && (!*end || *end == ' ' || *end == '\t' || *end == '\r');
    const bool fits = errno != ERANGE && value >= INT32_MIN && value <= INT32_MAX;
    if (!isNumber || !fits) {
      error =
          "line " + std::to_string(number) + ", column " + std::to_string(at - line.c_str() + 1) +
          (isNumber ? ": out of range (heights lie in -2147483648..2147483647)" : ": not a height");
      return false;
    }
    values.push_back(value);
    at = end;
  }
}

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Calls put with each height of the line at `at`, which it leaves on the line's end (its '\n',
// or end); false at anything ReadHeightsText might read otherwise, or where put says false.
template <class Put>
bool ScanLine(const char*& at, const char* end, Put put) {
  while (true) {
    while (at < end && Blank(*at))
      ++at;
    if (at == end || *at == '\n') return true;
    const char* digits = at + (*at == '+' || *at == '-');
    if (digits == end || *digits < '0' || *digits > '9') return false;
    char* stop = nullptr;
    errno = 0;
    const long long value = std::strtoll(at, &stop, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
    if (stop != end && !Blank(*stop) && *stop != '\n') return false;
    if (!put(static_cast<std::int32_t>(value))) return false;
    at = stop;
  }
}

// A bed's lines parsed a band of rows at a time, then laid into the columns: each column's cells
// of the band lie together, where a cell at a time would touch a new page at every height.
// next(at, end) gives each line in turn, end on its '\n' or a NUL; there are lines of first
// heights each, and no more.
template <class NextLine>
std::optional<HeightsColumns> ParseColumns(std::int64_t lines, std::int64_t first, NextLine next) {
  std::string unused;
  if (lines < 2 || first < 2 || !HeightsFit(lines, first, unused) ||
      !analysis::Bounded(analysis::Model::Bed, lines, first))
    return std::nullopt;
  HeightsColumns heights{static_cast<int>(lines), static_cast<int>(first), {}};
  heights.cells.resize(static_cast<std::size_t>(lines * first));
  const std::int64_t band = std::clamp<std::int64_t>((std::int64_t{1} << 20) / first, 1, 64);
  std::vector<std::int32_t> rows(static_cast<std::size_t>(band * first));
  const char *at = nullptr, *end = nullptr;
  for (std::int64_t top = 0; top < lines; top += band) {
    const std::int64_t count = std::min(band, lines - top);
    for (std::int64_t r = 0; r < count; ++r) {
      std::int32_t* const row = rows.data() + r * first;
      std::int64_t column = 0;
      const auto put = [&](std::int32_t value) {
        if (column == first) return false;
        row[column++] = value;
        return true;
      };
      if (!next(at, end) || !ScanLine(at, end, put) || column != first) return std::nullopt;
    }
    for (std::int64_t column = 0; column < first; ++column) {
      std::int32_t* const cells = heights.cells.data() + column * lines + top;
      for (std::int64_t r = 0; r < count; ++r)
        cells[r] = rows[static_cast<std::size_t>(r * first + column)];
    }
  }
  if (next(at, end)) return std::nullopt;  // a file that grew as it was read
  return heights;
}

// The heights on a line.
std::int64_t CountHeights(const char* at, const char* end) {
  std::int64_t count = 0;
  return ScanLine(at, end, [&count](std::int32_t) { return ++count > 0; }) ? count : 0;
}

// A file's lines a piece at a time, each left in the buffer ending on its '\n' or a NUL; each
// is there until the next is asked for.
class FileLines {
 public:
  explicit FileLines(io::File& file) : file_(file) {}

  bool Next(const char*& at, const char*& end) {
    while (true) {
      if (const std::size_t newline = buffer_.find('\n', searched_); newline != std::string::npos) {
        at = buffer_.data() + start_;
        end = buffer_.data() + newline;
        start_ = searched_ = newline + 1;
        return true;
      }
      searched_ = buffer_.size();
      if (done_) {
        if (start_ == buffer_.size()) return false;
        buffer_.push_back('\0');  // the last line, without its '\n'
        at = buffer_.data() + start_;
        end = buffer_.data() + buffer_.size() - 1;
        start_ = searched_ = buffer_.size();
        return true;
      }
      if (!More()) return false;
    }
  }

  bool Failed() const { return failed_; }

 private:
  bool More() {
    buffer_.erase(0, start_);
    searched_ -= start_;
    start_ = 0;
    if (!file_.ReadAt(offset_, kPiece, piece_)) {
      failed_ = true;
      return false;
    }
    offset_ += piece_.size();
    done_ = piece_.empty();
    buffer_ += piece_;
    return true;
  }

  static constexpr std::size_t kPiece = 1 << 20;
  io::File& file_;
  std::string buffer_, piece_;
  std::size_t start_ = 0, searched_ = 0;
  std::uint64_t offset_ = 0;
  bool done_ = false, failed_ = false;
};

}  // namespace

std::optional<HeightsColumns> ReadLargeBed(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* const end = text.data() + text.size();
  const std::int64_t lines = std::count(text.data(), end, '\n') + (text.back() != '\n');
  const char* at = text.data();
  const auto next = [&at, end](const char*& line, const char*& stop) {
    if (at >= end) return false;
    line = at;
    stop = std::find(at, end, '\n');
    at = stop == end ? end : stop + 1;
    return true;
  };
  return ParseColumns(lines, CountHeights(text.data(), end), next);
}

std::optional<HeightsColumns> ReadLargeBedFile(const std::string& path, std::uint64_t limit,
                                               std::uint64_t smallest) {
  io::File file;
  struct stat status {};
  if (!file.Open(path, O_RDONLY | O_NONBLOCK) || ::fstat(file.Descriptor(), &status) != 0 ||
      !S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) < smallest ||
      static_cast<std::uint64_t>(status.st_size) > limit)
    return std::nullopt;
  // Once to count the lines and the first line's heights, once to parse them.
  std::int64_t lines = 0, first = 0;
  FileLines counted(file);
  for (const char *at = nullptr, *end = nullptr; counted.Next(at, end); ++lines)
    if (lines == 0) first = CountHeights(at, end);
  if (counted.Failed()) return std::nullopt;
  FileLines parsed(file);
  std::optional<HeightsColumns> heights = ParseColumns(
      lines, first, [&parsed](const char*& at, const char*& end) { return parsed.Next(at, end); });
  return parsed.Failed() ? std::nullopt : std::move(heights);
}

HeightsColumns ColumnsOf(const analysis::Snapshot& snapshot) {
  HeightsColumns heights{snapshot.rows, snapshot.columns, {}};
  heights.cells.resize(snapshot.cells.size());
  for (int row = 0; row < snapshot.rows; ++row)
    for (int column = 0; column < snapshot.columns; ++column)
      heights.cells[static_cast<std::size_t>(column) * snapshot.rows + row] =
          static_cast<std::int32_t>(snapshot.At(row, column));
  return heights;
}

HeightsText ReadHeightsText(std::string_view text) {
  HeightsText heights;
  analysis::Snapshot& s = heights.snapshot;
  int blank = 0;  // the first blank line before any height
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string line(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t before = s.cells.size();
    if (!ParseLine(line, number, s.cells, heights.error)) return heights;
    const int count = static_cast<int>(s.cells.size() - before);
    // Blank lines alone are a file with no heights; among rows, one is a row missing.
    if (count == 0 && s.rows == 0) {
      blank = blank == 0 ? number : blank;
      continue;
    }
    if (count == 0 || blank != 0) {
      heights.error =
          "line " + std::to_string(count == 0 ? number : blank) + ", column 1: the line is empty";
      return heights;
    }
    if (s.rows > 0 && count != s.columns) {
      heights.error = "line " + std::to_string(number) + ", column 1: " + std::to_string(count) +
                      " heights where line 1 has " + std::to_string(s.columns);
      return heights;
    }
    s.columns = count;
    if (++s.rows > 1 && !HeightsFit(s.rows, s.columns, heights.error)) return heights;
  }
  if (s.cells.empty()) heights.error = "line 1, column 1: no heights";
  if (s.rows == 1) HeightsFit(s.columns, 1, heights.error);
  return heights;
}

bool HeightsFit(std::int64_t rows, std::int64_t columns, std::string& error) {
  using params::kMostBedCells, params::kMostCells, params::kMostColumns, params::kMostRows;
  if (columns == 1 && rows > kMostCells) {
    error = "more heights than a profile holds (" + std::to_string(kMostCells) + ")";
  } else if (columns > 1 &&
             (rows > kMostRows || columns > kMostColumns || rows * columns > kMostBedCells)) {
    error = "more heights than a bed holds (" + std::to_string(kMostRows) + " rows of " +
            std::to_string(kMostColumns) + ", " + std::to_string(kMostBedCells) +
            " in all, at most)";
  }
  return error.empty();
}

}  // namespace kammelsim
