// The compiled part of the Python package kammel: its names, arguments and docstrings.
#include <pybind11/pybind11.h>

#include <array>
#include <initializer_list>

#include "kammelsim/output/Provenance.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Stats.h"
#include "python/Bed.h"
#include "python/Profile.h"
#include "python/Simulation.h"
#include "python/Statistics.h"

namespace {

namespace py = pybind11;
using kammelpy::Bed;
using kammelpy::Profile;
using kammelpy::Simulation;
using Relief = kammelsim::params::BedOptions<model3d::ReliefSettings>;
using Map = kammelsim::params::BedOptions<model3d::MapSettings>;
using Open = kammelsim::params::BedOptions<model3d::OpenSettings>;
using ProfileTable = kammelsim::params::ProfileOptions;

constexpr const char* kBedDoc =
    R"(The 3D sand bed of kammel3 or kammel3map, as `kammelsim bed` runs it.

Bed(settings='relief', *, length=None, width=None, height=None, b=None, wind=None, q=None,
    ties=None, periodic=None, schedule=None, seed=None, heights=None)

settings is 'relief' (kammel3: batches of 5 cycles), 'map' (kammel3map: batches of 3) or
'open': a bed of any size the memory holds, with schedule 'relief' or 'map' (the default)
choosing whose batches it runs, its array allocated once (MemoryError, saying how much, when
it cannot be had). The other arguments default to the program's dialog values: relief length
300, width 30, height 20; map and open 300, 150, 5; all b 2.0, wind 5.0, q 1. length (L) is
{0} for relief, {1} for map and {6} for open, width (W) {2}, {3} or {7}, height (H0) and q
{4}, b and wind finite reals. seed is {5}; None takes one from the clock, which .seed tells. ties ('first', the
programs', 'random' or 'alternating') and periodic ('no' or 'yes') choose creep without a
preferred side across the wind, never the programs' model (kammelsim bed --help).
heights, unless None, is the bed to start from instead of a flat one of height H0: integers
of shape (L + 1, W + 1), none below 0 (as kammelsim bed --initial takes them).

The same arguments and seed give, batch for batch, the heights, statistics, pictures and
checkpoints of kammelsim bed with the same options. A bad argument raises ValueError with
kammelsim's message (TypeError for a value of the wrong type).)";

constexpr const char* kProfileDoc =
    R"(The 2D cross-section of kammel, as `kammelsim profile` runs it.

Profile(*, width=None, thickness=None, b=None, wind=None, q=None, seed=None, heights=None)

Defaults are the dialog's: width (N) 1000, thickness (D) 50, b 2.0, wind 5.0, q 1. width is
{0}, thickness and q {1}, b and wind finite reals. seed is {2}; None takes
one from the clock, which .seed tells. heights, unless None, is the profile to start from
instead of a flat one of thickness D: N + 1 integers, none below 0 (as kammelsim profile
--initial takes them). The same arguments and seed give, step for step, what kammelsim
profile gives.)";

constexpr const char* kChangeDoc = R"(change(*, b=None, wind=None, q=None)

Gives the model another b, wind or q (None: as it is) from the current {0} on, as
kammelsim resume --wind does: the statistics go on with them, and a checkpoint .save()
writes records the change in its history and its list of changes. Raises ValueError for a
value kammelsim refuses, and leaves the object as it was.)";

constexpr const char* kRunDoc = R"(Runs the given number of {1} more ({0}).

Other threads run on meanwhile (the GIL is released); another call on this object waits.
Ctrl+C stops the run at the end of the current {2} and raises KeyboardInterrupt; the object
holds every {2} that ended, and .{2} tells how many.)";

constexpr const char* kHeightsDoc = R"(The heights in grains as a new read-only int32 array: {0}.

A copy, made at each read: later runs do not change it, and writing to it fails instead of
silently leaving the model as it was. Use .heights.copy() for an array to change. A bed of more
than 2^22 cells or 2048 columns is not copied: the array is a read-only view onto the bed's own,
which later runs change, and which keeps the bed alive while it lives.)";

