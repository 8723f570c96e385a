// The builder's data-dictionary getters: the values of an <Index> entry and
// of a <Region> entry with its FastRegion list.
#include <cstdlib>
#include <cstring>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "madat/madat.h"
#include "msg/msg.h"

namespace bldgi {

namespace {

// The entry a getter works on: the node itself when it carries the tag,
// the first entry below DB > section when given the root; else 40000 with
// the getter's id and null.
MadNode* entry_of(MadNode* node, int32_t section, int32_t tag, const char* id) {
  if (node != nullptr && node->kind == MAD_ROOT) {
    node = madatgc(madatgc(madatgc(node, DD_DB), section), tag);
  }
  if (node == nullptr || node->kind != MAD_TAG || node->tag_id != tag) {
    vq_report(15, GetMsgNumText(40000), id);
    return nullptr;
  }
  return node;
}

std::optional<std::string> optional_text(const MadNode* node, int32_t tag) {
  const char* value = madatgv(madatgc(node, tag));
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// A required number of a 32-bit field (40009 / 40025 through addgirl).
long number_of(const MadNode* node, int32_t tag, const char* id, const char* path) {
  return addgirl(node, tag, id, path);
}

// The first record of the File children from file_node on: moved into
// *out; 0 or the severity of a report.
int first_file(const MadNode* file_node, FileInfo* out) {
  FileInfo* list = nullptr;
  int32_t count = 0;
  int status = addgifi(file_node, &list, &count);
  if (list != nullptr && count > 0) {
    *out = list[0];
    list[0] = FileInfo{};
  }
  addgi_files_free(list, count);
  return status;
}

}  // namespace

MadNode* addgiin(MadNode* tree, const char* index_name, const char* dd_name) {
  MadNode* index = entry_of(tree, DD_Indices, DD_Index, "addgiin");
  for (; index != nullptr; index = madatns(index, DD_Index)) {
    const char* name = madatgv(madatgc(index, DD_Name));
    if (name != nullptr && std::strcmp(name, index_name) == 0) return index;
  }
  vq_report(16, GetMsgNumText(40013), index_name, dd_name);
  return nullptr;
}

int addgiic(MadNode* index, std::optional<std::string>* name, std::optional<std::string>* desc,
            std::optional<std::string>* init_file, int32_t* integrity, FileInfo* file,
            int32_t* file_count) {
  index = entry_of(index, DD_Indices, DD_Index, "addgiic");
  if (index == nullptr) return 15;
  if (name != nullptr) *name = optional_text(index, DD_Name);
  if (desc != nullptr) *desc = optional_text(index, DD_Desc);
  if (init_file != nullptr) *init_file = optional_text(index, DD_InitFile);
  if (integrity != nullptr) {
    // Optional: an index that was never built has no check yet.
    *integrity = 0;
    if (optional_text(index, DD_IntegrityCheck)) {
      *integrity = static_cast<int32_t>(
          number_of(index, DD_IntegrityCheck, "addgiic", "<Index><IntegrityCheck>"));
    }
  }
  int status = 0;
  const MadNode* file_node = madatgc(index, DD_File);
  if (file_count != nullptr) *file_count = file_node != nullptr ? 1 : 0;
  if (file != nullptr && file_node != nullptr) status = first_file(file_node, file);
  return status;
}

MadNode* addgilr(MadNode* index, int32_t* length, int32_t* resolution) {
  index = entry_of(index, DD_Indices, DD_Index, "addgilr");
  MadNode* longest = madatgc(index, DD_LongestMatch);
  if (longest == nullptr) return nullptr;
  long l = number_of(longest, DD_Length, "addgilr", "<Index><LongestMatch><Length>");
  long r = number_of(longest, DD_Resolution, "addgilr", "<Index><Resolution><Length>");
  if (length != nullptr) *length = static_cast<int32_t>(l);
  if (resolution != nullptr) *resolution = static_cast<int32_t>(r);
  return longest;
}

std::vector<std::string> addgiip(MadNode* index, bool* found) {
  std::vector<std::string> list;
  index = entry_of(index, DD_Indices, DD_Index, "addgiip");
  const MadNode* points = madatgc(index, DD_IndexPoints);
  for (const MadNode* p = madatgc(points, DD_IndexPt); p != nullptr; p = madatns(p, DD_IndexPt)) {
    const char* value = madatgv(p);
    list.emplace_back(value != nullptr ? value : "");
  }
  if (found != nullptr) *found = !list.empty();
  if (list.empty()) vq_report(0, GetMsgNumText(40016), "addgiip");
  return list;
}

std::vector<std::string> addgisw(MadNode* index) {
  std::vector<std::string> list;
  index = entry_of(index, DD_Indices, DD_Index, "addgisw");
  const MadNode* stops = madatgc(madatgc(index, DD_Mappings), DD_StopWords);
  for (const MadNode* w = madatgc(stops, DD_Ignore); w != nullptr; w = madatns(w, DD_Ignore)) {
    const char* value = madatgv(w);
    list.emplace_back(value != nullptr ? value : "");
  }
  return list;
}

int addgisv(MadNode* index, std::array<FileInfo*, 3>* files) {
  files->fill(nullptr);
  index = entry_of(index, DD_Indices, DD_Index, "addgisv");
  const MadNode* fast = madatgc(index, DD_FastFind);
  if (fast == nullptr) return 0;
  const int32_t parts[3] = {DD_FastFindIndex, DD_FastFindWordList, DD_FastFindCompression};
  for (int i = 0; i < 3; ++i) {
    const MadNode* file_node = madatgc(madatgc(fast, parts[i]), DD_File);
    if (file_node == nullptr) continue;
    auto* record = static_cast<FileInfo*>(std::calloc(1, sizeof(FileInfo)));
    if (record == nullptr) vq_alloc_failed(sizeof(FileInfo), 1, sizeof(FileInfo), __LINE__, "builder/getters");
    first_file(file_node, record);
    (*files)[i] = record;
  }
  return 1;
}

std::optional<std::string> addgiau(MadNode* index) {
  index = entry_of(index, DD_Indices, DD_Index, "addgiau");
  return optional_text(index, DD_AuxPath);
}

MadNode* addgiri(MadNode* tree, const char* region_name, std::optional<std::string>* desc,
                 long* count, int32_t* pairs, FileInfo** files, int32_t* file_count,
                 std::vector<FastRegion>* fast) {
  MadNode* region = nullptr;
  if (tree != nullptr && tree->kind == MAD_ROOT) {
    // Every Regions section of the data dictionary is searched.
    const MadNode* db = madatgc(tree, DD_DB);
    for (MadNode* s = madatgc(db, DD_Regions); s != nullptr && region == nullptr;
         s = madatns(s, DD_Regions)) {
      for (MadNode* r = madatgc(s, DD_Region); r != nullptr; r = madatns(r, DD_Region)) {
        const char* name = madatgv(madatgc(r, DD_Name));
        if (name != nullptr && std::strcmp(name, region_name) == 0) {
          region = r;
          break;
        }
      }
    }
    if (region == nullptr) return nullptr;
  } else {
    region = entry_of(tree, DD_Regions, DD_Region, "addgiri");
    for (; region != nullptr; region = madatns(region, DD_Region)) {
      const char* name = madatgv(madatgc(region, DD_Name));
      if (name != nullptr && std::strcmp(name, region_name) == 0) break;
    }
    if (region == nullptr) return nullptr;
  }
  if (desc != nullptr) *desc = optional_text(region, DD_Desc);
  long n = addgirl(region, DD_Count, "addgiri", "<Region><Count>");
  if (count != nullptr) *count = n;
  char* type = addgirs(region, DD_Type, "addgiri", "<Region><Type>");
  if (pairs != nullptr) *pairs = type != nullptr && std::strcmp(type, "pairs") == 0 ? 1 : 0;
  std::free(type);
  if (files != nullptr || file_count != nullptr) {
    addgifi(madatgc(region, DD_File), files, file_count);
  }
  if (fast != nullptr) {
    fast->clear();
    const MadNode* first = madatgc(region, DD_FastRegion);
    if (first != nullptr) addgibv(first, fast);
  }
  return region;
}

int addgibv(const MadNode* first, std::vector<FastRegion>* list) {
  list->clear();
  int status = 0;
  for (const MadNode* f = first; f != nullptr; f = madatns(f, DD_FastRegion)) {
    FastRegion entry;
    entry.index_name = optional_text(f, DD_IndexName).value_or("");
    const MadNode* file_node = madatgc(f, DD_File);
    if (file_node != nullptr) {
      int s = first_file(file_node, &entry.file);
      if (status == 0) status = s;
    }
    list->push_back(std::move(entry));
  }
  return status;
}

void fast_regions_free(std::vector<FastRegion>* list) {
  for (FastRegion& f : *list) addgi_file_clear(&f.file);
  list->clear();
}

}  // namespace bldgi
