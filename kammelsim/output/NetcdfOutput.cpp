#include "kammelsim/output/NetcdfOutput.h"

#include <netcdf.h>

#include <cstdio>
#include <cstring>

#include "kammelsim/output/StatsOutput.h"

namespace kammelsim {
namespace {

bool Text(int id, int variable, const char* name, const std::string& value) {
  return nc_put_att_text(id, variable, name, value.size(), value.c_str()) == NC_NOERR;
}

// The parameters text "name=value name=value" as one attribute each.
void ParameterAttributes(int id, const std::string& parameters) {
  std::size_t at = 0;
  while (at < parameters.size()) {
    std::size_t end = parameters.find(' ', at);
    if (end == std::string::npos) end = parameters.size();
    const std::string pair = parameters.substr(at, end - at);
    const std::size_t equals = pair.find('=');
    if (equals != std::string::npos)
      Text(id, NC_GLOBAL, ("parameter_" + pair.substr(0, equals)).c_str(), pair.substr(equals + 1));
    at = end + 1;
  }
}

}  // namespace

NetcdfOutput::~NetcdfOutput() {
  if (id_ >= 0) nc_close(id_);
}

bool NetcdfOutput::Check(int status, const RunOutput& output) {
  if (status == NC_NOERR) return true;
  std::fprintf(output.err, "kammelsim: cannot write '%s': %s\n", path_.c_str(),
               nc_strerror(status));
  return false;
}

bool NetcdfOutput::Define(const Provenance& provenance, const RunOutput& output) {
  const bool bed = layout_.model == analysis::Model::Bed;
  int dims[3];
  if (!Check(nc_def_dim(id_, "time", NC_UNLIMITED, &dims[0]), output) ||
      !Check(nc_def_dim(id_, "x", static_cast<std::size_t>(layout_.xCount), &dims[1]), output) ||
      (bed &&
       !Check(nc_def_dim(id_, "y", static_cast<std::size_t>(layout_.yCount), &dims[2]), output))) {
    return false;
  }
  int x = -1, y = -1;
  const int rank = bed ? 3 : 2;
  if (!Check(nc_def_var(id_, "time", NC_INT, 1, &dims[0], &time_), output) ||
      !Check(nc_def_var(id_, "x", NC_INT, 1, &dims[1], &x), output) ||
      (bed && !Check(nc_def_var(id_, "y", NC_INT, 1, &dims[2], &y), output)) ||
      !Check(nc_def_var(id_, "height", NC_INT, rank, dims, &height_), output)) {
    return false;
  }
  const std::size_t chunks[3] = {1, static_cast<std::size_t>(layout_.xCount),
                                 static_cast<std::size_t>(layout_.yCount)};
  if (!Check(nc_def_var_chunking(id_, height_, NC_CHUNKED, chunks), output) ||
      !Check(nc_def_var_deflate(id_, height_, 1, 1, 1), output)) {
    return false;
  }
  Text(id_, time_, "units", layout_.unit);
  Text(id_, time_, "long_name", layout_.unit + " run");
  Text(id_, time_, "axis", "T");
  Text(id_, x, "units", "cells");
  Text(id_, x, "long_name", "cell along the wind");
  if (bed) {
    Text(id_, y, "units", "cells");
    Text(id_, y, "long_name", "cell across the wind");
  }
  Text(id_, height_, "units", "grains");
  Text(id_, height_, "long_name", "sand height");
  if (layout_.stats) {
    for (const StatsField& field : StatsFields(layout_.model)) {
      int variable = -1;
      if (!Check(nc_def_var(id_, field.name, NC_DOUBLE, 1, &dims[0], &variable), output))
        return false;
      Text(id_, variable, "units", field.units);
      Text(id_, variable, "long_name", field.longName);
      stats_.push_back(variable);
    }
  }
  Text(id_, NC_GLOBAL, "Conventions", "CF-1.8");
  Text(id_, NC_GLOBAL, "title", bed ? "sand ripples on a bed" : "sand ripples on a profile");
  for (const auto& [name, value] : provenance) {
    std::string key = name;
    for (char& c : key)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Text(id_, NC_GLOBAL, key.c_str(), value);
    if (name == "Parameters") ParameterAttributes(id_, value);
  }
  if (!Check(nc_enddef(id_), output)) return false;
  std::vector<int> cells(static_cast<std::size_t>(std::max(layout_.xCount, layout_.yCount)));
  for (std::size_t n = 0; n < cells.size(); ++n)
    cells[n] = static_cast<int>(n);
  return Check(nc_put_var_int(id_, x, cells.data()), output) &&
         (!bed || Check(nc_put_var_int(id_, y, cells.data()), output)) &&
         Check(nc_sync(id_), output);
}

bool NetcdfOutput::Create(const std::string& path, const NetcdfLayout& layout,
                          const Provenance& provenance, const RunOutput& output) {
  path_ = path;
  layout_ = layout;
  return Check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id_), output) &&
         Define(provenance, output);
}

