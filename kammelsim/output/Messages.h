// What kammelsim tells the user: where it writes, and how every message quotes what it shows.
#pragma once

#include <cstdio>
#include <optional>
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

/// What went wrong with an output, for the run loop or the Python module to say: the file as
/// messages name it, what was being done to it, and errno or a reason. Outputs return it and
/// print nothing.
struct Fault {
  enum class Doing { Writing, Checking, Preparing };
  Doing doing = Doing::Writing;
  std::string file;    ///< as messages show it: "'s.csv'", "the heights", "frames into 'fr'"
  int error = 0;       ///< errno, when the system said why
  std::string reason;  ///< otherwise why, in words
  int status = 1;      ///< the exit status it ends a run with: 2 for what the command asked

  /// The one line, without "kammelsim: ": "cannot write 's.csv': No space left on device",
  /// "resume: 's.csv' is not this run's statistics file", or, preparing, "bed: the frame
  /// folder 'f' holds files already; ..." with command.
  std::string Message(std::string_view command = {}) const;
};

/// Nothing when all went well, else what failed.
using Outcome = std::optional<Fault>;

/// A file that could not be written, with errno or a reason.
Fault WriteFailed(std::string file, int error);
Fault WriteFailed(std::string file, std::string reason);
/// A file a resume does not take: why is the rest of the line after its name.
Fault Refused(std::string file, std::string why);
/// What a new run asked of a file that cannot be: the rest of the line after its name, with
/// status 2, or 1 where the command line is not at fault.
Fault Unusable(std::string file, std::string why, int status = 2);

/// Says fault as one line "kammelsim: ..." on err; returns its status.
int Say(const RunOutput& output, const Fault& fault, std::string_view command = {});

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
