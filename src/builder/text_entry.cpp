// The <Text> entry of a build: a merge tree DB > Text holding the text
// files (a <Files> list, or the <MfsFiles> of a multi-file set), which
// replaces the one that stands, and the optional Name, Desc, DiffFinder and
// AuditTrail entries.
#include "builder/builder.h"
#include "builder/entries_internal.h"

using bldentry::merge_child;
using bldentry::replacing;

namespace {

const char* const kId = "addmdmt";

void leaf(MadNode* parent, int32_t tag_id, const char* value) {
  madmtac(parent, MAD_TAG, tag_id, value != nullptr ? value : "");
}

// The multi-file text of a set's record: its file map, then per filter
// chain the views, the display format, the default data tag (when it has
// one) and the file groups.
void add_multi_file_text(MadNode* text, const FileInfo* set) {
  MadNode* files = replacing(text, DD_MfsFiles, nullptr, {DD_Desc, DD_Name});
  leaf(files, DD_FileMap, set->file_map != nullptr ? set->file_map : set->sys_name);
  for (int32_t c = 0; c < set->chain_count; ++c) {
    const FilterChainInfo& chain = set->chains[c];
    MadNode* node = madmtac(files, MAD_TAG, DD_FilterChain, nullptr);
    leaf(node, DD_SearchView, chain.search_view);
    leaf(node, DD_DisplayView, chain.display_view);
    leaf(node, DD_RawView, chain.raw_view);
    leaf(node, DD_DisplayFmt, chain.display_fmt);
    if (chain.default_data_tag != nullptr) leaf(node, DD_DefaultDataTag, chain.default_data_tag);
    for (int32_t g = 0; g < chain.group_count; ++g) {
      const FileGroupInfo& group = chain.groups[g];
      MadNode* gnode = madmtac(node, MAD_TAG, DD_FileGroup, nullptr);
      leaf(gnode, DD_MfsDir, group.mfs_dir);
      leaf(gnode, DD_MfsFile, group.mfs_file);
      leaf(gnode, DD_MfsExpand, group.mfs_expand);
    }
  }
}

}  // namespace

int addmdmt(MadNode* tree, int32_t files_tag, const FileInfo* records, int32_t count,
            std::initializer_list<DdEntryValue> pairs) {
  if (tree == nullptr) return 11;
  MadNode* merge = madmtmr();
  MadNode* db =
      merge_child(merge, DD_DB, nullptr, madutmd(MRG_MATCH, DD_DB, -1, nullptr, nullptr, 1, {}));
  MadNode* text =
      merge_child(db, DD_Text, nullptr, madutmd(MRG_MATCH, DD_Text, -1, nullptr, nullptr, 1, {}));
  if (files_tag == DD_Files) {
    MadNode* files = replacing(text, DD_Files, nullptr, {DD_Desc, DD_Name});
    for (int32_t i = 0; i < count; ++i) addmdfi(files, &records[i]);
  } else if (files_tag == DD_MfsFiles) {
    if (count > 0 && records[0].multi_file) add_multi_file_text(text, &records[0]);
  } else {
    return bldentry::refuse(kId, files_tag, merge);
  }
  for (const DdEntryValue& pair : pairs) {
    if (pair.tag_id == 0) break;
    switch (pair.tag_id) {
      case DD_Name:
        merge_child(text, DD_Name, pair.text,
                    madutmd(MRG_MATCH, DD_Name, -1, nullptr, nullptr, 1, {}));
        break;
      case DD_Desc:
        replacing(text, DD_Desc, pair.text, {DD_Name});
        break;
      case DD_DiffFinder:
        replacing(text, DD_DiffFinder, pair.text, {DD_NumberChars, DD_Files, DD_Desc, DD_Name});
        break;
      case DD_AuditTrail: {
        MadNode* audit = replacing(text, DD_AuditTrail, nullptr,
                                   {DD_NumberChars, DD_Files, DD_Desc, DD_Name});
        leaf(audit, DD_SysName, pair.text);
        break;
      }
      default:
        return bldentry::refuse(kId, pair.tag_id, merge);
    }
  }
  return bldentry::merge_into(tree, merge, kId, "text");
}
