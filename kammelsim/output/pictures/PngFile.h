// PNG files of the runner's pictures, written whole or not at all.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kammelsim/io/Place.h"
#include "toolkit/Headless.h"

namespace kammelsim {

/// Text chunks of a PNG file: keyword (1..79 printable ASCII characters) and text (UTF-8
/// without control characters but newlines, as ProvenanceText makes it).
using PngTexts = std::vector<std::pair<std::string, std::string>>;

/// The most bytes of one text a picture carries: a longer one (a history of many resumes)
/// keeps its start and its end, and says how much between them it leaves out.
inline constexpr std::size_t kMaxPictureText = 64 << 10;

/// A text as a picture carries it: whole up to kMaxPictureText bytes, else its first and last
/// lines within that, cut at lines, with "[... N bytes left out ...]" between them.
std::string PictureText(const std::string& text);

/// Encodes pictures as 8-bit RGB PNG with iTXt chunks, compressed for speed; keeps its buffers
/// from one picture to the next.
class PngWriter {
 public:
  /// The PNG file's bytes.
  const std::string& Encode(const jheadless::Picture& picture, const PngTexts& texts);
  /// Writes a picture to a temporary file beside place, then renames it into place, so that
  /// it never holds a partial file. False, with the reason in error, when it could not.
  bool Write(const io::Place& place, const jheadless::Picture& picture, const PngTexts& texts,
             bool durable, std::string& error);

 private:
  bool Index(const jheadless::Picture& picture);
  void Triples(const jheadless::Picture& picture);
  void Deflate();

  std::string raw_, packed_, png_;
  std::vector<std::uint32_t> palette_;
};

/// The text of keyword in a PNG file's iTXt or tEXt chunks before its image data; false when
/// the file cannot be read, is not a PNG, or has no such text. Reads at most the file's
/// first megabyte, and follows no link.
bool ReadPngText(const io::Place& place, std::string_view keyword, std::string& text);
bool ReadPngText(const std::string& path, std::string_view keyword, std::string& text);

/// What a PNG file holds, once its every chunk is found whole and its image decodes.
struct PngImage {
  int width = 0, height = 0;
  std::map<std::string, std::string, std::less<>> texts;  ///< uncompressed iTXt and tEXt
};

/// Decodes a PNG file of the kinds PngWriter writes (8-bit RGB or palette), checking every
/// chunk's CRC-32, the header, the palette and that the image data inflates to exactly its
/// scan lines; false with what is wrong in why.
bool DecodePng(std::string_view bytes, PngImage& image, std::string& why);

/// PngWriter::Write, for a single picture.
bool WritePng(const std::string& path, const jheadless::Picture& picture, const PngTexts& texts,
              std::string& error);

}  // namespace kammelsim
