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
    const bool visited = VisitCells(d, [this](std::span<const std::int32_t> cells) {
      for (std::size_t n = 0; n < cells.size(); ++n) {
        Put(static_cast<std::uint32_t>(cells[n]));
        if (n % 4096 == 4095) Spill();
      }
      Spill();
    });
    return ok_ = ok_ && visited;
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

// The bytes Reader reads: in memory, or a file's, read into a buffer a piece at a time with the
// CRC-32 of every byte taken or skipped.
class Source {
 public:
  explicit Source(std::string_view bytes) : bytes_(bytes), left_(bytes.size()) {}
  Source(const io::HeldFile* file, std::uint64_t begin, std::uint64_t end, std::uint32_t crc)
      : file_(file), next_(begin), left_(end - begin), crc_(crc) {}
  std::uint64_t Left() const { return left_; }
  // The next n bytes (n at most Left()), good until the next call.
  bool Take(std::size_t n, std::string_view& out) {
    if (n > left_ || (file_ && bytes_.size() < n && !Fill(n))) return false;
    out = bytes_.substr(0, n);
    bytes_.remove_prefix(n);
    left_ -= n;
    if (file_) crc_ = io::Crc32(out, crc_);
    return true;
  }
  // Passes over the next n bytes of a file, read for their CRC-32 alone: where they begin, and
  // their CRC-32.
  bool Skip(std::uint64_t n, std::uint64_t& at, std::uint32_t& crc) {
    at = next_ - bytes_.size();
    crc = 0;
    for (std::uint64_t rest = n; rest > 0;) {
      std::string_view piece;
      if (!Take(static_cast<std::size_t>(std::min<std::uint64_t>(rest, kPiece)), piece, crc))
        return false;
      rest -= piece.size();
    }
    crc_ = io::Crc32Combine(crc_, crc, n);
    return true;
  }
  bool InFile() const { return file_ != nullptr; }
  std::uint32_t Crc() const { return crc_; }
  bool Failed() const { return failed_; }

 private:
  // Take without adding to the whole's CRC-32: to crc instead.
  bool Take(std::size_t n, std::string_view& out, std::uint32_t& crc) {
    const std::uint32_t whole = crc_;
    crc_ = crc;
    const bool taken = Take(n, out);
    crc = crc_;
    crc_ = whole;
    return taken;
  }
  // At least n bytes in the buffer, as many as a piece where the file has them.
  bool Fill(std::size_t n) {
    const std::size_t kept = bytes_.size();
    if (kept > 0) std::memmove(buffer_.data(), bytes_.data(), kept);
    const std::size_t more =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kPiece), left_) - kept);
    buffer_.resize(kept + more);
    if (!file_->Read(next_, std::span(buffer_).subspan(kept))) return failed_ = true, false;
    next_ += more;
    bytes_ = std::string_view(buffer_);
    return true;
  }

  const io::HeldFile* file_ = nullptr;
  std::string buffer_;
  std::string_view bytes_;
  std::uint64_t next_ = 0, left_ = 0;  ///< the file's offset to read at; bytes not yet taken
  std::uint32_t crc_ = 0;
  bool failed_ = false;
};

// Reads what Writer wrote; once a read runs past the end, every later one fails too.
class Reader {
 public:
  explicit Reader(Source& source) : source_(source) {}
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
    if (!U64(size) || size > source_.Left() || size > kMaxText) return ok_ = false;
    texts_ += size;
    if (texts_ > kMaxTexts) return ok_ = false;
    std::string_view bytes;
    if (!source_.Take(static_cast<std::size_t>(size), bytes)) return ok_ = false;
    s.assign(bytes);
    return true;
  }
  // A count beyond what any run makes, or than the bytes left could hold, is refused before
  // anything is made for it.
  template <class T, class Get>
  bool List(std::vector<T>& items, Get get, std::uint64_t most, const char* /*what*/) {
    std::uint64_t size = 0;
    if (!U64(size) || size > source_.Left() / LeastBytes<T>() || size > most) return ok_ = false;
    items.assign(size, T{});
    for (T& item : items) {
      if (!get(item)) return false;
    }
    return true;
  }
  // Read from a file, the array stays in it, read only for its CRC-32.
  bool Cells(CheckpointData& d) {
    std::uint64_t size = 0;
    if (!U64(size) || size > source_.Left() / 4 || size > kMaxCells) return ok_ = false;
    d.cells.clear();
    if (source_.InFile()) {
      d.inFile.count = size;
      return ok_ = source_.Skip(4 * size, d.inFile.offset, d.inFile.crc);
    }
    std::string_view raw;
    if (!source_.Take(static_cast<std::size_t>(4 * size), raw)) return ok_ = false;
    d.cells.resize(size);
    for (std::size_t n = 0; n < d.cells.size(); ++n)
      d.cells[n] = static_cast<std::int32_t>(Little32(raw.substr(4 * n)));
    return true;
  }
  bool Ended() const { return ok_ && source_.Left() == 0; }

 private:
  static std::uint32_t Little32(std::string_view bytes) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
      v |= std::uint32_t{static_cast<unsigned char>(bytes[k])} << (8 * k);
    return v;
  }
  template <class T>
  bool Fixed(T& v) {
    std::string_view bytes;
    if (!ok_ || !source_.Take(sizeof v, bytes)) return ok_ = false;
    v = 0;
    for (std::size_t n = 0; n < sizeof v; ++n)
      v |= static_cast<T>(static_cast<unsigned char>(bytes[n])) << (8 * n);
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

  Source& source_;
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

bool ReadPayload(Source& payload, CheckpointData& d) {
  Reader r(payload);
  d.initial = {};
  d.changes.clear();
  if (!Fields(r, d) || (!r.Ended() && !Later(r, d)) || !r.Ended()) return false;
  const bool hexId =
      d.runId.size() == 32 && d.runId.find_first_not_of("0123456789abcdef") == std::string::npos;
  return hexId && d.done >= 0 && d.done <= d.total && d.statsBytes >= 0 && d.netcdfRecords >= 0 &&
         (d.command == "bed" || d.command == "profile");
}

// The frame around the payload of a file of size bytes that begins with head (its first
// kHeader bytes, or all of a shorter file): its payload's length, or false saying what is wrong.
bool FrameFits(std::string_view head, std::uint64_t size, std::uint64_t& length,
               std::uint32_t& format, std::string& error) {
  if (head.size() < kMagic.size() || head.substr(0, kMagic.size()) != kMagic) {
    error = "is not a kammelsim checkpoint";
    return false;
  }
  Source frame(head.substr(kMagic.size()));
  Reader header(frame);
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
  const std::uint64_t room = size - kHeader;
  if (room < kTrailer || length > room - kTrailer) {
    error = "is truncated";
    return false;
  }
  if (length != room - kTrailer) {
    error = "is damaged (its length is wrong)";
    return false;
  }
  return true;
}

std::uint32_t Trailer(std::string_view bytes) {
  Source trailer(bytes);
  std::uint32_t crc = 0;
  Reader(trailer).U32(crc);
  return crc;
}

// Says what is wrong with a payload whose CRC-32 is crc and whose reading went as read did.
bool PayloadFits(bool read, std::uint32_t crc, std::uint32_t recorded, std::string& error) {
  if (crc != recorded) {
    error = "is damaged (its checksum does not match)";
    return false;
  }
  if (!read) {
    error = "is damaged (its content does not add up)";
    return false;
  }
  return true;
}

// Its run measured speed against the snapshot before, and goes on so.
void OfFormat(std::uint32_t format, CheckpointData& data) {
  if (format < 4) data.args.push_back("--speed-lag=every");
}

}  // namespace

