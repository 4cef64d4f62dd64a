// Python's arguments as the runner's typed options: each keyword converted to its table
// entry's type and checked against it, so that a bad value is refused with the runner's
// range and Python's name for it ("length takes an integer in 1..999, not 1000").
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <string_view>
#include <utility>

#include "kammelsim/input/InitialBed.h"
#include "kammelsim/params/Reader.h"

namespace kammelpy {

namespace py = pybind11;
namespace params = kammelsim::params;

/// The value of option that a Python object gives: an int (or anything with __index__; not a
/// bool) for an integer, an int or float (or anything with __float__) for a real, a str for a
/// word; TypeError for anything else. Not yet checked against the option's range: which
/// range applies may hang on another argument (a bed's settings).
params::Given Convert(const params::Option& option, py::handle value);

/// Adds value for option to values unless it is None.
void Put(params::Values& values, const params::Option& option, py::handle value);

/// The keywords given (a value of None: not given) as values of the options of table that
/// they name, each converted as Convert does, in the order given.
params::Values Keywords(params::Table table,
                        std::initializer_list<std::pair<std::string_view, py::handle>> given);

/// Adds a canvas of (width, height) to values unless it is None.
void PutCanvas(params::Values& values, py::handle canvas);

/// Refuses, with ValueError, the first value that is no value of its option in table.
void Check(const params::Values& values, params::Table table);

/// The heights an array gives (heights=): integers (any integer dtype, or what numpy makes
/// one of) of the shape's (rows, columns), or (rows,) for a profile, held to CheckInitial;
/// ValueError otherwise, TypeError for what is no array.
analysis::Snapshot HeightsArray(py::handle heights, const kammelsim::InitialShape& shape);

/// Throws ValueError with message.
[[noreturn]] void Refuse(const std::string& message);

}  // namespace kammelpy
