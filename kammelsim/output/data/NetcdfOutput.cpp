#include "kammelsim/output/data/NetcdfOutput.h"

#include <fcntl.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/output/data/StatsOutput.h"

namespace kammelsim {
namespace {

// Room for the header to grow (a history line per resume) without moving the records.
constexpr std::int64_t kHeaderRoom = 8192, kPage = 4096;
// Headers this runner writes stay far below this; a larger one is not ours.
constexpr std::size_t kMostHeader = 16u << 20;
constexpr std::size_t kCopyChunk = 4u << 20;

std::int64_t RoomFor(std::size_t headerBytes) {
  return (static_cast<std::int64_t>(headerBytes) + kHeaderRoom + kPage - 1) / kPage * kPage;
}

// The file up to its first record: the header, its room, and the coordinates 0..n-1 of x and y.
std::string Leading(const cdf::Header& header) {
  std::string bytes = cdf::Encode(header);
  bytes.resize(static_cast<std::size_t>(cdf::DataStart(header)), '\0');
  for (const cdf::Variable& v : header.variables) {
    if (header.IsRecord(v)) continue;
    const std::int64_t count = v.size / 4;
    for (std::int64_t n = 0; n < count; ++n)
      io::PutBig32(bytes, static_cast<std::uint32_t>(n));
  }
  return bytes;
}

void SetHistory(cdf::Header& header, const std::string& text) {
  for (cdf::Attribute& a : header.attributes)
    if (a.name == "history" && a.type == cdf::Type::Char) a = cdf::TextAttribute("history", text);
}

// The history attribute with one more line.
void AddHistory(cdf::Header& header, const std::string& line) {
  if (line.empty()) return;
  for (cdf::Attribute& a : header.attributes) {
    if (a.name != "history" || a.type != cdf::Type::Char) continue;
    a = cdf::TextAttribute("history", a.values.empty() ? line : a.values + "\n" + line);
    return;
  }
  header.attributes.push_back(cdf::TextAttribute("history", line));
}

// The changes attribute as the checkpoint's lines say, none without them: a resume stopped
// before its checkpoint may have left one of a change that did not last. The parameters'
// variables are fixed when the file is made; a list of changes leaves every run without one as
// it was.
void SetChanges(cdf::Header& header, const std::vector<std::string>& changes) {
  std::erase_if(header.attributes, [](const cdf::Attribute& a) { return a.name == "changes"; });
  if (changes.empty()) return;
  std::string text;
  for (const std::string& line : changes)
    text += (text.empty() ? "" : "\n") + ProvenanceText(line);
  header.attributes.push_back(cdf::TextAttribute("changes", text));
}

// The total the file holds the run to, as parameter_batches or parameter_steps: a resume to
// another total changes it, as it adds to the history. None: the file's stays.
void SetTotal(cdf::Header& header, const std::string& unit, std::int64_t total) {
  if (total <= 0) return;
  const Parameter parameter{unit, total};
  for (cdf::Attribute& a : header.attributes) {
    if (a.name == "parameter_" + unit) a = ParameterAttribute(parameter);
  }
}

// Without the attributes a resume changes; with the total, as checkpoints took it before
// the file's total followed the run's.
std::uint32_t CrcOf(const cdf::Header& header, bool withTotal) {
  cdf::Header kept = header;
  kept.records = 0;
  std::erase_if(kept.attributes, [withTotal](const cdf::Attribute& a) {
    const bool total = a.name == "parameter_batches" || a.name == "parameter_steps";
    return (a.name == "history" && a.type == cdf::Type::Char) || a.name == "changes" ||
           (total && !withTotal);
  });
  for (cdf::Variable& v : kept.variables)
    v.begin = 0;
  return io::Crc32(cdf::Encode(kept));
}

}  // namespace

std::uint32_t HeaderCrc(const cdf::Header& header) {
  return CrcOf(header, false);
}

NetcdfRecord NetcdfOutput::Record(const std::string& runId) const {
  return {header_.records, runId, HeaderCrc(header_), recordsCrc_, ""};
}

Fault NetcdfOutput::Failed(int error) const {
  return WriteFailed(QuoteFile(path_), error);
}

Fault NetcdfOutput::Refusal(std::string why) {
  file_.Close();
  return Refused(QuoteFile(path_), std::move(why));
}

Outcome NetcdfOutput::Create(const io::Place& place, const NetcdfLayout& layout,
                             const Provenance& provenance) {
  place_ = place;
  path_ = place.shown;
  layout_ = layout;
  header_ = DataFileHeader(layout, provenance);
  cdf::Place(header_, RoomFor(cdf::Encode(header_).size()));
  io::File made;
  if (!WriteCopy(header_, made)) return Failed(errno);
  file_ = std::move(made);
  return std::nullopt;
}

// Writes the file up to its first record under a temporary name, synced and locked, and renames
// it into place: a failure leaves what the name held before.
bool NetcdfOutput::WriteCopy(const cdf::Header& header, io::File& copy) {
  const io::Place part = io::PartOf(place_);
  const bool written = io::CreatePart(part, copy) && copy.WriteAt(0, Leading(header)) &&
                       copy.Sync() && copy.Lock() && io::Rename(part, place_) &&
                       io::SyncFolderOf(place_);
  if (written) {
    copy.CountAs(place_.name);
    return true;
  }
  const int error = copy.Error() ? copy.Error() : errno;
  copy.Close();
  io::RemoveAt(part);
  errno = error;
  return false;
}

bool NetcdfOutput::ReadHeader(cdf::Header& header, std::string& why) {
  std::string bytes;
  for (std::size_t want = 64u << 10;; want *= 4) {
    if (!file_.ReadAt(0, want, bytes)) {
      why = "cannot be read: " + io::Reason(file_.Error());
      return false;
    }
    const cdf::Decoded decoded = cdf::Decode(bytes, header);
    if (decoded == cdf::Decoded::Whole) return true;
    if (decoded == cdf::Decoded::Foreign || bytes.size() < want || want >= kMostHeader) {
      why = "is not a data file kammelsim writes (NetCDF, CDF-5)";
      return false;
    }
  }
}

namespace {

// Files made before time took 64 bits hold it in 32, and go on so.
bool WideTime(const cdf::Header& file) {
  return file.variables.empty() || file.variables.front().name != "time" ||
         file.variables.front().type != cdf::Type::Int;
}

}  // namespace

bool NetcdfOutput::Belongs(const cdf::Header& file, const NetcdfRecord& record, std::string& why) {
  const cdf::Attribute* id = cdf::Find(file.attributes, "run_id");
  std::uint64_t size = 0;
  layout_.wideTime = WideTime(file);
  if (!id || id->type != cdf::Type::Char) {
    why = "has no run id: it is not this run's data file";
  } else if (record.runId.empty() || id->values != record.runId) {
    why = "belongs to another run (run id " + QuoteValue(id->values) + ", the checkpoint's " +
          QuoteValue(record.runId) + ")";
  } else if (!SameShape(file, layout_)) {
    why = "does not hold the variables of this run";
  } else if (!file_.Size(size)) {
    why = "cannot be read: " + io::Reason(file_.Error());
  } else {
    const auto start = static_cast<std::uint64_t>(cdf::RecordStart(file));
    const auto whole = static_cast<std::int64_t>((size > start ? size - start : 0) /
                                                 static_cast<std::uint64_t>(cdf::RecordSize(file)));
    const std::int64_t holds = std::min(file.records, whole);
    if (holds >= record.records) return true;
    why = "holds " + std::to_string(holds) + " snapshots, fewer than the " +
          std::to_string(record.records) + " the checkpoint recorded";
  }
  return false;
}

// The header and the kept records' bytes as the checkpoint recorded them; Belongs has held the
// recorded count to what the file holds, so the reading ends.
bool NetcdfOutput::SameRecords(const cdf::Header& file, const NetcdfRecord& record,
                               std::string& why) {
  if (HeaderCrc(file) != record.headerCrc && CrcOf(file, true) != record.headerCrc) {
    why =
        "has another header than the checkpoint recorded (an attribute, dimension or variable "
        "differs)";
    return false;
  }
  // The header's CRC leaves the history out, which a resume killed before its checkpoint has
  // added a line to: what the checkpoint holds of it is checked here, whole lines after it let
  // be.
  const cdf::Attribute* history = cdf::Find(file.attributes, "history");
  const std::string_view text =
      history && history->type == cdf::Type::Char ? std::string_view(history->values) : "";
  const std::size_t held = record.history.size();
  if (held > 0 &&
      !(text.starts_with(record.history) && (text.size() == held || text[held] == '\n'))) {
    why = "has another history than the checkpoint recorded";
    return false;
  }
  const auto start = static_cast<std::uint64_t>(cdf::RecordStart(file));
  const auto size = static_cast<std::uint64_t>(cdf::RecordSize(file));
  std::uint32_t crc = 0;
  std::string chunk;
  const std::uint64_t per = std::max<std::uint64_t>(1, kCopyChunk / size);
  for (std::uint64_t at = 0; at < static_cast<std::uint64_t>(record.records); at += per) {
    const std::uint64_t count = std::min(per, record.records - at);
    if (!file_.ReadAt(start + at * size, count * size, chunk) || chunk.size() < count * size) {
      why = "cannot be read: " + io::Reason(file_.Error() ? file_.Error() : EIO);
      return false;
    }
    crc = io::Crc32(chunk, crc);
  }
  if (crc == record.recordsCrc) return true;
  why = "holds other snapshots than the checkpoint recorded (a height or time differs)";
  return false;
}

Outcome NetcdfOutput::Take(const io::Place& place, const NetcdfLayout& layout,
                           const NetcdfRecord& record, bool write) {
  place_ = place;
  path_ = place.shown;
  layout_ = layout;
  cdf::Header file;
  std::string why;
  if (!io::TakeFile(place, write, file_, why) || !ReadHeader(file, why) ||
      !Belongs(file, record, why) || !SameRecords(file, record, why)) {
    return Refusal(why);
  }
  // Lines past the recorded history name resumes killed before their checkpoint: they go, or
  // the next checkpoint would record a history the file no longer starts with.
  if (!record.history.empty()) SetHistory(file, record.history);
  header_ = std::move(file);
  kept_ = record.records;
  recordsCrc_ = record.recordsCrc;
  return std::nullopt;
}

Outcome NetcdfOutput::Continue(const std::string& historyLine,
                               const std::vector<std::string>& changes, std::int64_t total) {
  // A file with other names (a copy made of hard links) gets a copy of its own first.
  const auto keep =
      static_cast<std::uint64_t>(cdf::RecordStart(header_) + kept_ * cdf::RecordSize(header_));
  if (io::Shared(file_) && !io::CopyApart(place_, file_, keep)) return Failed(errno);
  return CutBack(kept_, historyLine, changes, total);
}

Outcome NetcdfOutput::Reopen(const io::Place& place, const NetcdfLayout& layout,
                             const NetcdfRecord& record, const std::string& historyLine) {
  if (Outcome fault = Take(place, layout, record, true)) return fault;
  return Continue(historyLine);
}

// Drops the records past records and adds the history line: the header is written first, so
// that a stop in between leaves a file whose count ignores the bytes beyond it.
Outcome NetcdfOutput::CutBack(std::int64_t records, const std::string& historyLine,
                              const std::vector<std::string>& changes, std::int64_t total) {
  cdf::Header next = header_;
  next.records = records;
  AddHistory(next, historyLine);
  SetChanges(next, changes);
  SetTotal(next, layout_.unit, total);
  std::string head = cdf::Encode(next);
  if (std::ssize(head) > cdf::DataStart(next)) return Moved(next);
  head.resize(static_cast<std::size_t>(cdf::DataStart(next)), '\0');
  const auto keep =
      static_cast<std::uint64_t>(cdf::RecordStart(next) + records * cdf::RecordSize(next));
  if (!file_.WriteAt(0, head) || !file_.Truncate(keep)) return Failed(file_.Error());
  header_ = std::move(next);
  return std::nullopt;
}

// A header grown past its room: the file is copied behind a larger one and renamed over it.
Outcome NetcdfOutput::Moved(const cdf::Header& grown) {
  cdf::Header moved = grown;
  cdf::Place(moved, RoomFor(cdf::Encode(moved).size()));
  const io::Place part = io::PartOf(place_);
  io::File copy;
  bool copied = io::CreatePart(part, copy) && copy.WriteAt(0, Leading(moved));
  const std::uint64_t from = static_cast<std::uint64_t>(cdf::RecordStart(grown)),
                      to = static_cast<std::uint64_t>(cdf::RecordStart(moved)),
                      bytes = static_cast<std::uint64_t>(grown.records * cdf::RecordSize(grown));
  std::string chunk;
  for (std::uint64_t at = 0; copied && at < bytes; at += chunk.size()) {
    copied = file_.ReadAt(from + at, std::min<std::uint64_t>(kCopyChunk, bytes - at), chunk) &&
             !chunk.empty() && copy.WriteAt(to + at, chunk);
    if (chunk.empty()) errno = EIO;
  }
  copied =
      copied && copy.Sync() && copy.Lock() && io::Rename(part, place_) && io::SyncFolderOf(place_);
  if (!copied) {
    const int error = copy.Error() ? copy.Error() : file_.Error() ? file_.Error() : errno;
    copy.Close();
    io::RemoveAt(part);
    return Failed(error);
  }
  copy.CountAs(place_.name);
  file_ = std::move(copy);
  header_ = std::move(moved);
  return std::nullopt;
}

char* NetcdfOutput::EncodeTime(char* at, std::int64_t done) const {
  return layout_.wideTime ? io::Big64(at, static_cast<std::uint64_t>(done))
                          : io::Big32(at, static_cast<std::uint32_t>(done));
}

char* NetcdfOutput::EncodeMeasures(char* at, const analysis::Measures* measures) const {
  if (!layout_.stats) return at;
  const std::vector<double> numbers =
      measures ? StatsNumbers(layout_.model, *measures)
               : std::vector<double>(StatsFields(layout_.model).size(), std::nan(""));
  for (const double value : numbers)
    at = io::Big64(at, std::bit_cast<std::uint64_t>(value));
  return at;
}

void NetcdfOutput::EncodeRecord(std::int64_t done, const analysis::Snapshot& snapshot,
                                const analysis::Measures* measures) {
  record_.resize(static_cast<std::size_t>(cdf::RecordSize(header_)));
  char* at = EncodeTime(record_.data(), done);
  // x along the wind varies fastest: the snapshot's rows become the file's columns.
  const int along = snapshot.rows, across = snapshot.columns;
  for (int y = 0; y < across; ++y) {
    for (int x = 0; x < along; ++x)
      at = io::Big32(at, static_cast<std::uint32_t>(snapshot.At(x, y)));
  }
  EncodeMeasures(at, measures);
}

Outcome NetcdfOutput::Appendable(std::int64_t done, int rows, int columns) const {
  const bool bed = layout_.model == analysis::Model::Bed;
  if (rows != layout_.xCount || columns != (bed ? layout_.yCount : 1)) return Failed(EINVAL);
  if (!layout_.wideTime && done > std::numeric_limits<std::int32_t>::max())
    return Failed(EOVERFLOW);  // an older file's time holds no more
  return std::nullopt;
}

// The record is written, and its count after it: a reader, or a stop, never finds a count
// ahead of data.
Outcome NetcdfOutput::Appended(const std::string& count) {
  if (!file_.WriteAt(cdf::Header::kRecordsAt, count)) return Failed(file_.Error());
  ++header_.records;
  return std::nullopt;
}

Outcome NetcdfOutput::Snapshot(std::int64_t done, const analysis::Snapshot& snapshot,
                               const analysis::Measures* measures) {
  if (std::ssize(snapshot.cells) != std::int64_t{snapshot.rows} * snapshot.columns)
    return Failed(EINVAL);
  if (Outcome fault = Appendable(done, snapshot.rows, snapshot.columns)) return fault;
  EncodeRecord(done, snapshot, measures);
  const std::int64_t at = cdf::RecordStart(header_) + header_.records * cdf::RecordSize(header_);
  std::string count;
  io::PutBig64(count, static_cast<std::uint64_t>(header_.records + 1));
  if (!file_.WriteAt(static_cast<std::uint64_t>(at), record_)) return Failed(file_.Error());
  if (Outcome fault = Appended(count)) return fault;
  recordsCrc_ = io::Crc32(record_, recordsCrc_);
  return std::nullopt;
}

Outcome NetcdfOutput::Snapshot(std::int64_t done, const analysis::ColumnHeights& heights,
                               const analysis::Measures* measures) {
  if (Outcome fault = Appendable(done, heights.rows, heights.columns)) return fault;
  const std::int64_t size = cdf::RecordSize(header_);
  std::uint64_t at = static_cast<std::uint64_t>(cdf::RecordStart(header_) + header_.records * size);
  const std::uint64_t end = at + static_cast<std::uint64_t>(size);
  std::uint32_t crc = recordsCrc_;
  const auto put = [&](const char* last) {
    const std::string_view piece(record_.data(), static_cast<std::size_t>(last - record_.data()));
    crc = io::Crc32(piece, crc);
    const bool written = file_.WriteAt(at, piece);
    at += piece.size();
    return written;
  };
  // A column of the bed is a row of the file's heights: whole columns, a few MiB at a time.
  const std::size_t column = 4 * static_cast<std::size_t>(heights.rows);
  const int per = static_cast<int>(std::max<std::size_t>(1, kCopyChunk / column));
  record_.resize(std::max<std::size_t>(column * per, 64 * 8 + 8));
  bool written = put(EncodeTime(record_.data(), done));
  for (int first = 0; written && first < heights.columns; first += per) {
    char* to = record_.data();
    for (int y = first; y < std::min(first + per, heights.columns); ++y) {
      const std::int32_t* cells = heights.Column(y);
      for (int x = 0; x < heights.rows; ++x)
        to = io::Big32(to, static_cast<std::uint32_t>(cells[x]));
    }
    written = put(to);
  }
  if (written) {
    char* to = EncodeMeasures(record_.data(), measures);
    std::fill(to, record_.data() + (end - at), '\0');  // the record's padding, if any
    written = put(record_.data() + (end - at));
  }
  if (!written) return Failed(file_.Error());
  std::string count;
  io::PutBig64(count, static_cast<std::uint64_t>(header_.records + 1));
  if (Outcome fault = Appended(count)) return fault;
  recordsCrc_ = crc;
  return std::nullopt;
}

Outcome NetcdfOutput::Sync() {
  if (!file_.IsOpen() || file_.Sync()) return std::nullopt;
  return Failed(file_.Error());
}

Outcome NetcdfOutput::Close() {
  if (!file_.IsOpen()) return std::nullopt;
  if (!file_.Sync()) {
    const int error = file_.Error();
    file_.Close();
    return Failed(error);
  }
  if (file_.Close()) return std::nullopt;
  return Failed(file_.Error());
}

}  // namespace kammelsim
