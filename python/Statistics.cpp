#include "python/Statistics.h"

#include <pybind11/numpy.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "kammelsim/HeightStatistics.h"
#include "kammelsim/output/data/StatsOutput.h"
#include "kammelsim/params/Stats.h"
#include "python/Arguments.h"

namespace kammelpy {
namespace {

namespace ks = kammelsim;
namespace params = kammelsim::params;

// Heights as kammelsim stats reads them: a profile's cells, or a bed's rows (one row is a
// profile, as one line is to the runner).
analysis::Snapshot ReadHeights(std::string_view name, py::handle value) {
  const py::module_ numpy = py::module_::import("numpy");
  const py::array array = numpy.attr("asarray")(value);
  const char kind = array.dtype().kind();
  const std::string label(name);
  if (array.size() == 0) Refuse(label + " holds no heights");
  if (kind != 'i' && kind != 'u')
    throw py::type_error(label + " takes integer heights, not " +
                         std::string(py::str(array.dtype())));
  if (array.ndim() != 1 && array.ndim() != 2) {
    Refuse(label + " takes a profile's heights (1-D) or a bed's (2-D), not a " +
           std::to_string(array.ndim()) + "-D array");
  }
  std::int64_t rows = array.shape(0), columns = array.ndim() == 2 ? array.shape(1) : 1;
  if (rows == 1) std::swap(rows, columns);
  // Checked before anything is made of them: beyond these, measuring would take hours.
  if (std::string error; !ks::HeightsFit(rows, columns, error)) Refuse(label + " holds " + error);
  const py::object beyond =
      array.attr("__lt__")(INT32_MIN).attr("__or__")(array.attr("__gt__")(INT32_MAX));
  const py::array outside = array.attr("__getitem__")(beyond);
  if (outside.size() > 0) {
    Refuse(label + " holds " + std::string(py::str(outside.attr("flat").attr("__getitem__")(0))) +
           ", not a height (" + std::to_string(INT32_MIN) + ".." + std::to_string(INT32_MAX) + ")");
  }
  const auto cells = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>(array);
  analysis::Snapshot snapshot;
  snapshot.rows = static_cast<int>(rows);
  snapshot.columns = static_cast<int>(columns);
  snapshot.cells.assign(cells.data(), cells.data() + cells.size());
  return snapshot;
}

}  // namespace

py::dict Row(analysis::Model model, const analysis::Measures& measures) {
  py::dict row;
  const std::vector<ks::StatsField> fields = ks::StatsFields(model);
  const std::vector<double> values = ks::StatsNumbers(model, measures);
  for (std::size_t n = 0; n < fields.size(); ++n)
    row[fields[n].name] = values[n];
  return row;
}

std::mutex& Measuring() {
  static std::mutex measuring;
  return measuring;
}

py::dict HeightStatistics(py::handle heights, py::handle previous, py::handle interval,
                          py::handle b, py::handle wind, py::handle q) {
  const params::Values values = Keywords(
      params::StatsOptions::all, {{"b", b}, {"wind", wind}, {"q", q}, {"interval", interval}});
  Check(values, params::StatsOptions::all);
  std::string error;
  const ks::StatsFactors factors = ks::ReadStatsFactors(values, error);
  if (!error.empty()) Refuse(error);
  const analysis::Snapshot now = ReadHeights("heights", heights);
  std::optional<analysis::Snapshot> before;
  if (!previous.is_none()) before = ReadHeights("previous", previous);
  std::optional<analysis::Measures> measures;
  {
    py::gil_scoped_release free;
    const std::lock_guard lock(Measuring());
    measures = ks::MeasureHeights(now, before ? &*before : nullptr, factors, error);
  }
  if (!measures) Refuse(error);
  return Row(ks::ModelOf(now), *measures);
}

}  // namespace kammelpy
