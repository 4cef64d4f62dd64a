#include "tools/Checkpoint.h"

#include <zlib.h>

#include <bit>
#include <cstring>

#include "tools/AtomicFile.h"
#include "tools/Options.h"

namespace tools {
namespace {

constexpr std::string_view kMagic = "KAMMELCP";
constexpr std::size_t kHeader = 8 + 4 + 8, kTrailer = 4;

class Writer {
 public:
  void U32(std::uint32_t v) { Fixed(v); }
  void I32(std::int32_t v) { Fixed(static_cast<std::uint32_t>(v)); }
  void I64(std::int64_t v) { Fixed(static_cast<std::uint64_t>(v)); }
  void U64(std::uint64_t v) { Fixed(v); }
  void Real(double v) { Fixed(std::bit_cast<std::uint64_t>(v)); }
  void Text(std::string_view s) {
    U64(s.size());
    bytes.append(s);
  }
  template <class T, class Put>
  void List(const std::vector<T>& items, Put put) {
    U64(items.size());
    for (const T& item : items)
      put(item);
  }

  std::string bytes;

 private:
  template <class T>
  void Fixed(T v) {
    for (std::size_t n = 0; n < sizeof v; ++n)
      bytes.push_back(static_cast<char>(v >> (8 * n) & 0xff));
  }
};

// Reads what Writer wrote; once a read runs past the end, every later one fails too.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U32(std::uint32_t& v) { return Fixed(v); }
  bool I32(std::int32_t& v) {
    std::uint32_t u = 0;
    return Fixed(u) && (v = static_cast<std::int32_t>(u), true);
  }
  bool I64(std::int64_t& v) {
    std::uint64_t u = 0;
    return Fixed(u) && (v = static_cast<std::int64_t>(u), true);
  }
  bool U64(std::uint64_t& v) { return Fixed(v); }
  bool Real(double& v) {
    std::uint64_t u = 0;
    return Fixed(u) && (v = std::bit_cast<double>(u), true);
  }
  bool Text(std::string& s) {
    std::uint64_t size = 0;
    if (!U64(size) || size > bytes_.size()) return ok_ = false;
    s.assign(bytes_.substr(0, size));
    bytes_.remove_prefix(size);
    return true;
  }
  // Each item takes at least one byte, which bounds a damaged count before anything is made.
  template <class T, class Get>
  bool List(std::vector<T>& items, Get get) {
    std::uint64_t size = 0;
    if (!U64(size) || size > bytes_.size()) return ok_ = false;
    items.assign(size, T{});
    for (T& item : items) {
      if (!get(item)) return false;
    }
    return true;
  }
  bool Ended() const { return ok_ && bytes_.empty(); }

 private:
  template <class T>
  bool Fixed(T& v) {
    if (!ok_ || bytes_.size() < sizeof v) return ok_ = false;
    v = 0;
    for (std::size_t n = 0; n < sizeof v; ++n)
      v |= static_cast<T>(static_cast<unsigned char>(bytes_[n])) << (8 * n);
    bytes_.remove_prefix(sizeof v);
    return true;
  }

