// The files of an external identifier: the entity map first, then the
// system identifier itself, then the file-name templates of SGML_PATH
// (colon-separated; "%" escapes stand for parts of the identifier, and a
// template whose escape does not apply to the identifier is skipped).
#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "io/vqio.h"
#include "sgml/input/extid.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

constexpr const char kDefaultPath[] = "/lib/sgml/%O/%C/%T:%N.%X:%N.%D";

// Extensions of %X: by group (no public identifier, form 0, form above 0)
// and kind 1 to 5.
const char* const kExtensions[3][5] = {{"nsd", "gml", "spe", "dtd", "lpd"},
                                       {"pns", "pge", "ppe", "pdt", "plp"},
                                       {"vns", "vge", "vpe", "vdt", "vlp"}};
// Entity types of %Y for kinds 2 to 5 (kind 1: "sgml" or "data").
const char* const kEntityTypes[4] = {"text", "parm", "dtd", "lpd"};
const char* const kClassFileNames[14] = {
    "",         "capacity", "charset", "notation", "syntax",   "document", "dtd",
    "elements", "entities", "lpd",     "nonsgml",  "shortref", "subdoc",   "text"};

struct SgmlPath {
  bool read = false;
  std::string value;
  bool has_system = false;  // the path holds %S
};
SgmlPath& sgml_path() {
  static SgmlPath p;
  if (!p.read) {
    p.read = true;
    const char* env = std::getenv("SGML_PATH");
    p.value = env != nullptr ? env : kDefaultPath;
    p.has_system = false;
    for (size_t i = 0; i < p.value.size(); ++i) {
      if (p.value[i] != '%') continue;
      if (i + 1 < p.value.size() && p.value[i + 1] == 'S') p.has_system = true;
      ++i;  // step over the letter after every percent sign
    }
  }
  return p;
}

bool formal(const ExternalId& r) { return r.public_id.has_value() && r.form >= 0; }

// The system identifier as a file name: RS dropped, RE made a newline.
std::string system_text(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == 10) continue;
    out.push_back(c == 13 ? '\n' : c);
  }
  return out;
}

int put(std::string* out, const std::string& text) {
  if (out != nullptr) out->append(text);
  return static_cast<int>(text.size());
}

int put_span(const ExternalId& r, TextSpan span, bool fold, std::string* out) {
  std::string text;
  name_copy_case(&text, r.public_id->c_str() + span.offset, static_cast<size_t>(span.length),
                 fold);
  return put(out, text);
}

int put_name(const std::string& name, bool fold, std::string* out) {
  std::string text;
  name_copy_case(&text, name.data(), name.size(), fold);
  return put(out, text);
}

// Expands one template: false when an escape does not apply or a "%" ends
// it.
bool expand_template(const ExternalId& r, const std::string& tmpl, std::string* out) {
  for (size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] != '%') {
      out->push_back(tmpl[i]);
      continue;
    }
    if (++i >= tmpl.size()) return false;
    if (sgml_path_expand(r, tmpl[i], out) < 0) return false;
  }
  return true;
}

// The system identifier as a list: ':' separates names, empty ones are
// dropped.
FileList split_system(const std::string& s) {
  FileList list;
  std::string text = system_text(s);
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ':') continue;
    if (i > start) {
      list.append(text, start, i - start);
      list.push_back('\0');
    }
    start = i + 1;
  }
  list.push_back('\0');
  return list;
}

}  // namespace

void sgml_path_reset() { sgml_path().read = false; }

size_t name_copy_case(std::string* out, const char* text, size_t length, bool fold) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ') {
      c = '_';
    } else if (c == '/') {
      c = '%';
    } else if (fold && std::isupper(c)) {
      c = static_cast<unsigned char>(std::tolower(c));
    }
    out->push_back(static_cast<char>(c));
  }
  return length;
}

