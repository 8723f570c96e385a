// An independent, plainly written computation of the index file of a text,
// straight from the rules: the built-in character map, blank collapsing,
// the end padding, the word-start rule of the built-in WordStarters, stop
// words (as strings, not masks), the order by the first 400 characters and
// then the position, the scrambled words and the header. One pass over the
// whole text, one byte at a time, no memory limit: what a build must give
// whatever its budget.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ref {

enum Map { BASIC = 0, NONE = 1, ISOLATIN = 2, SGML = 3 };

inline unsigned char map_byte(int base, unsigned char b) {
  if (base == NONE) return b;
  unsigned char m = 0;
  if (b < 128) {
    if (b >= 'A' && b <= 'Z') m = static_cast<unsigned char>(b - 'A' + 'a');
    else if (b >= 32 && b <= 126) m = b;
    const char* blanks = "!@#$%^&*()_+~|-<=>\\`{}[]:\";'?,./\r\n\t\b";
    if (b != 0 && std::strchr(blanks, b) != nullptr) m = ' ';
  }
  if (base == ISOLATIN) {
    const char* folds[] = {"a\xC0\xC1\xC2\xC3\xC4\xC5\xE0\xE1\xE2\xE3\xE4\xE5", "c\xC7\xE7",
                           "e\xC8\xC9\xCA\xCB\xE8\xE9\xEA\xEB", "i\xCC\xCD\xCE\xCF\xEC\xED\xEE\xEF",
                           "n\xD1\xF1", "o\xD2\xD3\xD4\xD5\xD6\xD8\xF2\xF3\xF4\xF5\xF6\xF8",
                           "u\xD9\xDA\xDB\xDC\xF9\xFA\xFB\xFC", "y\xDD\xFD\xFF", "s\xDF"};
    for (const char* f : folds) {
      for (const char* q = f + 1; *q != '\0'; ++q) {
        if (static_cast<unsigned char>(*q) == b) m = static_cast<unsigned char>(f[0]);
      }
    }
  }
  if (base == SGML && (b == '<' || b == '/')) m = b;
  return m;
}

inline bool iso_printable(unsigned char c) { return (c >= 33 && c <= 126) || c >= 161; }

// The built-in WordStarters: " &ISO_printable." for every map; sgml adds
// "&gt.&ISO_printable." and "&ISO_printable.&lt.", none "&newline.&ISO_printable.".
inline bool starts_point(int base, unsigned char p, unsigned char c) {
  if (p == ' ' && iso_printable(c)) return true;
  if (base == SGML && ((p == '>' && iso_printable(c)) || (iso_printable(p) && c == '<'))) return true;
  return base == NONE && p == '\n' && iso_printable(c);
}

struct Scan {
  std::string buffer;  // byte 0 is the blank before the text
  std::vector<std::pair<size_t, int64_t>> points;  // buffer offset, position
};

// Where the points may lie: with `chosen` (an index-points file) exactly
// at the positions it names instead of the word starts; with `regions`
// (1-based inclusive pairs) only inside one of them. The text's first byte
// is position offset + 1.
struct Limits {
  const std::set<int64_t>* chosen = nullptr;
  const std::vector<std::pair<int64_t, int64_t>>* regions = nullptr;
  int64_t offset = 0;
};

inline bool inside(const Limits& l, int64_t pos) {
  if (l.regions == nullptr) return true;
  for (const auto& r : *l.regions) {
    if (r.first <= pos && pos <= r.second) return true;
  }
  return false;
}

inline Scan scan(const std::string& text, int base, const std::vector<std::string>& stop_words,
                 const Limits& limits = {}) {
  const std::set<int64_t>* chosen = limits.chosen;
  Scan s;
  s.buffer = " ";
  bool after_blank = true;
  int64_t pos = limits.offset;
  const int64_t size = static_cast<int64_t>(text.size()) + limits.offset;
  bool checking = false;
  std::vector<bool> alive;
  size_t row = 0, check_off = 0;
  size_t next = 0;
  int pad = -1;
  for (;;) {
    unsigned char c = 0;
    if (pad < 0) {
      for (; next < text.size(); ++next) {
        const unsigned char m = map_byte(base, static_cast<unsigned char>(text[next]));
        if (m == 0 || (after_blank && m == ' ')) {
          ++pos;
          continue;
        }
        c = m;
        after_blank = m == ' ';
        ++pos;
        ++next;
        break;
      }
      if (c == 0) pad = after_blank ? 1 : 0;
    }
    bool last = false;
    if (pad >= 0) {
      c = (pad % 2 == 1) ? 'z' : ' ';
      ++pos;
      ++pad;
      last = c == 'z' && pad > 1000;
    }
    const bool start = chosen != nullptr ? chosen->count(pos) > 0
                                         : starts_point(base, static_cast<unsigned char>(s.buffer.back()), c);
    if (start && pos <= size && inside(limits, pos)) {
      s.points.push_back({s.buffer.size(), pos});
      checking = true;
      alive.assign(stop_words.size(), true);
      row = 0;
      check_off = s.buffer.size();
    }
    s.buffer.push_back(static_cast<char>(c));
    if (checking) {
      bool any = false;
      for (size_t k = 0; k < stop_words.size(); ++k) {
        const std::string& w = stop_words[k];
        alive[k] = alive[k] && ((row < w.size() && static_cast<unsigned char>(w[row]) == c) ||
                                (row == w.size() && c == ' '));
        any = any || alive[k];
      }
      if (row == 0 && c == ' ') any = true;  // a point at a blank never stays
      ++row;
      if (c == ' ' && any) {
        s.buffer.resize(check_off);
        if (s.buffer.back() != ' ') s.buffer.push_back(' ');
        s.points.pop_back();
        any = false;
      }
      checking = any;
    }
    if (last) break;
  }
  return s;
}

// The index file's bytes.
inline std::string index_file(const std::string& text, int base,
                              const std::vector<std::string>& stop_words = {},
                              const Limits& limits = {}) {
  Scan s = scan(text, base, stop_words, limits);
  const std::string& b = s.buffer;
  std::sort(s.points.begin(), s.points.end(), [&b](const auto& x, const auto& y) {
    const int c = b.compare(x.first, 400, b, y.first, 400);
    return c != 0 ? c < 0 : x.first < y.first;
  });
  std::string out(512, '\0');
  const uint32_t header[8] = {0, 0x01020304u, 1, 0, 1, 50300, 0, 0x0A0D0A00u};
  std::memcpy(out.data(), header, sizeof header);
  for (const auto& p : s.points) {
    const uint32_t w = static_cast<uint32_t>(p.second - 1) * 583201977u;
    out.append(reinterpret_cast<const char*>(&w), 4);
  }
  return out;
}

}  // namespace ref
