// A file held open to be read a piece at a time, at any offset, with pread: never mapped, so
// that a file another process cuts short while it is read gives a failed read, not a signal.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/File.h"

namespace kammelsim::io {

class HeldFile {
 public:
  /// Holds the regular file open for reading (a descriptor of its own, sharing the open file
  /// and so its lock), of at most limit bytes; null with the fault (errno left for Failed)
  /// when it cannot.
  static std::shared_ptr<const HeldFile> Hold(File& file, std::uint64_t limit, ReadFault& fault);
  /// The same for a path, opened without waiting on a FIFO.
  static std::shared_ptr<const HeldFile> Hold(const std::string& path, std::uint64_t limit,
                                              ReadFault& fault);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  /// Its length when it was opened.
  std::uint64_t Size() const { return size_; }
  /// Fills out with the bytes at offset; false when the file holds fewer there now, or the
  /// read fails.
  bool Read(std::uint64_t offset, std::span<char> out) const;

 private:
  HeldFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

}  // namespace kammelsim::io
