// Counted names for the parser's unit tests: the length byte (characters
// + 2), the characters, a NUL.
#pragma once

#include <cstring>
#include <string>
#include <vector>

inline std::vector<unsigned char> counted(const std::string& s) {
  std::vector<unsigned char> v(s.size() + 2);
  v[0] = static_cast<unsigned char>(s.size() + 2);
  std::memcpy(v.data() + 1, s.data(), s.size());
  return v;
}
