#include "kammelsim/io/Bytes.h"

#include <zlib.h>

#include <cstring>
#include <numeric>

namespace kammelsim::io {

void PutBig32(std::string& bytes, std::uint32_t value) {
  char raw[4];
  bytes.append(raw, Big32(raw, value));
}

void PutBig64(std::string& bytes, std::uint64_t value) {
  char raw[8];
  bytes.append(raw, Big64(raw, value));
}

char* Big32(char* at, std::uint32_t value) {
  value = __builtin_bswap32(value);
  std::memcpy(at, &value, 4);
  return at + 4;
}

char* Big64(char* at, std::uint64_t value) {
  value = __builtin_bswap64(value);
  std::memcpy(at, &value, 8);
  return at + 8;
}

std::uint64_t ReadBig(std::string_view bytes, std::size_t n) {
  std::uint64_t value = 0;
  for (std::size_t at = 0; at < n; ++at)
    value = value << 8 | static_cast<unsigned char>(bytes[at]);
  return value;
}

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc) {
  return static_cast<std::uint32_t>(
      crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t length) {
  static_assert(sizeof(z_off_t) >= 8, "a checkpoint's length fits zlib's offset");
  return static_cast<std::uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(length)));
}

std::int64_t Sand(std::span<const std::int32_t> cells) {
  return std::accumulate(cells.begin(), cells.end(), std::int64_t{0});
}

}  // namespace kammelsim::io
