// Naming a region and writing its record: the region table (names found
// through a map that holds every one of the 2047 names), the numbered
// nesting of elements of one name, the fragment mapping of positions, and
// the progress lines of a verbose run.
#include "finder/regions.h"
#include "msg/msg.h"

namespace {

// Progress line every so many records.
constexpr int64_t kProgressEvery = 5000;

RegionEntry* entry_named(RegionRun* run, const std::string& name) {
  const int32_t r = region_find(run, name);
  return r < 0 ? nullptr : &run->entries[static_cast<size_t>(r)];
}

double size_kb(const RegionRun* run) { return run->size_kb ? run->size_kb() : 0.0; }

}  // namespace

int32_t region_find(const RegionRun* run, const std::string& name) {
  const auto it = run->index.find(name);
  return it == run->index.end() ? -1 : it->second;
}

int region_record_write(RegionRun* run, int kind, const char* name, int64_t start,
                        int64_t end) {
  std::string& region = run->name_buffer;
  region.assign(kind == REGION_ATTRIBUTE ? "A-" : "");
  region += name;
  if (kind == REGION_START_TAG) region += "-T";

  if (kind != REGION_ATTRIBUTE) {
    // The element's start-tag region counts how deep elements of this name
    // are nested: the outermost is the bare name, the next name1, ...
    RegionEntry* tags = entry_named(run, std::string(name) + "-T");
    if (tags != nullptr) {
      if (kind == REGION_START_TAG) ++tags->depth;
      if (kind == REGION_ELEMENT) {
        if (tags->depth > 0) region += std::to_string(tags->depth);
        --tags->depth;
      }
    }
  }

  int32_t number = region_find(run, region);
  if (number < 0) {
    if (static_cast<int32_t>(run->entries.size()) >= REGION_NAMES_MAX) {
      vq_report(15, GetMsgNumText(220004), static_cast<int>(REGION_TABLE_SIZE));
      return -2;
    }
    number = static_cast<int32_t>(run->entries.size());
    run->entries.emplace_back();
    run->entries.back().name = region;
    run->index.emplace(region, number);
  }
  run->entries[static_cast<size_t>(number)].word_count += 2;

  // Positions beyond 32 bits would wrap into wrong pairs.
  if (start > INT32_MAX || end > INT32_MAX) {
    vq_report(15, GetMsgNumText(220019), region.c_str(), static_cast<long long>(end));
    return -2;
  }
  int32_t pair[2] = {static_cast<int32_t>(start), static_cast<int32_t>(end)};
  if (run->fragmented != nullptr) {
    // The tables map 1-based logical addresses; one they cannot map
    // becomes 0x7fffffff.
    pair[0] += 1;
    pair[1] += 1;
    frgacma(run->fragmented, pair, 2);
  }
  const int status = temp_set_put(&run->temp, number, pair[0], pair[1]);
  if (status == -2) {
    vq_report(15, GetMsgNumText(220004), static_cast<int>(run->temp.records));
    return -2;
  }
  if (status != 0) return status;
  // temp_set_put has counted the record: the count before it is one less.
  const int64_t before = run->temp.records - 1;
  if (run->verbose && before % kProgressEvery == 0)
    vq_report(1, GetMsgNumText(220005), static_cast<int>(before), size_kb(run),
              static_cast<int>(time(nullptr) - run->start_time));
  return 0;
}
