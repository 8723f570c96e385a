// Expansion of an existing region file for new values per tag, and the
// count of tag records per tag number.
//
// Every region of the file keeps its place in offset order; from the last
// to the first each region's block is laid out below a running top that
// starts at the old data end plus the room for all new values of existing
// regions, and the region's old values are moved up to the start of its
// block. Blocks only ever move up, and a block is moved after every block
// above it, so no region's data is overwritten before it was moved.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "msg/msg.h"
#include "region/internal.h"

using namespace region_detail;

namespace {

constexpr int32_t kTagNumbers = 256;  // tag numbers are one byte
constexpr size_t kRecordBytes = 5;
constexpr size_t kRecordsPerRead = 4096;

// The first name given to two tags, or null.
const char* duplicate_name(const char* const* names, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < i; ++j)
      if (names[i] && names[j] && strcmp(names[i], names[j]) == 0) return names[i];
  return nullptr;
}

// The file's regions laid out for the new values: each existing region's
// new offset, in list order; the end of the grown data in *grown_end.
std::vector<int64_t> grown_layout(const RegionListFile& file, const std::vector<long>& growth,
                                  int64_t* grown_end) {
  int64_t total_growth = 0;
  for (long g : growth) total_growth += g;
  const int64_t top_start = region_list_end(&file) + 4 * total_growth;
  int64_t top = top_start;
  std::vector<int64_t> offsets(static_cast<size_t>(file.count));
  const std::vector<int32_t> order = offset_order(&file);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const RegionListEntry& r = file.regions[*it];
    top -= 4 * (static_cast<int64_t>(r.count) + growth[static_cast<size_t>(*it)]);
    offsets[static_cast<size_t>(*it)] = top;
  }
  *grown_end = top_start;
  return offsets;
}

}  // namespace

long tag_count(VqStream* records, int32_t n, long* counts) {
  for (int32_t i = 0; i < n; ++i) counts[i] = 0;
  if (!records) return -1;
  const char* name = records->name ? records->name : "";
  struct stat st;
  if (vqio_fseek(records, 0, SEEK_SET) != 0 || vqio_fstat(vqio_fileno(records), &st) != 0) {
    vq_report(16, GetMsgNumText(60028), name);
    return -1;
  }
  const long total = static_cast<long>(st.st_size / static_cast<off_t>(kRecordBytes));
  std::vector<unsigned char> buf(kRecordBytes * kRecordsPerRead);
  for (long done = 0; done < total;) {
    const size_t want = static_cast<size_t>(std::min<long>(total - done, kRecordsPerRead));
    if (vqio_fread(buf.data(), kRecordBytes, want, records) != want) {
      vq_report(16, GetMsgNumText(60028), name);
      return -1;
    }
    for (size_t i = 0; i < want; ++i) {
      const int tag = buf[i * kRecordBytes];
      if (tag < n) ++counts[tag];
    }
    done += static_cast<long>(want);
  }
  return total;
}

