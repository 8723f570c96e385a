// The quicksorts' order (equal keys included), worked out by hand from the
// partition steps, and the random generator's sequence.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "util/util.h"

namespace {

std::string order_of(const std::vector<SortIntPair>& v) {
  std::string s;
  for (const SortIntPair& p : v) s += static_cast<char>(p.first);
  return s;
}

TEST(Quicksort, IntPairsEqualKeysInThePartitionOrder) {
  struct Case {
    std::vector<SortIntPair> in;
    const char* want;
  };
  const Case cases[] = {
      {{{'a', 2}, {'b', 1}, {'c', 2}}, "bca"},
      {{{'a', 5}, {'b', 5}, {'c', 5}}, "cba"},
      {{{'a', 3}, {'b', 1}, {'c', 2}}, "bca"},
      // lo=0: swap 0,2 -> c b a d; pivot c(1): j stops at 0; then [1,3]:
      // swap 1,3 -> c d a b; pivot d(2): i to 3; then [1,2] swaps d,a.
      {{{'a', 1}, {'b', 2}, {'c', 1}, {'d', 2}}, "cadb"},
      {{{'a', -4}, {'b', 7}, {'c', -4}}, "cab"},
      // After the first swap c(0) stands at lo and is the pivot; a saved
      // copy of a's key would give "bca" and "cba" here.
      {{{'a', 1}, {'b', 0}, {'c', 0}}, "cba"},
      {{{'a', 2}, {'b', 2}, {'c', 1}}, "cab"},
      {{{'a', 9}}, "a"},
  };
  for (const Case& c : cases) {
    std::vector<SortIntPair> v = c.in;
    qsort_by_int(v.data(), 0, static_cast<int>(v.size()) - 1);
    EXPECT_EQ(order_of(v), c.want);
  }
  std::vector<SortIntPair> empty;
  qsort_by_int(empty.data(), 0, -1);
}

TEST(Quicksort, SubrangeLeavesTheRestAlone) {
  std::vector<SortIntPair> v = {{'x', 0}, {'a', 3}, {'b', 1}, {'y', -1}};
  qsort_by_int(v.data(), 1, 2);
  EXPECT_EQ(order_of(v), "xbay");
}

TEST(Quicksort, StringPairsByteOrder) {
  char pear[] = "pear", apple[] = "apple", pear2[] = "pear", fig[] = "fig", upper[] = "Zed";
  std::vector<SortStrPair> v = {{1, pear}, {2, apple}, {3, pear2}, {4, fig}};
  qsort_by_string(v.data(), 0, 3);
  // swap 0,3 -> fig apple pear pear(1); pivot fig: i to 2, j to 1; then
  // [0,1] swaps fig,apple and [2,3] swaps the two pears.
  const int32_t want[] = {2, 4, 1, 3};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(v[k].word, want[k]);
  std::vector<SortStrPair> w = {{1, apple}, {2, upper}};
  qsort_by_string(w.data(), 0, 1);
  EXPECT_EQ(w[0].word, 2);  // "Z" sorts before "a"
}

TEST(Quicksort, DoubleRecords) {
  std::vector<SortDoubleRec> v = {{1, 0.5}, {2, -1.0}, {3, 0.5}, {4, 0.25}, {5, -1.0}};
  qsort_by_double(v.data(), 0, 4);
  // Worked out step by step: 5 2 4 1 3.
  const int32_t want[] = {5, 2, 4, 1, 3};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(v[k].id, want[k]) << k;
}

TEST(Quicksort, LargeInputsEndSorted) {
  std::vector<SortIntPair> v;
  for (int k = 0; k < 4000; ++k) v.push_back({k, k});  // already sorted
  qsort_by_int(v.data(), 0, static_cast<int>(v.size()) - 1);
  for (int k = 0; k < 4000; ++k) ASSERT_EQ(v[k].first, k);
  int32_t state = 7;
  for (SortIntPair& p : v) p.key = static_cast<int32_t>(rand_uniform(&state) * 1000) - 500;
  qsort_by_int(v.data(), 0, static_cast<int>(v.size()) - 1);
  for (size_t k = 1; k < v.size(); ++k) ASSERT_LE(v[k - 1].key, v[k].key);
}

TEST(Random, UniformSequenceFromState0) {
  // state := (state * 843314861 + 453816693) mod 2^31, computed exactly
  // elsewhere; each deviate is the state times 4.656612e-10.
  const int32_t states[] = {453816693, 1623591814, 474883, 709372028, 1428895041};
  int32_t state = 0;
  for (int32_t s : states) {
    const double u = rand_uniform(&state);
    EXPECT_EQ(state, s);
    EXPECT_EQ(u, s * 4.656612e-10);
  }
  EXPECT_DOUBLE_EQ(453816693 * 4.656612e-10, 0.2113248258424116);
  // The product wraps modulo 2^32 from any starting state.
  state = 2147483647;
  rand_uniform(&state);
  EXPECT_EQ(state, 1757985480);
  state = 12345;
  rand_uniform(&state);
  EXPECT_EQ(state, 175050234);
}

TEST(Random, DeviatesAreBuiltFromUniforms) {
  int32_t a = 99, b = 99;
  double sum = 0;
  for (int k = 0; k < 12; ++k) sum += rand_uniform(&b);
  EXPECT_DOUBLE_EQ(rand_normal(&a, 10, 2), (sum - 6) * 2 + 10);
  EXPECT_EQ(a, b);

  a = b = 5;
  EXPECT_DOUBLE_EQ(rand_exponential(&a, 3), -3 * std::log(rand_uniform(&b)));

  // Poisson: multiply deviates until the product falls below exp(-lambda).
  a = b = 0;
  const double limit = std::exp(-2.0);
  double p = rand_uniform(&b);
  int32_t k = 0;
  while (p >= limit) {
    p *= rand_uniform(&b);
    ++k;
  }
  EXPECT_EQ(rand_poisson(&a, 2.0), k);
  EXPECT_EQ(a, b);
}

TEST(Random, GuardedCornersStayFinite) {
  // The state before 0 solves s * 843314861 + 453816693 = 0 (mod 2^31);
  // from it the next deviate is exactly 0.
  int32_t state = 1093556503;
  ASSERT_EQ((1093556503ULL * 843314861ULL + 453816693ULL) % (1ULL << 31), 0u);
  int32_t copy = state;
  ASSERT_EQ(rand_uniform(&copy), 0.0);
  const double e = rand_exponential(&state, 1.0);
  EXPECT_TRUE(std::isfinite(e));
  EXPECT_DOUBLE_EQ(e, -std::log(4.656612e-10));

  state = 1;
  const int32_t big = rand_poisson(&state, 1000.0);  // exp(-1000) underflows
  EXPECT_GT(big, 800);
  EXPECT_LT(big, 1200);
  EXPECT_EQ(rand_poisson(&state, 0.0), 0);
  EXPECT_EQ(rand_poisson(&state, -3.0), 0);
  EXPECT_EQ(rand_poisson(&state, NAN), 0);
}

}  // namespace
