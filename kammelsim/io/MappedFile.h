// A file read in place: its pages come from the page cache as they are read, and go again once
// read, so that a file as large as the bed it holds adds no second copy of it to the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/File.h"

namespace kammelsim::io {

class MappedFile {
 public:
  /// Maps the regular file open for reading, of at most limit bytes; null with the fault
  /// (errno left for Failed) when it cannot.
  static std::shared_ptr<const MappedFile> Map(File& file, std::uint64_t limit, ReadFault& fault);
  /// The same for a path, opened without waiting on a FIFO.
  static std::shared_ptr<const MappedFile> Map(const std::string& path, std::uint64_t limit,
                                               ReadFault& fault);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view Bytes() const { return {data_, size_}; }
  /// Gives back the whole pages within part (of Bytes()) once read; a later read maps them again
  /// from the file.
  void Drop(std::string_view part) const;

 private:
  MappedFile(const char* data, std::size_t size) : data_(data), size_(size) {}
  const char* data_;
  std::size_t size_;
};

/// Calls visit with consecutive pieces of bytes of at most a few MiB, dropping each from file
/// (when given) once visited.
template <class Visit>
void ForEachPiece(std::string_view bytes, const MappedFile* file, Visit visit) {
  constexpr std::size_t kPiece = std::size_t{8} << 20;
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kPiece);
    visit(piece);
    if (file) file->Drop(piece);
    bytes.remove_prefix(piece.size());
  }
}

}  // namespace kammelsim::io
