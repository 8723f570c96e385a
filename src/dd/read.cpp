// Reading a data dictionary: raw flags for a selective read, the check of
// what stands before <DB>, the parse under the grammar, and the strip of
// final white space.
#include <string>

#include "dd/dd.h"
#include "madut/madut.h"
#include "msg/msg.h"

namespace {

const char* const kId = "addpadd";

// fgets-sized pieces of the prologue: a line, or 199 characters of a
// longer one.
enum { kPieceLength = 199, kMostPieces = 500 };

// Sets DD_FLAG_RAW on every section not listed; with no list, on none.
void set_raw_flags(std::initializer_list<int32_t> sections) {
  bool selective = false;
  for (int32_t id : sections) {
    if (id == 0) break;
    selective = true;
  }
  for (int32_t i = 0; i < DD_TAG_COUNT; ++i)
    if (DdTagTable[i].flags & DD_FLAG_SECTION) {
      if (selective)
        DdTagTable[i].flags |= DD_FLAG_RAW;
      else
        DdTagTable[i].flags &= ~DD_FLAG_RAW;
    }
  for (int32_t id : sections) {
    if (id == 0) break;
    if (id > 0 && id < DD_TAG_COUNT && (DdTagTable[id].flags & DD_FLAG_SECTION)) {
      DdTagTable[id].flags &= ~DD_FLAG_RAW;
    } else {
      const std::string name =
          (id > 0 && id < DD_TAG_COUNT) ? DdTagTable[id].name : std::to_string(id);
      vq_report(15, GetMsgNumText(40024), kId, name.c_str());
    }
  }
}

// Before <DB> only white space and "#" comment lines may stand. The file is
// scanned as one character stream (so a <DB> or a comment is never split
// at a piece boundary); the pieces are counted as fgets would cut them, and
// more than 500 before the one holding <DB> are refused.
void check_prologue(VqStream* file, const char* path) {
  static const char kRootTag[] = "<DB>";
  int pieces = 0;
  int piece_length = 0;
  int matched = 0;  // characters of "<DB>" seen
  bool in_comment = false;
  for (;;) {
    const int c = vqio_getc(file);
    if (c == EOF) {
      vq_report(11, GetMsgNumText(10007), kId, path);
      return;
    }
    if (matched > 0) {
      if (c != kRootTag[matched]) {
        vq_report(11, GetMsgNumText(10004), kId, path);
        return;
      }
      if (++matched == 4) return;
    } else if (in_comment) {
      if (c == '\n') in_comment = false;
    } else if (c == '#') {
      in_comment = true;
    } else if (c == '<') {
      matched = 1;
    } else if (!sinsi_is_blank(c)) {
      vq_report(11, GetMsgNumText(10004), kId, path);
      return;
    }
    if (c == '\n' || ++piece_length == kPieceLength) {
      piece_length = 0;
      if (++pieces > kMostPieces) {
        vq_report(11, GetMsgNumText(10008), kId, path);
        return;
      }
    }
  }
}

bool has_root_tag(const MadNode* root) {
  for (const MadNode* c = root->child; c; c = c->next)
    if (c->kind == MAD_TAG && c->tag_id == DD_DB) return true;
  return false;
}

}  // namespace

MadNode* addpadd(const char* path, std::initializer_list<int32_t> sections) {
  set_raw_flags(sections);
  addpagc_reset();
  VqStream* file = path ? vqio_fopen(path, "r") : nullptr;
  if (!file) {
    vq_report(16, GetMsgNumText(10003), kId, path ? path : "");
    return nullptr;
  }
  dd_stamp_read(path, file);
  check_prologue(file, path);
  vqio_rewind(file);
  MadStream* stream =
      madioss(file, nullptr, nullptr, nullptr, DdTagTable, &DdDelimiters, addpagc);
  if (!stream) {
    vq_report(15, GetMsgNumText(60009), kId);
    vqio_fclose(file);
    return nullptr;
  }
  MadNode* root = madiopa(stream, 1);
  madiocl(stream);
  vqio_fclose(file);
  if (!root || !has_root_tag(root)) {
    // A tree without DB is no data dictionary: the result is a tree with a
    // DB child or null.
    vq_report(9, GetMsgNumText(10005), kId, path);
    madmtfr(root);
    return nullptr;
  }
  madutsf(root);
  return root;
}