bool NetcdfOutput::FindVariables(const RunOutput& output) {
  if (!Check(nc_inq_varid(id_, "time", &time_), output) ||
      !Check(nc_inq_varid(id_, "height", &height_), output)) {
    return false;
  }
  if (!layout_.stats) return true;
  for (const StatsField& field : StatsFields(layout_.model)) {
    stats_.push_back(-1);
    if (!Check(nc_inq_varid(id_, field.name, &stats_.back()), output)) return false;
  }
  return true;
}

bool NetcdfOutput::Sync(const RunOutput& output) {
  return id_ < 0 || Check(nc_sync(id_), output);
}

bool NetcdfOutput::Reopen(const std::string& path, const NetcdfLayout& layout, std::int64_t records,
                          const std::string& runId, const std::string& /*historyLine*/,
                          const RunOutput& output) {
  path_ = path;
  layout_ = layout;
  int dim = -1;
  std::size_t length = 0;
  if (!Check(nc_open(path.c_str(), NC_WRITE, &id_), output) || !FindVariables(output) ||
      !Check(nc_inq_dimid(id_, "time", &dim), output) ||
      !Check(nc_inq_dimlen(id_, dim, &length), output)) {
    return false;
  }
  std::size_t idLength = 0;
  std::string id;
  if (nc_inq_attlen(id_, NC_GLOBAL, "run", &idLength) == NC_NOERR && idLength < 64) {
    id.resize(idLength);
    nc_get_att_text(id_, NC_GLOBAL, "run", id.data());
  }
  if (id != runId) {
    std::fprintf(output.err, "kammelsim: resume: %s is not this run's data file\n",
                 QuoteFile(path).c_str());
    return false;
  }
  if (static_cast<std::int64_t>(length) < records) {
    std::fprintf(output.err, "kammelsim: '%s' holds fewer snapshots than the checkpoint recorded\n",
                 path.c_str());
    return false;
  }
  records_ = records;
  return true;
}

bool NetcdfOutput::Snapshot(std::int64_t done, const analysis::Snapshot& snapshot,
                            const analysis::Measures* measures, const RunOutput& output) {
  buffer_.assign(snapshot.cells.begin(), snapshot.cells.end());
  const std::size_t record = static_cast<std::size_t>(records_);
  const std::size_t start[3] = {record, 0, 0};
  const std::size_t count[3] = {1, static_cast<std::size_t>(layout_.xCount),
                                static_cast<std::size_t>(layout_.yCount)};
  const int time = static_cast<int>(done);
  if (!Check(nc_put_var1_int(id_, time_, &record, &time), output) ||
      !Check(nc_put_vara_int(id_, height_, start, count, buffer_.data()), output)) {
    return false;
  }
  if (measures && layout_.stats) {
    const std::vector<double> numbers = StatsNumbers(layout_.model, *measures);
    for (std::size_t n = 0; n < stats_.size(); ++n) {
      if (!Check(nc_put_var1_double(id_, stats_[n], &record, &numbers[n]), output)) return false;
    }
  }
  ++records_;
  return Check(nc_sync(id_), output);
}

bool NetcdfOutput::Close(const RunOutput& output) {
  const int id = id_;
  id_ = -1;
  return id < 0 || Check(nc_close(id), output);
}

}  // namespace kammelsim
