// Statistics as Python gets them: a row as a dict, and kammel.statistics of heights alone.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>

#include "analysis/RippleStatistics.h"

namespace kammelpy {

namespace py = pybind11;

/// The statistics row of measures, by the runner's column names.
py::dict Row(analysis::Model model, const analysis::Measures& measures);

/// Held for every measurement: FFTW's planner is the process's own, and not thread-safe.
std::mutex& Measuring();

/// kammel.statistics: heights alone, as kammelsim stats measures them.
py::dict HeightStatistics(py::handle heights, py::handle previous, py::handle interval,
                          py::handle b, py::handle wind, py::handle q);

}  // namespace kammelpy
