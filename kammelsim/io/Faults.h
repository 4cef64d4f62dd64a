// The seam where tests make the runner's file operations fail: every open for writing, write,
// sync, truncation, rename and folder sync of every output goes through io/, and counts here.
// Counts are kept per file and operation, so that the Nth write of a file is the same write in
// every run, whichever thread makes it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace kammelsim::io {

/// The operations that change what is on disk.
enum class Change { Open, Write, Sync, Truncate, Rename, FolderSync };

/// A change's name in test labels: "open", "write", ...
std::string_view ChangeName(Change change);

/// The file a change is counted under: its last name, a temporary "NAME.part-PID" as
/// "NAME.part", so that two runs in other folders and processes count alike.
std::string ChangeFile(std::string_view name);

/// How often each file had each change since the last ClearFaults.
using ChangeCounts = std::map<std::pair<std::string, Change>, std::int64_t>;
ChangeCounts ChangesMade();

/// Makes the nth change of its kind to file (counted from 1, as ChangesMade counts) fail with
/// error; when sticky, every change after it fails too, to any file (a disk that stays full).
/// For tests only.
void FailChange(const std::string& file, Change change, std::int64_t nth, int error,
                bool sticky = false);

/// Runs action just before the nth change of its kind to file, counted as FailChange counts:
/// a signal that comes while a file is half written. For tests only.
void BeforeChange(const std::string& file, Change change, std::int64_t nth,
                  std::function<void()> action);

/// No failures or actions planned, the counts back at 0, and openat2 used where the kernel has it.
void ClearFaults();

/// Counts one change; false, with errno set, when it is to fail.
bool ChangeAllowed(std::string_view name, Change change);

/// Makes io/ resolve names as on a kernel without openat2, so that its fallback is tried.
/// For tests only.
void PretendNoOpenat2(bool pretend);
bool Openat2Pretended();

}  // namespace kammelsim::io
