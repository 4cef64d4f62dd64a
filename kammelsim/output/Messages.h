// What kammelsim tells the user: where it writes, and how every message quotes what it shows.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kammelsim {

/// Where a run writes: the heights to out, the seed, faults and progress to err. Progress is
/// shown only when err is a terminal.
struct RunOutput {
  std::FILE* out;
  std::FILE* err;
  bool errIsTerminal;
};

/// One line "kammelsim: <message>" on err, and the exit status of a bad command line, 2.
int UsageFault(const RunOutput& output, std::string_view message);

/// One line "kammelsim: cannot write <what>: <reason from errno>" on err; returns status 1.
int WriteFault(const RunOutput& output, std::string_view what);

/// Control characters (C0, DEL and C1), bytes that are not UTF-8, backslashes and quotes as
/// \xNN: text shown without letting it act on the terminal or break a line.
std::string Escaped(std::string_view text);

/// A value as messages show it: quoted, escaped, cut after most characters (40 for values; a
/// file name is kept whole unless absurdly long).
std::string QuoteValue(std::string_view text, std::size_t most = 40);
inline std::string QuoteFile(std::string_view name) {
  return QuoteValue(name, 1024);
}

}  // namespace kammelsim
