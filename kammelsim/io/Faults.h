// The seam where tests make the runner's file operations fail: every open for writing, write,
// sync, truncation, rename and folder sync of every output goes through io/, and counts here.
#pragma once

#include <cstdint>

namespace kammelsim::io {

/// Operations that change what is on disk, counted together from 1 since the last ClearFaults.
std::int64_t ChangesSoFar();

/// Makes the change numbered call (counted as ChangesSoFar counts) fail with error, and every
/// later one too when sticky (a disk that stays full). For tests only.
void FailChange(std::int64_t call, int error, bool sticky = false);

/// No failures planned, and the count back at 0.
void ClearFaults();

/// Counts one change; false, with errno set, when it is to fail.
bool ChangeAllowed();

}  // namespace kammelsim::io
