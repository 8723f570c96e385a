// The regions of a run entered in the data dictionary, one Region of type
// "pairs" per slot, named as the SGML region finder names them.
#include "commit/commit.h"
#include "tagregion/tagregion.h"
#include "util/util.h"

namespace {

// Longest element name taken for a region name.
constexpr size_t kMaxRegionName = 1023;

}  // namespace

void region_add_dd_entry(MadNode* tree, const char* name, const char* description, long count,
                         uint32_t offset, const char* region_file) {
  time_t date = file_mtime(commit_current_name(region_file).c_str());
  FileInfo info{};
  info.sys_name = const_cast<char*>(region_file);
  info.major = -1;
  info.minor = -1;
  info.offset = offset;
  info.mod_date = static_cast<uint32_t>(date);
  int status = addmdmr(tree, name,
                       {DdEntryValue(DD_Name, name), DdEntryValue(DD_Desc, description),
                        DdEntryValue(DD_File, &info), DdEntryValue(DD_Count, count),
                        DdEntryValue(DD_Type, "pairs")});
  if (status != 0) msg_report(status, 80001);
}

int region_update_dd(MadNode* tree, const TagNameLists* lists, const char* region_file,
                     const char* counts_file, int default_data) {
  if (tree == nullptr) return 1;
  VqStream* in = vqio_fopen(counts_file, "r");
  if (in == nullptr) {
    vqio_perror(counts_file);
    return 1;
  }
  int32_t words[2 * TAG_SLOTS];
  size_t got = vqio_fread(words, 4, 2 * TAG_SLOTS, in);
  vqio_fclose(in);
  if (got != 2 * TAG_SLOTS) {
    vqio_perror(counts_file);
    return 1;
  }
  auto add = [&](const std::string& name, const std::string& description, int32_t slot) {
    region_add_dd_entry(tree, name.c_str(), description.c_str(), words[TAG_SLOTS + slot],
                        static_cast<uint32_t>(words[slot]), region_file);
  };
  for (int32_t i = 0; i < lists->elements.count; ++i) {
    std::string name = lists->elements.names[i].substr(0, kMaxRegionName);
    add(name, "Element delimited by '" + name + "'.", lists->elements.slots[i]);
  }
  for (int32_t i = 0; i < lists->attributes.count; ++i) {
    std::string name = "A-" + lists->attributes.names[i];
    add(name, "Attribute defined by '" + name + "'.", lists->attributes.slots[i]);
  }
  for (int32_t i = 0; i < lists->tags.count; ++i) {
    std::string name = lists->tags.names[i] + "-T";
    add(name, "Tag delimited by '" + name + "'.", lists->tags.slots[i]);
  }
  if (default_data) add("VQDefaultData", "Default Data Regions", TAG_DEFAULT_DATA_SLOT);
  return 0;
}