int sgml_path_expand(const ExternalId& r, char letter, std::string* out) {
  const SgmlSettings& s = sgml_settings();
  const bool kind_1_to_5 = r.kind >= kExtData && r.kind <= kExtLinktype;
  switch (letter) {
    case '%':
      return put(out, "%");
    case 'N': {
      bool entity_kind = r.kind >= kExtData && r.kind <= kExtParameter;
      return put_name(r.name, entity_kind ? s.namecase_entity : s.namecase_general, out);
    }
    case 'D':
      if (r.kind != kExtData || !r.notation) return -1;
      return put_name(*r.notation, s.namecase_general, out);
    case 'P':
      if (!r.public_id) return -1;
      return put_name(*r.public_id, false, out);
    case 'S':
      if (!r.system_id) return -1;
      return put(out, system_text(*r.system_id));
    case 'X': {
      if (!kind_1_to_5) return -1;
      int group = !formal(r) ? 0 : r.form == 0 ? 1 : 2;
      return put(out, kExtensions[group][r.kind - 1]);
    }
    case 'Y':
      if (!kind_1_to_5) return -1;
      if (r.kind == kExtData) return put(out, r.notation ? "data" : "sgml");
      return put(out, kEntityTypes[r.kind - 2]);
    case 'O':
      if (!formal(r)) return -1;
      return put_span(r, r.owner, false, out);
    case 'C':
      if (!formal(r) || r.text_class < kClassCAPACITY || r.text_class > kClassTEXT) return -1;
      return put(out, kClassFileNames[r.text_class]);
    case 'T':
      if (!formal(r)) return -1;
      return put_span(r, r.description, false, out);
    case 'L':
      if (!formal(r) || r.text_class == kClassCHARSET) return -1;
      return put_span(r, r.language, true, out);
    case 'E':
      if (!formal(r) || r.text_class != kClassCHARSET) return -1;
      return put_span(r, r.language, false, out);
    case 'V':
      if (!formal(r) || r.text_class < kClassDOCUMENT || r.form != 0) return -1;
      if (r.version.length == 0) return put(out, "default");
      return put_span(r, r.version, false, out);
    case 'A':
      return formal(r) && r.availability == '+' ? 0 : -1;
    case 'R':
      return r.owner_type == '+' ? 0 : -1;
    case 'U':
      return r.owner_type == '-' ? 0 : -1;
    case 'I':
      return r.owner_type == '!' ? 0 : -1;
    default:
      return -1;
  }
}

std::optional<FileList> entity_file_generate(const ExternalId& r) {
  if (r.system_id) {
    if (auto hit = entity_map_lookup(*r.system_id)) return hit;
  } else if (r.public_id) {
    if (auto hit = entity_map_lookup(*r.public_id)) return hit;
  }

  // A notation names no file: its identifiers are its list.
  if (r.kind == kExtNotation) {
    FileList list;
    if (r.system_id && !r.system_id->empty()) {
      list += *r.system_id;
    } else {
      name_copy_case(&list, r.name.data(), r.name.size(), sgml_settings().namecase_general);
    }
    list.push_back('\0');
    if (r.public_id && !r.public_id->empty()) {
      list += *r.public_id;
      list.push_back('\0');
    }
    list.push_back('\0');
    return list;
  }

  const SgmlPath& path = sgml_path();
  if (r.system_id && (!path.has_system || r.system_id->find(':') != std::string::npos)) {
    return split_system(*r.system_id);
  }
  size_t start = 0;
  while (start <= path.value.size()) {
    size_t end = path.value.find(':', start);
    if (end == std::string::npos) end = path.value.size();
    std::string file;
    if (expand_template(r, path.value.substr(start, end - start), &file) && !file.empty() &&
        vqio_access(file.c_str(), R_OK) == 0) {
      file.append(2, '\0');  // the name, then the empty name
      return file;
    }
    start = end + 1;
  }
  return std::nullopt;
}
