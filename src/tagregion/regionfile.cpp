// The region file of a run: old regions of the same file emptied, then the
// tag position records laid out slot by slot.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "commit/commit.h"
#include "pitas/pitas.h"
#include "region/region.h"
#include "tagregion/tagregion.h"

namespace {

// Positions gathered per slot before one seek and write.
constexpr size_t kSlotBuffer = 16384;
// Tag position records read at a time.
constexpr size_t kReadRecords = 64 * 1024;

// Reads the whole tag position file from its start, calling each(record)
// for every complete record; the number of records is the size / 5. The
// file is read on its descriptor straight into a large chunk (the stream's
// own buffer would only add a copy).
template <class Each>
void for_each_record(VqStream* tagpos, int64_t records, Each each) {
  std::vector<unsigned char> chunk(kReadRecords * TAGPOS_RECORD_BYTES);
  const int fd = vqio_fileno(tagpos);
  if (vqio_lseek(fd, 0, SEEK_SET) != 0) msg_report(16, 80019, "tag position file");
  int64_t left = records * TAGPOS_RECORD_BYTES;
  size_t held = 0;  // bytes of a record split by the previous read
  while (left > 0) {
    size_t want = static_cast<size_t>(
        std::min<int64_t>(left, static_cast<int64_t>(chunk.size() - held)));
    ssize_t got = vqio_read(fd, chunk.data() + held, want);
    if (got <= 0) msg_report(16, 80019, "tag position file");
    left -= got;
    size_t have = held + static_cast<size_t>(got);
    size_t whole = have - have % TAGPOS_RECORD_BYTES;
    for (size_t i = 0; i < whole; i += TAGPOS_RECORD_BYTES) each(chunk.data() + i);
    held = have - whole;
    std::memmove(chunk.data(), chunk.data() + whole, held);
  }
}

struct SlotWriter {
  VqStream* region;
  std::vector<uint32_t> buffer[TAG_SLOTS];
  int64_t at[TAG_SLOTS];  // data offset of the next position of the slot

  void flush(int s) {
    std::vector<uint32_t>& b = buffer[s];
    if (b.empty()) return;
    if (vqio_fseek(region, static_cast<long>(REGION_HEADER_BYTES + at[s]), SEEK_SET) != 0 ||
        vqio_fwrite(b.data(), 4, b.size(), region) != b.size())
      msg_report(14, 80021);
    at[s] += static_cast<int64_t>(4 * b.size());
    b.clear();
  }
};

}  // namespace

int region_base_offset(MadNode* tree, const char* region_file, int64_t* base) {
  *base = 0;
  int32_t file_count = 0;
  RegionListFile* files = nullptr;
  region_list_build(tree, &file_count, &files);
  int status = 0;
  // Only a file that is not there loses its entries: a file whose
  // existence cannot be told stops the run before anything changes.
  for (int32_t i = 0; i < file_count; ++i) {
    const int exists = commit_file_exists(files[i].name);
    if (exists == 0) region_dd_remove(tree, &files[i]);
    if (exists < 0) msg_report(16, 60053, files[i].name);
  }
  int32_t mine = region_list_find(region_file, file_count, files);
  if (mine >= 0) {
    for (int32_t i = 0; i < files[mine].count; ++i) {
      files[mine].regions[i].offset = 0;
      files[mine].regions[i].count = 0;
    }
    status = region_write_dd(tree, &files[mine]);
  }
  region_list_free(file_count, files);
  return status;
}

int region_sort_pointers(const char* counts_file, VqStream* tagpos, VqStream* region,
                         int64_t base, int32_t version, const char* region_file) {
  VqStream* counts_out = vqio_fopen(counts_file, "w");
  if (counts_out == nullptr) msg_report(16, 80020, counts_file);

  struct stat st;
  if (vqio_fstat(vqio_fileno(tagpos), &st) != 0) msg_report(16, 80019, "tag position file");
  const int64_t records = static_cast<int64_t>(st.st_size) / TAGPOS_RECORD_BYTES;

  int64_t count[TAG_SLOTS] = {};
  for_each_record(tagpos, records, [&](const unsigned char* r) { ++count[r[0]]; });

  int64_t offset[TAG_SLOTS];
  int64_t end = base;
  for (int s = 0; s < TAG_SLOTS; ++s) {
    offset[s] = end;
    end += 4 * count[s];
  }
  if (end > REGION_MAX_DATA_END) msg_report(9, 80010, region_file, static_cast<long>(end));

  int32_t words[2 * TAG_SLOTS];
  for (int s = 0; s < TAG_SLOTS; ++s) {
    words[s] = static_cast<int32_t>(static_cast<uint32_t>(offset[s]));
    words[TAG_SLOTS + s] = static_cast<int32_t>(count[s]);
  }
  if (vqio_fwrite(words, 4, 2 * TAG_SLOTS, counts_out) != 2 * TAG_SLOTS ||
      vqio_fclose(counts_out) != 0)
    msg_report(14, 80021);

  PitasHeader* header = pitasch(REGION_FILE_TYPE, version, REGION_FILE_MAJOR,
                                REGION_FILE_MINOR, 0);
  unsigned char bytes[PITAS_HEADER_BYTES];
  pitas_encode(header, bytes);
  std::free(header);
  if (vqio_fseek(region, 0, SEEK_SET) != 0 ||
      vqio_fwrite(bytes, 1, PITAS_HEADER_BYTES, region) != PITAS_HEADER_BYTES)
    msg_report(16, 90027, "output file");

  auto* writer = new SlotWriter;
  writer->region = region;
  for (int s = 0; s < TAG_SLOTS; ++s) writer->at[s] = offset[s];
  for_each_record(tagpos, records, [&](const unsigned char* r) {
    uint32_t position;
    std::memcpy(&position, r + 1, 4);
    std::vector<uint32_t>& b = writer->buffer[r[0]];
    if (b.empty()) b.reserve(kSlotBuffer);
    b.push_back(position);
    if (b.size() == kSlotBuffer) writer->flush(r[0]);
  });
  for (int s = 0; s < TAG_SLOTS; ++s) writer->flush(s);
  delete writer;

  // Nothing of an older, longer file may stay behind the new data.
  if (vqio_fflush(region) != 0 ||
      vqio_ftruncate(vqio_fileno(region), static_cast<off_t>(REGION_HEADER_BYTES + end)) != 0)
    msg_report(14, 80021);
  return 0;
}
