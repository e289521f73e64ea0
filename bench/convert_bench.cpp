// Speed of the two in-place point rewrites of a download: the AWG2021 word
// conversion and the byte swap of BINARY sources, each next to memcpy of the
// same buffer in the same run (the memory bandwidth it cannot beat).
//
//   convert_bench [--mb SIZE] [--runs N]
// Prints one line per figure, "name|MB/s": memcpy, awg, swap.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <span>
#include <vector>

#include "download/commands.h"
#include "sources/awg2021.h"

namespace {

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The best of `runs` in processor time: the steadier figure on a machine
// shared with other work (the program is single-threaded, so on an idle
// machine it equals wall-clock time).
double best_seconds(int runs, const std::function<void()> &f) {
  double best = 1e99;
  for (int r = 0; r < runs; ++r) {
    const double t0 = cpu_seconds();
    f();
    best = std::min(best, cpu_seconds() - t0);
  }
  return best;
}

volatile std::int16_t sink;

}  // namespace

int main(int argc, char **argv) {
  long long mb = 64;
  int runs = 5;
  for (int a = 1; a + 1 < argc; a += 2) {
    if (!std::strcmp(argv[a], "--mb")) mb = std::atoll(argv[a + 1]);
    else if (!std::strcmp(argv[a], "--runs")) runs = std::atoi(argv[a + 1]);
  }
  const auto points = static_cast<std::size_t>(mb) * 1024 * 1024 / 2;
  const double bytes = static_cast<double>(points) * 2;
  std::vector<std::int16_t> buffer(points), copy(points);
  std::mt19937 rng(4711);
  for (auto &v : buffer) v = static_cast<std::int16_t>(rng());
  // Touch the target once so that page faults are not measured.
  std::memcpy(copy.data(), buffer.data(), points * 2);

  const double t_memcpy = best_seconds(runs, [&] {
    std::memcpy(copy.data(), buffer.data(), points * 2);
    sink = copy[points / 2];
  });
  // The conversion is done again on the converted buffer each run: every
  // word is valid input, so the work is the same.
  const double t_awg = best_seconds(runs, [&] {
    talmer::sources::convert_awg_words(buffer.data(), static_cast<std::int64_t>(points), true);
    sink = buffer[points / 2];
  });
  const double t_swap = best_seconds(runs, [&] {
    talmer::download::swap_pairs(std::span<std::int16_t>(buffer));
    sink = buffer[points / 2];
  });
  std::printf("memcpy|%.0f\n", bytes / t_memcpy / 1e6);
  std::printf("awg|%.0f\n", bytes / t_awg / 1e6);
  std::printf("swap|%.0f\n", bytes / t_swap / 1e6);
  return 0;
}
