// The header of a classic NetCDF file in its 64-bit data form (CDF-5), encoded and decoded by
// hand: the runner writes the file itself, through io/, so that it decides the order in which
// records and their count reach the disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/io/Bytes.h"

namespace kammelsim::cdf {

/// The external types a header names (their nc_type numbers).
enum class Type : std::int32_t { Char = 2, Int = 4, Double = 6, UInt = 9, Int64 = 10 };

/// Bytes of one value of type.
std::int64_t SizeOf(Type type);

struct Attribute {
  std::string name;
  Type type = Type::Char;
  std::int64_t count = 0;
  std::string values;  ///< count values, big-endian, without padding
};

Attribute TextAttribute(std::string name, std::string_view text);
Attribute IntAttribute(std::string name, std::int32_t value);
Attribute Int64Attribute(std::string name, std::int64_t value);
Attribute UIntAttribute(std::string name, std::uint32_t value);
Attribute DoubleAttribute(std::string name, double value);

/// A text attribute's text; empty when it is missing or not text.
std::string TextOf(const std::vector<Attribute>& attributes, std::string_view name);
/// The attribute named so, or nullptr.
const Attribute* Find(const std::vector<Attribute>& attributes, std::string_view name);

struct Dimension {
  std::string name;
  std::int64_t length = 0;  ///< 0: the record dimension
};

struct Variable {
  std::string name;
  std::vector<std::int64_t> dimensions;  ///< indices into Header::dimensions
  std::vector<Attribute> attributes;
  Type type = Type::Int;
  std::int64_t size = 0;   ///< bytes of the variable, or of one record of it; set by Place
  std::int64_t begin = 0;  ///< its offset in the file; set by Place
};

struct Header {
  std::int64_t records = 0;
  std::vector<Dimension> dimensions;
  std::vector<Attribute> attributes;
  std::vector<Variable> variables;

  bool IsRecord(const Variable& variable) const;
  /// Where the record count lies in the file, and how long it is.
  static constexpr std::int64_t kRecordsAt = 4, kRecordsBytes = 8;
};

/// The header's bytes, as NetCDF readers expect them.
std::string Encode(const Header& header);

enum class Decoded { Whole, Truncated, Foreign };

/// Reads a header from the start of a file; Truncated when bytes end inside it (read more and
/// try again), Foreign when they are not a CDF-5 header this runner can use.
Decoded Decode(std::string_view bytes, Header& header);

/// Sets every variable's size and begin: fixed ones from start on, in order, then the records.
void Place(Header& header, std::int64_t start);

/// Where the first record starts, and the bytes of one record.
std::int64_t RecordStart(const Header& header);
std::int64_t RecordSize(const Header& header);

/// The lowest begin of any variable: the room the header may fill.
std::int64_t DataStart(const Header& header);

/// value as the file holds it.
using io::PutBig32;
using io::PutBig64;

}  // namespace kammelsim::cdf
