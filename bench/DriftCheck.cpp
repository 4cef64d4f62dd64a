// How far the sand of the map bed drifts across the wind: the column centroid every so many
// batches, for the programs' creep and for each variant. Usage: kammel_drift [batches] [seed].
#include <cstdio>
#include <cstdlib>

#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace {

using model3d::CreepVariant;
using model3d::TieRule;

double Centroid(const model3d::BedState<model3d::MapSettings>& bed) {
  double sum = 0, moment = 0;
  for (int j = 0; j <= bed.params.layerWidth; ++j) {
    for (int i = 0; i <= bed.params.layerLength; ++i) {
      sum += bed.grid.at(i, j);
      moment += static_cast<double>(j) * bed.grid.at(i, j);
    }
  }
  return moment / sum;
}

}  // namespace

int main(int argc, char** argv) {
  const int batches = argc > 1 ? std::atoi(argv[1]) : 3000;
  const auto seed = static_cast<std::uint32_t>(argc > 2 ? std::atol(argv[2]) : 1);
  const struct {
    const char* name;
    CreepVariant variant;
  } variants[] = {{"programs", {}},
                  {"random", {TieRule::random, false}},
                  {"alternating", {TieRule::alternating, false}},
                  {"periodic", {TieRule::firstInOrder, true}},
                  {"random+periodic", {TieRule::random, true}},
                  {"alternating+periodic", {TieRule::alternating, true}}};
  for (const auto& v : variants) {
    const auto bed = scenarios::MakeBed<model3d::MapSettings>(scenarios::kMapDefaults, seed);
    bed->variant = v.variant;
    std::printf("%-22s", v.name);
    for (int k = 1; k <= batches; ++k) {
      model3d::RunBatch(*bed);
      if (k % (batches / 10) == 0) std::printf(" %6.2f", Centroid(*bed));
    }
    std::printf("   (centre %.1f)\n", bed->params.layerWidth / 2.0);
    std::fflush(stdout);
  }
}
