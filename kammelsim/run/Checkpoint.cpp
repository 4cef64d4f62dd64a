#include "kammelsim/run/Checkpoint.h"

#include <bit>
#include <cerrno>
#include <cstring>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

constexpr std::string_view kMagic = "KAMMELCP";

// The most any run records: the map's array, the carried field of the largest bed (one row
// fewer than its rows), a space-time row of the widest profile, and room for the texts.
using Map = model3d::MapSettings;
constexpr std::uint64_t kMaxCells = (Map::lastRow + 2) * (Map::lastColumn + 2);
constexpr std::uint64_t kMaxField = Map::maxLength * (Map::maxWidth + 1);
constexpr std::uint64_t kMaxRowCells = model2d::kMaxProfileWidth + 1;
// Each text and list item carries its length in 8 bytes besides.
static_assert(kMaxCells * 4 + kMaxField * 8 + SpaceTime::kMaxRows * (kMaxRowCells * 4 + 8) +
                      kMaxTexts + (2 * kMaxHistory + kMaxRecordedOptions + 16) * 8 + 1'000'000 <
                  kMaxCheckpointBytes,
              "the largest checkpoint fits the limit on reading one");
constexpr std::size_t kHeader = 8 + 4 + 8, kTrailer = 4;

// Writes the fields Fields names, in its order.
class Writer {
 public:
  bool U32(std::uint32_t v) { return Fixed(v); }
  bool I32(std::int32_t v) { return Fixed(static_cast<std::uint32_t>(v)); }
  bool I64(std::int64_t v) { return Fixed(static_cast<std::uint64_t>(v)); }
  bool U64(std::uint64_t v) { return Fixed(v); }
  bool Real(double v) { return Fixed(std::bit_cast<std::uint64_t>(v)); }
  bool Float(float v) { return Fixed(std::bit_cast<std::uint32_t>(v)); }
  bool Flag(bool v) { return U32(v ? 1 : 0); }
  bool Text(std::string_view s, const char* /*what*/ = nullptr) {
    U64(s.size());
    bytes.append(s);
    return true;
  }
  template <class T, class Put>
  bool List(const std::vector<T>& items, Put put, std::uint64_t /*most*/, const char* /*what*/) {
    U64(items.size());
    for (const T& item : items)
      put(item);
    return true;
  }

  std::string bytes;

 private:
  template <class T>
  bool Fixed(T v) {
    for (std::size_t n = 0; n < sizeof v; ++n)
      bytes.push_back(static_cast<char>(v >> (8 * n) & 0xff));
    return true;
  }
};

// Reads what Writer wrote; once a read runs past the end, every later one fails too.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U32(std::uint32_t& v) { return Fixed(v); }
  bool I32(std::int32_t& v) { return Through<std::uint32_t>(v); }
  bool I64(std::int64_t& v) { return Through<std::uint64_t>(v); }
  bool U64(std::uint64_t& v) { return Fixed(v); }
  bool Real(double& v) { return Through<std::uint64_t>(v); }
  bool Float(float& v) { return Through<std::uint32_t>(v); }
  bool Flag(bool& v) {
    std::uint32_t u = 0;
    if (!U32(u) || u > 1) return ok_ = false;
    v = u == 1;
    return true;
  }
  bool Text(std::string& s, const char* /*what*/ = nullptr) {
    std::uint64_t size = 0;
    if (!U64(size) || size > bytes_.size() || size > kMaxText) return ok_ = false;
    texts_ += size;
    if (texts_ > kMaxTexts) return ok_ = false;
    s.assign(bytes_.substr(0, size));
    bytes_.remove_prefix(size);
    return true;
  }
  // A count beyond what any run makes, or than the bytes left could hold, is refused before
  // anything is made for it.
  template <class T, class Get>
  bool List(std::vector<T>& items, Get get, std::uint64_t most, const char* /*what*/) {
    std::uint64_t size = 0;
    if (!U64(size) || size > bytes_.size() || size > most) return ok_ = false;
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
  // A value stored as the unsigned integer of its size, bit for bit.
  template <class Bits, class T>
  bool Through(T& v) {
    Bits bits = 0;
    if (!Fixed(bits)) return false;
    v = std::bit_cast<T>(bits);
    return true;
  }

  std::string_view bytes_;
  std::uint64_t texts_ = 0;
  bool ok_ = true;
};

// Walks data as Writer does, holding it to Reader's limits: what passes reads back. Says the
// first limit passed.
class Limits {
 public:
  bool U32(std::uint32_t) { return true; }
  bool I32(std::int32_t) { return true; }
  bool I64(std::int64_t) { return true; }
  bool Real(double) { return true; }
  bool Float(float) { return true; }
  bool Flag(bool) { return true; }
  bool Text(std::string_view s, const char* what = "a text") {
    texts_ += s.size();
    if (s.size() > kMaxText) {
      why = std::string(what) + " is " + std::to_string(s.size()) + " bytes long, more than " +
            std::to_string(kMaxText);
    } else if (texts_ > kMaxTexts) {
      why = "its texts come to more than " + std::to_string(kMaxTexts) + " bytes";
    }
    return why.empty();
  }
  template <class T, class Put>
  bool List(const std::vector<T>& items, Put put, std::uint64_t most, const char* what) {
    if (items.size() > most) {
      why = std::string(what) + " holds " + std::to_string(items.size()) + ", more than " +
            std::to_string(most);
      return false;
    }
    for (const T& item : items) {
      if (!put(item)) return false;
    }
    return true;
  }

  std::string why;

