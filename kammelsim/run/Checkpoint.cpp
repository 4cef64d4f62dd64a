#include "kammelsim/run/Checkpoint.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

constexpr std::string_view kMagic = "KAMMELCP";

// The most any run records: the largest array (an open bed's, or the map's), the carried field
// of the largest bed (one row fewer than its rows), a space-time row of the widest profile, and
// room for the texts.
using Map = model3d::MapSettings;
constexpr std::uint64_t kMaxCells =
    std::max<std::uint64_t>((Map::lastRow + 2) * (Map::lastColumn + 2), model3d::kMaxOpenCells);
constexpr std::uint64_t kMaxField =
    std::max<std::uint64_t>(Map::maxLength * (Map::maxWidth + 1), model3d::kMaxOpenCells);
constexpr std::uint64_t kMaxRowCells = model2d::kMaxProfileWidth + 1;
// Each text and list item carries its length in 8 bytes besides.
static_assert(kMaxCells * 4 + kMaxField * 8 + SpaceTime::kMaxRows * (kMaxRowCells * 4 + 8) +
                      kMaxTexts + (2 * kMaxHistory + kMaxRecordedOptions + 16) * 8 + 1'000'000 <
                  kMaxCheckpointBytes,
              "the largest checkpoint fits the limit on reading one");
// What a checkpoint written to a file is written in: small ones in one write, as they always
// were.
constexpr std::size_t kPiece = std::size_t{4} << 20;

// The fewest bytes an item of a list takes in the file: its value, or a length.
template <class T>
constexpr std::uint64_t LeastBytes() {
  if constexpr (std::is_arithmetic_v<T>)
    return sizeof(T);
  else
    return 8;
}

constexpr std::size_t kHeader = 8 + 4 + 8, kTrailer = 4;

// Writes the fields Fields names, in its order: into bytes, or a piece at a time to a file, or
// only counting them.
class Writer {
 public:
  enum class Into { bytes, file, count };
  explicit Writer(Into into = Into::bytes, io::File* file = nullptr) : into_(into), file_(file) {}
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
    return Spill();
  }
  template <class T, class Put>
  bool List(const std::vector<T>& items, Put put, std::uint64_t /*most*/, const char* /*what*/) {
    U64(items.size());
    for (const T& item : items) {
      if (!put(item)) return false;
    }
    return ok_;
  }
  bool Cells(const CheckpointData& d) {
    U64(CellCount(d));
    if (into_ == Into::count) {
      counted_ += 4 * CellCount(d);
      return true;
    }
    // A piece at a time, however large the span visited.
    VisitCells(d, [this](std::span<const std::int32_t> cells) {
      for (std::size_t n = 0; n < cells.size(); ++n) {
        Put(static_cast<std::uint32_t>(cells[n]));
        if (n % 4096 == 4095) Spill();
      }
      Spill();
    });
    return ok_;
  }
  // What is left goes to the file; the CRC-32 of everything written so far.
  bool Finish() {
    crc_ = io::Crc32(std::string_view(bytes).substr(summed_), crc_);
    summed_ = bytes.size();
    if (into_ != Into::file) return ok_;
    summed_ = 0;
    ok_ = ok_ && file_->Write(bytes);
    bytes.clear();
    return ok_;
  }
  std::uint32_t Crc() const { return crc_; }
  std::uint64_t Counted() const { return counted_ + bytes.size(); }

  std::string bytes;

 private:
  template <class T>
  void Put(T v) {
    for (std::size_t n = 0; n < sizeof v; ++n)
      bytes.push_back(static_cast<char>(v >> (8 * n) & 0xff));
  }
  template <class T>
  bool Fixed(T v) {
    Put(v);
    return Spill();
  }
  // A full piece leaves the buffer: written (with its CRC) or counted.
  bool Spill() {
    if (into_ == Into::bytes || bytes.size() < kPiece) return ok_;
    counted_ += bytes.size();
    if (into_ == Into::file) {
      crc_ = io::Crc32(bytes, crc_);
      ok_ = ok_ && file_->Write(bytes);
    }
    bytes.clear();
    return ok_;
  }

  Into into_;
  io::File* file_;
  std::uint32_t crc_ = 0;
  std::size_t summed_ = 0;  ///< of bytes, already in crc_
  std::uint64_t counted_ = 0;
  bool ok_ = true;
};

