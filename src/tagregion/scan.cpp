// The finding phase: one pass of the tag stream over the text, turning each
// start and end tag of a listed name into tag events and each listed
// attribute of such a start tag into a pair of records.
//
// Positions: P is the 1-based position of the current token's first byte;
// it grows by the length of every token, text runs included. A start tag of
// length L spans P..P+L-1; an end tag "</name>" has c = P + L - 2 (its
// ">" is c + 1). Attribute values span their own bytes: a quoted value from
// the byte after the opening quote to the byte before the closing one, an
// unquoted value from its first to its last byte.
#include "tagregion/tagregion.h"

namespace {

int define_failed(int status, const char* tagname_file) {
  if (status == SINSI_CONFLICT)
    msg_report(status, 80028, tagname_file);
  else
    msg_report(status, 80000, status);
  return 1;
}

// A null-terminated name list with its ids, from rows of a list.
struct NameArray {
  std::vector<const char*> names;
  std::vector<int32_t> ids;
  NameArray(const TagNameList& list, size_t rows) {
    for (size_t i = 0; i < rows; ++i) {
      names.push_back(list.names[i].c_str());
      ids.push_back(list.slots[i]);
    }
    names.push_back(nullptr);
    ids.push_back(-1);
  }
};

void attribute_pairs(TagScan* scan, int64_t p) {
  SinsiStream* s = scan->stream;
  sinsirs(s);
  size_t v = 0;
  int quoted = 0;
  int32_t slot;
  while ((slot = sinsina(s, scan->value.data(), &v, &quoted)) != -1) {
    int64_t k = static_cast<int64_t>(s->attribute_offset);
    int64_t length = static_cast<int64_t>(v);
    if (quoted) {
      tagpos_write(slot, p + k - (length + 1));
      tagpos_write(slot, p + k - 2);
    } else {
      tagpos_write(slot, p + k - length);
      tagpos_write(slot, p + k - 1);
    }
  }
}

// Defines the names on the scan's new stream: 0, or 1 after a report.
int define_names(TagScan* scan, const TagNameLists* lists, const char* tagname_file) {
  scan->position = 1;
  scan->value.assign(SINSI_BUFSIZE + 1, '\0');
  scan->name_length.assign(TAG_SLOTS, 0);
  for (size_t i = 0; i < lists->elements.names.size(); ++i)
    if (lists->elements.slots[i] >= 0 && lists->elements.slots[i] < TAG_SLOTS)
      scan->name_length[lists->elements.slots[i]] = lists->elements.names[i].size();
  if (scan->stream == nullptr) return 1;
  NameArray elements(lists->elements, lists->elements.names.size());
  int status = sinsidt(scan->stream, elements.names.data(), elements.ids.data(),
                       &SinsiAngleDelimiters);
  if (status != 0) return define_failed(status, tagname_file);
  if (lists->attributes.count > 0) {
    NameArray attributes(lists->attributes, static_cast<size_t>(lists->attributes.count));
    status = sinsida(scan->stream, attributes.names.data(), attributes.ids.data());
    if (status != 0) return define_failed(status, tagname_file);
  }
  return 0;
}

}  // namespace

int tag_scan_open(TagScan* scan, TagText* text, const TagNameLists* lists,
                  const char* tagname_file) {
  scan->stream = sinsiob(text, tag_text_block);
  return define_names(scan, lists, tagname_file);
}

int tag_scan_open_input(TagScan* scan, void* input, SinsiReadFn read, const TagNameLists* lists,
                        const char* tagname_file) {
  scan->stream = read != nullptr ? sinsios(input, nullptr, read, nullptr)
                                 : sinsios(input, nullptr, nullptr, nullptr);
  return define_names(scan, lists, tagname_file);
}

void tag_scan_close(TagScan* scan) {
  sinsicl(scan->stream);
  scan->stream = nullptr;
}

int tag_scan_next(TagScan* scan) {
  size_t length = 0;
  int status = 0;
  SinsiStream* s = scan->stream;
  int kind = sinsins(s, &length, &status);
  const int64_t p = scan->position;
  const int64_t n = static_cast<int64_t>(length);
  switch (kind) {
    case SINSI_START_TAG:
      tag_event(s->id, p, p + n - 1, 0);
      if (s->attribute_names != nullptr && length > scan->name_length[s->id] + 2)
        attribute_pairs(scan, p);
      break;
    case SINSI_END_TAG:
      tag_event(s->id, p, p + n - 2, 1);
      break;
    case SINSI_MALFORMED:
      if (scan->trace) msg_report(2, 80004, static_cast<int>(p));
      break;
    default:
      break;
  }
  scan->position = p + n;
  return kind;
}

int md_find(const char* tagname_file, const TagNameLists* lists, const FileInfo* files,
            int32_t file_count, const char* dd_name, int trace, VqStream* out) {
  if (files == nullptr || file_count < 1) {
    msg_report(9, 40018, dd_name);
    return 1;
  }
  TagText text;
  if (tag_text_open(&files[0], &text) != 0) return 1;
  tag_stacks_reset(lists, out, text.fragmented);
  TagScan scan;
  scan.trace = trace;
  if (tag_scan_open(&scan, &text, lists, tagname_file) != 0) {
    tag_scan_close(&scan);
    tag_text_close(&text);
    return 1;
  }
  while (tag_scan_next(&scan) != SINSI_EOF) {
  }
  tag_scan_close(&scan);
  tag_stacks_finish();
  tag_text_close(&text);
  return 0;
}
