// The options' tables: each value read as the command line and Python give it, and each
// entry carried to every place a run records its options.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kammelsim/cli/Options.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Reader.h"
#include "kammelsim/params/Stats.h"
#include "kammelsim/run/Checkpoint.h"
#include "tests/kammelsim/CapturedRun.h"

namespace {

namespace fs = std::filesystem;
namespace params = kammelsim::params;
using Map = params::BedOptions<model3d::MapSettings>;
using testing_kammelsim::Kammelsim;
using testing_kammelsim::Slurp;

// Words read against the map bed's table: the error, or "" when they read.
std::string ReadError(const std::vector<std::string>& words) {
  kammelsim::OptionFault fault;
  const auto options = kammelsim::ParseOptions(words, Map::all, fault);
  if (!options) return fault.message;
  params::Values values;
  std::string error;
  params::ReadWords(*options, Map::all, values, error);
  return error;
}

TEST(Params, WordsReadAsTheTableSays) {
  const struct {
    std::vector<std::string> words;
    std::string error;
  } cases[] = {
      {{"--length", "1001"}, "--length takes an integer in 1..1000, not '1001'"},
      {{"--length=1000"}, ""},
      {{"--length", "+5"}, ""},
      {{"--length", "++5"}, "--length takes an integer in 1..1000, not '++5'"},
      {{"--height", "0x10"}, "--height takes an integer in 0..1000, not '0x10'"},
      {{"--length", "5", "--length", "0", "--length", "5"},
       "--length takes an integer in 1..1000, not '0'"},  // every occurrence of a number
      {{"--b", "1e-400"}, ""},                            // too small: 0, as the dialogs read it
      {{"--b", "1e400"}, "--b takes a finite real number, not '1e400'"},
      {{"--wind", "nan"}, "--wind takes a finite real number, not 'nan'"},
      {{"--seed", "4294967295"}, ""},
      {{"--seed", "-1"}, "--seed takes an integer in 0..4294967295, not '-1'"},
      {{"--canvas", "16x8192"}, ""},
      {{"--canvas", "15x600"}, "--canvas takes WIDTHxHEIGHT, each 16..8192, not '15x600'"},
      {{"--canvas", "x", "--canvas", "20x20"}, ""},  // only the last counts
      {{"--settings", "sand"}, "--settings takes relief or map or open, not 'sand'"},
      {{"--png", ""}, "--png needs a file or folder name"},
      {{"--png", "", "--png", "a.png"}, ""},
      {{"--force=yes"}, "--force takes no value"},
      {{"--length="}, "--length needs a value"},
      {{"--length=", "7"}, ""},
      {{"--png", "--force"}, "--png needs a value"},
      {{"--b", "--every=5"}, "--b needs a value"},
      {{"--frobnicate=3", "stray"}, "unknown option '--frobnicate'"},
      {{"stray"}, "unexpected argument 'stray'; options start with --"},
      {{"--"}, "unknown option '--'"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadError(c.words), c.error) << c.words.front();
}

TEST(Params, PythonsValuesAreNamedAsItsKeywords) {
  params::Values values(params::Voice::Python);
  values.Add(Map::length, {std::int64_t{1001}, "1001", "1001"});
  EXPECT_EQ(values.Fault(Map::all), "length takes an integer in 1..1000, not 1001");
  params::Values canvas(params::Voice::Python);
  canvas.Add(params::kCanvas, {params::Canvas{15, 600}, "15x600", "(15, 600)"});
  EXPECT_EQ(canvas.Fault(Map::all), "canvas takes WIDTHxHEIGHT, each 16..8192, not (15, 600)");
  EXPECT_EQ(canvas.Fault(params::ProfileOptions::all),
            "canvas takes WIDTHxHEIGHT, each 16..8192, not (15, 600)");
}

// An attribute of the NetCDF file's: its type, or 0 when it has none of that name.
nc_type AttributeType(const fs::path& file, const std::string& name) {
  int id = 0;
  nc_type type = 0;
  if (nc_open(file.c_str(), NC_NOWRITE, &id) != NC_NOERR) return 0;
  if (nc_inq_atttype(id, NC_GLOBAL, name.c_str(), &type) != NC_NOERR) type = 0;
  nc_close(id);
  return type;
}

// A value each entry of table takes, as a command line word.
std::string Sample(const params::Option& option, const fs::path& folder) {
  switch (option.type) {
    case params::Type::Integer:
    case params::Type::Seed:
      return std::to_string(option.min + (option.max > option.min + 3 ? 3 : 0));
    case params::Type::Real:
      return "2.5";
    case params::Type::Choice:  // the map's settings; of the others the last choice
      return option.name == "settings"
                 ? "map"
                 : std::string(option.choices.substr(option.choices.rfind(' ') + 1));
    case params::Type::Canvas:
      return "32x24";
    case params::Type::Schedule:
    case params::Type::Lag:
      return std::to_string(option.min + 3);
    default:
      return (folder / (std::string(option.name) + (option.name == "frames" ? "" : ".out")))
          .string();
  }
}

// Every entry of the map's and the profile's tables, given on one command line, reaches
// --help, the CSV's header lines, the NetCDF attributes (numbers as numbers) and the
// checkpoint's recorded options.
TEST(Params, EveryEntryIsRecordedEverywhere) {
  const std::string help = Kammelsim({"--help"}).out;
  const fs::path root = fs::temp_directory_path() / ("params-test-" + std::to_string(getpid()));
  for (const bool bed : {true, false}) {
    const params::Table table = bed ? params::Table(Map::all) : params::ProfileOptions::all;
    const fs::path folder = root / (bed ? "bed" : "profile");
    fs::create_directories(folder);
    std::vector<std::string> words = {bed ? "bed" : "profile"};
    for (const params::Option& option : table) {
      EXPECT_NE(help.find("--" + std::string(option.name)), std::string::npos) << option.name;
      // Heights to start from leave a flat start's depth no say: InitialTest gives them.
      if (option.name == "initial") continue;
      if (option.type == params::Type::Flag) {
        words.push_back("--" + std::string(option.name));
      } else if (option.name == "length" || option.name == "width") {
        words.push_back("--" + std::string(option.name) + "=" + std::to_string(option.min + 9));
      } else {
        words.push_back("--" + std::string(option.name) + "=" + Sample(option, folder));
      }
    }
    const std::vector<std::string_view> args(words.begin(), words.end());
    const auto run = Kammelsim(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string csv = Slurp(folder / "stats.out");
    const std::string line = csv.substr(csv.find("# Parameters: "));
    const std::string parameters = line.substr(0, line.find('\n')) + " ";
    const std::string bytes = Slurp(folder / "checkpoint.out");
    std::string why;
    kammelsim::CheckpointData data;
    ASSERT_TRUE(kammelsim::DecodeCheckpoint(bytes, data, why)) << why;
    for (const params::Option& option : table) {
      const std::string name(option.name);
      if (name == "initial") continue;
      if (option.place > 0) {
        EXPECT_NE(parameters.find(" " + name + "="), std::string::npos) << name << parameters;
        const nc_type type = AttributeType(folder / "netcdf.out", "parameter_" + name);
        const bool whole = option.type == params::Type::Integer ||
                           option.type == params::Type::Schedule ||
                           option.type == params::Type::Lag;
        const nc_type wanted = option.type == params::Type::Real ? NC_DOUBLE
                               : whole                           ? NC_INT
                                                                 : NC_CHAR;
        EXPECT_EQ(type, wanted) << name;
      }
      const bool recorded = std::any_of(data.args.begin(), data.args.end(), [&](auto& word) {
        return word.starts_with("--" + name + "=") || word == "--" + name;
      });
      EXPECT_EQ(recorded, !params::IsOutput(option)) << name;
    }
    EXPECT_EQ(AttributeType(folder / "netcdf.out", "seed"), NC_UINT);
  }
  fs::remove_all(root);
}

}  // namespace
