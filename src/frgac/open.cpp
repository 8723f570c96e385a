// Opening a fragmented text: the directory file's header, the byte-order
// vote, the checks of every header word, the fragment names and records,
// and the remap tables (layout in frgac.h).
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "frgac/frgac.h"
#include "frgac/internal.h"
#include "io/vqio.h"
#include "msg/msg.h"
#include "pitas/pitas.h"

namespace {

const char* const kOpen = "frgac_open";
const char* const kFragments = "frgac_read_file_fragments";

// One vote per plausible value; the reading with more votes is the file's
// byte order.
int votes(const int32_t* w) {
  int n = 0;
  if (w[FRG_FLAGS] & (FRG_TABLE_A | FRG_TABLE_B)) ++n;
  if (w[FRG_MAJOR] >= 1 && w[FRG_MAJOR] <= 0xFFFFFF) ++n;
  if (static_cast<uint32_t>(w[FRG_MINOR]) < 0x1000000u) ++n;
  if (w[FRG_NAME_COUNT] >= 1 && w[FRG_NAME_COUNT] <= 0xFFFFFF) ++n;
  if (w[FRG_NAMES_LENGTH] > 0) ++n;
  if (w[FRG_PHYSICAL_LENGTH] >= 0) ++n;
  if (w[FRG_PAIRS_PER_BLOCK] >= 1 && w[FRG_PAIRS_PER_BLOCK] <= 0xFFFF) ++n;
  return n;
}

bool bad_word(const FrgacText* t, const char* field, long value) {
  vq_report(15, GetMsgNumText(FRGAC_MSG_BAD_WORD), kOpen, frgac_directory_path(t).c_str(),
            field, value);
  return false;
}

// A part of count items of size bytes at offset must lie inside the file.
bool inside(const FrgacText* t, const char* part, int32_t offset, int64_t count, int64_t size,
            int64_t file_size, const char* id = kOpen) {
  int64_t bytes = count * size;
  if (offset >= 0 && offset + bytes <= file_size) return true;
  vq_report(15, GetMsgNumText(FRGAC_MSG_OUTSIDE), id, frgac_directory_path(t).c_str(), part,
            static_cast<long>(offset), static_cast<long>(bytes), static_cast<long>(file_size));
  return false;
}

int64_t blocks_needed(int64_t pairs, int64_t per_block) { return (pairs + per_block - 1) / per_block; }

// Header words that everything after them relies on: counts, lengths and
// the places of the parts in the file.
bool check_header(const FrgacText* t, int64_t file_size) {
  const int32_t* h = t->header;
  bool a = h[FRG_FLAGS] & FRG_TABLE_A, b = h[FRG_FLAGS] & FRG_TABLE_B;
  if (h[FRG_PHYSICAL_LENGTH] < 0)
    return bad_word(t, "the physical length", h[FRG_PHYSICAL_LENGTH]);
  if (h[FRG_LOGICAL_LENGTH] < 0 || h[FRG_LOGICAL_LENGTH] == INT32_MAX)
    return bad_word(t, "the logical length", h[FRG_LOGICAL_LENGTH]);
  if (h[FRG_NAME_COUNT] < 1) return bad_word(t, "the number of fragment names", h[FRG_NAME_COUNT]);
  if (h[FRG_NAMES_LENGTH] < 1) return bad_word(t, "the length of the names text", h[FRG_NAMES_LENGTH]);
  if (h[FRG_RECORD_COUNT] < 0)
    return bad_word(t, "the number of fragment records", h[FRG_RECORD_COUNT]);
  if (a && h[FRG_PAIRS_A] < 1) return bad_word(t, "the number of pairs of table A", h[FRG_PAIRS_A]);
  if (b && h[FRG_PAIRS_B] < 1) return bad_word(t, "the number of pairs of table B", h[FRG_PAIRS_B]);
  if (!inside(t, "names text", h[FRG_OFFSET_NAMES], h[FRG_NAMES_LENGTH], 1, file_size))
    return false;
  if (h[FRG_RECORD_COUNT] >= 2 &&
      !inside(t, "fragment records", h[FRG_OFFSET_RECORDS], h[FRG_RECORD_COUNT], 16, file_size))
    return false;
  if (a && !inside(t, "table A", h[FRG_OFFSET_A], h[FRG_PAIRS_A], 8, file_size)) return false;
  if (b && !inside(t, "table B", h[FRG_OFFSET_B], h[FRG_PAIRS_B], 8, file_size)) return false;
  if (t->remap_mode == FRGAC_REMAP_BLOCKS && (a || b)) {
    int32_t per_block = h[FRG_PAIRS_PER_BLOCK];
    if (per_block < 1) return bad_word(t, "the number of pairs per block", per_block);
    struct {
      bool present;
      const char* name;
      int pairs, blocks, offset;
    } const tables[] = {{a, "A", FRG_PAIRS_A, FRG_BLOCKS_A, FRG_OFFSET_INDEX_A},
                        {b, "B", FRG_PAIRS_B, FRG_BLOCKS_B, FRG_OFFSET_INDEX_B}};
    for (const auto& x : tables) {
      if (!x.present) continue;
      int64_t need = blocks_needed(h[x.pairs], per_block);
      if (h[x.blocks] != need) {
        vq_report(15, GetMsgNumText(FRGAC_MSG_BLOCKS), kOpen, frgac_directory_path(t).c_str(),
                  x.name, static_cast<long>(h[x.blocks]), static_cast<long>(h[x.pairs]),
                  static_cast<long>(per_block), static_cast<long>(need));
        return false;
      }
      std::string part = std::string("block index ") + x.name;
      if (!inside(t, part.c_str(), h[x.offset], h[x.blocks], 4, file_size)) return false;
    }
  }
  return true;
}

bool check_order(const FrgacText* t, const char* table, const int32_t* positions, size_t count,
                 size_t stride) {
  for (size_t i = 1; i < count; ++i) {
    if (positions[i * stride] < positions[(i - 1) * stride]) {
      vq_report(15, GetMsgNumText(FRGAC_MSG_ORDER), kOpen, frgac_directory_path(t).c_str(),
                table, static_cast<long>(i));
      return false;
    }
  }
  return true;
}

// Table A must cover every address from 1 to L + 1: its first pair starts at
// 1 or below and its last lies beyond L.
bool check_ends(const FrgacText* t, int32_t first, int32_t last) {
  if (first > 1) {
    vq_report(15, GetMsgNumText(FRGAC_MSG_FIRST_PAIR), kOpen, frgac_directory_path(t).c_str(),
              static_cast<long>(first));
    return false;
  }
  if (last <= t->header[FRG_LOGICAL_LENGTH]) {
    vq_report(15, GetMsgNumText(FRGAC_MSG_LAST_PAIR), kOpen, frgac_directory_path(t).c_str(),
              static_cast<long>(last), static_cast<long>(t->header[FRG_LOGICAL_LENGTH]));
    return false;
  }
  return true;
}

bool read_pairs(FrgacText* t, int offset_word, int32_t count, std::vector<FrgacPair>* out) {
  std::vector<int32_t> words(2 * static_cast<size_t>(count));
  if (!frgac_read_words(t, t->header[offset_word], words.size(), words.data())) return false;
  out->resize(count);
  for (int32_t i = 0; i < count; ++i) (*out)[i] = {words[2 * i], words[2 * i + 1]};
  return true;
}

bool load_tables(FrgacText* t) {
  const int32_t* h = t->header;
  bool a = h[FRG_FLAGS] & FRG_TABLE_A, b = h[FRG_FLAGS] & FRG_TABLE_B;
  if (t->remap_mode == FRGAC_REMAP_WHOLE) {
    if (a) {
      if (!read_pairs(t, FRG_OFFSET_A, h[FRG_PAIRS_A], &t->table_a)) return false;
      if (!check_order(t, "A", &t->table_a[0].position, t->table_a.size(), 2)) return false;
      if (!check_ends(t, t->table_a.front().position, t->table_a.back().position)) return false;
    }
    if (b && !read_pairs(t, FRG_OFFSET_B, h[FRG_PAIRS_B], &t->table_b)) return false;
    return true;
  }
  if (a) {
    t->block_index_a.resize(h[FRG_BLOCKS_A]);
    if (!frgac_read_words(t, h[FRG_OFFSET_INDEX_A], t->block_index_a.size(),
                          t->block_index_a.data()))
      return false;
    if (!check_order(t, "A block index", t->block_index_a.data(), t->block_index_a.size(), 1))
      return false;
    int32_t last[2];
    if (!frgac_read_words(t, h[FRG_OFFSET_A] + 8 * static_cast<int64_t>(h[FRG_PAIRS_A] - 1), 2,
                          last))
      return false;
    if (!check_ends(t, t->block_index_a.front(), last[0])) return false;
  }
  if (b) {
    t->block_index_b.resize(h[FRG_BLOCKS_B]);
    if (!frgac_read_words(t, h[FRG_OFFSET_INDEX_B], t->block_index_b.size(),
                          t->block_index_b.data()))
      return false;
  }
  return true;
}

int fail(FrgacText* t) {
  frgac_close(t);
  return FRGAC_FAIL;
}

}  // namespace

