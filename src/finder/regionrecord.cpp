// Naming a region and writing its record: the region table (names found
// through a map that holds every one of the 2047 names), the numbered
// nesting of elements of one name, the fragment mapping of positions, and
// the progress lines of a verbose run.
#include <cstring>
#include <iterator>

#include "finder/regions.h"
#include "msg/msg.h"

namespace {

// Progress line every so many records.
constexpr int64_t kProgressEvery = 5000;
// Names remembered by address at most; past that the table starts anew
// (the parser keeps declared names in place, so this is only reached when
// it does not).
constexpr size_t kSlotsMax = 4096;

double size_kb(const RegionRun* run) { return run->size_kb ? run->size_kb() : 0.0; }

// Whether the slot's name is the one at this address: compared in place
// (the names are short; a library call per record cost more than this).
bool same_name(const std::string& slot_name, const char* name) {
  const char* a = slot_name.c_str();
  for (size_t i = 0;; ++i) {
    if (a[i] != name[i]) return false;
    if (a[i] == '\0') return true;
  }
}

// The slot of the name at this address looked up in the map (not among
// the slots last used), emptied when the address now holds another name;
// it becomes the recent slot given.
[[gnu::noinline]] RegionNameSlot& slot_find(RegionRun* run, const char* name,
                                            RegionRun::SlotCache& recent) {
  auto it = run->slots.find(name);
  if (it != run->slots.end()) {
    if (std::strcmp(it->second.name.c_str(), name) != 0) {
      it->second = RegionNameSlot{};
      it->second.name = name;
    }
  } else {
    if (run->slots.size() >= kSlotsMax) {
      run->slots.clear();
      for (RegionRun::SlotCache& c : run->recent) c = RegionRun::SlotCache{};
    }
    it = run->slots.emplace(name, RegionNameSlot{}).first;
    it->second.name = name;
  }
  recent = {name, &it->second};
  return it->second;
}

// The slot of the name at this address: among the slots last used when
// there, else from the map. Per record, so the rare steps are out of line
// and this stays small.
inline RegionNameSlot& slot_of(RegionRun* run, const char* name) {
  // Names are mostly allocations of their own, aligned to 16 bytes: the low
  // four bits of the address tell little apart.
  const uintptr_t a = reinterpret_cast<uintptr_t>(name) >> 4;
  RegionRun::SlotCache& recent = run->recent[(a ^ (a >> 8)) % std::size(run->recent)];
  if (recent.address == name && (run->names_in_place || same_name(recent.slot->name, name)))
    return *recent.slot;
  return slot_find(run, name, recent);
}

// The number of the region of that name, made when there is none: -2 after
// 220004 (the 2048th name).
int32_t region_number(RegionRun* run, const std::string& region) {
  int32_t number = region_find(run, region);
  if (number >= 0) return number;
  if (static_cast<int32_t>(run->entries.size()) >= REGION_NAMES_MAX) {
    vq_report(15, GetMsgNumText(220004), static_cast<int>(REGION_TABLE_SIZE));
    return -2;
  }
  number = static_cast<int32_t>(run->entries.size());
  run->entries.emplace_back();
  run->entries.back().name = region;
  run->index.emplace(region, number);
  return number;
}

// The number of the element's start-tag region "NAME-T" when it exists
// (its entry counts how deep elements of the name are nested), else -1.
[[gnu::noinline]] int32_t tag_region_find(RegionRun* run, RegionNameSlot& slot) {
  std::string& region = run->name_buffer;
  region.assign(slot.name).append("-T");
  slot.tag = region_find(run, region);
  return slot.tag;
}
inline int32_t tag_region(RegionRun* run, RegionNameSlot& slot) {
  return slot.tag >= 0 ? slot.tag : tag_region_find(run, slot);
}

// The start tag's region "NAME-T" made (none was found). -2 after 220004.
[[gnu::noinline]] int32_t tag_region_make(RegionRun* run, RegionNameSlot& slot,
                                          const char* name) {
  slot.tag = region_number(run, run->name_buffer.assign(name).append("-T"));
  return slot.tag;
}

// The attribute value's region "A-NAME", made when there is none.
[[gnu::noinline]] int32_t attribute_region(RegionRun* run, RegionNameSlot& slot,
                                           const char* name) {
  slot.attribute = region_number(run, run->name_buffer.assign("A-").append(name));
  return slot.attribute;
}

// The element region at a depth not yet known for the slot: the bare name
// for the outermost, name1, name2, ... inside it.
[[gnu::noinline]] int32_t element_region(RegionRun* run, RegionNameSlot& slot, size_t depth,
                                         const char* name) {
  std::string& region = run->name_buffer;
  region.assign(name);
  if (depth > 0) region += std::to_string(depth);
  const int32_t number = region_number(run, region);
  if (number >= 0) {
    if (slot.element.size() <= depth) slot.element.resize(depth + 1, -1);
    slot.element[depth] = number;
  }
  return number;
}

// The region number of one record: the start tag's, the element's by the
// depth of elements of its name (the outermost the bare name, the next
// name1, ...), or the attribute's. -2 after 220004.
inline int32_t record_region(RegionRun* run, int kind, const char* name) {
  RegionNameSlot& slot = slot_of(run, name);
  if (kind == REGION_ATTRIBUTE)
    return slot.attribute >= 0 ? slot.attribute : attribute_region(run, slot, name);
  const int32_t tags = tag_region(run, slot);
  if (kind == REGION_START_TAG) {
    if (tags < 0) return tag_region_make(run, slot, name);
    ++run->entries[static_cast<size_t>(tags)].depth;
    return tags;
  }
  size_t depth = 0;
  if (tags >= 0) {
    int32_t& open = run->entries[static_cast<size_t>(tags)].depth;
    if (open > 0) depth = static_cast<size_t>(open);
    --open;
  }
  if (depth < slot.element.size() && slot.element[depth] >= 0) return slot.element[depth];
  return element_region(run, slot, depth, name);
}

// The progress line of a verbose run after so many records.
[[gnu::noinline]] void progress(const RegionRun* run, int64_t before) {
  vq_report(1, GetMsgNumText(220005), static_cast<int>(before), size_kb(run),
            static_cast<int>(time(nullptr) - run->start_time));
}

// A record that could not be put in the temporary files: -2 after 220004
// (a tenth file), else the status as it came.
[[gnu::noinline]] int put_failed(const RegionRun* run, int status) {
  if (status == -2) {
    vq_report(15, GetMsgNumText(220004), static_cast<int>(run->temp.records));
    return -2;
  }
  return status;
}

// A position beyond 32 bits, which would wrap into a wrong pair: -2 after
// 220019.
[[gnu::noinline]] int position_too_large(const RegionRun* run, int32_t number, int64_t end) {
  vq_report(15, GetMsgNumText(220019), run->entries[static_cast<size_t>(number)].name.c_str(),
            static_cast<long long>(end));
  return -2;
}

}  // namespace

