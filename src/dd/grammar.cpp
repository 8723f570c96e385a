// The data-dictionary grammar: which tag may stand directly under which
// open tag. The rules depend on the section being read; a section tag
// makes itself the current section when the reader meets it.
#include "dd/dd.h"
#include "msg/msg.h"

namespace {

enum : int32_t {
  kEnd = -1,       // ends a parent list
  kAnyParent = -2,
  kNoSection = 0,  // no section met yet in this parse
};

// One rule: tag may stand under any of the listed parents.
struct Rule {
  int32_t section;
  int32_t tag;
  int32_t parents[5];
};

const Rule kRules[] = {
    // Text
    {DD_Text, DD_Text, {DD_DB, kEnd}},
    {DD_Text, DD_Name, {DD_Text, kEnd}},
    {DD_Text, DD_Desc, {DD_Text, kEnd}},
    {DD_Text, DD_Files, {DD_Text, kEnd}},
    {DD_Text, DD_MfsFiles, {DD_Text, kEnd}},
    {DD_Text, DD_DiffFinder, {DD_Text, kEnd}},
    {DD_Text, DD_AuditTrail, {DD_Text, kEnd}},
    {DD_Text, DD_File, {DD_Files, kEnd}},
    {DD_Text, DD_SysName, {DD_File, DD_AuditTrail, kEnd}},
    {DD_Text, DD_ModDate, {DD_File, kEnd}},
    {DD_Text, DD_Offset, {DD_File, kEnd}},
    {DD_Text, DD_FrgDir, {DD_File, kEnd}},
    {DD_Text, DD_Major, {DD_File, kEnd}},
    {DD_Text, DD_Minor, {DD_File, kEnd}},
    {DD_Text, DD_FileMap, {DD_MfsFiles, kEnd}},
    {DD_Text, DD_FilterChain, {DD_MfsFiles, kEnd}},
    {DD_Text, DD_SearchView, {DD_FilterChain, kEnd}},
    {DD_Text, DD_DisplayView, {DD_FilterChain, kEnd}},
    {DD_Text, DD_RawView, {DD_FilterChain, kEnd}},
    {DD_Text, DD_DisplayFmt, {DD_FilterChain, kEnd}},
    {DD_Text, DD_DefaultDataTag, {DD_FilterChain, kEnd}},
    {DD_Text, DD_FileGroup, {DD_FilterChain, kEnd}},
    {DD_Text, DD_MfsDir, {DD_FileGroup, kEnd}},
    {DD_Text, DD_MfsFile, {DD_FileGroup, kEnd}},
    {DD_Text, DD_MfsExpand, {DD_FileGroup, kEnd}},
    // Grammar, Display, Thesaurus: free text
    {DD_Grammar, DD_Grammar, {DD_DB, kEnd}},
    {DD_Display, DD_Display, {DD_DB, kEnd}},
    {DD_Thesaurus, DD_Thesaurus, {kAnyParent, kEnd}},
    // Locks
    {DD_Locks, DD_Locks, {DD_DB, kEnd}},
    {DD_Locks, DD_Semaphore, {DD_Locks, kEnd}},
    {DD_Locks, DD_LockIndex, {DD_Locks, kEnd}},
    {DD_Locks, DD_NextID, {DD_Locks, kEnd}},
    {DD_Locks, DD_Lock, {DD_Locks, kEnd}},
    {DD_Locks, DD_Major, {DD_Lock, kEnd}},
    {DD_Locks, DD_Count, {DD_Lock, kEnd}},
    {DD_Locks, DD_ID, {DD_Lock, kEnd}},
    {DD_Locks, DD_User, {DD_Lock, kEnd}},
    {DD_Locks, DD_Date, {DD_Lock, kEnd}},
    {DD_Locks, DD_RegionName, {DD_Lock, kEnd}},
    {DD_Locks, DD_Comment, {DD_Lock, kEnd}},
    {DD_Locks, DD_UserFile, {DD_Lock, kEnd}},
    // Regions
    {DD_Regions, DD_Regions, {DD_DB, kEnd}},
    {DD_Regions, DD_Region, {DD_Regions, kEnd}},
    {DD_Regions, DD_UpdateCmd, {DD_Regions, kEnd}},
    {DD_Regions, DD_Name, {DD_Region, kEnd}},
    {DD_Regions, DD_Count, {DD_Region, kEnd}},
    {DD_Regions, DD_Type, {DD_Region, kEnd}},
    {DD_Regions, DD_FastRegion, {DD_Region, kEnd}},
    {DD_Regions, DD_Desc, {DD_Region, DD_File, kEnd}},
    {DD_Regions, DD_File, {DD_Region, DD_FastRegion, kEnd}},
    {DD_Regions, DD_SysName, {DD_File, kEnd}},
    {DD_Regions, DD_ModDate, {DD_File, kEnd}},
    {DD_Regions, DD_Offset, {DD_File, kEnd}},
    {DD_Regions, DD_FrgDir, {DD_File, kEnd}},
    {DD_Regions, DD_Major, {DD_File, kEnd}},
    {DD_Regions, DD_Minor, {DD_File, kEnd}},
    {DD_Regions, DD_IndexName, {DD_FastRegion, kEnd}},
    // Indices
    {DD_Indices, DD_Indices, {DD_DB, kEnd}},
    {DD_Indices, DD_Index, {DD_Indices, kEnd}},
    {DD_Indices, DD_Name, {DD_Index, kEnd}},
    {DD_Indices, DD_Desc, {DD_Index, kEnd}},
    {DD_Indices, DD_InitFile, {DD_Index, kEnd}},
    {DD_Indices, DD_LongestMatch, {DD_Index, kEnd}},
    {DD_Indices, DD_IndexPoints, {DD_Index, kEnd}},
    {DD_Indices, DD_Mappings, {DD_Index, kEnd}},
    {DD_Indices, DD_IntegrityCheck, {DD_Index, kEnd}},
    {DD_Indices, DD_FastFind, {DD_Index, kEnd}},
    {DD_Indices, DD_AuxPath, {DD_Index, kEnd}},
    {DD_Indices, DD_File,
     {DD_Index, DD_FastFindIndex, DD_FastFindWordList, DD_FastFindCompression, kEnd}},
    {DD_Indices, DD_SysName, {DD_File, kEnd}},
    {DD_Indices, DD_ModDate, {DD_File, kEnd}},
    {DD_Indices, DD_Offset, {DD_File, kEnd}},
    {DD_Indices, DD_FrgDir, {DD_File, kEnd}},
    {DD_Indices, DD_Major, {DD_File, kEnd}},
    {DD_Indices, DD_Minor, {DD_File, kEnd}},
    {DD_Indices, DD_Length, {DD_LongestMatch, kEnd}},
    {DD_Indices, DD_Resolution, {DD_LongestMatch, kEnd}},
    {DD_Indices, DD_IndexPt, {DD_IndexPoints, kEnd}},
    {DD_Indices, DD_Map, {DD_Mappings, kEnd}},
    {DD_Indices, DD_StopWords, {DD_Mappings, kEnd}},
    {DD_Indices, DD_From, {DD_Map, kEnd}},
    {DD_Indices, DD_To, {DD_Map, kEnd}},
    {DD_Indices, DD_CharRange, {DD_From, DD_To, kEnd}},
    {DD_Indices, DD_First, {DD_CharRange, kEnd}},
    {DD_Indices, DD_Last, {DD_CharRange, kEnd}},
    {DD_Indices, DD_Ignore, {DD_StopWords, kEnd}},
    {DD_Indices, DD_FastFindIndex, {DD_FastFind, kEnd}},
    {DD_Indices, DD_FastFindWordList, {DD_FastFind, kEnd}},
    {DD_Indices, DD_FastFindCompression, {DD_FastFind, kEnd}},
};

struct GrammarState {
  int32_t section = kNoSection;
};
GrammarState grammar;

bool is_section(int32_t id) {
  return id >= 0 && id < DD_TAG_COUNT && (DdTagTable[id].flags & DD_FLAG_SECTION);
}

}  // namespace

void addpagc_reset() { grammar.section = kNoSection; }

int addpagc(int32_t tag_id, const TedStack* open_ids) {
  const bool none_open = !open_ids || open_ids->count == 0;
  if (tag_id == DD_DB) return none_open;
  if (is_section(tag_id)) grammar.section = tag_id;
  if (grammar.section == kNoSection) {
    vq_report(15, GetMsgNumText(30003), "addpagc", grammar.section);
    return 0;
  }
  const int32_t parent = none_open ? -1 : tedsttp(open_ids);
  for (const Rule& rule : kRules) {
    if (rule.section != grammar.section || rule.tag != tag_id) continue;
    for (const int32_t* p = rule.parents; *p != kEnd; ++p)
      if (*p == kAnyParent || *p == parent) return 1;
    return 0;
  }
  return 0;
}