constexpr const char* kStatisticsDoc = R"(The ripple statistics of the current state, as a dict.

The keys are the columns of kammelsim's --stats file ('{0}' first) and the values those of
its row for this state: speed is measured against the state of the previous call (nan on the
first), as a file made with --speed-lag every measures each snapshot against the one before.
Undefined values are nan.
Calling again without running returns the same row.)";

constexpr const char* kPictureDoc =
    R"(The picture of the current state as kammelsim's --png draws it.

canvas is (width, height), each {1}.{0} Returns a uint8 array of shape
(height, width, 3), RGB: pixel for pixel the PNG kammelsim writes for the same run. The
same state always gives the same picture.)";

constexpr const char* kSaveDoc = R"(Writes the whole state to path as a kammelsim checkpoint.

`kammelsim resume PATH --{0} K` continues it to K {0} exactly as an uninterrupted run, and
kammel.load(path) gives back an object equal to this one. The file is written beside path
and renamed over it, so path never holds half a checkpoint. A file that exists already
(a stopped run's checkpoint, say, which alone ties that run to its outputs) is replaced only
with overwrite=True: FileExistsError otherwise. A checkpoint that a running kammelsim run or
resume holds is not written over, overwrite or not: BlockingIOError. OSError when it cannot be
written.)";

constexpr const char* kLoadDoc =
    R"(The Bed or Profile a checkpoint holds: one saved by .save() or written by kammelsim.

A runner's checkpoint comes back at the batch or step it was written at, with its seed and
generators, so running on gives what kammelsim resume gives; its output files are not
touched. ValueError for a file that is not a checkpoint, is damaged, or of a newer format;
OSError (FileNotFoundError, ...) for one that cannot be read.)";

constexpr const char* kStatisticsFunctionDoc =
    R"(The ripple statistics of heights alone, as `kammelsim stats` gives them.

heights is a profile's cells (1-D) or a bed's rows along the wind (2-D), as integers.
previous, heights of the same shape interval batches or steps earlier, gives speed. b, wind
and q are the run's (they give mean_jump and idle_fraction). Returns a dict with the column
names and values of kammelsim stats's row; sand_outside is nan, as nothing is known of the
sand beyond the heights.)";

std::string Format(const char* text, std::initializer_list<std::string_view> values) {
  std::string out;
  for (const char* c = text; *c; ++c) {
    if (c[0] == '{' && c[1] >= '0' && c[1] <= '9' && c[2] == '}') {
      out += values.begin()[c[1] - '0'];
      c += 2;
    } else {
      out += *c;
    }
  }
  return out;
}