// Reads what Writer wrote; once a read runs past the end, every later one fails too.
class Reader {
 public:
  explicit Reader(std::string_view bytes, bool inPlace = false)
      : bytes_(bytes), inPlace_(inPlace) {}
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
    if (!U64(size) || size > bytes_.size() / LeastBytes<T>() || size > most) return ok_ = false;
    items.assign(size, T{});
    for (T& item : items) {
      if (!get(item)) return false;
    }
    return true;
  }
  // Read in place, the array stays in the file's bytes.
  bool Cells(CheckpointData& d) {
    std::uint64_t size = 0;
    if (!U64(size) || size > bytes_.size() / 4 || size > kMaxCells) return ok_ = false;
    const std::string_view raw = bytes_.substr(0, 4 * size);
    bytes_.remove_prefix(raw.size());
    d.cells.clear();
    d.cellBytes = raw;
    if (!inPlace_) {
      d.cells.resize(size);
      CopyCells(d, d.cells);
      d.cellBytes = {};
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
  bool inPlace_;
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

  bool Cells(const CheckpointData& d) {
    if (CellCount(d) <= kMaxCells) return true;
    why = "the array holds " + std::to_string(CellCount(d)) + ", more than " +
          std::to_string(kMaxCells);
    return false;
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
         a.I64(d.total) && a.U32(d.modelState) && a.U32(d.pictureState) && a.Cells(d) &&
         a.Flag(d.hasStats) && a.I64(d.stats.previousDone) && a.Real(d.stats.initialTotal) &&
         a.I32(d.stats.rows) && a.I32(d.stats.columns) &&
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

// The payload through w: its fields, then what only some runs have.
bool Payload(Writer& w, const CheckpointData& d) {
  return Fields(w, d) && (!HasLater(d) || Later(w, d));
}

// The whole file through w: the header, the payload of length bytes, and the CRC-32.
bool Encode(Writer& w, const CheckpointData& d, std::uint64_t length) {
  w.bytes.append(kMagic);
  if (!w.U32(CheckpointData::kFormat) || !w.U64(length) || !Payload(w, d) || !w.Finish())
    return false;
  w.U32(w.Crc());
  return w.Finish();
}

std::uint64_t PayloadLength(const CheckpointData& d) {
  Writer counter(Writer::Into::count);
  Payload(counter, d);
  return counter.Counted();
}

bool ReadPayload(std::string_view payload, CheckpointData& d, bool inPlace) {
  Reader r(payload, inPlace);
  d.initial = {};
  d.changes.clear();
  if (!Fields(r, d) || (!r.Ended() && !Later(r, d)) || !r.Ended()) return false;
  const bool hexId =
      d.runId.size() == 32 && d.runId.find_first_not_of("0123456789abcdef") == std::string::npos;
  return hexId && d.done >= 0 && d.done <= d.total && d.statsBytes >= 0 && d.netcdfRecords >= 0 &&
         (d.command == "bed" || d.command == "profile");
}

// The CRC-32 of bytes, read a piece at a time, each given back to file once read.
std::uint32_t CrcOf(std::string_view bytes, const io::MappedFile* file) {
  std::uint32_t crc = 0;
  io::ForEachPiece(bytes, file, [&crc](std::string_view piece) { crc = io::Crc32(piece, crc); });
  return crc;
}

bool Decode(std::string_view bytes, CheckpointData& data, std::string& error,
            const io::MappedFile* file) {
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
  if (format < CheckpointData::kOldestFormat || format > CheckpointData::kFormat) {
    const bool older = format < CheckpointData::kFormat;
    error = "has format " + std::to_string(format) + "; this kammelsim reads formats " +
            std::to_string(CheckpointData::kOldestFormat) + " to " +
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
  if (crc != CrcOf(bytes.substr(0, bytes.size() - kTrailer), file)) {
    error = "is damaged (its checksum does not match)";
    return false;
  }
  if (!ReadPayload(bytes.substr(kHeader, length), data, file != nullptr)) {
    error = "is damaged (its content does not add up)";
    return false;
  }
  // Its run measured speed against the snapshot before, and goes on so.
  if (format < 4) data.args.push_back("--speed-lag=every");
  return true;
}

}  // namespace

std::size_t CellCount(const CheckpointData& data) {
  if (!data.liveCells.empty()) return data.liveCells.size();
  return data.cellBytes.empty() ? data.cells.size() : data.cellBytes.size() / 4;
}

void VisitCells(const CheckpointData& data,
                const std::function<void(std::span<const std::int32_t>)>& visit) {
  if (!data.liveCells.empty()) return visit(data.liveCells);
  if (data.cellBytes.empty()) return visit(data.cells);
  std::vector<std::int32_t> cells;
  io::ForEachPiece(data.cellBytes, data.source.get(), [&](std::string_view piece) {
    cells.resize(piece.size() / 4);
    for (std::size_t n = 0; n < cells.size(); ++n) {
      std::uint32_t v = 0;
      for (std::size_t k = 0; k < 4; ++k)
        v |= std::uint32_t{static_cast<unsigned char>(piece[4 * n + k])} << (8 * k);
      cells[n] = static_cast<std::int32_t>(v);
    }
    visit(cells);
  });
}

void CopyCells(const CheckpointData& data, std::span<std::int32_t> cells) {
  std::size_t at = 0;
  VisitCells(data, [&](std::span<const std::int32_t> piece) {
    std::copy(piece.begin(), piece.end(), cells.begin() + static_cast<std::ptrdiff_t>(at));
    at += piece.size();
  });
}

std::string EncodeCheckpoint(const CheckpointData& data) {
  Writer w;
  Encode(w, data, PayloadLength(data));
  return std::move(w.bytes);
}

bool DecodeCheckpoint(std::string_view bytes, CheckpointData& data, std::string& error) {
  return Decode(bytes, data, error, nullptr);
}

bool DecodeCheckpoint(std::shared_ptr<const io::MappedFile> file, CheckpointData& data,
                      std::string& error) {
  if (!Decode(file->Bytes(), data, error, file.get())) return false;
  data.source = std::move(file);
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
  const std::uint64_t length = PayloadLength(data);
  const auto write = [&](io::File& file) {
    Writer w(Writer::Into::file, &file);
    return Encode(w, data, length);
  };
  if (io::ReplaceFileWith(place, write, true, locked)) return true;
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
  std::string reason;
  io::ReadFault fault = io::ReadFault::None;
  const auto file = io::MappedFile::Map(path, kMaxCheckpointBytes, fault);
  if (!file) {
    error =
        "cannot read " + QuoteFile(path) + ": " + io::ReadFaultReason(fault, kMaxCheckpointBytes);
    return false;
  }
  if (!DecodeCheckpoint(file, data, reason)) {
    error = QuoteFile(path) + " " + reason;
    return false;
  }
  return true;
}

}  // namespace kammelsim