std::string frgac_directory_path(const FrgacText* t) {
  return t->directory + "/frg." + std::to_string(t->header[FRG_MAJOR]) + "." +
         std::to_string(t->header[FRG_MINOR]);
}

bool frgac_read_words(FrgacText* t, int64_t offset, size_t count, int32_t* out) {
  std::vector<unsigned char> bytes(4 * count);
  if (count == 0) return true;
  long got = frgacsr(t->fd, static_cast<long>(offset), static_cast<long>(bytes.size()), bytes.data());
  if (got != static_cast<long>(bytes.size())) return false;
  for (size_t i = 0; i < count; ++i) {
    uint32_t w = load_word32(bytes.data() + 4 * i);
    out[i] = static_cast<int32_t>(t->swapped ? swap_word32(w) : w);
  }
  return true;
}

int frgac_read_file_fragments(FrgacText* t) {
  const int32_t* h = t->header;
  std::vector<char> text(h[FRG_NAMES_LENGTH]);
  long got = frgacsr(t->fd, h[FRG_OFFSET_NAMES], static_cast<long>(text.size()),
                     reinterpret_cast<unsigned char*>(text.data()));
  if (got != static_cast<long>(text.size())) return FRGAC_FAIL;
  t->names.clear();
  size_t used = 0;
  for (int32_t i = 0; i < h[FRG_NAME_COUNT]; ++i) {
    const char* start = text.data() + used;
    const void* nul = std::memchr(start, '\0', text.size() - used);
    if (!nul) {
      vq_report(15, GetMsgNumText(FRGAC_MSG_FEW_NAMES), kFragments,
                frgac_directory_path(t).c_str(), static_cast<long>(h[FRG_NAME_COUNT]));
      return FRGAC_FAIL;
    }
    size_t length = static_cast<const char*>(nul) - start;
    t->names.emplace_back(start, length);
    used += length + 1;
  }
  if (used != text.size()) {
    vq_report(15, "frgac_read_file_fragments: not all Name text used.");
    return FRGAC_FAIL;
  }
  t->records.clear();
  int32_t count = h[FRG_RECORD_COUNT];
  if (count < 2) return 0;
  std::vector<int32_t> words(4 * static_cast<size_t>(count));
  if (!frgac_read_words(t, h[FRG_OFFSET_RECORDS], words.size(), words.data())) return FRGAC_FAIL;
  int64_t next = 0;  // the records tile [0, physical length) in order
  for (int32_t i = 0; i < count; ++i) {
    FrgacRecord r = {words[4 * i], words[4 * i + 1], words[4 * i + 2], words[4 * i + 3]};
    if (r.name_index < 0 || r.name_index >= h[FRG_NAME_COUNT]) {
      vq_report(15, GetMsgNumText(FRGAC_MSG_NAME_INDEX), kFragments,
                frgac_directory_path(t).c_str(), static_cast<long>(i),
                static_cast<long>(r.name_index), static_cast<long>(h[FRG_NAME_COUNT]));
      return FRGAC_FAIL;
    }
    bool last = i == count - 1;
    if (r.start != next || r.length < 0 || r.offset < 0 ||
        (last && int64_t{r.start} + r.length != h[FRG_PHYSICAL_LENGTH])) {
      vq_report(15, GetMsgNumText(FRGAC_MSG_TILING), kFragments, frgac_directory_path(t).c_str(),
                static_cast<long>(i), static_cast<long>(r.start), static_cast<long>(r.length),
                static_cast<long>(h[FRG_PHYSICAL_LENGTH]));
      return FRGAC_FAIL;
    }
    next = int64_t{r.start} + r.length;
    t->records.push_back(r);
  }
  return 0;
}

