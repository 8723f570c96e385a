// Writing a tagged tree as tagged text.
//
// All layout comes from the tag table's flags; values, texts and comments
// are written verbatim. The strip after reading takes the line end off the
// last comment before a tag, so the writer gives such a comment its line
// end back whenever the next byte written is not a newline anyway:
// otherwise the next tag would land on the comment line and be read back
// as part of the comment.
#include <cstring>
#include <string>

#include "madio/madio.h"
#include "msg/msg.h"

namespace {

struct Writer {
  MadStream* stream = nullptr;
  bool owes_newline = false;  // a comment without its line end was written last
  std::string indent;
};

int put_text(Writer& w, const char* text, size_t n) {
  if (n == 0) return 0;
  int status = 0;
  if (w.owes_newline && text[0] != '\n') status = sinsipx(w.stream->tags, "\n", 1);
  w.owes_newline = false;
  if (status == 0) status = sinsipx(w.stream->tags, text, n);
  if (status != 0) vq_report(status, "madiofw: Call to sinsipx failed.");
  return status;
}

int put_tag(Writer& w, int32_t id, int end_tag) {
  if (w.owes_newline) {
    const int status = put_text(w, "\n", 1);
    if (status != 0) return status;
  }
  const int status = sinsipt(w.stream->tags, id, end_tag, w.stream->delimiters->open);
  if (status != 0) vq_report(status, "madiofw: Call to sinsipt failed.");
  return status;
}

// A newline (two with blank_line) and depth blanks.
int put_indent(Writer& w, int depth, bool blank_line) {
  w.indent.assign(blank_line ? "\n\n" : "\n");
  if (depth > 0) w.indent.append(static_cast<size_t>(depth), ' ');
  return put_text(w, w.indent.data(), w.indent.size());
}

int32_t flags_of(const MadStream* s, int32_t id) {
  return (id >= 0 && id < s->table_rows) ? s->table[id].flags : 0;
}

// Whether node is a tag written on its own line.
bool starts_own_line(const MadStream* s, const MadNode* node) {
  return node != nullptr && node->kind == MAD_TAG && (flags_of(s, node->tag_id) & DD_FLAG_OWN_LINE);
}

// Whether node's end tag goes on its own line: when its first child has
// the flag (a comment read in a section carries the section's tag id), or
// any child is a tag on its own line (text may stand around them, as
// directly under DB).
bool has_own_line_child(const MadStream* s, const MadNode* node) {
  if (node->child != nullptr && (flags_of(s, node->child->tag_id) & DD_FLAG_OWN_LINE)) return true;
  for (const MadNode* c = node->child; c != nullptr; c = c->next)
    if (starts_own_line(s, c)) return true;
  return false;
}

// Writes node, its subtree and its following siblings at depth. Recursion
// is by depth only.
int write_nodes(Writer& w, const MadNode* node, int depth) {
  for (; node; node = node->next) {
    int status = 0;
    const bool tag = node->kind == MAD_TAG;
    if (tag) {
      const int32_t flags = flags_of(w.stream, node->tag_id);
      if (flags & DD_FLAG_OWN_LINE)
        status = put_indent(w, depth, (flags & DD_FLAG_BLANK_LINE) != 0);
      if (status == 0) status = put_tag(w, node->tag_id, 0);
    }
    if (status == 0) {
      if (node->child) {
        status = write_nodes(w, node->child, depth + 1);
      } else if (node->value) {
        size_t n = strlen(node->value);
        // Text followed by a tag on its own line: that tag's layout supplies
        // the line ends, and the reader takes only one of them off again.
        // Written with its own, the text would gain a line at every rewrite.
        if (node->kind == MAD_TEXT && starts_own_line(w.stream, node->next)) {
          while (n > 0 && node->value[n - 1] == '\n') --n;
        }
        status = put_text(w, node->value, n);
        if (status == 0 && node->kind == MAD_COMMENT && n > 0 && node->value[n - 1] != '\n')
          w.owes_newline = true;
      }
    }
    if (status == 0 && tag) {
      if (has_own_line_child(w.stream, node))
        status = put_indent(w, depth, false);
      if (status == 0) status = put_tag(w, node->tag_id, 1);
    }
    if (status != 0) return status;
  }
  return 0;
}

// Flushes the output stream; a stream writing through a callback has
// nothing to flush.
int flush(Writer& w) {
  if (w.stream->tags->write) return 0;
  const int status = sinsifs(w.stream->tags);
  if (status != 0) vq_report(status, "madiofw: Call to sinsifs failed.");
  return status;
}

bool usable(const MadStream* stream) {
  if (stream && stream->tags && stream->table) return true;
  vq_report(15, "madiofw: Bad arguments.");
  return false;
}

}  // namespace

int madiofw(MadStream* stream, const MadNode* node, int depth) {
  if (!usable(stream)) return 15;
  if (!node) return 0;
  Writer w;
  w.stream = stream;
  int status = write_nodes(w, node, depth);
  if (status == 0 && w.owes_newline) status = put_text(w, "\n", 1);
  if (status == 0) status = flush(w);
  return status;
}

int madiowr(MadStream* stream, const MadNode* root) {
  if (!usable(stream)) return 15;
  Writer w;
  w.stream = stream;
  // The root writes only its children, which stand at depth 0.
  int status = root ? write_nodes(w, root, -1) : 0;
  if (status == 0) status = put_text(w, "\n", 1);
  if (status == 0) status = flush(w);
  return status;
}
