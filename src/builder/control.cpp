// Build control: the built-in base maps and WordStarters, the stop-word
// masks, the compilation of WordStarters into character classes and the
// class-pair table, the integrity hash, and the release of the record.
#include <algorithm>
#include <cstring>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "msg/msg.h"
#include "pitcl/pitcl.h"

namespace {

// Punctuation and control characters that the base maps turn into blanks.
constexpr const char kToBlank[] = "!@#$%^&*()_+~|-<=>\\`{}[]:\";'?,./\r\n\t\b";

// Latin-1 folds of the isolatin map: every character after the first of a
// string maps to the first.
constexpr const char* kIsoFolds[] = {
    "a\xC0\xC1\xC2\xC3\xC4\xC5\xE0\xE1\xE2\xE3\xE4\xE5",
    "c\xC7\xE7",
    "e\xC8\xC9\xCA\xCB\xE8\xE9\xEA\xEB",
    "i\xCC\xCD\xCE\xCF\xEC\xED\xEE\xEF",
    "n\xD1\xF1",
    "o\xD2\xD3\xD4\xD5\xD6\xD8\xF2\xF3\xF4\xF5\xF6\xF8",
    "u\xD9\xDA\xDB\xDC\xF9\xFA\xFB\xFC",
    "y\xDD\xFD\xFF",
    "s\xDF",
};

}  // namespace

std::vector<std::string> builtin_word_starters(int base_map) {
  std::vector<std::string> list{" &ISO_printable."};
  if (base_map == BASE_MAP_SGML) {
    list.emplace_back("&gt.&ISO_printable.");
    list.emplace_back("&ISO_printable.&lt.");
  } else if (base_map == BASE_MAP_NONE) {
    list.emplace_back("&newline.&ISO_printable.");
  }
  return list;
}

void builtin_char_map(int base_map, unsigned char map[256]) {
  if (base_map == BASE_MAP_NONE) {
    for (int b = 0; b < 256; ++b) map[b] = static_cast<unsigned char>(b);
    return;
  }
  std::memset(map, 0, 256);
  for (int b = 32; b < 127; ++b) {
    map[b] = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
  }
  for (const char* p = kToBlank; *p != '\0'; ++p) map[static_cast<unsigned char>(*p)] = ' ';
  if (base_map == BASE_MAP_ISOLATIN) {
    for (const char* fold : kIsoFolds) {
      for (const char* p = fold + 1; *p != '\0'; ++p) {
        map[static_cast<unsigned char>(*p)] = static_cast<unsigned char>(fold[0]);
      }
    }
  } else if (base_map == BASE_MAP_SGML) {
    map['<'] = '<';
    map['/'] = '/';
  }
}

void SetDefCntl(BuildControl* control, int base_map) {
  control->word_starters = builtin_word_starters(base_map);
  control->definition_count = static_cast<int32_t>(control->word_starters.size());
  control->stop_words.clear();
  builtin_char_map(base_map, control->map.data());
}

int StopWord(BuildControl* control) {
  int status = pitcl_stop_masks(control->stop_words, &control->stop_masks);
  if (status != 0) return status;
  return MakeIdxMap(control) < 0 ? 9 : 0;
}

int32_t MakeIdxMap(BuildControl* control) {
  // Side lists: definition j gives side 2j to the characters of its first
  // specification and 2j+1 to those of its second. Characters with equal
  // lists share a class; class 0 is the empty list. Sides are added in
  // increasing order, so every list stays sorted.
  std::vector<std::vector<int32_t>> lists(1);
  lists.reserve(100);
  std::array<int32_t, 256> cls{};
  const int32_t d = static_cast<int32_t>(control->word_starters.size());
  for (int32_t j = 0; j < d; ++j) {
    CharSet sides[2];
    if (pitcl_parse_definition(control->word_starters[j].c_str(), control->alphabet_size,
                               &sides[0], &sides[1]) != 0) {
      return -1;
    }
    for (int32_t s = 0; s < 2; ++s) {
      const int32_t side = 2 * j + s;
      for (int c = 0; c < 256; ++c) {
        if (!sides[s][c]) continue;
        const std::vector<int32_t>& old = lists[cls[c]];
        if (!old.empty() && old.back() == side) continue;
        std::vector<int32_t> grown = old;
        grown.push_back(side);
        auto found = std::find(lists.begin(), lists.end(), grown);
        if (found == lists.end()) {
          lists.push_back(std::move(grown));
          found = lists.end() - 1;
        }
        cls[c] = static_cast<int32_t>(found - lists.begin());
      }
    }
  }
  // Drop the lists no character uses any more; renumber densely in order.
  std::vector<int32_t> renumber(lists.size(), -1);
  renumber[0] = 0;
  for (int c = 0; c < 256; ++c) renumber[cls[c]] = 0;
  int32_t n = 0;
  std::vector<const std::vector<int32_t>*> kept;
  for (size_t k = 0; k < lists.size(); ++k) {
    if (renumber[k] < 0) continue;
    renumber[k] = n++;
    kept.push_back(&lists[k]);
  }
  for (int c = 0; c < 256; ++c) control->classes[c] = renumber[cls[c]];
  control->class_count = n;
  control->definition_count = d;
  control->pair_table.assign(static_cast<size_t>(n) * n, 0);
  for (int32_t a = 1; a < n; ++a) {
    for (int32_t side : *kept[a]) {
      if (side % 2 != 0) continue;
      for (int32_t b = 1; b < n; ++b) {
        const std::vector<int32_t>& other = *kept[b];
        if (std::binary_search(other.begin(), other.end(), side + 1)) {
          control->pair_table[static_cast<size_t>(a) * n + b] = 1;
        }
      }
    }
  }
  return n;
}

int32_t pitclhash(const BuildControl* control) {
  Classifier* classifier = pitclbc(control->map.data(), control->stop_words, nullptr);
  if (classifier == nullptr) return 0;
  int32_t hash = pitclhs(classifier);
  pitclfr(classifier);
  return hash;
}

BuildControl::~BuildControl() {
  addgi_files_free(texts, text_count);
  addgi_file_clear(&index_file);
  for (FileInfo* f : s_vector) {
    if (f != nullptr) addgi_files_free(f, 1);
  }
}

void addfrcntl(BuildControl* control) { delete control; }
