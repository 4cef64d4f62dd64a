// PNG files of the runner's pictures, written whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/Headless.h"

namespace kammelsim {

/// Text chunks of a PNG file: keyword (1..79 printable ASCII characters) and text (UTF-8
/// without control characters but newlines, as ProvenanceText makes it).
using PngTexts = std::vector<std::pair<std::string, std::string>>;

/// Encodes pictures as 8-bit RGB PNG with iTXt chunks, compressed for speed; keeps its buffers
/// from one picture to the next.
class PngWriter {
 public:
  /// The PNG file's bytes.
  const std::string& Encode(const jheadless::Picture& picture, const PngTexts& texts);
  /// Writes a picture to a temporary file beside path, then renames it into place, so that
  /// path never holds a partial file. False, with the reason in error, when it could not.
  bool Write(const std::string& path, const jheadless::Picture& picture, const PngTexts& texts,
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
/// first megabyte.
bool ReadPngText(const std::string& path, std::string_view keyword, std::string& text);

/// PngWriter::Write, for a single picture.
bool WritePng(const std::string& path, const jheadless::Picture& picture, const PngTexts& texts,
              std::string& error);

}  // namespace kammelsim
