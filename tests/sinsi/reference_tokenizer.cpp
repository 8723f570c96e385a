#include "reference_tokenizer.h"

#include <cstdio>

namespace ref {

namespace {

bool blank(int ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

const DelimiterSet* set_opened_by(const std::vector<DelimiterSet>& sets, unsigned char ch) {
  for (const DelimiterSet& s : sets)
    if (static_cast<unsigned char>(s.open) == ch) return &s;
  return nullptr;
}

}  // namespace

int next_state(int state, int ch, const DelimiterSet& set) {
  if (ch < 0) return 15;
  const bool o = ch == static_cast<unsigned char>(set.open);
  const bool e = set.end != 0 && ch == static_cast<unsigned char>(set.end);
  const bool c = ch == static_cast<unsigned char>(set.close);
  const bool b = blank(ch);
  // Delimiters are tested before the character classes: a blank that is
  // also a delimiter counts as the delimiter.
  switch (state) {
    case 0:
      if (e) return 1;
      if (o || c) return 15;
      return 2;
    case 1:
      if (c) return 13;
      if (o || e) return 15;
      return 1;
    case 2:
      if (c) return 11;
      if (o || e) return 15;
      if (b) return 3;
      return 2;
    case 3:
      if (c) return 12;
      if (o || e) return 15;
      if (b) return 3;
      return 4;
    case 4:
      if (o || e || c) return 15;
      if (ch == '=') return 5;
      return 4;
    case 5:
      if (o || e || c) return 15;
      if (ch == '"') return 7;
      return 6;
    case 6:
      if (c) return 12;
      if (o || e) return 15;
      if (b) return 3;
      if (ch == ',') return 5;
      return 6;
    case 7:
      if (ch == '"') return 8;
      return 7;
    case 8:
      if (c) return 12;
      if (o || e) return 15;
      if (b) return 3;
      if (ch == ',') return 5;
      return 0;
  }
  return 15;
}

std::vector<Token> tokenize(const std::string& in, const std::vector<DelimiterSet>& sets) {
  std::vector<Token> out;
  const size_t n = in.size();
  size_t pos = 0;
  for (;;) {
    if (pos >= n) {
      out.push_back({6, "", -1});
      return out;
    }
    const size_t start = pos;
    const DelimiterSet* set = set_opened_by(sets, static_cast<unsigned char>(in[pos]));
    pos++;
    if (set == nullptr) {
      // Text up to 1024 bytes, the end, or any opening character.
      while (pos < n && pos - start < 1024 &&
             set_opened_by(sets, static_cast<unsigned char>(in[pos])) == nullptr)
        pos++;
      out.push_back({4, in.substr(start, pos - start), -1});
      if (pos >= n) {  // the end was seen: nothing more is read
        out.push_back({6, "", -1});
        return out;
      }
      continue;
    }
    int state = 0;
    for (;;) {
      if (pos >= n) {
        state = 15;
        break;
      }
      state = next_state(state, static_cast<unsigned char>(in[pos]), *set);
      pos++;
      if (pos - start == 1024) {
        state = 15;
        break;
      }
      if (state == 11 || state == 12 || state == 13 || state == 15) break;
    }
    std::string tag = in.substr(start, pos - start);
    if (state == 15) {
      // An opening character that ended the tag starts the next token, but
      // never the tag's own first byte.
      if (tag.size() > 1 && set_opened_by(sets, static_cast<unsigned char>(tag.back()))) {
        tag.pop_back();
        pos--;
      }
      out.push_back({5, tag, -1});
      continue;
    }
    std::string name;
    if (state == 11) {
      name = tag.substr(1, tag.size() - 2);
    } else if (state == 13) {
      name = tag.substr(2, tag.size() - 3);
    } else {
      size_t first_blank = tag.find_first_of(" \t\n\v\f\r", 1);
      name = tag.substr(1, first_blank - 1);
    }
    auto it = set->names.find(name);
    int id = it == set->names.end() ? -1 : it->second;
    int kind = state == 13 ? 0 : 2;
    if (id == -1) kind += 1;
    out.push_back({kind, tag, id});
  }
}

std::string describe(const Token& t) {
  std::string s = "kind " + std::to_string(t.kind) + " id " + std::to_string(t.id) + " len " +
                  std::to_string(t.text.size()) + " \"";
  for (unsigned char ch : t.text.substr(0, 60)) {
    if (ch >= 32 && ch < 127) {
      s += static_cast<char>(ch);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", ch);
      s += buf;
    }
  }
  return s + (t.text.size() > 60 ? "...\"" : "\"");
}

}  // namespace ref
