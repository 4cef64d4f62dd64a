// The heights a run starts from instead of a flat bed (--initial, Python's heights=): text as
// kammelsim bed and profile print them, or one snapshot of a run's data file ("run.nc:500"),
// read with bounded memory and held to the bed's shape and sand before the run starts.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/RippleStatistics.h"
#include "kammelsim/output/Provenance.h"

namespace kammelsim {

/// What the initial heights must be: a bed's rows (L + 1) by columns (W + 1), or a profile's
/// cells (columns 1); and the most grains a cell of a flat start may hold, which bounds the
/// sand so that no sum of the model leaves 32 bits.
struct InitialShape {
  std::int32_t rows = 0, columns = 0;
  bool profile = false;
  std::int64_t most = 0;
};

/// The heights, rows along the wind by columns, and what the run records of them.
struct InitialBed {
  analysis::Snapshot heights;
  InitialRecord record;
};

/// Reads name: a text file, or "FILE:K" for the snapshot at batch or step K of a NetCDF data
/// file kammelsim wrote. The record's CRC-32 is that of the text file's bytes, or for a data
/// file that of the snapshot's heights as text (the CRC of the --heights file the run would
/// have written there). False with error: the rest of one line after the option's name.
bool ReadInitial(const std::string& name, const InitialShape& shape, InitialBed& bed,
                 std::string& error);

/// Whether heights have the shape's rows and columns, none below 0, and no more sand than a
/// flat start of the most grains holds; else sets error.
bool CheckInitial(const analysis::Snapshot& heights, const InitialShape& shape, std::string& error);

/// The heights as the run prints them (a profile's on one line), and their CRC-32.
std::string InitialText(const analysis::Snapshot& heights, bool profile);
std::uint32_t InitialCrc(const analysis::Snapshot& heights, bool profile);

/// The sum of the heights.
std::int64_t InitialSand(const analysis::Snapshot& heights);

}  // namespace kammelsim
