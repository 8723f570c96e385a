// The text files of a collection: the Text entry (addgiti).
#include <cstdint>

#include "addgi/addgi.h"
#include "addgi/internal.h"
#include "madat/madat.h"
#include "msg/msg.h"

using namespace addgi_internal;

namespace {
constexpr const char* kId = "addgiti";
}  // namespace

MadNode* addgiti(MadNode* node, char** name, char** desc, FileInfo** list, int32_t* count) {
  if (name) *name = nullptr;
  if (desc) *desc = nullptr;
  if (list) *list = nullptr;
  if (count) *count = 0;

  node = entry_node(node, {DD_DB, DD_Text}, kId);
  if (!node) return nullptr;

  OwnedText text_name(addgios(node, DD_Name));
  OwnedText text_desc(addgios(node, DD_Desc));
  const MadNode* files = madatgc(node, DD_Files);
  const MadNode* mfs = madatgc(node, DD_MfsFiles);

  // The files are always read, so that every entry is checked whichever
  // outputs the caller asked for.
  RecordList records;
  int status = 0;
  if (files) {
    if (mfs) vq_report(9, GetMsgNumText(40005), kId);
    status = addgifi(files, &records.list, &records.count);
    // A collection without any text cannot be read by any program.
    if (status == 0 && records.count == 0) status = report_missing(kId, "<Files><File>");
  } else if (mfs) {
    status = addgimf(mfs, &records.list, &records.count);
  } else {
    vq_report(9, GetMsgNumText(40022), kId);
    status = 9;
  }
  if (status != 0) return nullptr;

  text_name.hand_over(name);
  text_desc.hand_over(desc);
  records.hand_over(list, count);
  return node;
}
