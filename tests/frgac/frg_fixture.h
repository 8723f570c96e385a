// Builds fragmented texts on disk for the tests and the benchmark, written
// here from the directory-file layout (not with the reader's code): a
// logical text, its physical text with junk between the pieces (so each
// piece has its own delta), the fragment files and the directory file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace frgfix {

// A word in the chosen byte order: little-endian, or big-endian for a file
// written on a machine of the other byte order.
inline void put_word(std::string& bytes, size_t offset, int32_t value, bool big_endian) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    int shift = big_endian ? 24 - 8 * i : 8 * i;
    bytes[offset + i] = static_cast<char>((v >> shift) & 0xFF);
  }
}

inline std::string random_bytes(size_t n, std::mt19937& rng) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i += 4) {
    uint32_t r = rng();
    for (size_t k = i; k < i + 4 && k < n; ++k, r >>= 8) s[k] = static_cast<char>(r & 0xFF);
  }
  return s;
}

struct Text {
  std::string logical;                         // logical address a is logical[a - 1]
  std::string physical;                        // physical address p is physical[p]
  std::vector<std::pair<int32_t, int32_t>> a;  // table A {position, delta}, closing pair last
  std::vector<int64_t> physical_of;            // physical address of a, for a = 1 .. L + 1
};

// A logical text of length L cut into pieces of 1 to max_piece bytes, each
// laid into the physical text after 0 to 3 junk bytes. physical_of is
// filled only when asked (it takes 8 bytes an address).
inline Text make_text(size_t length, size_t max_piece, uint32_t seed, bool addresses = true) {
  std::mt19937 rng(seed);
  Text t;
  t.logical = random_bytes(length, rng);
  t.physical_of.push_back(-1);  // no address 0
  size_t a = 1;
  while (a <= length) {
    size_t piece = 1 + rng() % max_piece;
    if (a + piece > length + 1) piece = length + 1 - a;
    t.physical += random_bytes(rng() % 4, rng);
    t.a.push_back({static_cast<int32_t>(a), static_cast<int32_t>(t.physical.size() - a)});
    if (addresses)
      for (size_t k = 0; k < piece; ++k) t.physical_of.push_back(t.physical.size() + k);
    t.physical += t.logical.substr(a - 1, piece);
    a += piece;
  }
  // The closing pair: address L + 1 is the end of the physical text.
  t.a.push_back({static_cast<int32_t>(length + 1),
                 static_cast<int32_t>(t.physical.size() - (length + 1))});
  t.physical_of.push_back(t.physical.size());
  return t;
}

struct Record {
  int32_t start, length, offset, name_index;
};

struct Directory {
  int32_t flags = 1;
  int32_t major = 1, minor = 0;
  int32_t physical_length = 0, logical_length = 0;
  int32_t per_block = 1024;
  std::vector<std::pair<int32_t, int32_t>> a, b;
  std::vector<std::string> names;
  std::vector<Record> records;  // written only when 2 or more
  bool big_endian = false;
};

// Word offsets of the layout written by build_directory.
struct Layout {
  size_t a, b, index_a, index_b, names, records, end;
};

inline int32_t blocks_of(size_t pairs, int32_t per_block) {
  return static_cast<int32_t>((pairs + per_block - 1) / per_block);
}