 private:
  std::uint64_t texts_ = 0;
};

// Every field of the payload, in the order of the file: the one list both Writer and Reader
// walk, so a field added here is written and read alike. Data is const for the Writer. Each
// list has the most items any run makes.
template <class Archive, class Data>
bool Fields(Archive& a, Data& d) {
  const auto text = [&a](auto& s) { return a.Text(s); };
  const auto i32 = [&a](auto& v) { return a.I32(v); };
  const auto real = [&a](auto& v) { return a.Real(v); };
  const auto row = [&a](auto& values) {
    return a.List(
        values, [&a](auto& v) { return a.Float(v); }, kMaxRowCells, "a space-time row");
  };
  auto& o = d.outputs;
  return a.Text(d.version) && a.Text(d.command) && a.Text(d.commandLine, "the command line") &&
         a.List(d.args, text, kMaxRecordedOptions, "the options") && a.Text(d.runId) &&
         a.List(d.history, text, kMaxHistory, "the history") && a.Text(o.stats) &&
         a.Text(o.netcdf) && a.Text(o.png) && a.Text(o.frames) && a.Text(o.spacetime) &&
         a.Text(o.heights) && a.Text(d.parameters) && a.U32(d.seed) && a.I64(d.done) &&
         a.I64(d.total) && a.U32(d.modelState) && a.U32(d.pictureState) &&
         a.List(d.cells, i32, kMaxCells, "the array") && a.Flag(d.hasStats) &&
         a.I64(d.stats.previousDone) && a.Real(d.stats.initialTotal) && a.I32(d.stats.rows) &&
         a.I32(d.stats.columns) &&
         a.List(d.stats.previousField, real, kMaxField, "the statistics' field") &&
         a.I64(d.statsBytes) && a.U32(d.statsCrc) && a.I64(d.netcdfRecords) &&
         a.U32(d.netcdfHeaderCrc) && a.U32(d.netcdfRecordsCrc) &&
         a.List(d.spaceTime.rows, row, SpaceTime::kMaxRows, "the space-time view") &&
         a.Real(d.spaceTime.lowest) && a.Real(d.spaceTime.highest) && a.Flag(d.heightsWritten) &&
         a.U32(d.heightsCrc);
}

// What only some runs record, after the rest: absent in a checkpoint of a flat start whose
// parameters never changed.
template <class Archive, class Data>
bool Later(Archive& a, Data& d) {
  const auto text = [&a](auto& s) { return a.Text(s); };
  return a.Text(d.initial.name, "the initial heights' name") && a.U32(d.initial.crc) &&
         a.I64(d.initial.sand) && a.List(d.changes, text, kMaxHistory, "the changes");
}

bool HasLater(const CheckpointData& d) {
  return !d.initial.name.empty() || !d.changes.empty();
}

std::string Payload(const CheckpointData& d) {
  Writer w;
  Fields(w, d);
  if (HasLater(d)) Later(w, d);
  return std::move(w.bytes);
}

bool ReadPayload(std::string_view payload, CheckpointData& d) {
  Reader r(payload);
  d.initial = {};
  d.changes.clear();
  if (!Fields(r, d) || (!r.Ended() && !Later(r, d)) || !r.Ended()) return false;
  const bool hexId =
      d.runId.size() == 32 && d.runId.find_first_not_of("0123456789abcdef") == std::string::npos;
  return hexId && d.done >= 0 && d.done <= d.total && d.statsBytes >= 0 && d.netcdfRecords >= 0 &&
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
  w.U32(io::Crc32(w.bytes));
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
  if (format != CheckpointData::kFormat) {
    const bool older = format < CheckpointData::kFormat;
    error = "has format " + std::to_string(format) + "; this kammelsim reads format " +
            std::to_string(CheckpointData::kFormat) +
            (older ? " (continue it with the kammelsim that wrote it)"
                   : " (it was written by a newer version?)");
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
  if (crc != io::Crc32(bytes.substr(0, bytes.size() - kTrailer))) {
    error = "is damaged (its checksum does not match)";
    return false;
  }
  if (!ReadPayload(bytes.substr(kHeader, length), data)) {
    error = "is damaged (its content does not add up)";
    return false;
  }
  return true;
}

bool Recordable(const CheckpointData& data, std::string& why) {
  Limits limits;
  if (Fields(limits, data) && HasLater(data)) Later(limits, data);
  why = limits.why;
  return why.empty();
}

bool WriteCheckpoint(const io::Place& place, const CheckpointData& data, std::string& error,
                     io::File* locked) {
  if (!Recordable(data, error)) return false;
  if (io::ReplaceFile(place, EncodeCheckpoint(data), true, locked)) return true;
  error = io::Reason(errno);
  return false;
}

bool WriteCheckpoint(const std::string& path, const CheckpointData& data, std::string& error) {
  io::Place place;
  if (io::PlaceOf(path, place)) return WriteCheckpoint(place, data, error);
  error = io::Reason(errno);
  return false;
}

bool ReadCheckpoint(const std::string& path, CheckpointData& data, std::string& error) {
  std::string bytes, reason;
  if (const io::ReadFault fault = io::ReadWholeFile(path, kMaxCheckpointBytes, bytes);
      fault != io::ReadFault::None) {
    error =
        "cannot read " + QuoteFile(path) + ": " + io::ReadFaultReason(fault, kMaxCheckpointBytes);
    return false;
  }
  if (!DecodeCheckpoint(bytes, data, reason)) {
    error = QuoteFile(path) + " " + reason;
    return false;
  }
  return true;
}

}  // namespace kammelsim
