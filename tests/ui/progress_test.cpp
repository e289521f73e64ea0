// The progress of a transfer, as the window's bar shows it.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "ui/progress.h"

using talmer::ui::progress;

TEST(progress, permille_stays_within_0_to_1000_also_for_huge_counts) {
  constexpr std::int64_t big = std::numeric_limits<std::int64_t>::max();
  struct row {
    std::int64_t done, total;
    int permille;
  } rows[] = {{0, 0, 0}, {5, 0, 0}, {0, 10, 0}, {1, 2, 500}, {10, 10, 1000}, {11, 10, 1000},
              {-1, 10, 0}, {big / 2, big, 500}, {big - 1, big, 999}};
  for (const row &r : rows) EXPECT_EQ(progress::permille_of(r.done, r.total), r.permille) << r.done << "/" << r.total;
}

TEST(progress, observers_see_start_visible_steps_and_finish) {
  progress p;
  std::vector<std::int64_t> seen;
  int token = p.observe([&](const progress &q) { seen.push_back(q.active() ? q.done() : -1); });
  p.advance(5);  // not started: nothing
  p.start(100);
  p.advance(40);
  p.advance(40);  // no change: nothing
  p.advance(500); // kept at the total
  p.finish();
  p.finish();
  EXPECT_EQ(seen, (std::vector<std::int64_t>{0, 40, 100, -1}));
  p.unobserve(token);
  p.start(1);
  EXPECT_EQ(seen.size(), 4u);
}