int region_expand(RegionExpansion* list, VqStream* tag_records, VqStream* region_stream,
                  MadNode* tree, const char* region_file, const char* const* tag_names,
                  int32_t tag_name_count) {
  if (!list || !tag_records || !region_stream || !tree || tag_name_count < 0 ||
      (tag_name_count > 0 && !tag_names)) {
    vq_report(11, GetMsgNumText(40000), "region_expand");
    return 11;
  }
  *list = RegionExpansion{};
  list->tree = tree;
  region_list_build(tree, &list->file_count, &list->files);
  list->current_file = region_list_find(region_file, list->file_count, list->files);
  if (list->current_file < 0) return -1;
  RegionListFile& file = list->files[list->current_file];

  if (const char* twice = duplicate_name(tag_names, tag_name_count)) {
    vq_report(15, GetMsgNumText(200068), file.name, twice);
    return 15;
  }
  list->tags = static_cast<RegionExpandRecord*>(
      vq_calloc(tag_name_count + 1, sizeof(RegionExpandRecord), __LINE__, "ExpandRegion.c"));
  list->tag_count = tag_name_count;
  std::vector<int32_t> region_of(static_cast<size_t>(tag_name_count));
  for (int32_t t = 0; t < tag_name_count; ++t) {
    list->tags[t].name = copy_text(tag_names[t]);
    list->tags[t].write_position = -1;
    region_of[static_cast<size_t>(t)] = region_index(tag_names[t], &file);
  }

  long counts[kTagNumbers];
  if (tag_count(tag_records, kTagNumbers, counts) < 0) return 16;
  auto new_values = [&](int32_t t) { return t < kTagNumbers ? counts[t] : 0L; };

  // Everything is checked before the first byte moves.
  const int fd = vqio_fileno(region_stream);
  // Moves bypass the stream: nothing of it may stay buffered.
  if ((region_stream->flags & (VQ_WRITE | VQ_UPDATE)) && vqio_fflush(region_stream) != 0) {
    vq_report(16, GetMsgNumText(60027), file.name);
    return 16;
  }
  const off_t size = region_file_size(file.name, fd);
  if (size < 0) return 16;
  if (int status = check_regions_against_file(&file, size)) return status;
  std::vector<long> growth(static_cast<size_t>(file.count), 0);
  int64_t new_region_values = 0;
  for (int32_t t = 0; t < tag_name_count; ++t) {
    const int32_t r = region_of[static_cast<size_t>(t)];
    if (r >= 0)
      growth[static_cast<size_t>(r)] = new_values(t);
    else
      new_region_values += new_values(t);
  }
  int64_t grown_end = 0;
  const std::vector<int64_t> offsets = grown_layout(file, growth, &grown_end);
  if (grown_end + 4 * new_region_values > REGION_MAX_DATA_END) {
    vq_report(15, GetMsgNumText(200067), file.name,
              static_cast<long long>(grown_end + 4 * new_region_values));
    return 15;
  }

  // Old data to the start of each block, highest block first.
  const std::vector<int32_t> order = offset_order(&file);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const RegionListEntry& r = file.regions[*it];
    const off_t from = REGION_HEADER_BYTES + static_cast<off_t>(r.offset);
    const off_t to = REGION_HEADER_BYTES + offsets[static_cast<size_t>(*it)];
    if (region_move_up(file.name, fd, to + 4 * r.count, from, from + 4 * r.count))
      return report_partly_moved(file.name);
  }

  for (int32_t i = 0; i < file.count; ++i)
    file.regions[i].offset = static_cast<uint32_t>(offsets[static_cast<size_t>(i)]);
  int64_t next_new = grown_end;
  for (int32_t t = 0; t < tag_name_count; ++t) {
    RegionExpandRecord& rec = list->tags[t];
    const int32_t r = region_of[static_cast<size_t>(t)];
    if (r >= 0) {
      rec.region = &file.regions[r];
      rec.new_offset = rec.region->offset;
      rec.new_count = rec.region->count + new_values(t);
      rec.write_position = rec.new_offset;
    } else {
      rec.new_offset = static_cast<uint32_t>(next_new);
      rec.new_count = new_values(t);
      next_new += 4 * static_cast<int64_t>(rec.new_count);
    }
  }
  return region_write_dd(tree, &file);
}

void region_expand_free(RegionExpansion* list) {
  if (!list || !list->tags) {
    if (list) list->tag_count = 0;
    return;
  }
  for (int32_t t = 0; t <= list->tag_count; ++t) {
    RegionExpandRecord& rec = list->tags[t];
    free(rec.name);
    free(rec.second_name);
    if (rec.reader) revio_close(rec.reader);
    if (rec.writer) revio_close(rec.writer);
  }
  free(list->tags);
  list->tags = nullptr;
  list->tag_count = 0;
}
