// Fixed-point number texts with trailing zeros trimmed.
#include <cstdio>

#include "util/util.h"

void format_double_trim(double x, int decimals, std::string& out) {
  // 340 decimals show every digit a double can have after the point.
  if (decimals < 0) decimals = 0;
  if (decimals > 340) decimals = 340;
  const int n = snprintf(nullptr, 0, "%.*f", decimals, x);
  out.assign(static_cast<size_t>(n > 0 ? n : 0), '\0');
  snprintf(out.data(), out.size() + 1, "%.*f", decimals, x);
  if (decimals <= 0 || out.find('.') == std::string::npos) return;
  const size_t last = out.find_last_not_of('0');
  out.erase(last + 1);
  if (out.back() == '.') out += '0';
}

void format_double3(double x, double y, double z, int decimals, std::string& out) {
  std::string b, c;
  format_double_trim(x, decimals, out);
  format_double_trim(y, decimals, b);
  format_double_trim(z, decimals, c);
  out += ' ';
  out += b;
  out += ' ';
  out += c;
}
