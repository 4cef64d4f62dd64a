// Files replaced whole or not at all: written beside their name, then renamed over it.
#pragma once

#include <string>
#include <string_view>

namespace kammelsim {

/// Writes bytes to a temporary file beside path and renames it into place, so that path holds
/// either its old content or all of the new. With durable, the data and the rename reach the
/// disk before this returns, so a crash right after it keeps the new file. False, with the
/// reason in error, when it could not.
bool ReplaceFile(const std::string& path, std::string_view bytes, bool durable, std::string& error);

/// The whole content of a file; false, with the reason in error, when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

}  // namespace kammelsim