// Header, table A at 76, table B, block index A, block index B, names, records.
inline std::string build_directory(const Directory& d, Layout* layout = nullptr) {
  std::string names;
  for (const auto& n : d.names) names += n + '\0';
  bool with_records = d.records.size() >= 2;
  int32_t blocks_a = blocks_of(d.a.size(), d.per_block), blocks_b = blocks_of(d.b.size(), d.per_block);
  Layout l;
  l.a = 76;
  l.b = l.a + 8 * d.a.size();
  l.index_a = l.b + 8 * d.b.size();
  l.index_b = l.index_a + 4 * blocks_a;
  l.names = l.index_b + 4 * blocks_b;
  l.records = l.names + names.size();
  l.end = l.records + (with_records ? 16 * d.records.size() : 0);
  std::string f(l.end, '\0');
  int32_t h[19] = {d.flags,
                   d.major,
                   d.minor,
                   static_cast<int32_t>(d.a.size()),
                   static_cast<int32_t>(d.b.size()),
                   d.physical_length,
                   d.logical_length,
                   blocks_a,
                   blocks_b,
                   d.per_block,
                   static_cast<int32_t>(l.a),
                   static_cast<int32_t>(l.b),
                   static_cast<int32_t>(l.index_a),
                   static_cast<int32_t>(l.index_b),
                   static_cast<int32_t>(d.names.size()),
                   static_cast<int32_t>(l.names),
                   static_cast<int32_t>(d.records.size()),
                   static_cast<int32_t>(l.records),
                   static_cast<int32_t>(names.size())};
  for (int i = 0; i < 19; ++i) put_word(f, 4 * i, h[i], d.big_endian);
  auto put_pairs = [&](size_t at, const std::vector<std::pair<int32_t, int32_t>>& pairs) {
    for (size_t i = 0; i < pairs.size(); ++i) {
      put_word(f, at + 8 * i, pairs[i].first, d.big_endian);
      put_word(f, at + 8 * i + 4, pairs[i].second, d.big_endian);
    }
  };
  put_pairs(l.a, d.a);
  put_pairs(l.b, d.b);
  for (int32_t k = 0; k < blocks_a; ++k)
    put_word(f, l.index_a + 4 * k, d.a[static_cast<size_t>(k) * d.per_block].first, d.big_endian);
  for (int32_t k = 0; k < blocks_b; ++k)
    put_word(f, l.index_b + 4 * k, d.b[static_cast<size_t>(k) * d.per_block].first, d.big_endian);
  f.replace(l.names, names.size(), names);
  if (with_records) {
    for (size_t i = 0; i < d.records.size(); ++i) {
      const Record& r = d.records[i];
      put_word(f, l.records + 16 * i, r.start, d.big_endian);
      put_word(f, l.records + 16 * i + 4, r.length, d.big_endian);
      put_word(f, l.records + 16 * i + 8, r.offset, d.big_endian);
      put_word(f, l.records + 16 * i + 12, r.name_index, d.big_endian);
    }
  }
  if (layout) *layout = l;
  return f;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Lays the physical text into fragment files under dir. With pieces < 2 it
// is one file read directly (no records). Otherwise it is cut into pieces
// stored after junk in ceil(pieces / 2) + 1 files, the first file holding
// two pieces, so a name serves more than one record.
inline void lay_fragments(const std::string& physical, int pieces, const std::string& dir,
                          uint32_t seed, Directory* d) {
  std::mt19937 rng(seed);
  d->physical_length = static_cast<int32_t>(physical.size());
  d->names.clear();
  d->records.clear();
  if (pieces < 2) {
    d->names.push_back(dir + "/only.txt");
    write_file(d->names[0], physical);
    return;
  }
  std::vector<size_t> cuts = {0};
  for (int k = 1; k < pieces; ++k) cuts.push_back(physical.size() * k / pieces + rng() % 7);
  cuts.push_back(physical.size());
  int files = pieces / 2 + 1;
  std::vector<std::string> contents(files);
  for (int k = 0; k < pieces; ++k) {
    int file = k < 2 ? 0 : k - 1;
    if (file >= files) file = files - 1;
    std::string& c = contents[file];
    c += random_bytes(1 + rng() % 9, rng);
    d->records.push_back({static_cast<int32_t>(cuts[k]), static_cast<int32_t>(cuts[k + 1] - cuts[k]),
                          static_cast<int32_t>(c.size()), file});
    c += physical.substr(cuts[k], cuts[k + 1] - cuts[k]);
  }
  for (int f = 0; f < files; ++f) {
    d->names.push_back(dir + "/frag" + std::to_string(f) + ".dat");
    write_file(d->names.back(), contents[f]);
  }
}

}  // namespace frgfix