std::size_t CellCount(const CheckpointData& data) {
  if (!data.liveCells.empty()) return data.liveCells.size();
  return data.inFile.file ? static_cast<std::size_t>(data.inFile.count) : data.cells.size();
}

bool VisitCells(const CheckpointData& data,
                const std::function<void(std::span<const std::int32_t>)>& visit) {
  if (!data.liveCells.empty()) return visit(data.liveCells), true;
  if (!data.inFile.file) return visit(data.cells), true;
  // Read into the piece's cells themselves, and checked against the CRC-32 the file's decoding
  // found, so that the array is never another than the one the file held.
  std::vector<std::int32_t> cells;
  std::uint32_t crc = 0;
  std::uint64_t at = data.inFile.offset;
  for (std::uint64_t left = data.inFile.count; left > 0;) {
    cells.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece / 4)));
    const std::span bytes(reinterpret_cast<char*>(cells.data()), 4 * cells.size());
    if (!data.inFile.file->Read(at, bytes)) return false;
    crc = io::Crc32({bytes.data(), bytes.size()}, crc);
    if constexpr (std::endian::native == std::endian::big) {
      for (std::int32_t& cell : cells)
        cell = static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(cell)));
    }
    visit(cells);
    at += bytes.size();
    left -= cells.size();
  }
  return crc == data.inFile.crc;
}

bool CopyCells(const CheckpointData& data, std::span<std::int32_t> cells) {
  std::size_t at = 0;
  return VisitCells(data, [&](std::span<const std::int32_t> piece) {
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
  std::uint64_t length = 0;
  std::uint32_t format = 0;
  if (!FrameFits(bytes.substr(0, kHeader), bytes.size(), length, format, error)) return false;
  const std::uint32_t crc = io::Crc32(bytes.substr(0, bytes.size() - kTrailer));
  const std::uint32_t recorded = Trailer(bytes.substr(bytes.size() - kTrailer));
  Source payload(bytes.substr(kHeader, length));
  data.inFile = {};
  if (!PayloadFits(crc == recorded && ReadPayload(payload, data), crc, recorded, error))
    return false;
  OfFormat(format, data);
  return true;
}

bool DecodeCheckpoint(std::shared_ptr<const io::HeldFile> file, CheckpointData& data,
                      std::string& error) {
  // One pass: the payload is read as its CRC-32 is taken, the array only for its CRC-32.
  const std::uint64_t size = file->Size();
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeader)), '\0');
  std::uint64_t length = 0;
  std::uint32_t format = 0;
  if (!file->Read(0, head)) {
    error = std::string(kChangedWhileRead);
    return false;
  }
  if (!FrameFits(head, size, length, format, error)) return false;
  std::string trailer(kTrailer, '\0');
  Source payload(file.get(), kHeader, kHeader + length, io::Crc32(head));
  const bool read = file->Read(size - kTrailer, trailer) && ReadPayload(payload, data);
  // What the payload's reading left is still summed: a damaged file says so before its content.
  std::uint64_t at = 0;
  std::uint32_t rest = 0;
  if (!payload.Failed() && payload.Left() > 0) payload.Skip(payload.Left(), at, rest);
  if (payload.Failed() || (!read && !file->Read(size - kTrailer, trailer))) {
    error = std::string(kChangedWhileRead);
    return false;
  }
  if (!PayloadFits(read, payload.Crc(), Trailer(trailer), error)) return false;
  data.inFile.file = std::move(file);
  OfFormat(format, data);
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
  const auto file = io::HeldFile::Hold(path, kMaxCheckpointBytes, fault);
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