  std::string_view bytes_;
  bool ok_ = true;
};

std::uint32_t Crc(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Payload(const CheckpointData& d) {
  Writer w;
  for (const std::string_view text :
       {d.version, d.command, d.commandLine, d.directory, d.parameters})
    w.Text(text);
  w.List(d.args, [&](const std::string& arg) { w.Text(arg); });
  w.U32(d.seed);
  w.I64(d.done);
  w.I64(d.total);
  w.U32(d.modelState);
  w.U32(d.pictureState);
  w.List(d.cells, [&](std::int32_t h) { w.I32(h); });
  w.U32(d.hasStats ? 1 : 0);
  w.I64(d.stats.previousDone);
  w.Real(d.stats.initialTotal);
  w.I32(d.stats.rows);
  w.I32(d.stats.columns);
  w.List(d.stats.previousField, [&](double v) { w.Real(v); });
  w.I64(d.statsBytes);
  w.I64(d.netcdfRecords);
  w.List(d.spaceTime.rows, [&](const std::vector<float>& row) {
    w.List(row, [&](float v) { w.U32(std::bit_cast<std::uint32_t>(v)); });
  });
  w.Real(d.spaceTime.lowest);
  w.Real(d.spaceTime.highest);
  return std::move(w.bytes);
}

bool ReadPayload(std::string_view payload, CheckpointData& d) {
  Reader r(payload);
  std::uint32_t hasStats = 0;
  const auto real = [&](double& v) { return r.Real(v); };
  const auto row = [&](std::vector<float>& values) {
    return r.List(values, [&](float& v) {
      std::uint32_t bits = 0;
      return r.U32(bits) && (v = std::bit_cast<float>(bits), true);
    });
  };
  const bool read =
      r.Text(d.version) && r.Text(d.command) && r.Text(d.commandLine) && r.Text(d.directory) &&
      r.Text(d.parameters) && r.List(d.args, [&](std::string& arg) { return r.Text(arg); }) &&
      r.U32(d.seed) && r.I64(d.done) && r.I64(d.total) && r.U32(d.modelState) &&
      r.U32(d.pictureState) && r.List(d.cells, [&](std::int32_t& h) { return r.I32(h); }) &&
      r.U32(hasStats) && r.I64(d.stats.previousDone) && r.Real(d.stats.initialTotal) &&
      r.I32(d.stats.rows) && r.I32(d.stats.columns) && r.List(d.stats.previousField, real) &&
      r.I64(d.statsBytes) && r.I64(d.netcdfRecords) && r.List(d.spaceTime.rows, row) &&
      r.Real(d.spaceTime.lowest) && r.Real(d.spaceTime.highest);
  d.hasStats = hasStats != 0;
  return read && r.Ended() && hasStats <= 1 && d.done >= 0 && d.done <= d.total &&
         d.statsBytes >= 0 && d.netcdfRecords >= 0 &&
         (d.command == "bed" || d.command == "profile");
}

}  // namespace

std::string EncodeCheckpoint(const CheckpointData& data) {
  const std::string payload = Payload(data);
  Writer w;
  w.bytes.append(kMagic);
  w.U32(CheckpointData::kFormat);
  w.U64(payload.size());
  w.bytes.append(payload);
  w.U32(Crc(w.bytes));
  return std::move(w.bytes);
}

bool DecodeCheckpoint(std::string_view bytes, CheckpointData& data, std::string& error) {
  if (bytes.size() < kMagic.size() || bytes.substr(0, kMagic.size()) != kMagic) {
    error = "is not a kammelsim checkpoint";
    return false;
  }
  Reader header(bytes.substr(kMagic.size()));
  std::uint32_t format = 0;
  std::uint64_t length = 0;
  if (!header.U32(format) || !header.U64(length)) {
    error = "is truncated";
    return false;
  }
  if (format > CheckpointData::kFormat || format == 0) {
    error = "has format " + std::to_string(format) + "; this kammelsim reads format " +
            std::to_string(CheckpointData::kFormat) + " (it was written by a newer version?)";
    return false;
  }
  const std::size_t room = bytes.size() - kHeader;
  if (room < kTrailer || length > room - kTrailer) {
    error = "is truncated";
    return false;
  }
  if (length != room - kTrailer) {
    error = "is damaged (its length is wrong)";
    return false;
  }
  Reader trailer(bytes.substr(bytes.size() - kTrailer));
  std::uint32_t crc = 0;
  trailer.U32(crc);
  if (crc != Crc(bytes.substr(0, bytes.size() - kTrailer))) {
    error = "is damaged (its checksum does not match)";
    return false;
  }
  if (!ReadPayload(bytes.substr(kHeader, length), data)) {
    error = "is damaged (its content does not add up)";
    return false;
  }
  return true;
}

bool WriteCheckpoint(const std::string& path, const CheckpointData& data, std::string& error) {
  return ReplaceFile(path, EncodeCheckpoint(data), true, error);
}

bool ReadCheckpoint(const std::string& path, CheckpointData& data, std::string& error) {
  std::string bytes, reason;
  if (!ReadWholeFile(path, bytes, reason)) {
    error = "cannot read " + QuoteFile(path) + ": " + reason;
    return false;
  }
  if (!DecodeCheckpoint(bytes, data, reason)) {
    error = QuoteFile(path) + " " + reason;
    return false;
  }
  return true;
}

}  // namespace tools
