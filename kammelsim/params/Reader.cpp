#include "kammelsim/params/Reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "kammelsim/cli/Options.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/run/Snapshots.h"

namespace kammelsim::params {
namespace {

template <class Number>
bool ParseWhole(std::string_view text, Number& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.starts_with('+')) return false;
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  return fault == std::errc{} && end == text.data() + text.size();
}

// "WxH" as two numbers, not yet checked against the sides' range.
bool ParseCanvas(std::string_view text, Canvas& canvas) {
  const std::size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  const auto whole = [](std::string_view digits, std::int64_t& value) {
    int side = 0;
    const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), side);
    value = side;
    return !digits.empty() && fault == std::errc{} && end == digits.data() + digits.size();
  };
  return whole(text.substr(0, x), canvas.width) && whole(text.substr(x + 1), canvas.height);
}

bool ChecksEvery(const Option& option) {
  return option.type == Type::Integer || option.type == Type::Seed || option.type == Type::Real ||
         option.type == Type::Schedule || option.type == Type::Lag;
}

// A schedule's or a lag's text, a '+' before a number allowed as for any whole number.
bool Fits(const Option& option, std::string_view text) {
  if (option.type == Type::Lag && text == "every") return true;
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.starts_with('+') || (option.type == Type::Lag && text.starts_with("log:"))) return false;
  Schedule schedule;
  return ParseSchedule(text, option.max, schedule) && schedule.every >= option.min;
}

}  // namespace

const Option* Find(Table table, std::string_view name) {
  const auto found = std::find_if(table.begin(), table.end(),
                                  [name](const Option& option) { return option.name == name; });
  return found == table.end() ? nullptr : &*found;
}

std::string Range(const Option& option) {
  return std::to_string(option.min) + ".." + std::to_string(option.max);
}

std::string Wants(const Option& option) {
  const std::string range = Range(option);
  switch (option.type) {
    case Type::Integer:
    case Type::Seed:
      return "takes an integer in " + range;
    case Type::Real:
      return "takes a finite real number";
    case Type::Choice:
      return "takes " + std::string(option.choices);
    case Type::Canvas:
      return "takes WIDTHxHEIGHT, each " + range;
    case Type::Output:
      return "needs a file or folder name";
    case Type::Input:
      return "takes a file name";
    case Type::Flag:
      return "takes no value";
    case Type::Schedule:
      return "takes an integer in " + range + " or log:N, N in 1.." +
             std::to_string(Schedule::kMaxPerDecade);
    case Type::Lag:
      return "takes an integer in " + range + " or every";
  }
  return {};
}

std::string Check(const Option& option, const Value& value) {
  bool fits = false;
  switch (option.type) {
    case Type::Integer:
    case Type::Seed: {
      const auto* whole = std::get_if<std::int64_t>(&value);
      fits = whole && *whole >= option.min && *whole <= option.max;
      break;
    }
    case Type::Real: {
      const auto* real = std::get_if<double>(&value);
      fits = real && std::isfinite(*real);
      break;
    }
    case Type::Choice: {
      const auto* word = std::get_if<std::string>(&value);
      std::string_view rest = option.choices;
      while (word && !fits && !rest.empty()) {
        const std::size_t end = std::min(rest.find(" or "), rest.size());
        fits = rest.substr(0, end) == *word;
        rest.remove_prefix(std::min(end + 4, rest.size()));
      }
      break;
    }
    case Type::Canvas: {
      const auto* canvas = std::get_if<Canvas>(&value);
      const auto side = [&option](std::int64_t n) { return n >= option.min && n <= option.max; };
      fits = canvas && side(canvas->width) && side(canvas->height);
      break;
    }
    case Type::Output:
    case Type::Input: {
      const auto* name = std::get_if<std::string>(&value);
      fits = name && (option.type == Type::Input || !name->empty());
      break;
    }
    case Type::Flag:
      fits = std::holds_alternative<bool>(value);
      break;
    case Type::Schedule:
    case Type::Lag: {
      const auto* text = std::get_if<std::string>(&value);
      fits = text && Fits(option, *text);
      break;
    }
  }
  return fits ? std::string() : Wants(option);
}

