// Per-slot stacks of open element instances and the tag position records.
//
// Each slot keeps the cells (start, end) of the instances seen while its
// outermost instance is open, and a stack of the cells still open. An end
// tag closes the most recently opened open cell, so same-name elements
// nested in each other, or repeated inside an open one, get their own ends;
// there is no cap on the cells. When the outermost instance closes, the
// cells are written sorted by start (equal starts keep their order). At the
// end of the text the closed cells still held are written and the open
// ones dropped.
#include <algorithm>
#include <cstring>

#include "tagregion/tagregion.h"

namespace {

struct Cell {
  int64_t start;
  int64_t end;  // 0 while open
};

struct SlotStack {
  std::vector<Cell> cells;
  std::vector<size_t> open;  // indices of the open cells, innermost last
};

constexpr size_t kRecordBuffer = 64 * 1024 * TAGPOS_RECORD_BYTES;

struct FindState {
  SlotStack slots[TAG_SLOTS];
  int32_t element_count = 0;
  std::vector<int32_t> start_tag_slots[TAG_SLOTS];  // per element slot
  std::string names[TAG_SLOTS];
  VqStream* out = nullptr;
  FrgacText* fragmented = nullptr;
  std::vector<unsigned char> buffer;
  size_t used = 0;
};

// One scan at a time; constructed before main (it depends on nothing).
FindState find_state;

inline FindState& state() { return find_state; }

void flush_records(FindState& f) {
  if (f.used == 0) return;
  if (f.out == nullptr || vqio_fwrite(f.buffer.data(), 1, f.used, f.out) != f.used)
    msg_report(14, 80021);
  f.used = 0;
}

void write_cells(SlotStack& st, int32_t s, bool closed_only) {
  auto by_start = [](const Cell& a, const Cell& b) { return a.start < b.start; };
  // Cells are opened in text order, so they are sorted already unless a
  // scan was repositioned backwards.
  if (!std::is_sorted(st.cells.begin(), st.cells.end(), by_start))
    std::stable_sort(st.cells.begin(), st.cells.end(), by_start);
  for (const Cell& c : st.cells) {
    if (closed_only && c.end == 0) continue;
    tagpos_write(s, c.start);
    tagpos_write(s, c.end);
  }
  st.cells.clear();
  st.open.clear();
}

}  // namespace

void tag_stacks_reset(const TagNameLists* lists, VqStream* out, FrgacText* fragmented) {
  FindState& f = state();
  for (int s = 0; s < TAG_SLOTS; ++s) {
    f.slots[s].cells.clear();
    f.slots[s].open.clear();
    f.start_tag_slots[s].clear();
    f.names[s].clear();
  }
  f.out = out;
  f.fragmented = fragmented;
  f.buffer.resize(kRecordBuffer);
  f.used = 0;
  f.element_count = 0;
  if (lists == nullptr) return;
  f.element_count = lists->elements.count;
  const TagNameList* all[] = {&lists->elements, &lists->attributes, &lists->tags};
  for (const TagNameList* l : all)
    for (size_t i = 0; i < l->names.size(); ++i)
      if (l->slots[i] >= 0 && l->slots[i] < TAG_SLOTS) f.names[l->slots[i]] = l->names[i];
  f.names[TAG_DEFAULT_DATA_SLOT] = "VQDefaultData";
  for (int32_t i = 0; i < lists->tags.count; ++i) {
    int32_t element = lists->tags.third[i];
    if (element >= 0 && element < TAG_SLOTS)
      f.start_tag_slots[element].push_back(lists->tags.slots[i]);
  }
}

void tag_event(int32_t s, int64_t b, int64_t c, int end_tag) {
  FindState& f = state();
  if (s >= f.element_count) {
    tagpos_write(s, b);
    tagpos_write(s, end_tag ? c + 1 : c);
    return;
  }
  if (end_tag) {
    tag_pop(s, b, c);
    return;
  }
  for (int32_t t : f.start_tag_slots[s]) {
    tagpos_write(t, b);
    tagpos_write(t, c);
  }
  tag_push(s, b);
}

void tag_push(int32_t s, int64_t b) {
  SlotStack& st = state().slots[s];
  st.open.push_back(st.cells.size());
  st.cells.push_back(Cell{b, 0});
}

void tag_pop(int32_t s, int64_t b, int64_t c) {
  FindState& f = state();
  SlotStack& st = f.slots[s];
  if (st.open.empty()) {
    msg_report(2, 80009, f.names[s].c_str(), static_cast<int>(b));
    return;
  }
  st.cells[st.open.back()].end = c + 1;
  st.open.pop_back();
  if (st.open.empty()) write_cells(st, s, false);
}

void tagpos_write(int32_t s, int64_t p) {
  FindState& f = state();
  int64_t value;
  if (__builtin_expect(f.fragmented != nullptr, 0)) {
    int32_t a = p > 0x7FFFFFFF ? static_cast<int32_t>(FRGAC_UNMAPPED) : static_cast<int32_t>(p);
    frgacma(f.fragmented, &a, 1);
    value = a;
  } else {
    value = p - 1;
    if (value < 0 || value > TAGPOS_MAX_POSITION) msg_report(9, 80005, static_cast<long>(value));
  }
  if (f.used + TAGPOS_RECORD_BYTES > f.buffer.size()) flush_records(f);
  unsigned char* r = f.buffer.data() + f.used;
  r[0] = static_cast<unsigned char>(s);
  uint32_t word = static_cast<uint32_t>(value);
  std::memcpy(r + 1, &word, 4);
  f.used += TAGPOS_RECORD_BYTES;
}

void tag_stacks_finish() {
  FindState& f = state();
  for (int s = 0; s < TAG_SLOTS; ++s)
    if (!f.slots[s].cells.empty()) write_cells(f.slots[s], s, true);
  flush_records(f);
  if (f.out != nullptr && vqio_fflush(f.out) != 0) msg_report(14, 80021);
}
