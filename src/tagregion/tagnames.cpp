// The tag name file: which names the finding looks for and what region each
// one makes. Either a small tagged text
//
//   <region><element>para</element><element>note</element></region>
//   <region><att>id</att></region>
//   <region><tag>img</tag></region>
//
// (optionally wrapped in one <docs>), or one element name per line. Each
// region entry takes the names of its first <tag> child and the <tag>
// siblings after it, or else of its <element> children, or else of its <att>
// children. Names are trimmed of blanks, tabs, carriage returns and line
// feeds; empty names are skipped.
#include <cerrno>
#include <cstring>
#include <set>

#include "madat/madat.h"
#include "region/region.h"
#include "tagregion/tagregion.h"

namespace {

enum : int32_t { T_DOCS, T_REGION, T_TAG, T_NAME, T_DESC, T_ELEMENT, T_ATT };
const char* const kTagNames[] = {"docs", "region", "tag", "name", "desc", "element", "att",
                                 nullptr};
const int32_t kTagIds[] = {T_DOCS, T_REGION, T_TAG, T_NAME, T_DESC, T_ELEMENT, T_ATT};

bool warned_limit = false;

struct NameReader {
  const char* file;
  int32_t limit;
  std::string last = "None yet";
};

std::string trimmed(const char* s, size_t n) {
  const char* blanks = " \t\r\n";
  size_t from = 0;
  while (from < n && std::strchr(blanks, s[from]) != nullptr && s[from] != '\0') ++from;
  while (n > from && std::strchr(blanks, s[n - 1]) != nullptr && s[n - 1] != '\0') --n;
  return std::string(s + from, n - from);
}

void add_name(NameReader& r, TagNameList* list, const char* text) {
  if (text == nullptr) return;
  std::string name = trimmed(text, std::strlen(text));
  if (name.empty()) return;
  if (list->count >= r.limit - 1) {
    region_warn_limit(r.limit);
    return;
  }
  list->names.push_back(name);
  list->slots.push_back(0);
  list->third.push_back(0);
  ++list->count;
  r.last = name;
}

bool has_tag(const MadNode* root) {
  for (const MadNode* n = root->child; n != nullptr; n = n->next)
    if (n->kind == MAD_TAG) return true;
  return false;
}

// The node whose children are the entries: the root, or its only tag child
// when that is a <docs>.
const MadNode* entries_parent(const MadNode* root) {
  const MadNode* only = nullptr;
  for (const MadNode* n = root->child; n != nullptr; n = n->next) {
    if (n->kind != MAD_TAG) continue;
    if (only != nullptr) return root;
    only = n;
  }
  return only != nullptr && only->tag_id == T_DOCS ? only : root;
}

void read_tagged(NameReader& r, const MadNode* root, TagNameList* elements,
                 TagNameList* attributes, TagNameList* tags) {
  for (const MadNode* e = entries_parent(root)->child; e != nullptr; e = e->next) {
    if (e->kind != MAD_TAG) continue;
    if (e->tag_id != T_REGION) {
      region_name_file_error(r.file, r.last.c_str());
      continue;
    }
    TagNameList* list = tags;
    int32_t id = T_TAG;
    const MadNode* first = madatgc(e, T_TAG);
    if (first == nullptr) {
      list = elements;
      id = T_ELEMENT;
      first = madatgc(e, T_ELEMENT);
    }
    if (first == nullptr) {
      list = attributes;
      id = T_ATT;
      first = madatgc(e, T_ATT);
    }
    if (first == nullptr) {
      region_name_file_error(r.file, r.last.c_str());
      continue;
    }
    for (const MadNode* n = first; n != nullptr; n = madatns(n, id))
      if (n->child == nullptr) add_name(r, list, n->value);
  }
}

void read_untagged(NameReader& r, VqStream* stream, TagNameList* elements) {
  std::vector<char> line(TAG_NAME_LINE_MAX + 1);
  while (vqio_fgets(line.data(), static_cast<int>(line.size()), stream) != nullptr)
    add_name(r, elements, line.data());
}

void assign_slots(TagNameList* elements, TagNameList* attributes, TagNameList* tags) {
  const int32_t e = elements->count, a = attributes->count;
  for (int32_t i = 0; i < e; ++i) {
    elements->slots[i] = i;
    elements->third[i] = static_cast<int32_t>(elements->names[i].size()) + 1;
  }
  for (int32_t i = 0; i < a; ++i) attributes->slots[i] = e + i;
  for (int32_t i = 0; i < tags->count; ++i) {
    int32_t slot = e + a + i;
    tags->slots[i] = slot;
    tags->third[i] = -1;
    for (int32_t k = 0; k < e; ++k)
      if (elements->names[k] == tags->names[i]) tags->third[i] = k;
    if (tags->third[i] == -1) {
      // Looked for by the scanner after the elements; E stays as it is.
      elements->names.push_back(tags->names[i]);
      elements->slots.push_back(slot);
      elements->third.push_back(static_cast<int32_t>(tags->names[i].size()) + 1);
    }
  }
}

bool has_duplicate(const TagNameList& list) {
  std::set<std::string> seen;
  for (int32_t i = 0; i < list.count; ++i)
    if (!seen.insert(list.names[i]).second) return true;
  return false;
}

// A name the tag stream can look for: at most 256 bytes, none of them a
// delimiter or the byte 255. Others could never match, and written into a
// region's description they would break the data dictionary.
bool usable(const std::string& name) {
  if (name.size() > SINSI_MAX_NAME) return false;
  for (unsigned char c : name)
    if (c == '<' || c == '/' || c == '>' || c == 255) return false;
  return true;
}

bool all_usable(const TagNameList& list) {
  for (int32_t i = 0; i < list.count; ++i)
    if (!usable(list.names[i])) return false;
  return true;
}

}  // namespace

