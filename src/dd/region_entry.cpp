// Region entries: merge trees that make or update one Region of the
// Regions section, built and merged in one call.
//
// The merge tree is DB > Regions > Region (matched by its Name). A missing
// Regions section goes after the last Indices, else after the last Text,
// else first under DB; a new Region goes after the last Region. Within the
// Region, Name is matched, Desc, File, Count and Type replace what stands
// (or are placed after their preceding entries), and FastRegion entries
// are matched by their IndexName.
#include <cstdio>
#include <string>

#include "dd/dd.h"
#include "madut/madut.h"
#include "msg/msg.h"

namespace {

const char* const kId = "addmdmr";

MadNode* merge_child(MadNode* parent, int32_t tag_id, const char* value, MrgDta* data) {
  MadNode* node = madmtac(parent, MAD_TAG, tag_id, value);
  madmtsm(node, data);
  return node;
}

std::string format_unsigned(uint32_t n) { return std::to_string(static_cast<unsigned long>(n)); }

void release_merge_tree(MadNode* merge) {
  madmtfm(merge);
  madmtfr(merge);
}

}  // namespace

MadNode* addmdfi(MadNode* parent, const FileInfo* info) {
  if (!parent || !info) return nullptr;
  MadNode* file = merge_child(parent, DD_File, nullptr,
                              madutmd(MRG_REPLACE, DD_File, -1, nullptr, nullptr, 1,
                                      {DD_Desc, DD_Name}));
  madmtac(file, MAD_TAG, DD_SysName, info->sys_name);
  if (info->fragmented) {
    madmtac(file, MAD_TAG, DD_FrgDir, info->frg_dir);
    madmtac(file, MAD_TAG, DD_Major, std::to_string(info->major).c_str());
    madmtac(file, MAD_TAG, DD_Minor, std::to_string(info->minor).c_str());
  }
  madmtac(file, MAD_TAG, DD_ModDate, format_unsigned(info->mod_date).c_str());
  madmtac(file, MAD_TAG, DD_Offset, format_unsigned(info->offset).c_str());
  return file;
}

MadNode* addmdfr(MadNode* region, const char* index_name, const FileInfo* info) {
  if (!region) return nullptr;
  MadNode* fast = merge_child(region, DD_FastRegion, nullptr,
                              madutmd(MRG_MATCH, DD_FastRegion, DD_IndexName, index_name,
                                      nullptr, 1, {DD_FastRegion}));
  merge_child(fast, DD_IndexName, index_name,
              madutmd(MRG_MATCH, DD_IndexName, -1, nullptr, nullptr, 1, {}));
  addmdfi(fast, info);
  return fast;
}

int addmdmr(MadNode* root, const char* region_name, std::initializer_list<DdEntryValue> pairs) {
  if (!root) return 11;
  MadNode* merge = madmtmr();
  MadNode* db = merge_child(merge, DD_DB, nullptr,
                            madutmd(MRG_MATCH, DD_DB, -1, nullptr, nullptr, 1, {}));
  MadNode* regions =
      merge_child(db, DD_Regions, nullptr,
                  madutmd(MRG_MATCH, DD_Regions, -1, nullptr, nullptr, 1, {DD_Indices, DD_Text}));
  MadNode* region =
      merge_child(regions, DD_Region, nullptr,
                  madutmd(MRG_MATCH, DD_Region, DD_Name, region_name, nullptr, 1, {DD_Region}));
  for (const DdEntryValue& pair : pairs) {
    if (pair.tag_id == 0) break;
    switch (pair.tag_id) {
      case DD_Name:
        merge_child(region, DD_Name, pair.text,
                    madutmd(MRG_MATCH, DD_Name, -1, nullptr, nullptr, 1, {}));
        break;
      case DD_Desc:
        merge_child(region, DD_Desc, pair.text,
                    madutmd(MRG_REPLACE, DD_Desc, -1, nullptr, nullptr, 1, {DD_Name}));
        break;
      case DD_Count:
        merge_child(region, DD_Count, std::to_string(pair.number).c_str(),
                    madutmd(MRG_REPLACE, DD_Count, -1, nullptr, nullptr, 1,
                            {DD_File, DD_Desc, DD_Name}));
        break;
      case DD_Type: {
        const std::string type = pair.text ? pair.text : "";
        if (type != "pairs" && type != "contig")
          vq_report(15, GetMsgNumText(40007), kId, type.c_str());
        merge_child(region, DD_Type, pair.text,
                    madutmd(MRG_REPLACE, DD_Type, -1, nullptr, nullptr, 1,
                            {DD_Count, DD_File, DD_Desc, DD_Name}));
        break;
      }
      case DD_File:
        addmdfi(region, pair.file);
        break;
      case DD_FastRegion:
        addmdfr(region, pair.text, pair.file);
        break;
      default:
        if (pair.tag_id >= 0 && pair.tag_id <= DD_Grammar)
          vq_report(15, GetMsgNumText(10002), kId, DdTagTable[pair.tag_id].name);
        else
          vq_report(15, GetMsgNumText(10006), kId, pair.tag_id);
        release_merge_tree(merge);
        return 15;
    }
  }
  const int status = madmtmt(root, merge);
  release_merge_tree(merge);
  return status;
}
