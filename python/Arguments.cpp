#include "python/Arguments.h"

#include <cmath>
#include <cstdint>
#include <string>

#include <pybind11/numpy.h>

#include "kammelsim/params/Run.h"

namespace kammelpy {
namespace {

using params::Type;

std::string TypeName(py::handle value) {
  return py::str(py::type::handle_of(value).attr("__name__"));
}

[[noreturn]] void WrongType(std::string_view name, std::string_view wanted, py::handle value) {
  throw py::type_error(std::string(name) + " takes " + std::string(wanted) + ", not " +
                       TypeName(value));
}

// Python's bool and numpy's are integers to Python, but never what a user meant by a number.
bool IsBool(py::handle value) {
  if (py::isinstance<py::bool_>(value)) return true;
  return py::hasattr(value, "dtype") &&
         py::str(value.attr("dtype").attr("kind")).equal(py::str("b"));
}

// An integer as a Python int; TypeError for anything that is none.
py::int_ Whole(std::string_view name, py::handle value) {
  if (IsBool(value) || !py::hasattr(value, "__index__")) WrongType(name, "an integer", value);
  const auto index = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  return index;
}

std::string Digits(const py::int_& whole) {
  return py::str(static_cast<py::handle>(whole));
}

// An int beyond 64 bits is beyond every range: it stands at the nearest end.
std::int64_t Saturated(const py::int_& whole) {
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
  if (overflow != 0) return overflow > 0 ? INT64_MAX : INT64_MIN;
  return value;
}

// A real as its double, and the text that reads back as the same: an int's digits (exact,
// and too large for a double when it is), a float's repr.
params::Given Real(std::string_view name, py::handle value) {
  if (IsBool(value)) WrongType(name, "a real number", value);
  if (py::hasattr(value, "__index__")) {
    const py::int_ whole = Whole(name, value);
    double real = PyLong_AsDouble(whole.ptr());
    if (real == -1.0 && PyErr_Occurred()) {  // beyond a double: infinite, and refused so
      PyErr_Clear();
      real = INFINITY;
    }
    return {real, Digits(whole)};
  }
  if (!py::hasattr(value, "__float__")) WrongType(name, "a real number", value);
  const py::float_ real(py::reinterpret_borrow<py::object>(value));
  return {real.cast<double>(), py::repr(real)};
}

// The value as a message shows it: Python's repr (which escapes what a terminal would act
// on), cut as the runner cuts values.
std::string Shown(py::handle value) {
  const std::string repr = py::repr(value);
  constexpr std::size_t most = 40;
  return repr.substr(0, most) + (repr.size() > most ? "..." : "");
}

}  // namespace

params::Given Convert(const params::Option& option, py::handle value) {
  params::Given given;
  switch (option.type) {
    case Type::Integer:
    case Type::Seed: {
      const py::int_ whole = Whole(option.name, value);
      given = {Saturated(whole), Digits(whole)};
      break;
    }
    case Type::Real:
      given = Real(option.name, value);
      break;
    case Type::Flag:
      given = {true, ""};
      break;
    case Type::Schedule:  // a number, or a word such as 'log:20' or 'every'
    case Type::Lag:
      if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)) {
        const std::string digits = py::str(value);
        given = {digits, digits};
        break;
      }
      [[fallthrough]];
    default:
      if (!py::isinstance<py::str>(value)) WrongType(option.name, "a str", value);
      given = {value.cast<std::string>(), value.cast<std::string>()};
  }
  given.shown = Shown(value);
  return given;
}

void Put(params::Values& values, const params::Option& option, py::handle value) {
  if (!value.is_none()) values.Add(option, Convert(option, value));
}

params::Values Keywords(params::Table table,
                        std::initializer_list<std::pair<std::string_view, py::handle>> given) {
  params::Values values(params::Voice::Python);
  for (const auto& [name, value] : given)
    Put(values, *params::Find(table, name), value);
  return values;
}

void PutCanvas(params::Values& values, py::handle canvas) {
  if (canvas.is_none()) return;
  if (py::isinstance<py::str>(canvas) || !py::isinstance<py::sequence>(canvas) ||
      py::len(canvas) != 2) {
    throw py::type_error("canvas takes (width, height), not " +
                         std::string(py::str(py::repr(canvas))));
  }
  const py::sequence sides = py::reinterpret_borrow<py::sequence>(canvas);
  const py::int_ width = Whole("canvas", sides[0]), height = Whole("canvas", sides[1]);
  const params::Canvas size{Saturated(width), Saturated(height)};
  values.Add(params::kCanvas,
             {size, Digits(width) + "x" + Digits(height), Shown(py::make_tuple(width, height))});
}

void Check(const params::Values& values, params::Table table) {
  if (std::string fault = values.Fault(table); !fault.empty()) Refuse(fault);
}

void Refuse(const std::string& message) {
  throw py::value_error(message);
}

analysis::Snapshot HeightsArray(py::handle heights, const kammelsim::InitialShape& shape) {
  const py::array array = py::module_::import("numpy").attr("asarray")(heights);
  const char kind = array.dtype().kind();
  if (kind != 'i' && kind != 'u') {
    Refuse("heights takes an array of integers, not of dtype " +
           std::string(py::str(array.dtype())));
  }
  const std::string wanted =
      shape.profile ? "(" + std::to_string(shape.rows) + ",)"
                    : "(" + std::to_string(shape.rows) + ", " + std::to_string(shape.columns) + ")";
  const bool fits = array.ndim() == (shape.profile ? 1 : 2) && array.shape(0) == shape.rows &&
                    (shape.profile || array.shape(1) == shape.columns);
  if (!fits) {
    Refuse("heights takes an array of shape " + wanted + ", not " +
           std::string(py::str(array.attr("shape"))));
  }
  // An unsigned height past 63 bits is held at the most int64 holds, which the check refuses
  // as too much sand, rather than wrapped below 0.
  const py::object held = kind == 'u' && array.itemsize() == 8
                              ? py::module_::import("numpy").attr("minimum")(array, INT64_MAX)
                              : py::object(array);
  const auto whole = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(
      held.attr("astype")("int64"));
  analysis::Snapshot snapshot{shape.rows, shape.columns,
                              std::vector<std::int64_t>(whole.data(), whole.data() + whole.size())};
  std::string error;
  if (!kammelsim::CheckInitial(snapshot, shape, error)) Refuse("heights holds " + error);
  return snapshot;
}

}  // namespace kammelpy
