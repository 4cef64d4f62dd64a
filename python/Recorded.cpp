// A run from Python with the runner's outputs: the object's model driven by kammelsim's own run
// loop, so that its statistics, data file and checkpoint are the ones kammelsim writes, and
// kammelsim resume continues them.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "kammelsim/params/Record.h"
#include "kammelsim/params/Run.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunDriver.h"
#include "python/Arguments.h"
#include "python/Simulation.h"

namespace kammelpy {
namespace {

namespace ks = kammelsim;

// What the runner says, kept in memory for an exception's message.
class Captured {
 public:
  Captured() : file_(open_memstream(&text_, &size_)) {
    if (!file_) throw std::bad_alloc();
  }
  ~Captured() {
    std::fclose(file_);
    std::free(text_);
  }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;
  std::FILE* File() const { return file_; }
  std::string Text() {
    std::fflush(file_);
    std::string text(text_, size_);
    while (!text.empty() && text.back() == '\n')
      text.pop_back();
    return text;
  }

 private:
  char* text_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// The options a run with outputs takes from Python, by Python's names.
params::Values Outputs(const py::dict& outputs) {
  params::Values values(params::Voice::Python);
  for (const auto& [key, value] : outputs) {
    std::string name = py::str(key);
    for (char& c : name)
      c = c == '_' ? '-' : c;
    const params::Option* option = params::Find(params::kRunOptions, name);
    if (!option) throw py::type_error("run takes no output " + name);
    Put(values, *option, value);
  }
  return values;
}

// Where the heights a run prints at its end go: the object holds them already, and a large
// bed's text in memory would cost half its array again.
class Discarded {
 public:
  Discarded() : file_(fopencookie(nullptr, "w", {nullptr, &Write, nullptr, nullptr})) {
    if (!file_) throw std::bad_alloc();
  }
  ~Discarded() { std::fclose(file_); }
  Discarded(const Discarded&) = delete;
  Discarded& operator=(const Discarded&) = delete;
  std::FILE* File() const { return file_; }

 private:
  static ssize_t Write(void*, const char*, std::size_t size) { return static_cast<ssize_t>(size); }
  std::FILE* file_;
};

}  // namespace

void Simulation::RunRecorded(py::handle count, const py::dict& outputs) {
  params::Values more = Outputs(outputs);
  Put(more, TotalOption(), count);
  more.Add(params::kSeed, {std::int64_t{seed_}, std::to_string(seed_)});
  const Reading reading = Read(more);
  const auto hold = Hold();
  if (done_ != 0) {
    Refuse("a run with outputs starts at 0 " + std::string(kind_.unit) +
           ", and this object is at " + std::to_string(done_.load()) +
           "; continue a saved run with kammelsim resume");
  }
  // Every batch or step counted as it ends, so that the object tells how far a stopped run got.
  ks::RunModel model = *model_;
  model.step = [this, step = model_->step] {
    step();
    done_.fetch_add(1);
  };
  Discarded out;
  Captured err;
  const ks::RunOutput output{out.File(), err.File(), false};
  int status = 0;
  {
    py::gil_scoped_release free;
    ks::RunDriver driver(reading.run, kind_.command, kind_.unit, nullptr, output);
    status = driver.Prepare(params::RecordedOptions(reading.args), reading.args);
    if (status == 0) status = driver.Run(model, reading.parameters);
  }
  const std::string said = err.Text();
  // The checkpoint the run left is this object's from now on: its run id, history and
  // statistics, so that save() and kammelsim resume go on with the same run.
  const std::string& checkpoint = reading.run.checkpoint;
  if (!checkpoint.empty() && done_ > 0) {
    ks::CheckpointData data;
    std::string why;
    if (!ks::ReadCheckpoint(checkpoint, data, why) || !Restore(data, reading.run.schedule, why))
      throw py::value_error(why);
    values_ = values_.With(more.Only(Scheduling));
  }
  if (status >= 128) {  // stopped by a signal, which Python would have taken as Ctrl+C
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  if (status == 2) {
    // Python's word for the runner's --force.
    std::string refusal = said;
    if (const auto at = refusal.find("add --force"); at != std::string::npos)
      refusal.replace(at, 11, "pass overwrite=True");
    Refuse(refusal);
  }
  if (status != 0) {
    PyErr_SetString(PyExc_OSError, said.c_str());
    throw py::error_already_set();
  }
  if (!said.empty() && PyErr_WarnEx(PyExc_RuntimeWarning, said.c_str(), 1) != 0)
    throw py::error_already_set();
}

}  // namespace kammelpy
