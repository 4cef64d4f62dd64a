// What an object hands to the rest of Python: its state for pickle and copy, its picture as a
// PNG for notebooks, and the runner's data file layout for xarray.
#include "kammelsim/output/data/NetcdfSchema.h"
#include "kammelsim/output/pictures/PngFile.h"
#include "kammelsim/run/Checkpoint.h"
#include "python/Simulation.h"

namespace kammelpy {
namespace {

namespace ks = kammelsim;

py::list Attributes(const std::vector<ks::cdf::Attribute>& attributes) {
  py::list list;
  for (const ks::cdf::Attribute& a : attributes)
    list.append(py::make_tuple(a.name, static_cast<int>(a.type), py::bytes(a.values)));
  return list;
}

}  // namespace

py::bytes Simulation::State() {
  const auto hold = Hold();
  return py::bytes(ks::EncodeCheckpoint(Checkpoint()));
}

py::bytes Simulation::Png(py::handle canvas, py::handle threshold) {
  const jheadless::Picture picture = Draw(canvas, threshold);
  ks::PngWriter writer;
  return py::bytes(writer.Encode(picture, {}));
}

py::dict Simulation::DataFile() {
  const auto hold = Hold();
  const Reading reading = ReadDone();
  const ks::CheckpointData data = Checkpoint();
  const analysis::Snapshot shape = model_->bed();
  const ks::NetcdfLayout layout{model_->kind, shape.rows, shape.columns, std::string(kind_.unit),
                                false};
  const ks::cdf::Header header =
      ks::DataFileHeader(layout, ks::MakeProvenance(data.commandLine, data.seed, reading.parameters,
                                                    data.runId, data.history));
  py::list dimensions, variables;
  for (const ks::cdf::Dimension& d : header.dimensions)
    dimensions.append(py::make_tuple(d.name, d.length));
  for (const ks::cdf::Variable& v : header.variables) {
    py::list names;
    for (const std::int64_t d : v.dimensions)
      names.append(header.dimensions[static_cast<std::size_t>(d)].name);
    variables.append(py::make_tuple(v.name, py::tuple(names), static_cast<int>(v.type),
                                    Attributes(v.attributes)));
  }
  py::dict file;
  file["dimensions"] = dimensions;
  file["attributes"] = Attributes(header.attributes);
  file["variables"] = variables;
  return file;
}

py::dict CheckpointRecord(const std::string& path) {
  ks::CheckpointData data;
  std::string error;
  if (!ks::ReadCheckpoint(path, data, error)) throw py::value_error(error);
  py::dict outputs;
  data.outputs.ForEach([&outputs](const char* name, const std::string& file) {
    if (!file.empty()) outputs[name] = py::bytes(file);
  });
  py::dict record;
  record["version"] = data.version;
  record["command"] = data.command;
  record["command_line"] = data.commandLine;
  record["run_id"] = data.runId;
  py::list history;
  for (const std::string& line : data.history)
    history.append(line);
  record["history"] = history;
  record["parameters"] = data.parameters;
  record["seed"] = data.seed;
  record["done"] = data.done;
  record["total"] = data.total;
  record["outputs"] = outputs;
  return record;
}

}  // namespace kammelpy
