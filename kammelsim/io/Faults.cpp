#include "kammelsim/io/Faults.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <utility>

namespace kammelsim::io {
namespace {

// The run loop and the output worker both write: the counts are shared under a lock.
std::mutex guard;
ChangeCounts counts;
struct Planned {
  std::string file;
  Change change = Change::Open;
  std::int64_t nth = 0;
  int error = 0;
  bool sticky = false;
  bool struck = false;  // the planned change has failed
} planned;
struct Action {
  std::string file;
  Change change = Change::Open;
  std::int64_t nth = 0;
  std::function<void()> action;
} action;
std::atomic<bool> noOpenat2{false};

}  // namespace

std::string_view ChangeName(Change change) {
  switch (change) {
    case Change::Open:
      return "open";
    case Change::Write:
      return "write";
    case Change::Sync:
      return "sync";
    case Change::Truncate:
      return "truncate";
    case Change::Rename:
      return "rename";
    case Change::FolderSync:
      return "folder sync";
  }
  return "change";
}

std::string ChangeFile(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const std::size_t part = name.rfind(".part-");
  if (part != std::string_view::npos &&
      name.find_first_not_of("0123456789", part + 6) == std::string_view::npos) {
    name.remove_suffix(name.size() - part - 5);  // keeps ".part"
  }
  return std::string(name);
}

ChangeCounts ChangesMade() {
  const std::lock_guard lock(guard);
  return counts;
}

void FailChange(const std::string& file, Change change, std::int64_t nth, int error, bool sticky) {
  const std::lock_guard lock(guard);
  planned = {file, change, nth, error, sticky, false};
}

void BeforeChange(const std::string& file, Change change, std::int64_t nth,
                  std::function<void()> what) {
  const std::lock_guard lock(guard);
  action = {file, change, nth, std::move(what)};
}

void ClearFaults() {
  const std::lock_guard lock(guard);
  counts.clear();
  planned = {};
  action = {};
  noOpenat2 = false;
}

bool ChangeAllowed(std::string_view name, Change change) {
  std::unique_lock lock(guard);
  const std::int64_t nth = ++counts[{ChangeFile(name), change}];
  if (action.action && nth == action.nth && change == action.change &&
      ChangeFile(name) == action.file) {
    const std::function<void()> what = std::exchange(action.action, nullptr);
    lock.unlock();
    what();
    lock.lock();
  }
  if (planned.nth <= 0) return true;
  const bool now = !planned.struck && nth == planned.nth && change == planned.change &&
                   ChangeFile(name) == planned.file;
  if (!now && !(planned.struck && planned.sticky)) return true;
  planned.struck = true;
  errno = planned.error;
  return false;
}

void PretendNoOpenat2(bool pretend) {
  noOpenat2 = pretend;
}

bool Openat2Pretended() {
  return noOpenat2.load();
}

}  // namespace kammelsim::io
