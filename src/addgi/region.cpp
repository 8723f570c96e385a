// A Region entry of the data dictionary (addgiri).
#include <climits>
#include <cstdint>
#include <cstring>

#include "addgi/addgi.h"
#include "addgi/internal.h"
#include "madat/madat.h"

using namespace addgi_internal;

namespace {
constexpr const char* kId = "addgiri";
}  // namespace

MadNode* addgiri(MadNode* node, char** name, char** desc, long* count, int32_t* pairs,
                 FileInfo** list, int32_t* file_count) {
  if (name) *name = nullptr;
  if (desc) *desc = nullptr;
  if (count) *count = 0;
  if (pairs) *pairs = 0;
  if (list) *list = nullptr;
  if (file_count) *file_count = 0;

  node = entry_node(node, {DD_DB, DD_Regions, DD_Region}, kId);
  if (!node) return nullptr;

  OwnedText region_name(addgios(node, DD_Name));
  OwnedText region_desc(addgios(node, DD_Desc));
  int status = 0;
  long region_count = 0;
  keep_first(&status,
             required_signed(node, DD_Count, kId, "<Region><Count>", LONG_MIN, LONG_MAX,
                             &region_count));
  OwnedText type(required_text(node, DD_Type, kId, "<Region><Type>", &status));

  RecordList records;
  if (list || file_count)
    keep_first(&status, addgifi(madatgc(node, DD_File), &records.list, &records.count));
  if (status != 0) return nullptr;

  region_name.hand_over(name);
  region_desc.hand_over(desc);
  if (count) *count = region_count;
  if (pairs) *pairs = type.text && strcmp(type.text, "pairs") == 0 ? 1 : 0;
  records.hand_over(list, file_count);
  return node;
}
