// The bounded record of passes the end-of-run checks fit.

#include "run/pass_samples.h"

#include <cmath>

#include <gtest/gtest.h>

namespace torvex {
namespace {

TEST(PassSamples, KeepsEveryPassUntilFullThenEvenlySpacedPassesAndAlwaysTheLatest) {
  PassSamples few(8);
  for (int k = 0; k < 7; ++k) few.add(k, 10.0 * k, 100.0 * k);
  ASSERT_EQ(few.size(), 7u);
  EXPECT_EQ(few.times(), (std::vector<double>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(few.shifts()[3], 30.0);
  EXPECT_EQ(few.thickness()[6], 600.0);

  // Pass k at time k: a million passes stay within the capacity, start with
  // the first pass, step evenly in pass count and end with the latest.
  PassSamples many(8);
  for (int k = 0; k < 1000000; ++k) {
    many.add(k, -k, 2.0 * k);
    ASSERT_LE(many.size(), 9u);
    ASSERT_EQ(many.times().back(), k);
  }
  const std::vector<double> times = many.times();
  ASSERT_GE(times.size(), 4u);
  EXPECT_EQ(times.front(), 0.0);
  EXPECT_EQ(many.firstTime(), 0.0);
  const double stride = times[1] - times[0];
  for (std::size_t k = 1; k + 1 < times.size(); ++k) EXPECT_EQ(times[k] - times[k - 1], stride) << k;
  EXPECT_LE(times.back() - times[times.size() - 2], stride);
  // The samples reach past the first half of the run: a fit over the second
  // half of the record has points to fit.
  EXPECT_GT(times[times.size() / 2], 1000000 / 4);
  EXPECT_EQ(many.shifts().back(), -999999.0);
  EXPECT_EQ(many.passes(), 1000000u);

  many.clear();
  EXPECT_TRUE(many.empty());
  EXPECT_TRUE(std::isnan(many.firstTime()));
  many.add(5, 0, 0);
  EXPECT_EQ(many.times(), std::vector<double>{5});
}

}  // namespace
}  // namespace torvex
