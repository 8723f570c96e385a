// The seeded linear congruential generator and the deviates built on it.
// The state is advanced in unsigned 32-bit arithmetic (the product wraps
// modulo 2^32 before the reduction modulo 2^31).
#include <cmath>

#include "util/util.h"

namespace {

// The scale of the generator as written in decimal (not exactly 2^-31).
const double kScale = 4.656612e-10;
// Beyond this mean the Poisson loop would take unreasonably many steps.
const double kPoissonMaxLambda = 1e8;

}  // namespace

double rand_uniform(int32_t* state) {
  const uint32_t s = static_cast<uint32_t>(*state) * 843314861u + 453816693u;
  *state = static_cast<int32_t>(s & 0x7fffffffu);
  return *state * kScale;
}

double rand_normal(int32_t* state, double mean, double sd) {
  double sum = 0;
  for (int k = 0; k < 12; ++k) sum += rand_uniform(state);
  return (sum - 6) * sd + mean;
}

double rand_exponential(int32_t* state, double mean) {
  double u = rand_uniform(state);
  if (u == 0) u = kScale;  // ln(0) would give an infinite deviate
  return -mean * std::log(u);
}

int32_t rand_poisson(int32_t* state, double lambda) {
  if (!(lambda > 0)) return 0;
  if (lambda > kPoissonMaxLambda) lambda = kPoissonMaxLambda;
  const double limit = std::exp(-lambda);
  int32_t k = 0;
  if (limit > 0) {
    double p = rand_uniform(state);
    while (p >= limit) {
      p *= rand_uniform(state);
      ++k;
    }
    return k;
  }
  // exp(-lambda) underflows to 0, where the product would reach 0 and the
  // loop would never end: compare the sum of logarithms with -lambda instead
  // (ln 0 = -inf ends the loop).
  double log_p = std::log(rand_uniform(state));
  while (log_p >= -lambda) {
    log_p += std::log(rand_uniform(state));
    ++k;
  }
  return k;
}
