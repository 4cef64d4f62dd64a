#include "python/Arguments.h"

#include "kammelsim/cli/RunOptions.h"

namespace kammelpy {
namespace {

std::string TypeName(py::handle value) {
  return py::str(py::type::handle_of(value).attr("__name__"));
}

[[noreturn]] void WrongType(std::string_view name, std::string_view wanted, py::handle value) {
  throw py::type_error(std::string(name) + " takes " + std::string(wanted) + ", not " +
                       TypeName(value));
}

std::string Word(std::string_view name, std::string_view value) {
  return "--" + std::string(name) + "=" + std::string(value);
}

// Python's bool and numpy's are integers to Python, but never what a user meant by a number.
bool IsBool(py::handle value) {
  if (py::isinstance<py::bool_>(value)) return true;
  return py::hasattr(value, "dtype") &&
         py::str(value.attr("dtype").attr("kind")).equal(py::str("b"));
}

std::string Digits(py::handle value) {
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  return py::str(index);
}

}  // namespace

std::string IntegerText(std::string_view name, py::handle value) {
  if (IsBool(value) || !py::hasattr(value, "__index__")) WrongType(name, "an integer", value);
  return Digits(value);
}

std::string IntegerWord(std::string_view name, py::handle value) {
  return Word(name, IntegerText(name, value));
}

std::string RealWord(std::string_view name, py::handle value) {
  if (IsBool(value)) WrongType(name, "a real number", value);
  // An integer as its digits: one too large for a double is refused as on the command line.
  if (py::hasattr(value, "__index__")) return Word(name, Digits(value));
  if (!py::hasattr(value, "__float__")) WrongType(name, "a real number", value);
  return Word(name, std::string(py::repr(py::float_(py::reinterpret_borrow<py::object>(value)))));
}

std::string TextWord(std::string_view name, py::handle value) {
  if (!py::isinstance<py::str>(value)) WrongType(name, "a str", value);
  return Word(name, value.cast<std::string>());
}

kammelsim::ParsedOptions ReadWords(const std::vector<std::string>& words,
                                   std::span<const std::string_view> names) {
  kammelsim::OptionFault fault;
  auto options =
      kammelsim::ParseOptions(words, kammelsim::WithRunOptions(names), kammelsim::kRunFlags, fault);
  if (!options) Refuse(fault.message);
  return std::move(*options);
}

std::string PythonMessage(std::string_view message) {
  std::string said;
  bool quoted = false;
  for (std::size_t n = 0; n < message.size(); ++n) {
    const char c = message[n];
    if (c == '\'') quoted = !quoted;
    const bool dashes = !quoted && c == '-' && message.substr(n).starts_with("--") &&
                        n + 2 < message.size() && message[n + 2] >= 'a' && message[n + 2] <= 'z' &&
                        (n == 0 || message[n - 1] == ' ');
    if (dashes) {
      ++n;
      continue;
    }
    said.push_back(c);
  }
  return said;
}

void Refuse(std::string_view message) {
  throw py::value_error(PythonMessage(message));
}

}  // namespace kammelpy
