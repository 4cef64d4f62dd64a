#include "tools/RunOptions.h"

#include "kammel/Version.h"

#include <algorithm>
#include <charconv>

namespace tools {
namespace {

constexpr std::int64_t kMaxEvery = 1'000'000;
constexpr int kMinSide = 16, kMaxSide = 8192;

// "WxH", each side in kMinSide..kMaxSide.
bool ParseCanvas(std::string_view text, int& width, int& height) {
  const std::size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  const auto whole = [](std::string_view digits, int& value) {
    const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return !digits.empty() && fault == std::errc{} && end == digits.data() + digits.size() &&
           value >= kMinSide && value <= kMaxSide;
  };
  return whole(text.substr(0, x), width) && whole(text.substr(x + 1), height);
}

}  // namespace

std::vector<std::string_view> WithRunOptions(std::span<const std::string_view> own) {
  std::vector<std::string_view> names(own.begin(), own.end());
  names.insert(names.end(), kRunOptions.begin(), kRunOptions.end());
  return names;
}

RunSettings ReadRunSettings(const ParsedOptions& options, std::int64_t total, std::string& error) {
  RunSettings run;
  run.schedule.total = total;
  run.schedule.every =
      IntegerOption(options, "every", std::max<std::int64_t>(total, 1), 1, kMaxEvery, error);
  run.seedGiven = options.Has("seed");
  run.seed = static_cast<std::uint32_t>(IntegerOption(options, "seed", 0, 0, 4294967295, error));
  PictureOptions& p = run.pictures;
  p.png = options.Text("png");
  p.frames = options.Text("frames");
  p.spacetime = options.Text("spacetime");
  p.force = options.Has("force");
  if (options.Has("canvas") &&
      !ParseCanvas(options.Text("canvas"), p.canvasWidth, p.canvasHeight) && error.empty()) {
    error = "--canvas takes WIDTHxHEIGHT, each 16..8192, not '" + options.Text("canvas") + "'";
  }
  run.stats = options.Text("stats");
  run.netcdf = options.Text("netcdf");
  run.checkpoint = options.Text("checkpoint");
  for (const char* name : {"png", "frames", "spacetime", "stats", "netcdf", "checkpoint"}) {
    if (options.Has(name) && options.Text(name).empty() && error.empty())
      error = "--" + std::string(name) + " needs a file or folder name";
  }
  if (!p.spacetime.empty() && run.schedule.Count() > SpaceTime::kMaxRows && error.empty()) {
    error = "--spacetime draws at most " + std::to_string(SpaceTime::kMaxRows) +
            " snapshots; choose a larger --every";
  }
  return run;
}

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
  return kammel::Version;
}

}  // namespace tools
