#include "kammelsim/cli/RunOptions.h"

#include <algorithm>
#include <charconv>

#include "kammelsim/run/Checkpoint.h"

namespace kammelsim {
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

namespace {

// The name of a canonical word: "--name=value" or "--name".
std::string_view NameOf(std::string_view word) {
  if (word.starts_with("--")) word.remove_prefix(2);
  return word.substr(0, word.find('='));
}

bool NamesOutput(std::string_view word) {
  const std::string_view name = NameOf(word);
  return name == "config" ||
         std::find(kOutputOptions.begin(), kOutputOptions.end(), name) != kOutputOptions.end();
}

}  // namespace

std::vector<std::string> RecordedOptions(const std::vector<std::string>& canonical) {
  // Every occurrence of an option has been checked; the last is the one that counts, and the
  // only one kept, so that what a checkpoint records is bounded by the options there are.
  static_assert(kRunOptions.size() + kRunFlags.size() + 16 < kMaxRecordedOptions);
  std::vector<std::string> kept;
  for (std::size_t n = 0; n < canonical.size(); ++n) {
    const std::string& word = canonical[n];
    const bool repeated = n + 1 < canonical.size() && NameOf(canonical[n + 1]) == NameOf(word);
    if (!NamesOutput(word) && !repeated) kept.push_back(word);
  }
  return kept;
}

std::string ForeignRecordedOption(const std::vector<std::string>& recorded) {
  for (const std::string& word : recorded) {
    if (NamesOutput(word) || !word.starts_with("--")) return word;
  }
  return "";
}

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
    const std::string canvas = options.Text("canvas");
    error = options.From("canvas", canvas) + "--canvas takes WIDTHxHEIGHT, each 16..8192, not " +
            QuoteValue(canvas);
  }
  run.stats = options.Text("stats");
  run.netcdf = options.Text("netcdf");
  run.checkpoint = options.Text("checkpoint");
  run.heights = options.Text("heights");
  run.checkpointInterval =
      IntegerOption(options, "checkpoint-interval", run.checkpointInterval, 0, 86400, error);
  run.force = options.Has("force");
  for (const char* name :
       {"png", "frames", "spacetime", "stats", "netcdf", "checkpoint", "heights"}) {
    if (options.Has(name) && options.Text(name).empty() && error.empty())
      error = "--" + std::string(name) + " needs a file or folder name";
  }
  if (!p.spacetime.empty() && run.schedule.Count() > SpaceTime::kMaxRows && error.empty()) {
    error = "--spacetime draws at most " + std::to_string(SpaceTime::kMaxRows) +
            " snapshots; choose a larger --every";
  }
  return run;
}

}  // namespace kammelsim
