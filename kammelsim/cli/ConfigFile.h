// Config files: more options from a file, one "name = value" per line.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kammelsim {

/// Why a command line was refused, and the exit status that says so: 2 for what was typed, 1 for
/// a file that could not be read.
struct OptionFault {
  std::string message;
  int status = 2;
};

/// The options of the config file path as command-line words, "--name=value" or "--flag":
/// one "name = value" per line; blank lines and lines starting with '#' or ';' are skipped; a
/// value is taken whole, quoted ("...", '...') or not, up to a " #" comment; a flag takes
/// true/false, yes/no or 1/0 and means it. known and flags name the options there are. False
/// with fault set: "FILE:LINE: unknown option 'batchs'", or status 1 for an unreadable file.
/// origins gets "FILE:LINE" for each "--name=value" word, so a value refused later can say
/// where it was written.
bool ReadConfigFile(const std::string& path, std::span<const std::string_view> known,
                    std::span<const std::string_view> flags, std::vector<std::string>& words,
                    std::map<std::string, std::string, std::less<>>& origins, OptionFault& fault);

}  // namespace kammelsim
