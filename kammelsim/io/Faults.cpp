#include "kammelsim/io/Faults.h"

#include <atomic>
#include <cerrno>

namespace kammelsim::io {
namespace {

// Atomics: a run may write from more than one thread one day, and tests read the count.
std::atomic<std::int64_t> changes{0};
std::atomic<std::int64_t> failing{0};
std::atomic<int> failure{0};
std::atomic<bool> staysFailed{false};

}  // namespace

std::int64_t ChangesSoFar() {
  return changes.load();
}

void FailChange(std::int64_t call, int error, bool sticky) {
  failing = call;
  failure = error;
  staysFailed = sticky;
}

void ClearFaults() {
  changes = 0;
  failing = 0;
  failure = 0;
  staysFailed = false;
}

bool ChangeAllowed() {
  const std::int64_t call = ++changes;
  const std::int64_t planned = failing.load();
  if (planned <= 0 || call < planned || (call > planned && !staysFailed)) return true;
  errno = failure.load();
  return false;
}

}  // namespace kammelsim::io