bool Parse(const Option& option, std::string_view text, Value& value) {
  switch (option.type) {
    case Type::Integer:
    case Type::Seed: {
      std::int64_t whole = 0;
      value = whole;
      return ParseWhole(text, std::get<std::int64_t>(value));
    }
    case Type::Real: {
      double real = 0;
      const bool read = ReadReal(text, real);
      value = real;
      return read;
    }
    case Type::Canvas: {
      Canvas canvas;
      const bool read = ParseCanvas(text, canvas);
      value = canvas;
      return read;
    }
    case Type::Flag:
      value = true;
      return true;
    default:
      value = std::string(text);
      return true;
  }
}

bool ReadWords(const ParsedOptions& options, Table table, Values& values, std::string& error) {
  for (const Option& option : table) {
    const auto found = options.values.find(option.name);
    if (found == options.values.end()) continue;
    const std::vector<std::string>& texts = found->second;
    // Numbers must read in every occurrence; of the rest only the last, which counts.
    const std::size_t first = ChecksEvery(option) ? 0 : texts.size() - 1;
    for (std::size_t n = 0; n < texts.size(); ++n) {
      Given given{std::string(), texts[n]};
      const bool read = Parse(option, texts[n], given.value) && Check(option, given.value).empty();
      if (!read && n >= first) {
        // An empty name has no place in the file worth naming.
        error = (ShowsValue(option) ? options.From(option.name, texts[n]) : std::string()) + "--" +
                std::string(option.name) + " " + Wants(option);
        if (ShowsValue(option)) error += ", not " + QuoteValue(texts[n]);
        return false;
      }
      values.Add(option, std::move(given));
    }
  }
  return true;
}

void Values::Add(const Option& option, Given given) {
  given_[std::string(option.name)].push_back(std::move(given));
}

const Given* Values::Last(std::string_view name) const {
  const auto found = given_.find(name);
  return found == given_.end() ? nullptr : &found->second.back();
}

std::int64_t Values::Integer(const Option& option) const {
  return Integer(option, static_cast<std::int64_t>(option.number));
}

std::int64_t Values::Integer(const Option& option, std::int64_t fallback) const {
  const Given* given = Last(option.name);
  const auto* whole = given ? std::get_if<std::int64_t>(&given->value) : nullptr;
  return whole ? *whole : fallback;
}

double Values::Real(const Option& option) const {
  const Given* given = Last(option.name);
  const auto* real = given ? std::get_if<double>(&given->value) : nullptr;
  return real ? *real : option.number;
}

std::string Values::Text(const Option& option) const {
  const Given* given = Last(option.name);
  const auto* text = given ? std::get_if<std::string>(&given->value) : nullptr;
  return text ? *text : std::string(option.word);
}

Canvas Values::CanvasOf(const Option& option, Canvas fallback) const {
  const Given* given = Last(option.name);
  const auto* canvas = given ? std::get_if<Canvas>(&given->value) : nullptr;
  return canvas ? *canvas : fallback;
}

std::string Values::Fault(Table table) const {
  for (const Option& option : table) {
    const auto found = given_.find(option.name);
    if (found == given_.end()) continue;
    for (const Given& given : found->second) {
      if (Check(option, given.value).empty()) continue;
      std::string fault = Named(option) + " " + Wants(option);
      if (ShowsValue(option))
        fault += ", not " + (given.shown.empty() ? QuoteValue(given.text) : given.shown);
      return fault;
    }
  }
  return {};
}

std::vector<std::string> Values::Words() const {
  std::vector<std::string> words;
  for (const auto& [name, given] : given_) {
    for (const Given& one : given) {
      words.push_back(std::holds_alternative<bool>(one.value) ? "--" + name
                                                              : "--" + name + "=" + one.text);
    }
  }
  return words;
}

Values Values::With(const Values& more) const {
  Values all = *this;
  for (const auto& [name, given] : more.given_) {
    std::vector<Given>& slot = all.given_[name];
    slot.insert(slot.end(), given.begin(), given.end());
  }
  return all;
}

}  // namespace kammelsim::params
