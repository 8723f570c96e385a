// The <Index> entry of a build: a merge tree DB > Indices > Index (keyed by
// its Name) holding the index's name, file, index points, mappings,
// longest-match values and integrity check, merged into the data
// dictionary. Each entry replaces the one that stands, or is placed after
// the entries listed for it.
#include <cctype>
#include <cstdio>
#include <string>

#include "builder/builder.h"
#include "builder/entries_internal.h"

using bldentry::merge_child;
using bldentry::replacing;

namespace {

const char* const kId = "addmdmi";

// The default a map is written against: printable ASCII kept as itself,
// every other byte dropped.
bool printable_ascii(int b) { return b >= 1 && b <= 127 && std::isprint(b); }

// One side of a <Map>: the value, or a <CharRange> with <First> and <Last>.
void map_side(MadNode* map, int32_t tag_id, int32_t is_range, int32_t first, int32_t last) {
  if (!is_range) {
    madmtac(map, MAD_TAG, tag_id, mapping_text(first).c_str());
    return;
  }
  MadNode* side = madmtac(map, MAD_TAG, tag_id, nullptr);
  MadNode* range = madmtac(side, MAD_TAG, DD_CharRange, nullptr);
  madmtac(range, MAD_TAG, DD_First, mapping_text(first).c_str());
  madmtac(range, MAD_TAG, DD_Last, mapping_text(last).c_str());
}

void add_map(MadNode* mappings, int32_t from_range, int32_t from_first, int32_t from_last,
             int32_t to_range, int32_t to_first, int32_t to_last) {
  MadNode* map = madmtac(mappings, MAD_TAG, DD_Map, nullptr);
  map_side(map, DD_From, from_range, from_first, from_last);
  map_side(map, DD_To, to_range, to_first, to_last);
}

void add_mappings(MadNode* index, const IndexMappings* m) {
  MadNode* mappings = replacing(index, DD_Mappings, nullptr,
                                {DD_IndexPoints, DD_NumberIndexPts, DD_InitFile, DD_File, DD_Name});
  if (m != nullptr && m->item_count > 0 && m->items != nullptr) {
    for (int32_t i = 0; i < m->item_count; ++i) {
      const CharMapping& c = m->items[i];
      add_map(mappings, c.from_is_range, c.from_first, c.from_last, c.to_is_range, c.to_first,
              c.to_last);
    }
  } else if (m != nullptr && m->map != nullptr) {
    for (int b = 0; b < 256; ++b) {
      const int to = m->map[b];
      const bool listed = (to != b && to != 0) || (!printable_ascii(b) && to == b) ||
                          (printable_ascii(b) && to == 0);
      if (listed) add_map(mappings, 0, b, b, 0, to, to);
    }
  }
  MadNode* stop_words = madmtac(mappings, MAD_TAG, DD_StopWords, nullptr);
  if (m != nullptr && m->stop_words != nullptr) {
    for (const std::string& word : *m->stop_words) {
      madmtac(stop_words, MAD_TAG, DD_Ignore, word.c_str());
    }
  }
}

}  // namespace

std::string mapping_text(int byte) {
  switch (byte) {
    case '&': return "&amp.";
    case 8: return "&backspace.";
    case '<': return "&lt.";
    case '>': return "&gt.";
    case '\n': return "&newline.";
    case '\r': return "&return.";
    case '\t': return "&tab.";
    case 0: return "";
    default: break;
  }
  if (byte > 127 || !std::isprint(byte)) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", byte & 0xff);
    return octal;
  }
  return std::string(1, static_cast<char>(byte));
}

int addmdmi(MadNode* tree, const char* index_name, std::initializer_list<IndexEntryValue> entries) {
  if (tree == nullptr) return 11;
  MadNode* merge = madmtmr();
  MadNode* db =
      merge_child(merge, DD_DB, nullptr, madutmd(MRG_MATCH, DD_DB, -1, nullptr, nullptr, 1, {}));
  MadNode* indices = merge_child(db, DD_Indices, nullptr,
                                 madutmd(MRG_MATCH, DD_Indices, -1, nullptr, nullptr, 1, {DD_Text}));
  MadNode* index = merge_child(indices, DD_Index, nullptr,
                               madutmd(MRG_MATCH, DD_Index, DD_Name, index_name, nullptr, 1,
                                       {DD_Index}));
  for (const IndexEntryValue& e : entries) {
    if (e.tag_id == 0) break;
    switch (e.tag_id) {
      case DD_Name:
        merge_child(index, DD_Name, e.text,
                    madutmd(MRG_MATCH, DD_Name, -1, nullptr, nullptr, 1, {}));
        break;
      case DD_Desc:
        replacing(index, DD_Desc, e.text, {DD_Name});
        break;
      case DD_InitFile:
        replacing(index, DD_InitFile, e.text, {DD_File, DD_Desc, DD_Name});
        break;
      case DD_File:
        addmdfi(index, e.file);
        break;
      case DD_IndexPoints: {
        MadNode* points = replacing(index, DD_IndexPoints, nullptr,
                                    {DD_NumberIndexPts, DD_InitFile, DD_File, DD_Name});
        if (e.list != nullptr) {
          for (const std::string& p : *e.list) madmtac(points, MAD_TAG, DD_IndexPt, p.c_str());
        }
        break;
      }
      case DD_Mappings:
        add_mappings(index, e.mappings);
        break;
      case DD_LongestMatch: {
        MadNode* longest =
            replacing(index, DD_LongestMatch, nullptr,
                      {DD_Mappings, DD_IndexPoints, DD_NumberIndexPts, DD_InitFile, DD_File,
                       DD_Desc, DD_Name});
        madmtac(longest, MAD_TAG, DD_Length, std::to_string(static_cast<int>(e.numbers[0])).c_str());
        madmtac(longest, MAD_TAG, DD_Resolution,
                std::to_string(static_cast<int>(e.numbers[1])).c_str());
        break;
      }
      case DD_IntegrityCheck:
        replacing(index, DD_IntegrityCheck, std::to_string(e.numbers[0]).c_str(),
                  {DD_LongestMatch, DD_Mappings, DD_Name});
        break;
      default:
        return bldentry::refuse(kId, e.tag_id, merge);
    }
  }
  return bldentry::merge_into(tree, merge, kId, "index");
}
