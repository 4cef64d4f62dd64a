#include "kammelsim/run/OutputWorker.h"

#include <pthread.h>
#include <signal.h>

#include <utility>

namespace kammelsim {

OutputWorker::OutputWorker() {
  // The run's signals are the main thread's to take: it stops the run at a batch's end.
  sigset_t signals, previous;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  thread_ = std::thread([this] { Work(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

OutputWorker::~OutputWorker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void OutputWorker::Submit(std::function<Outcome()> job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !waiting_; });
  waiting_ = std::move(job);
  changed_.notify_all();
}

bool OutputWorker::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !waiting_ && !running_; });
  return !failed_;
}

bool OutputWorker::Failed() {
  std::lock_guard lock(mutex_);
  return failed_;
}

Outcome OutputWorker::TakeFault() {
  std::lock_guard lock(mutex_);
  return std::exchange(fault_, std::nullopt);
}

void OutputWorker::Work() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return waiting_ || stopping_; });
    if (!waiting_) return;
    std::function<Outcome()> job = std::move(*waiting_);
    waiting_.reset();
    running_ = true;
    changed_.notify_all();
    const bool skip = failed_;
    lock.unlock();
    Outcome fault = skip ? std::nullopt : job();
    lock.lock();
    if (fault) {
      failed_ = true;
      fault_ = std::move(fault);
    }
    running_ = false;
    changed_.notify_all();
  }
}

}  // namespace kammelsim
