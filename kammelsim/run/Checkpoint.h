// A run's whole state in one file, so that it can be continued exactly where it stopped.
//
// Layout, little-endian: the magic "KAMMELCP", the format version (u32), the payload's length
// (u64), the payload, and zlib's CRC-32 of everything before it (u32).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/io/File.h"
#include "kammelsim/io/HeldFile.h"
#include "kammelsim/io/Place.h"
#include "kammelsim/output/data/StatsOutput.h"
#include "kammelsim/output/pictures/SpaceTime.h"

namespace kammelsim {

/// The largest checkpoint a run can make: its largest array (an open bed's), the carried field
/// of its largest bed, and the most space-time rows of its widest profile, with room for the
/// texts. Larger files are refused unread; a file's array is left in it (io::HeldFile) and read
/// a piece at a time where it goes, so a large one is never copied whole into memory.
inline constexpr std::uint64_t kMaxCheckpointBytes = std::uint64_t{26} << 30;

/// What one checkpoint records at most: one text (a command line, say), all its texts
/// together, options, and lines of history (one per run and resume).
inline constexpr std::uint64_t kMaxText = 1 << 20, kMaxTexts = 12 << 20;
inline constexpr std::uint64_t kMaxRecordedOptions = 256, kMaxHistory = 100'000;

/// A run's output files as its checkpoint records them: relative to the checkpoint's folder
/// when they lie below it, so that they follow a copied or moved folder; absolute when they lie
/// outside it. Empty: no such output.
struct RecordedOutputs {
  std::string stats, netcdf, png, frames, spacetime, heights;

  /// Each name with the option that asks for it, in the order outputs are checked.
  template <class Visit>
  void ForEach(Visit visit) {
    visit("stats", stats);
    visit("netcdf", netcdf);
    visit("png", png);
    visit("frames", frames);
    visit("spacetime", spacetime);
    visit("heights", heights);
  }
};

struct CheckpointData {
  /// 4: speed's lag is the run's option (--speed-lag), 1 unless given; a checkpoint of format
  /// 3 compared with the snapshot before, and reads as --speed-lag=every.
  static constexpr std::uint32_t kFormat = 4, kOldestFormat = 3;

  std::string version;               ///< of the kammelsim that wrote it
  std::string command;               ///< bed or profile
  std::string commandLine;           ///< as first given, for the provenance
  std::vector<std::string> args;     ///< the run's options but its outputs, config file merged
  std::string runId;                 ///< 32 hexadecimal digits, in every output
  std::vector<std::string> history;  ///< a line per run and resume
  RecordedOutputs outputs;
  std::string parameters;  ///< every parameter, as the outputs record them
  std::uint32_t seed = 0;
  std::int64_t done = 0, total = 0;  ///< batches or steps
  std::uint32_t modelState = 0, pictureState = 0;
  std::vector<std::int32_t> cells;  ///< the model's whole array, guards included
  /// In place of cells, so that a large bed is never copied whole: the array of the running
  /// model, written straight from it; or, read in place, where the file holds it (4 bytes a
  /// cell, little-endian) and its CRC-32, against which each later read of it is checked. Read
  /// them with VisitCells.
  std::span<const std::int32_t> liveCells;
  struct InFile {
    std::shared_ptr<const io::HeldFile> file;
    std::uint64_t offset = 0, count = 0;
    std::uint32_t crc = 0;
  } inFile;
  bool hasStats = false;
  StatsCarry stats;
  std::int64_t statsBytes = 0;     ///< the statistics file's length
  std::uint32_t statsCrc = 0;      ///< and the CRC-32 of those bytes
  std::int64_t netcdfRecords = 0;  ///< snapshots in the data file
  /// The CRC-32 of the data file's header as NetcdfOutput::HeaderCrc takes it, and of its
  /// records' bytes
  std::uint32_t netcdfHeaderCrc = 0, netcdfRecordsCrc = 0;
  SpaceTimeCarry spaceTime;
  bool heightsWritten = false;  ///< the heights file of a finished run, with its CRC-32
  std::uint32_t heightsCrc = 0;

  // Written after the rest only when a run has them, so that every other checkpoint keeps its
  // bytes and one written before them still reads.
  InitialRecord initial;             ///< the heights it started from; no name: a flat bed
  std::vector<std::string> changes;  ///< a line per change of its parameters on a resume
};

/// How many cells data's array holds, and each in order, a bounded piece at a time: from
/// liveCells, else the file, else cells. False when the file no longer holds what it held
/// when it was decoded (cut short or rewritten by another process): what was visited then is
/// not the checkpoint's.
std::size_t CellCount(const CheckpointData& data);
bool VisitCells(const CheckpointData& data,
                const std::function<void(std::span<const std::int32_t>)>& visit);
/// Puts data's array into cells, of CellCount(data) cells; false as VisitCells.
bool CopyCells(const CheckpointData& data, std::span<std::int32_t> cells);
/// What a checkpoint changed under its reader is said to be.
inline constexpr std::string_view kChangedWhileRead =
    "changed while it was read (cut short or rewritten by another program)";

/// The checkpoint file's bytes.
std::string EncodeCheckpoint(const CheckpointData& data);

/// Reads a checkpoint file's bytes; false, with what is wrong in error, for a file that is
/// not a checkpoint, one of a newer format, or a truncated or damaged one.
bool DecodeCheckpoint(std::string_view bytes, CheckpointData& data, std::string& error);
/// The same for a file read in place: data's array stays in it (inFile).
bool DecodeCheckpoint(std::shared_ptr<const io::HeldFile> file, CheckpointData& data,
                      std::string& error);

/// Whether data stays within every limit DecodeCheckpoint holds a file to, so that what is
/// written can be read back; false with the first that it passes in why ("its history holds
/// 100001 lines, more than 100000").
bool Recordable(const CheckpointData& data, std::string& why);

/// Writes a checkpoint durably, replacing the previous one (a link to elsewhere included) only
/// once the new one is whole; with locked, the new file is locked and kept open there (see
/// io::ReplaceFile). Refuses data that is not Recordable.
bool WriteCheckpoint(const io::Place& place, const CheckpointData& data, std::string& error,
                     io::File* locked = nullptr);
bool WriteCheckpoint(const std::string& path, const CheckpointData& data, std::string& error);

/// Reads and checks a checkpoint file, in place; false, with one line for the user in error.
bool ReadCheckpoint(const std::string& path, CheckpointData& data, std::string& error);

}  // namespace kammelsim