// A str, bytes or path-like object as the file system's bytes; one with a NUL, which no file
// name holds, raises ValueError as open() does.
std::string Path(const py::object& path) {
  std::string bytes = py::bytes(py::module_::import("os").attr("fsencode")(path));
  if (bytes.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return bytes;
}

// The object self names, once it is known to have been built.
template <class Class>
Class& Built(Class& self) {
  if (!Simulation::Built(&self))
    throw py::type_error("this object was made without __init__; make it with its class");
  return self;
}

// The object a pickled state holds, which must be of the class it is unpickled as.
template <class Class>
std::unique_ptr<Class> Unpickled(const py::bytes& state) {
  std::unique_ptr<Simulation> object = kammelpy::FromState(state, "the pickled state");
  if (!dynamic_cast<Class*>(object.get()))
    throw py::value_error("the pickled state is of another class");
  return std::unique_ptr<Class>(static_cast<Class*>(object.release()));
}

// What the package's Python part builds on: the PNG for notebooks, the data file's layout for
// xarray, and the checkpoint's bytes for pickle, copy and processes.
template <class Class>
void BindExchange(py::class_<Class>& c) {
  c.def(
       "_png",
       [](Class& self, const py::object& canvas, const py::object& threshold) {
         return Built(self).Png(canvas, threshold);
       },
       py::arg("canvas"), py::arg("threshold") = py::none())
      .def("_data_file", [](Class& self) { return Built(self).DataFile(); })
      .def("_run_recorded",
           [](Class& self, const py::object& count, const py::dict& outputs) {
             Built(self).RunRecorded(count, outputs);
           })
      .def(py::pickle([](Class& self) { return Built(self).State(); }, &Unpickled<Class>));
}

template <class Class>
void BindShared(py::class_<Class>& c, const kammelsim::params::Option& total, std::string_view one,
                std::string_view shape) {
  const std::string_view unit = total.name;
  c.def(
       "run", [](Class& self, const py::object& count) { Built(self).Run(count); },
       py::arg(std::string(unit).c_str()) = 1,
       Format(kRunDoc, {kammelsim::params::Range(total), unit, one}).c_str())
      .def_property_readonly(
          "seed", [](const Class& self) { return Built(self).Seed(); },
          "The seed the run started from.")
      .def_property_readonly(
          "heights",
          [](const py::object& self) { return Built(self.cast<Class&>()).Heights(self); },
          Format(kHeightsDoc, {shape}).c_str())
      .def_property_readonly(
          "params", [](const Class& self) { return Built(self).Params(); },
          "The parameters, by the constructor's names, as a new dict.")
      .def(
          "statistics", [](Class& self) { return Built(self).Statistics(); },
          Format(kStatisticsDoc, {one}).c_str())
      .def(
          "save",
          [](Class& self, const py::object& path, bool overwrite) {
            Built(self).Save(Path(path), overwrite);
          },
          py::arg("path"), py::kw_only(), py::arg("overwrite") = false,
          Format(kSaveDoc, {unit}).c_str())
      .def(
          "change",
          [](Class& self, const py::object& b, const py::object& wind, const py::object& q) {
            Built(self).Change(b, wind, q);
          },
          py::kw_only(), py::arg("b") = py::none(), py::arg("wind") = py::none(),
          py::arg("q") = py::none(), Format(kChangeDoc, {one}).c_str())
      .def("__repr__", [](const Class& self) { return Built(self).Repr(); });
  BindExchange(c);
  // Every accessor takes the object by reference, never by pointer: an object made by __new__
  // without __init__ then raises, where a pointer would be null and crash the interpreter.
  c.def_property_readonly(
      std::string(one).c_str(), [](const Class& self) { return Built(self).Done(); },
      (std::string("How many ") + std::string(unit) +
       " have run, readable while a run goes on in another thread.")
          .c_str());
}

// The table's entries as dicts: what the tests check the signatures, docstrings and stub by.
py::list Entries(std::initializer_list<kammelsim::params::Table> tables) {
  py::list entries;
  for (const kammelsim::params::Table table : tables) {
    for (const kammelsim::params::Option& option : table) {
      py::dict entry;
      entry["name"] = std::string(option.name);
      entry["type"] = static_cast<int>(option.type);
      entry["min"] = option.min;
      entry["max"] = option.max;
      entry["unit"] = std::string(option.unit);
      entry["meaning"] = std::string(option.meaning);
      entries.append(entry);
    }
  }
  return entries;
}

// The options Python takes of each command's table: the model's own, its seed and canvas. A bed's
// are the open bed's, the widest: its schedule, and the length and width any bed may have.
py::dict Options() {
  namespace params = kammelsim::params;
  const std::array<params::Option, 2> run = {params::kSeed, params::kCanvas};
  py::dict options;
  options["Bed"] = Entries({params::BedOptions<model3d::OpenSettings>::own, run});
  options["Profile"] = Entries({params::ProfileOptions::own, run});
  options["statistics"] = Entries({params::StatsOptions::all});
  return options;
}

}  // namespace