void region_names_in_place(RegionRun* run, bool in_place) {
  if (in_place)
    for (RegionRun::SlotCache& c : run->recent) c = RegionRun::SlotCache{};
  run->names_in_place = in_place;
}

int32_t region_find(const RegionRun* run, const std::string& name) {
  const auto it = run->index.find(name);
  return it == run->index.end() ? -1 : it->second;
}

int region_record_write(RegionRun* run, int kind, const char* name, int64_t start,
                        int64_t end) {
  const int32_t number = record_region(run, kind, name);
  if (number < 0) return -2;
  run->entries[static_cast<size_t>(number)].word_count += 2;
  if (start > INT32_MAX || end > INT32_MAX) return position_too_large(run, number, end);
  int32_t pair[2] = {static_cast<int32_t>(start), static_cast<int32_t>(end)};
  if (run->fragmented != nullptr) {
    // The tables map 1-based logical addresses; one they cannot map
    // becomes 0x7fffffff.
    pair[0] += 1;
    pair[1] += 1;
    frgacma(run->fragmented, pair, 2);
  }
  const int status = temp_set_put(&run->temp, number, pair[0], pair[1]);
  if (status != 0) return put_failed(run, status);
  // temp_set_put has counted the record: the count before it is one less.
  if (run->verbose) {
    const int64_t before = run->temp.records - 1;
    if (before % kProgressEvery == 0) progress(run, before);
  }
  return 0;
}