int frgac_open(const char* sys_name, const char* frg_dir, int major, int minor,
               unsigned long size_estimate, int access, FrgacText* t, int cache_flag) {
  frgac_close(t);
  *t = FrgacText();
  t->file_name = sys_name ? sys_name : "";
  t->directory = frg_dir ? frg_dir : "";
  t->access_mode = access;
  t->cache_flag = access == FRGAC_UPDATE ? 0 : cache_flag;
  t->open_flags = access == FRGAC_UPDATE ? O_RDWR : O_RDONLY;
  if (access == FRGAC_READ) frgacic();
  t->owner = frgac_new_owner();

  std::string path =
      t->directory + "/frg." + std::to_string(major) + "." + std::to_string(minor);
  t->fd = vqio_open(path.c_str(), O_RDONLY);
  if (t->fd < 0) return frgacfo(path.c_str());
  // Until the header is read, messages name the path as asked.
  t->header[FRG_MAJOR] = major;
  t->header[FRG_MINOR] = minor;

  unsigned char bytes[FRGAC_HEADER_BYTES];
  long got = frgacsr(t->fd, 0, -FRGAC_HEADER_BYTES, bytes);
  if (got != FRGAC_HEADER_BYTES) {
    vq_report(15, GetMsgNumText(FRGAC_MSG_SHORT_HEADER), kOpen, path.c_str());
    return fail(t);
  }
  int32_t native[FRGAC_HEADER_WORDS], swapped[FRGAC_HEADER_WORDS];
  for (int i = 0; i < FRGAC_HEADER_WORDS; ++i) {
    uint32_t w = load_word32(bytes + 4 * i);
    native[i] = static_cast<int32_t>(w);
    swapped[i] = static_cast<int32_t>(swap_word32(w));
  }
  t->swapped = votes(swapped) > votes(native);
  std::copy(t->swapped ? swapped : native, (t->swapped ? swapped : native) + FRGAC_HEADER_WORDS,
            t->header);

  const int32_t* h = t->header;
  if ((major != 0 || minor != 0) &&
      (h[FRG_MAJOR] != major || (minor != -1 && h[FRG_MINOR] != minor))) {
    vq_report(15, "frgac_open:Major = %d and Minor = %d on %s", h[FRG_MAJOR], h[FRG_MINOR],
              t->file_name.c_str());
    return fail(t);
  }

  // Remap mode: whole tables when they fit the caller's estimate.
  uint64_t pairs = 0;
  if (h[FRG_FLAGS] & FRG_TABLE_A) pairs += static_cast<uint32_t>(h[FRG_PAIRS_A]);
  if (h[FRG_FLAGS] & FRG_TABLE_B) pairs += static_cast<uint32_t>(h[FRG_PAIRS_B]);
  t->remap_mode = pairs < (size_estimate >> 3) ? FRGAC_REMAP_WHOLE : FRGAC_REMAP_BLOCKS;

  struct stat st;
  if (vqio_fstat(t->fd, &st) != 0) {
    vq_report(16, GetMsgNumText(FRGAC_MSG_NO_SIZE), kOpen, path.c_str());
    return fail(t);
  }
  if (!check_header(t, st.st_size)) return fail(t);
  if (frgac_read_file_fragments(t) != 0) return fail(t);
  if (!load_tables(t)) return fail(t);

  t->current_block_a = t->current_block_b = -1;
  t->position = 1;
  t->buffer_index = 0;
  t->buffer_count = -1;
  t->fragment_fd = -1;
  t->fragment_index = -1;
  return 0;
}

void frgac_close(FrgacText* t) {
  if (t->fd >= 0) vqio_close(t->fd);
  if (t->fragment_fd >= 0) vqio_close(t->fragment_fd);
  t->fd = t->fragment_fd = -1;
  t->fragment_index = -1;
  if (t->owner) frgac_cache_forget(t->owner);
  t->owner = 0;
  t->table_a.clear();
  t->table_b.clear();
  t->block_index_a.clear();
  t->block_index_b.clear();
  t->current_block_a = t->current_block_b = -1;
  t->names.clear();
  t->records.clear();
  t->window.clear();
  t->window.shrink_to_fit();
  t->window_count = 0;
  t->window_fragment = -1;
  t->buffer_count = -1;
  t->buffer_index = 0;
}
