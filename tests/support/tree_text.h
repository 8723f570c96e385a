// A compact text form of a tagged tree for assertions: the children of a
// node, comma-separated; a tag as its id (or its name through names), with
// "=value" for a leaf value and "(...)" for children; a text node as 'text'
// and a comment node as its text (which starts with "#").
#pragma once

#include <string>

#include "madmt/madmt.h"

inline std::string tree_text(const MadNode* parent, const char* const* names = nullptr) {
  std::string out;
  for (const MadNode* c = parent ? parent->child : nullptr; c; c = c->next) {
    if (!out.empty()) out += ",";
    if (c->kind == MAD_TAG) {
      out += names ? names[c->tag_id] : std::to_string(c->tag_id);
      if (c->child) {
        out += "(" + tree_text(c, names) + ")";
      } else if (c->value) {
        out += "=";
        out += c->value;
      }
    } else if (c->kind == MAD_TEXT) {
      out += "'" + std::string(c->value ? c->value : "") + "'";
    } else {
      out += c->value ? c->value : "";
    }
  }
  return out;
}
