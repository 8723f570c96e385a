// Reading tagged text into a tagged tree.
//
// The reader takes the tag stream's tokens one by one. Known tags open and
// close tag nodes (kept on three parallel stacks: ids, nodes, start lines);
// everything else is text, scanned byte by byte for line ends and for "#"
// at the start of a line, which begins a comment running through the next
// newline. Text between tags is held back (pending) until the next tag
// decides whether it becomes a text node or the value of a leaf.
//
// Inside a raw section every byte up to the section's own end tag is kept
// in the text buffer, comments included, so the section's value is its
// exact content. Comment state is still tracked there: a tag inside a
// comment is comment text in raw sections as everywhere else. Text holding
// a NUL byte is refused (a tree keeps C strings).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "madio/madio.h"
#include "msg/msg.h"

namespace {

const char* const kId = "madiopa";

struct Reader {
  MadStream* stream;
  int read_all;
  MadNode* root = nullptr;
  int32_t line = 1;
  TedStack* ids = nullptr;          // ids of the open tags (the filter sees them)
  std::vector<MadNode*> nodes;      // their nodes
  std::vector<int32_t> lines;       // the lines they began on
  MadNode* cursor = nullptr;        // last node added under the current parent
  std::string text;                 // pending text (non-empty means pending)
  int32_t text_line = 0;            // line where the pending text began
  std::string comment;
  int32_t comment_line = 0;
  bool in_comment = false;
  bool line_start = true;
  int32_t raw = -1;                 // id of the open raw section, -1 none
  std::string token;
};

MadNode* parent_of(const Reader& r) { return r.nodes.empty() ? r.root : r.nodes.back(); }
int32_t open_id(const Reader& r) { return r.nodes.empty() ? -1 : tedsttp(r.ids); }

bool has_name(const MadStream* s, int32_t id) {
  return s->table && id >= 0 && id < s->table_rows;
}

// Adds a text or comment node at the cursor; false (reported) on failure.
bool add_leaf(Reader& r, int32_t kind, const std::string& value, int32_t line,
              const char* failure) {
  MadNode* node = madmtcn(parent_of(r), &r.cursor, kind, open_id(r), value.c_str());
  if (!node) {
    vq_report(15, failure, kId, r.line);
    return false;
  }
  node->line = line;
  return true;
}

bool flush_text(Reader& r, const char* failure) {
  if (r.text.empty()) return true;
  const bool ok = add_leaf(r, MAD_TEXT, r.text, r.text_line, failure);
  r.text.clear();
  return ok;
}

void append_text(Reader& r, char c) {
  if (r.text.empty()) r.text_line = r.line;
  r.text.push_back(c);
}

// Scans bytes that are text (text tokens, and tags that stand as text).
// A NUL byte fails the read: node values are C strings, so a value, text
// or raw section holding one would be cut there and lose the rest of its
// bytes when the tree is written back.
bool scan_text(Reader& r, const std::string& bytes) {
  const bool raw = r.raw >= 0;
  for (char c : bytes) {
    if (c == '\0') {
      vq_report(0, "%s: Line %d, NUL byte in the text", kId, r.line);
      return false;
    }
    if (r.in_comment) {
      if (raw)
        append_text(r, c);
      else
        r.comment.push_back(c);
      if (c != '\n') continue;
      if (!raw && !add_leaf(r, MAD_COMMENT, r.comment, r.comment_line,
                            "%s: Line %d, couldn't add comment"))
        return false;
      r.comment.clear();
      r.in_comment = false;
      r.line_start = true;
      ++r.line;
      continue;
    }
    if (c == '\n') {
      append_text(r, c);
      r.line_start = true;
      ++r.line;
    } else if (c == '#' && r.line_start) {
      r.in_comment = true;
      r.comment_line = r.line;
      if (raw) {
        append_text(r, c);
      } else {
        if (!flush_text(r, "%s: Line %d, couldn't add text")) return false;
        r.comment.assign(1, c);
      }
    } else {
      append_text(r, c);
      if (!sinsi_is_blank(static_cast<unsigned char>(c))) r.line_start = false;
    }
  }
  return true;
}

// Bytes of a tag that opens or closes a node: only its line ends count.
void count_lines(Reader& r, const std::string& bytes) {
  for (char c : bytes)
    if (c == '\n') ++r.line;
}

void report_invalid(const Reader& r, int32_t id) {
  if (has_name(r.stream, id))
    vq_report(13, "%s: Line %d, tag id %s is invalid here", kId, r.line,
              r.stream->table[id].name);
  else
    vq_report(13, "%s: Line %d, tag id %ld is invalid here", kId, r.line,
              static_cast<long>(id));
}

bool start_tag(Reader& r) {
  if (r.in_comment) return scan_text(r, r.token);
  int status = 0;
  const int32_t id = sinsigt(r.stream->tags, nullptr, &status);
  if (r.raw >= 0 && id != r.raw) return scan_text(r, r.token);
  r.line_start = false;
  if (!flush_text(r, "%s: Line %d, problem adding text")) return false;
  const int32_t tag_line = r.line;
  if (has_name(r.stream, id) && (r.stream->table[id].flags & DD_FLAG_RAW)) r.raw = id;
  if (r.stream->filter && !r.stream->filter(id, r.ids)) {
    report_invalid(r, id);
    return false;
  }
  if (r.ids->count >= TEDSTACK_MAX) {
    tedstps(r.ids, id);  // reports the full stack
    return false;
  }
  MadNode* node = madmtcn(parent_of(r), &r.cursor, MAD_TAG, id, nullptr);
  if (!node) {
    vq_report(15, "%s:, Line %d, problem adding tag", kId, r.line);
    return false;
  }
  node->line = tag_line;
  r.cursor = nullptr;
  tedstps(r.ids, id);
  r.nodes.push_back(node);
  r.lines.push_back(tag_line);
  count_lines(r, r.token);
  return true;
}

const char* name_of(const Reader& r, int32_t id) { return r.stream->table[id].name; }

// Returns 1 to go on, 0 when reading stops after a complete element, -1 on
// failure.
int end_tag(Reader& r) {
  if (r.in_comment) return scan_text(r, r.token) ? 1 : -1;
  int status = 0;
  const int32_t id = sinsigt(r.stream->tags, nullptr, &status);
  if (status != 0) {
    vq_report(status, "%s: Line %d, Couldn't get end tag", kId, r.line);
    return -1;
  }
  r.line_start = false;
  if (r.raw >= 0) {
    if (id != r.raw) return scan_text(r, r.token) ? 1 : -1;
    r.raw = -1;
  }
  count_lines(r, r.token);
  const bool named = has_name(r.stream, id);
  if (r.nodes.empty()) {
    if (named)
      vq_report(0, "%s: Line %d, End tag (%s) does not match unknown start tag", kId, r.line,
                name_of(r, id));
    else
      vq_report(0, "%s: Line %d, End tag (%d) does not match unknown start tag", kId, r.line,
                id);
    return -1;
  }
  const int32_t top = tedsttp(r.ids);
  if (top != id) {
    if (named && has_name(r.stream, top))
      vq_report(0, "%s: Line %d, End tag (%s) does not match start tag (%s)", kId, r.line,
                name_of(r, id), name_of(r, top));
    else
      vq_report(0, "%s: Line %d, End tag (%d) does not match start tag (%d)", kId, r.line, id,
                top);
    return -1;
  }
  MadNode* node = r.nodes.back();
  if (!r.text.empty()) {
    if (!node->child) {
      if (node->value) {
        vq_report(15, "%s: Line %d, parent already has a value", kId, r.line);
        return -1;
      }
      const long n = static_cast<long>(r.text.size()) + 1;
      node->value = static_cast<char*>(vq_malloc(n, 1, __LINE__, "madio/Parse.c"));
      memcpy(node->value, r.text.c_str(), static_cast<size_t>(n));
      r.text.clear();
    } else if (!flush_text(r, "%s: Line %d, problem adding text")) {
      return -1;
    }
  }
  tedstpo(r.ids);
  r.nodes.pop_back();
  r.lines.pop_back();
  r.cursor = node;
  return (r.nodes.empty() && !r.read_all) ? 0 : 1;
}

bool end_of_input(Reader& r) {
  if (!r.nodes.empty()) {
    for (size_t i = r.nodes.size(); i > 0; --i) {
      const int32_t id = r.ids->items[i - 1];
      if (has_name(r.stream, id))
        vq_report(0, "%s: Line %d, File ended before closing tag (%s)", kId, r.lines[i - 1],
                  name_of(r, id));
      else
        vq_report(0, "%s: Line %d, File ended before closing tag (id %ld)", kId,
                  r.lines[i - 1], static_cast<long>(id));
    }
    return false;
  }
  if (!flush_text(r, "%s: Line %d, problem adding final comment")) return false;
  if (r.in_comment && !r.comment.empty())
    return add_leaf(r, MAD_COMMENT, r.comment, r.comment_line,
                    "%s: Line %d, problem adding final comment");
  return true;
}

// Reads tokens until the input ends or a complete top-level element ends
// the read; false on failure.
bool read_tokens(Reader& r) {
  SinsiStream* tags = r.stream->tags;
  for (;;) {
    size_t length = 0;
    int status = 0;
    const int kind = sinsint(tags, &length, &status);
    if (kind == SINSI_EOF) return end_of_input(r);
    r.token.clear();
    if (length > 0 && madioat(tags, r.token, length) != 0) return false;
    switch (kind) {
      case SINSI_START_TAG:
        if (!start_tag(r)) return false;
        break;
      case SINSI_END_TAG: {
        const int go_on = end_tag(r);
        if (go_on < 0) return false;
        if (go_on == 0) return true;
        break;
      }
      default:  // text, and unknown or malformed tags, which stand as text
        if (!scan_text(r, r.token)) return false;
        break;
    }
  }
}

}  // namespace

MadNode* madiopa(MadStream* stream, int read_all) {
  if (!stream || !stream->tags) {
    vq_report(15, "%s: Bad input argument", kId);
    return nullptr;
  }
  Reader r;
  r.stream = stream;
  r.read_all = read_all;
  r.ids = tedstcr();
  r.root = madmtmr();
  const bool ok = read_tokens(r);
  tedstfr(r.ids);
  if (!ok) {
    madmtfr(r.root);
    return nullptr;
  }
  return r.root;
}
