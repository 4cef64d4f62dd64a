#include "kammelsim/output/PngFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/File.h"

namespace kammelsim {
namespace {

void PutBig32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>(value >> shift & 0xff));
}

void Chunk(std::string& out, const char type[4], const std::string& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type, 4).append(data);
  const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
  PutBig32(out, static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(4 + data.size()))));
}

}  // namespace

// The scan lines as palette indices, each line after filter byte 0; false when the picture has
// more than 256 colours. The canvas's pictures have a handful, and a third of the bytes to
// compress makes a frame much faster.
bool PngWriter::Index(const jheadless::Picture& picture) {
  palette_.clear();
  std::uint32_t lastColour = 0xffffffffu;  // no RGB colour
  std::uint8_t lastIndex = 0;
  raw_.resize((1 + static_cast<std::size_t>(picture.width)) * picture.height);
  char* at = raw_.data();
  const std::uint32_t* pixel = picture.rgb.data();
  for (int y = 0; y < picture.height; ++y) {
    *at++ = 0;
    for (int x = 0; x < picture.width; ++x, ++pixel) {
      if (*pixel != lastColour) {
        const auto known = std::find(palette_.begin(), palette_.end(), *pixel);
        const std::size_t index = static_cast<std::size_t>(known - palette_.begin());
        if (index == 256) return false;
        if (index == palette_.size()) palette_.push_back(*pixel);
        lastColour = *pixel;
        lastIndex = static_cast<std::uint8_t>(index);
      }
      *at++ = static_cast<char>(lastIndex);
    }
  }
  return true;
}

// The scan lines as RGB triples, each line after filter byte 0.
void PngWriter::Triples(const jheadless::Picture& picture) {
  palette_.clear();
  raw_.resize((1 + 3 * static_cast<std::size_t>(picture.width)) * picture.height);
  char* at = raw_.data();
  const std::uint32_t* pixel = picture.rgb.data();
  for (int y = 0; y < picture.height; ++y) {
    *at++ = 0;
    for (int x = 0; x < picture.width; ++x, ++pixel) {
      *at++ = static_cast<char>(*pixel >> 16);
      *at++ = static_cast<char>(*pixel >> 8);
      *at++ = static_cast<char>(*pixel);
    }
  }
}

// Run-length matches only: the pictures are flat colour for long stretches, and this is
// zlib's fastest way to say so.
void PngWriter::Deflate() {
  z_stream stream{};
  deflateInit2(&stream, 1, Z_DEFLATED, 15, 8, Z_RLE);
  packed_.resize(deflateBound(&stream, static_cast<uLong>(raw_.size())));
  stream.next_in = reinterpret_cast<Bytef*>(raw_.data());
  stream.avail_in = static_cast<uInt>(raw_.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed_.data());
  stream.avail_out = static_cast<uInt>(packed_.size());
  deflate(&stream, Z_FINISH);
  packed_.resize(stream.total_out);
  deflateEnd(&stream);
}

const std::string& PngWriter::Encode(const jheadless::Picture& picture, const PngTexts& texts) {
  png_.assign("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(picture.width));
  PutBig32(header, static_cast<std::uint32_t>(picture.height));
  const bool indexed = Index(picture);
  if (!indexed) Triples(picture);
  // 8 bits, palette or RGB, deflate, no filter, no interlace
  header.append(indexed ? "\x08\x03\x00\x00\x00" : "\x08\x02\x00\x00\x00", 5);
  Chunk(png_, "IHDR", header);
  if (indexed) {
    std::string colours;
    for (const std::uint32_t colour : palette_) {
      const char rgb[3] = {char(colour >> 16), char(colour >> 8), char(colour)};
      colours.append(rgb, 3);
    }
    Chunk(png_, "PLTE", colours);
  }
  for (const auto& [key, text] : texts) {
    const std::string keyword = key.substr(0, 79);
    // Uncompressed, no language: keyword, NUL, flag, method, NUL, NUL, then UTF-8 text.
    if (!keyword.empty()) Chunk(png_, "iTXt", keyword + std::string("\0\0\0\0\0", 5) + text);
  }
  Deflate();
  Chunk(png_, "IDAT", packed_);
  Chunk(png_, "IEND", "");
  return png_;
}

bool PngWriter::Write(const std::string& path, const jheadless::Picture& picture,
                      const PngTexts& texts, bool durable, std::string& error) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<std::size_t>(picture.width) * picture.height) {
    error = "no picture";
    return false;
  }
  if (io::ReplaceFile(path, Encode(picture, texts), durable)) return true;
  error = io::Reason(errno);
  return false;
}

namespace {

std::uint32_t Big32(std::string_view bytes) {
  std::uint32_t value = 0;
  for (int n = 0; n < 4; ++n)
    value = value << 8 | static_cast<unsigned char>(bytes[n]);
  return value;
}

// The text of a tEXt or iTXt chunk's data when its keyword is keyword.
bool ChunkText(std::string_view type, std::string_view data, std::string_view keyword,
               std::string& text) {
  if (!data.starts_with(keyword) || data.size() <= keyword.size() || data[keyword.size()] != 0)
    return false;
  data.remove_prefix(keyword.size() + 1);
  if (type == "tEXt") {
    text = data;
    return true;
  }
  if (data.size() < 2 || data[0] != 0) return false;  // compressed text is not ours
  data.remove_prefix(2);
  for (int field = 0; field < 2; ++field) {  // language tag, translated keyword
    const std::size_t end = data.find('\0');
    if (end == std::string_view::npos) return false;
    data.remove_prefix(end + 1);
  }
  text = data;
  return true;
}

}  // namespace

bool ReadPngText(const std::string& path, std::string_view keyword, std::string& text) {
  io::File file;
  std::string bytes;
  if (!file.Open(path, O_RDONLY | O_NONBLOCK) || !file.ReadAt(0, 1 << 20, bytes)) return false;
  std::string_view rest(bytes);
  if (!rest.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8))) return false;
  rest.remove_prefix(8);
  while (rest.size() >= 12) {
    const std::uint32_t length = Big32(rest);
    const std::string_view type = rest.substr(4, 4);
    if (type == "IDAT" || type == "IEND" || length > rest.size() - 12) return false;
    const std::string_view data = rest.substr(8, length);
    if ((type == "iTXt" || type == "tEXt") && ChunkText(type, data, keyword, text)) return true;
    rest.remove_prefix(12 + length);
  }
  return false;
}

bool WritePng(const std::string& path, const jheadless::Picture& picture, const PngTexts& texts,
              std::string& error) {
  PngWriter writer;
  return writer.Write(path, picture, texts, false, error);
}

}  // namespace kammelsim
