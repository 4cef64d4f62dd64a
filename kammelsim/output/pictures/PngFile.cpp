#include "kammelsim/output/pictures/PngFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/io/File.h"

namespace kammelsim {
namespace {

void Chunk(std::string& out, const char type[4], const std::string& data) {
  io::PutBig32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type, 4).append(data);
  io::PutBig32(out, io::Crc32(std::string_view(out).substr(start)));
}

// Where to cut text near at, keeping whole lines, else whole UTF-8 characters: after the last
// line's end before at (head), or after the first at or after it (tail).
std::size_t Cut(std::string_view text, std::size_t at, bool head) {
  const std::size_t line = head ? text.rfind('\n', at) : text.find('\n', at);
  if (line != std::string_view::npos) return line + 1;
  while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xc0) == 0x80)
    --at;
  return at;
}

}  // namespace

std::string PictureText(const std::string& text) {
  if (text.size() <= kMaxPictureText) return text;
  const std::size_t half = kMaxPictureText / 2 - 64;  // room for the note between
  const std::size_t head = Cut(text, half, true), tail = Cut(text, text.size() - half, false);
  return text.substr(0, head) + "[... " + std::to_string(tail - head) + " bytes left out ...]\n" +
         text.substr(tail);
}

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
  io::PutBig32(header, static_cast<std::uint32_t>(picture.width));
  io::PutBig32(header, static_cast<std::uint32_t>(picture.height));
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
    if (!keyword.empty())
      Chunk(png_, "iTXt", keyword + std::string("\0\0\0\0\0", 5) + PictureText(text));
  }
  Deflate();
  Chunk(png_, "IDAT", packed_);
  Chunk(png_, "IEND", "");
  return png_;
}

bool PngWriter::Write(const io::Place& place, const jheadless::Picture& picture,
                      const PngTexts& texts, bool durable, std::string& error) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<std::size_t>(picture.width) * picture.height) {
    error = "no picture";
    return false;
  }
  if (io::ReplaceFile(place, Encode(picture, texts), durable)) return true;
  error = io::Reason(errno);
  return false;
}

namespace {

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

namespace {

bool TextIn(const std::string& bytes, std::string_view keyword, std::string& text) {
  std::string_view rest(bytes);
  if (!rest.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8))) return false;
  rest.remove_prefix(8);
  while (rest.size() >= 12) {
    const std::uint32_t length = io::ReadBig32(rest);
    const std::string_view type = rest.substr(4, 4);
    if (type == "IDAT" || type == "IEND" || length > rest.size() - 12) return false;
    const std::string_view data = rest.substr(8, length);
    if ((type == "iTXt" || type == "tEXt") && ChunkText(type, data, keyword, text)) return true;
    rest.remove_prefix(12 + length);
  }
  return false;
}

}  // namespace

bool ReadPngText(const io::Place& place, std::string_view keyword, std::string& text) {
  io::File file;
  std::string bytes, kind;
  return file.OpenRegular(place, O_RDONLY, kind) && file.ReadAt(0, 1 << 20, bytes) &&
         TextIn(bytes, keyword, text);
}

bool ReadPngText(const std::string& path, std::string_view keyword, std::string& text) {
  io::File file;
  std::string bytes;
  return file.Open(path, O_RDONLY | O_NONBLOCK) && file.ReadAt(0, 1 << 20, bytes) &&
         TextIn(bytes, keyword, text);
}

bool WritePng(const std::string& path, const jheadless::Picture& picture, const PngTexts& texts,
              std::string& error) {
  io::Place place;
  if (!io::PlaceOf(path, place)) {
    error = io::Reason(errno);
    return false;
  }
  PngWriter writer;
  return writer.Write(place, picture, texts, false, error);
}

}  // namespace kammelsim

