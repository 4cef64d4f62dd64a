#include "kammelsim/output/Provenance.h"

#include <charconv>

namespace kammelsim {

std::string CommandLine(std::string_view command, std::span<const std::string_view> args) {
  std::string line = "kammelsim " + std::string(command);
  for (const std::string_view arg : args) {
    line.push_back(' ');
    const bool plain = !arg.empty() && arg.find_first_of(" \t\n'\"\\$`") == std::string_view::npos;
    if (plain) {
      line.append(arg);
      continue;
    }
    line.push_back('\'');
    for (const char c : arg) {
      if (c == '\'')
        line.append("'\\''");
      else
        line.push_back(c);
    }
    line.push_back('\'');
  }
  return line;
}

std::string ExactReal(double value) {
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

Provenance MakeProvenance(std::string_view commandLine, std::uint32_t seed,
                          std::string_view parameters) {
  return {{"Software", "kammelsim " + std::string(Version())},
          {"Command", std::string(commandLine)},
          {"Seed", std::to_string(seed)},
          {"Parameters", std::string(parameters)}};
}

std::string_view Version() {
  return KAMMEL_VERSION;
}

}  // namespace kammelsim
