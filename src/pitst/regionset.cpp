// A data dictionary's region opened as a set (OpenDocs) and loaded whole as
// text positions (LoadDocs).
#include <memory>

#include "addgi/addgi.h"
#include "msg/msg.h"
#include "pitas/pitas.h"
#include "pitst/pitst.h"

namespace {

constexpr const char* kSource = "pitst/regionset";

// Opens the region file of the record into record->handle; the set type of
// pitasop, or 0 after a report.
int32_t open_region_file(FileInfo* record) {
  if (record->fragmented) {
    auto* text = new FrgacText;
    if (frgac_open(record->sys_name, record->frg_dir, record->major, record->minor, 0,
                   FRGAC_READ, text, 1) != 0) {
      delete text;
      vq_report(15, GetMsgNumText(50000), record->sys_name, record->frg_dir);
      return 0;
    }
    record->handle = text;
    return SET_OPEN_FRAGMENTED;
  }
  VqStream* stream = vqio_fopen(record->sys_name, "r");
  if (stream == nullptr) {
    vq_report(15, GetMsgNumText(60005), record->sys_name);
    return 0;
  }
  record->handle = stream;
  return SET_OPEN_STREAM;
}

}  // namespace

void region_set_close(RegionSet* region) {
  if (region == nullptr) return;
  pitas_free(region->set);
  // A region file still open here was never handed to its subset.
  if (region->file.handle != nullptr) {
    if (region->file.fragmented) {
      frgac_close(static_cast<FrgacText*>(region->file.handle));
      delete static_cast<FrgacText*>(region->file.handle);
    } else {
      vqio_fclose(static_cast<VqStream*>(region->file.handle));
    }
    region->file.handle = nullptr;
  }
  addgi_file_clear(&region->file);
  bldgi::fast_regions_free(&region->fast);
  delete region;
}

namespace {

using RegionHolder = std::unique_ptr<RegionSet, decltype(&region_set_close)>;
using ListHolder = std::unique_ptr<IntList, decltype(&intlist_free)>;

}  // namespace

RegionSet* OpenDocs(MadNode* tree, const char* region_name, const BuildControl* control) {
  // Held so that nothing stays allocated when a report unwinds.
  RegionHolder region(new RegionSet, region_set_close);
  long count = 0;
  FileInfo* files = nullptr;
  int32_t file_count = 0;
  if (bldgi::addgiri(tree, region_name, &region->desc, &count, &region->pairs, &files,
                     &file_count, &region->fast) == nullptr) {
    vq_report(9, GetMsgNumText(40017), region_name);
    return nullptr;
  }
  if (files == nullptr || file_count < 1) {  // reported by the getter
    addgi_files_free(files, file_count);
    return nullptr;
  }
  region->file = files[0];
  files[0] = FileInfo{};
  addgi_files_free(files, file_count);
  const uint32_t offset = region->file.offset;
  if (count < 0 || count > INT32_MAX || offset % 4 != 0) {
    vq_report(13, "Region '%s' has a bad count (%ld) or offset (%u).", region_name, count,
              offset);
    return nullptr;
  }
  region->count = static_cast<int32_t>(count);

  const int32_t open_type = open_region_file(&region->file);
  if (open_type == 0) return nullptr;
  AbstractSet* file_set = pitasop(nullptr, open_type, &region->file, region_name);
  if (file_set == nullptr) return nullptr;
  // The region's elements: a range of the file's elements.
  Subset* file_subset = file_set->subset;
  file_set->subset = nullptr;
  pitas_free(file_set);
  // The region's elements must lie in the file: a Count beyond it is
  // refused before a list of that size is allocated.
  if (int64_t{offset / 4} + region->count > file_subset->count) {
    pitstcl(file_subset);
    vq_report(15, "pitstgr: botch1.");
    return nullptr;
  }
  Subset* range = pitstcr(SUBSET_RANGES, file_subset->order, 0, nullptr, file_subset, 0, 0, 0);
  if (range == nullptr) {
    pitstcl(file_subset);
    return nullptr;
  }
  const FileInfo* text = control->text_count > 0 ? &control->texts[0] : nullptr;
  const bool persistent = text != nullptr && text->fragmented;
  region->set = pitascr(text, range, persistent ? SET_PERSISTENT : SET_PLAIN);
  if (region->count > 0) {
    if (pitstas(range, static_cast<int32_t>(offset / 4), region->count) != 0) return nullptr;
  } else {
    vq_report(1, GetMsgNumText(90026), region_name);
  }
  return region.release();
}

IntList* LoadDocs(MadNode* tree, const char* region_name, int32_t* count, int32_t* pairs,
                  const BuildControl* control, int64_t text_size) {
  RegionHolder region(OpenDocs(tree, region_name, control), region_set_close);
  if (region == nullptr) return nullptr;
  const int32_t n = region->count;
  ListHolder list(intlist_reserve(nullptr, n + 1, kSource, __LINE__), intlist_free);
  if (list == nullptr) return nullptr;
  int32_t got = n > 0 ? pitstgr(region->set->subset, 0, n, list->buffer + 1) : 0;
  if (got != n) {
    if (got >= 0) vq_report(15, "pitstgr: botch1.");
    return nullptr;
  }
  list->length = n;
  if (pitas_make_working_vector(region->set, list->buffer + 1, n) != 0) return nullptr;
  *pairs = region->pairs;
  if (*pairs) {
    *count = n / 2;
    // An odd count leaves the last start without its end.
    if (n > 0 && (n % 2 != 0 || list->buffer[1] < 0 || list->buffer[n] > text_size)) {
      vq_report(13, GetMsgNumText(140000), region_name);
      return nullptr;
    }
  } else {
    intlist_append(list.get(), static_cast<int32_t>(text_size + 1), kSource, __LINE__);
    *count = n;
  }
  return list.release();
}