namespace kammelsim {
namespace {

struct PngChunks {
  std::string_view header, palette;
  std::string data;  // the IDAT chunks' bytes, joined
};

// Every chunk whole and with its CRC-32, IHDR first and IEND last; texts collected.
bool SplitChunks(std::string_view rest, PngChunks& chunks, PngImage& image, std::string& why) {
  if (!rest.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8))) {
    why = "is not a PNG file";
    return false;
  }
  rest.remove_prefix(8);
  for (bool first = true; !rest.empty(); first = false) {
    const std::uint32_t length = rest.size() >= 12 ? io::ReadBig32(rest) : 0;
    if (rest.size() < 12 || length > rest.size() - 12) {
      why = "ends inside a chunk";
      return false;
    }
    const std::string_view type = rest.substr(4, 4), data = rest.substr(8, length);
    if (io::Crc32(rest.substr(4, 4 + length)) != io::ReadBig32(rest.substr(8 + length))) {
      why = "has a damaged " + std::string(type) + " chunk";
      return false;
    }
    rest.remove_prefix(12 + length);
    if (first != (type == "IHDR")) break;
    if (type == "IHDR") chunks.header = data;
    if (type == "PLTE") chunks.palette = data;
    if (type == "IDAT") chunks.data.append(data);
    for (const char* kind : {"iTXt", "tEXt"}) {
      const std::size_t keyword = data.find('\0');
      std::string text;
      if (type == kind && keyword != std::string_view::npos &&
          ChunkText(type, data, data.substr(0, keyword), text)) {
        image.texts.emplace(std::string(data.substr(0, keyword)), std::move(text));
      }
    }
    if (type == "IEND") {
      if (rest.empty()) return true;
      break;
    }
  }
  why = "is not a PNG file kammelsim writes (its chunks are out of order)";
  return false;
}

// The image data inflated, exactly as long as the scan lines, each with a filter byte.
bool Inflates(const std::string& data, std::size_t lineBytes, int height, std::string& raw) {
  raw.assign(lineBytes * static_cast<std::size_t>(height) + 1, '\0');  // one more: none is left
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(raw.data());
  stream.avail_out = static_cast<uInt>(raw.size());
  const int result = inflate(&stream, Z_FINISH);
  const std::size_t out = stream.total_out;
  inflateEnd(&stream);
  if (result != Z_STREAM_END || out != raw.size() - 1 || stream.avail_in != 0) return false;
  for (int y = 0; y < height; ++y) {
    if (static_cast<unsigned char>(raw[y * lineBytes]) > 4) return false;
  }
  return true;
}

}  // namespace

bool DecodePng(std::string_view bytes, PngImage& image, std::string& why) {
  image = {};
  PngChunks chunks;
  if (!SplitChunks(bytes, chunks, image, why)) return false;
  const std::string_view h = chunks.header;
  const bool palette = h.size() == 13 && h[9] == 3;
  if (h.size() != 13 || h[8] != 8 || (h[9] != 2 && h[9] != 3) || h[10] != 0 || h[11] != 0 ||
      h[12] != 0 || io::ReadBig32(h) == 0 || io::ReadBig32(h) > 65535 ||
      io::ReadBig32(h.substr(4)) == 0 || io::ReadBig32(h.substr(4)) > 65535) {
    why = "has a header kammelsim does not write";
    return false;
  }
  image.width = static_cast<int>(io::ReadBig32(h));
  image.height = static_cast<int>(io::ReadBig32(h.substr(4)));
  const std::size_t colours = chunks.palette.size() / 3;
  if (palette && (colours == 0 || colours > 256 || chunks.palette.size() % 3 != 0)) {
    why = "has a damaged palette";
    return false;
  }
  std::string raw;
  const std::size_t line = 1 + static_cast<std::size_t>(image.width) * (palette ? 1 : 3);
  // Deflate makes at most about 1032 bytes of each: a larger image is not in these bytes, and
  // nothing is made for it.
  if (line * static_cast<std::size_t>(image.height) > 1100 * chunks.data.size() + 4096 ||
      !Inflates(chunks.data, line, image.height, raw)) {
    why = "has image data that does not decode";
    return false;
  }
  for (std::size_t at = 0; palette && at + 1 < raw.size(); ++at) {
    if (at % line != 0 && static_cast<unsigned char>(raw[at]) >= colours) {
      why = "has a pixel outside its palette";
      return false;
    }
  }
  return true;
}

}  // namespace kammelsim
