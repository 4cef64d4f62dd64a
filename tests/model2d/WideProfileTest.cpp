// Profiles wider than the program's table, on the heap: against the literal rules, against the
// table's own profile, and their limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"
#include "tests/model2d/ReferenceProfile.h"

namespace {

using model2d::ProfileParams;
using model2d::ProfileState;

std::unique_ptr<ProfileState> WideProfile(const ProfileParams& p, std::uint32_t seed) {
  auto state = std::make_unique<ProfileState>();
  state->params = p;
  if (!model2d::WidenProfile(*state)) return nullptr;
  model2d::InitRippleProfile(*state);
  state->random.state = seed;
  return state;
}

std::vector<std::int64_t> Cells(const ProfileState& state) {
  const std::int32_t* cells = model2d::ProfileCells(state);
  return {cells, cells + model2d::MaxProfileWidth(state) + 3};
}

TEST(WideProfile, AgreesWithTheLiteralRules) {
  struct Run {
    ProfileParams params;
    std::uint32_t seed;
  };
  const Run runs[] = {{{30000, 50, 2.0, 5.0, 1}, 1},
                      {{12345, 20, -1.5, 2.0, 1}, 2},     // upwind, into the guard cell
                      {{20000, 40, 2.0, 30000.0, 2}, 3},  // jumps off the high end
                      {{3, 9, 0.5, 0.0, 0}, 4}};
  for (const Run& run : runs) {
    const auto model = WideProfile(run.params, run.seed);
    ASSERT_NE(model, nullptr);
    reference::Profile ref(run.params, run.params.layerWidth);
    ref.random.state = run.seed;
    for (int k = 0; k < 2; ++k) {
      model2d::RunProfileStep(*model);
      ref.Step();
    }
    EXPECT_EQ(model->random.state, ref.random.state);
    EXPECT_TRUE(Cells(*model) == ref.cells_) << run.seed;
  }
}

TEST(WideProfile, RunsAsTheTableOfTheSameWidth) {
  const auto wide = WideProfile(scenarios::kWidestProfile, 9);
  const auto table = scenarios::MakeProfile(scenarios::kWidestProfile, 9);
  for (int k = 0; k < 3; ++k) {
    model2d::RunProfileStep(*wide);
    model2d::RunProfileStep(*table);
  }
  EXPECT_EQ(wide->random.state, table->random.state);
  const std::int32_t* cells = table->profile.cells;
  EXPECT_TRUE(Cells(*wide) == std::vector<std::int64_t>(cells, cells + 10003));
}

TEST(WideProfile, AMillionCellsKeepTheirSand) {
  const auto state = WideProfile({1'000'000, 50, 2.0, 5.0, 1}, 5);
  ASSERT_NE(state, nullptr);
  model2d::RunProfileStep(*state);
  const std::int32_t* cells = model2d::ProfileCells(*state);
  EXPECT_EQ(std::accumulate(cells, cells + 1'000'003, std::int64_t{0}), 1'000'001 * 50);
  EXPECT_EQ(model2d::ProfileWidth(*state), 1'000'000);
}

TEST(WideProfile, RefusesWidthsOutOfRangeAndKeepsTheTable) {
  for (const std::int32_t N : {0, -4, model2d::kMaxWideProfileWidth + 1}) {
    ProfileState state;
    state.params = {N, 50, 2.0, 5.0, 1};
    EXPECT_FALSE(model2d::WidenProfile(state)) << N;
    EXPECT_EQ(model2d::MaxProfileWidth(state), model2d::kMaxProfileWidth);
  }
}

}  // namespace