void region_warn_limit(int32_t limit) {
  if (warned_limit) return;
  warned_limit = true;
  msg_report(2, 80031, static_cast<int>(limit - 1));
}

int region_read_tagnames(const char* file_name, VqStream* stream, int32_t limit,
                         TagNameList* elements, TagNameList* attributes, TagNameList* tags) {
  NameReader r{file_name, limit};
  MadStream* ms = madiosu(stream, nullptr, nullptr, nullptr, kTagNames, kTagIds,
                          &SinsiAngleDelimiters, nullptr);
  if (ms == nullptr) return 0;
  MadNode* root = madiopa(ms, 1);
  madiocl(ms);
  if (root == nullptr) return 0;
  if (has_tag(root)) {
    read_tagged(r, root, elements, attributes, tags);
  } else {
    vqio_rewind(stream);
    read_untagged(r, stream, elements);
  }
  madmtfr(root);
  assign_slots(elements, attributes, tags);
  return 1;
}

int region_load_tagnames(const char* file_name, TagNameLists* lists) {
  VqStream* in = vqio_fopen(file_name, "r");
  if (in == nullptr) {
    int error = errno;
    vqio_perror(file_name);
    errno = error;
    return 1;
  }
  int read = region_read_tagnames(file_name, in, TAG_READ_LIMIT, &lists->elements,
                                  &lists->attributes, &lists->tags);
  vqio_fclose(in);
  if (!read) region_name_file_error(file_name, "None yet");
  int32_t total = lists->elements.count + lists->attributes.count + lists->tags.count;
  if (total > TAG_LIST_MAX) msg_report(9, 80003, file_name, static_cast<int>(total), TAG_LIST_MAX);
  if (has_duplicate(lists->elements) || has_duplicate(lists->attributes) ||
      has_duplicate(lists->tags))
    msg_report(6, 80028, file_name);
  if (!all_usable(lists->elements) || !all_usable(lists->attributes) ||
      !all_usable(lists->tags))
    msg_report(SINSI_BAD, 80000, static_cast<int>(SINSI_BAD));
  return 0;
}
