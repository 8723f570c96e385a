// Helpers of the data-dictionary tests: the shared scratch helpers and the
// path of a dictionary under tests/fixtures/dd.
#pragma once

#include <string>

#include "support/scratch.h"

inline std::string fixture(const char* name) {
  return std::string(VQ_FIXTURES) + "/dd/" + name;
}