PYBIND11_MODULE(_kammel, m) {
  m.doc() =
      "Wind-blown sand ripples after Nishimori's model: kammelsim's models, statistics, "
      "pictures and checkpoints, bit for bit.";
  kammelpy::NoteMainThread();
  m.attr("__version__") = std::string(kammelsim::Version());

  using kammelsim::params::Range;
  const std::string seed = Range(kammelsim::params::kSeed);
  const std::string sides = Range(kammelsim::params::kCanvas);
  const std::string bedDoc = Format(
      kBedDoc, {Range(Relief::length), Range(Map::length), Range(Relief::width), Range(Map::width),
                Range(Relief::height), seed, Range(Open::length), Range(Open::width)});
  py::class_<Bed> bed(m, "Bed", bedDoc.c_str());
  bed.def(
      py::init([](const py::object& settings, const py::object& length, const py::object& width,
                  const py::object& height, const py::object& b, const py::object& wind,
                  const py::object& q, const py::object& ties, const py::object& periodic,
                  const py::object& schedule, const py::object& seed, const py::object& heights) {
        return Bed::Make(settings, length, width, height, b, wind, q, ties, periodic, schedule,
                         seed, heights);
      }),
      py::arg("settings") = "relief", py::kw_only(), py::arg("length") = py::none(),
      py::arg("width") = py::none(), py::arg("height") = py::none(), py::arg("b") = py::none(),
      py::arg("wind") = py::none(), py::arg("q") = py::none(), py::arg("ties") = py::none(),
      py::arg("periodic") = py::none(), py::arg("schedule") = py::none(),
      py::arg("seed") = py::none(), py::arg("heights") = py::none());
  BindShared(bed, Relief::batches, "batch", "rows 0..L along the wind by columns 0..W across it");
  bed.def(
      "picture",
      [](Bed& self, const py::object& canvas, const py::object& threshold) {
        return Built(self).Picture(canvas, threshold);
      },
      py::arg("canvas") = py::make_tuple(800, 600), py::arg("threshold") = py::none(),
      Format(kPictureDoc,
             {" threshold (settings 'map' and 'open') is the height drawn bright; height + 1 "
              "unless given. An open bed is drawn from above as the map, scaled to the canvas: "
              "each pixel shows the cell the map's drawing leaves there.",
              sides})
          .c_str());

  const std::string profileDoc =
      Format(kProfileDoc, {Range(ProfileTable::width), Range(ProfileTable::thickness), seed});
  py::class_<Profile> profile(m, "Profile", profileDoc.c_str());
  profile.def(py::init([](const py::object& width, const py::object& thickness, const py::object& b,
                          const py::object& wind, const py::object& q, const py::object& seed,
                          const py::object& heights) {
                return Profile::Make(width, thickness, b, wind, q, seed, heights);
              }),
              py::kw_only(), py::arg("width") = py::none(), py::arg("thickness") = py::none(),
              py::arg("b") = py::none(), py::arg("wind") = py::none(), py::arg("q") = py::none(),
              py::arg("seed") = py::none(), py::arg("heights") = py::none());
  BindShared(profile, ProfileTable::steps, "step", "cells 0..N along the wind");
  profile.def(
      "picture",
      [](Profile& self, const py::object& canvas) {
        return Built(self).Picture(canvas, py::none());
      },
      py::arg("canvas") = py::make_tuple(800, 600), Format(kPictureDoc, {"", sides}).c_str());

  m.def(
      "load",
      [](const py::object& path) -> py::object {
        std::unique_ptr<Simulation> loaded = kammelpy::Load(Path(path));
        if (dynamic_cast<Bed*>(loaded.get()))
          return py::cast(std::unique_ptr<Bed>(static_cast<Bed*>(loaded.release())));
        return py::cast(std::unique_ptr<Profile>(static_cast<Profile*>(loaded.release())));
      },
      py::arg("path"), kLoadDoc);
  m.def("statistics", &kammelpy::HeightStatistics, py::arg("heights"),
        py::arg("previous") = py::none(), py::arg("interval") = 1, py::arg("b") = 2.0,
        py::arg("wind") = 5.0, py::arg("q") = 1, kStatisticsFunctionDoc);
  m.def("_checkpoint",
        [](const py::object& path) { return kammelpy::CheckpointRecord(Path(path)); });
  m.attr("_options") = Options();
}
