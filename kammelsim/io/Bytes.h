// The bytes the runner's files are made of, each written one way: big-endian numbers (NetCDF,
// PNG), zlib's CRC-32 (PNG chunks, checkpoints, what a checkpoint records of its outputs), and
// the sand of an array, counted exactly.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kammelsim::io {

/// Appends value, most significant byte first.
void PutBig32(std::string& bytes, std::uint32_t value);
void PutBig64(std::string& bytes, std::uint64_t value);

/// Writes value at at, most significant byte first; returns the byte after it.
char* Big32(char* at, std::uint32_t value);
char* Big64(char* at, std::uint64_t value);

/// The number the first n bytes give, most significant first (n at most 8 and at most
/// bytes.size()).
std::uint64_t ReadBig(std::string_view bytes, std::size_t n);
inline std::uint32_t ReadBig32(std::string_view bytes) {
  return static_cast<std::uint32_t>(ReadBig(bytes, 4));
}

/// zlib's CRC-32 of bytes, continued from crc (0 to start), for any length.
std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);
/// The CRC-32 of two runs of bytes one after the other, from each one's and the second's length.
std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t length);

/// Every grain of an array of heights, guards included: exact for any array, where a sum in
/// double would round past 2^53.
std::int64_t Sand(std::span<const std::int32_t> cells);

}  // namespace kammelsim::io
