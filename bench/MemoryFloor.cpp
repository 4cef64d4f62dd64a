// What a random cell costs when the bed is larger than the caches: a loop that does nothing but
// add to one, two or three random cache lines per random number, asked for as far ahead as the
// creep events ask, in nanoseconds per number. Beside the models' figures it tells how much of
// a large bed's time is the memory's own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <sys/mman.h>

#include "bench/PerNumber.h"
#include "common/Random.h"

namespace {

constexpr std::int32_t kBlock = 1024;  // states drawn at once, as the models draw them
constexpr std::int32_t kBlocksPerIteration = 256;
// The lines of one number lie a column of the 16,000 x 8,000 bed apart, as a creep event's.
constexpr std::int64_t kLineApart = 16004;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

struct FreeCells {
  void operator()(std::int32_t* p) const { std::free(p); }
};

// Zeroed, on huge pages where the system gives them, as an open bed's heights.
std::unique_ptr<std::int32_t[], FreeCells> HugeCells(std::int64_t cells) {
  const std::size_t bytes = (cells * sizeof(std::int32_t) + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, bytes);
  if (p == nullptr) return nullptr;
  madvise(p, bytes, MADV_HUGEPAGE);
  std::memset(p, 0, bytes);
  return std::unique_ptr<std::int32_t[], FreeCells>(static_cast<std::int32_t*>(p));
}

// Arguments: lines per number, the array's size in KB, and how many numbers ahead their lines
// are asked for (32 as in the creep kernels).
void MemoryFloor(benchmark::State& state) {
  const auto lines = static_cast<std::int32_t>(state.range(0));
  const std::int64_t count = state.range(1) * 1024 / 4;
  const auto ahead = static_cast<std::int32_t>(state.range(2));
  const auto cells = HugeCells(count);
  if (!cells) {
    state.SkipWithError("no memory for the array");
    return;
  }
  // Lines a column apart need an array of several columns; a small one takes its lines side by
  // side.
  const std::int64_t apart = count > 64 * kLineApart ? kLineApart : 16;
  const auto span = static_cast<std::uint64_t>(count - lines * apart);
  std::int32_t* const h = cells.get();
  common::Random random{bench::kSeed};
  std::uint32_t sites[kBlock];
  const auto ask = [&](std::int32_t n) {
    for (std::int32_t j = 0; j < lines; ++j)
      __builtin_prefetch(h + sites[n] + j * apart, 1);
  };
  for (auto _ : state) {
    for (std::int32_t block = 0; block < kBlocksPerIteration; ++block) {
      common::DrawStates(random, sites, kBlock);
      for (std::int32_t n = 0; n < kBlock; ++n)
        sites[n] = static_cast<std::uint32_t>((sites[n] * span) >> 32);
      for (std::int32_t n = 0; n < ahead; ++n)
        ask(n);
      for (std::int32_t n = 0; n < kBlock; ++n) {
        if (n + ahead < kBlock) ask(n + ahead);
        for (std::int32_t j = 0; j < lines; ++j)
          ++h[sites[n] + j * apart];
      }
    }
    benchmark::ClobberMemory();
  }
  bench::ReportPerNumber(state, std::int64_t{kBlock} * kBlocksPerIteration);
}

}  // namespace

// 512 MB, the 16,000 x 8,000 bed's heights; 2 MB, the largest map bed's; 4 MB and 40 KB, the
// million-cell and the widest profile's. A longer reach shows whether asking further ahead
// would pay.
BENCHMARK(MemoryFloor)
    ->ArgNames({"lines", "KB", "ahead"})
    ->Args({1, 512 << 10, 32})
    ->Args({2, 512 << 10, 32})
    ->Args({3, 512 << 10, 32})
    ->Args({1, 512 << 10, 128})
    ->Args({3, 512 << 10, 128})
    ->Args({1, 2 << 10, 32})
    ->Args({3, 2 << 10, 32})
    ->Args({1, 4 << 10, 32})
    ->Args({1, 40, 32})
    ->Unit(benchmark::kMillisecond);
