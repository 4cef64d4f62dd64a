#include "kammelsim/Help.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"

namespace kammelsim {
namespace {

using params::Range;
using Relief = params::BedOptions<model3d::ReliefSettings>;
using Map = params::BedOptions<model3d::MapSettings>;
using Open = params::BedOptions<model3d::OpenSettings>;
using Profile = params::ProfileOptions;

// The prose says one range for both of these.
static_assert(Relief::height.max == Relief::q.max && Profile::thickness.max == Profile::q.max);
static_assert(Relief::batches.max == Profile::steps.max);

constexpr std::string_view kCommands =
    "usage: kammelsim bed [--settings relief|map|open] [--length L] [--width W] [--height H0]\n"
    "                     [--b B] [--wind V] [--q Q] [--batches K] [--threshold T]\n"
    "                     [--schedule relief|map] [--ties first|random|alternating]\n"
    "                     [--periodic no|yes] [OUTPUTS]\n"
    "       kammelsim profile [--width N] [--thickness D] [--b B] [--wind V] [--q Q]\n"
    "                         [--steps K] [OUTPUTS]\n"
    "       kammelsim stats [FILE|-] [--b B] [--wind V] [--q Q] [--previous FILE]\n"
    "                       [--interval T]\n"
    "       kammelsim resume CHECKPOINT [--batches K | --steps K] [--b B] [--wind V] [--q Q]\n"
    "                        [--allow-outside]\n"
    "       kammelsim --version\n"
    "\n"
    "Runs the ripple model headless and prints the heights on stdout.\n"
    "\n";

constexpr std::string_view kStats =
    "stats: the statistics of heights as bed or profile print them (one line: a profile,\n"
    "     several: a bed), as a CSV header and one row; speed against --previous heights\n"
    "     T batches or steps earlier (1 unless given); B, V and Q as for the run (2.0 5.0 1).\n"
    "     sand_outside is nan: heights alone do not tell the sand the run began with.\n"
    "\n";

constexpr std::string_view kConfig =
    "  --config FILE     options from a file, one 'name = value' per line ('#' comments,\n"
    "                    values taken whole, flags true/false); the command line wins\n"
    "\n";

constexpr std::string_view kResume =
    "resume: continues the run a checkpoint holds until its total reaches K (the run's own\n"
    "     total, or a larger one a resume asked for, unless given; a smaller K is a stretch,\n"
    "     not a shorter run), in the folder where the checkpoint lies now: each output must be\n"
    "     this run's (its run id), whole as recorded, and is cut back to the checkpoint\n"
    "     first; the result is the run's had it never stopped. Every file is reached below\n"
    "     the checkpoint's folder without following a link; outputs recorded outside it need\n"
    "     --allow-outside. One process runs a run at a time, whatever its files' names.\n"
    "     --b, --wind and --q change the model from the checkpoint's batch or step on (the\n"
    "     rest of a run's options stay): its history, a '# Change:' line of the statistics\n"
    "     and the data file's 'changes' attribute say so, and later resumes keep the value.\n"
    "\n"
    "SIGINT or SIGTERM stop a run after its current batch or step, writing the checkpoint and\n"
    "what the outputs hold so far; the status is then 130 or 143. A second signal ends it at\n"
    "once, unless the stop is being written. Values go as '--name value' or '--name=value'.\n"
    "A bad command line or an output that exists exits with status 2; a file that cannot be\n"
    "read or written, a checkpoint in use or one that is refused, with status 1.\n";

// An option's default as the prose writes it: a real with one decimal.
std::string Default(const params::Option& option) {
  if (option.type != params::Type::Real)
    return std::to_string(static_cast<std::int64_t>(option.number));
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", option.number);
  return text;
}

// The defaults of the factors, in the prose's order.
template <class Table>
std::string Defaults(const Table& t, const params::Option& depth) {
  return Default(depth) + " " + Default(t.b) + " " + Default(t.wind) + " " + Default(t.q);
}

std::string BedProse() {
  return "bed: the 3D sand bed of kammel3 (relief) or kammel3map (map); prints rows 0..L, one "
         "line\n"
         "     each, holding the W + 1 heights of that row.\n"
         "     Defaults are the program's dialog defaults: relief " +
         Default(Relief::length) + " " + Default(Relief::width) + " " +
         Defaults(Relief{}, Relief::height) + ",\n     map " + Default(Map::length) + " " +
         Default(Map::width) + " " + Defaults(Map{}, Map::height) + "; one batch. L is " +
         Range(Relief::length) + " (relief) or " + Range(Map::length) + " (map),\n     W " +
         Range(Relief::width) + " or " + Range(Map::width) + ", H0 and Q " + Range(Relief::height) +
         ", B and V finite reals, K " + Range(Relief::batches) +
         ".\n"
         "     T (map only) is the height drawn bright, H0 + 1 unless given.\n"
         "     open: a bed of any size the memory holds (L and W " +
         Range(Open::length) +
         ", the map's defaults), run with\n"
         "     the --schedule program's batches (map unless given); refused at once, status 2, "
         "when\n"
         "     its heights cannot be had. --png and --frames draw it as the map, from above,\n"
         "     scaled to the canvas: each pixel shows the cell the map's drawing leaves there;\n"
         "     T, as the map's, only with them.\n"
         "     --ties: creep's ties between equally steep neighbours: first, the programs' "
         "order\n"
         "     (default), or without a preferred side across the wind: random (a third "
         "number\n"
         "     per event) or alternating (the columns' order swapped every other sweep).\n"
         "     --periodic yes: creep wraps the columns. Either is never the programs' model.\n"
         "\n";
}

std::string ProfileProse() {
  return "profile: the 2D cross-section of kammel; prints the N + 1 heights of cells 0..N on "
         "one\n"
         "     line. Defaults are the dialog defaults " +
         Default(Profile::width) + " " + Defaults(Profile{}, Profile::thickness) +
         "; one step. N is " + Range(Profile::width) + ",\n     D and Q " +
         Range(Profile::thickness) + ", B and V finite reals, K " + Range(Profile::steps) + ".\n\n";
}

// "  --name METAVAR" in a column of 20, then the help, its later lines under its first.
std::string OptionHelp(const params::Option& option) {
  std::string head = "  --" + std::string(option.name);
  if (!option.metavar.empty()) head += " " + std::string(option.metavar);
  head += head.size() < 20 ? std::string(20 - head.size(), ' ') : "  ";
  std::string help(option.help);
  for (std::size_t at; (at = help.find("%r")) != std::string::npos;)
    help.replace(at, 2, Range(option));
  for (std::size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 21)
    help.insert(at + 1, std::string(20, ' '));
  return head + help + "\n";
}

}  // namespace

std::string Usage() {
  // The run's options in the order a reader meets them, not the order they are checked in.
  constexpr std::string_view order[] = {
      "seed",         "initial",   "every",  "stats-every", "netcdf-every",
      "frames-every", "speed-lag", "png",    "frames",      "spacetime",
      "canvas",       "stats",     "netcdf", "checkpoint",  "checkpoint-interval",
      "heights",      "force"};
  static_assert(std::size(order) == params::kRunOptions.size());
  std::string outputs = "OUTPUTS, drawn as the program draws its canvas:\n";
  for (const std::string_view name : order)
    outputs += OptionHelp(*params::Find(params::kRunOptions, name));
  return std::string(kCommands) + BedProse() + ProfileProse() + std::string(kStats) + outputs +
         std::string(kConfig) + std::string(kResume);
}

}  // namespace kammelsim
