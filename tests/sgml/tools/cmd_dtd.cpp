// dtd: parses the prolog of the document (prolog only) and prints the
// tables the declarations filled.
//
//   sgml_driver [options] dtd FILE...
//
// Lines, in this order:
//   element NAME flags=0xHH CONTENT [-(a|b)] [+(c)] [map=NAME|map=#EMPTY]
//     one per element type in the element table's walk order (buckets 0
//     to 210, each chain in order); CONTENT is the declared content
//     keyword, "-" when the type has no definition, or the model group
//     written back with its connectors and occurrence indicators;
//   attribute ELEMENT NAME VALUE[(group)] DEFAULT[=value] flags=0xHH
//     one per attribute definition (for a notation's list the element is
//     "#NOTATION NAME");
//   entity NAME TYPE ...: entities sorted by name; internal text as
//     "text" (bytes outside 32..126 and "\" as \ooo), external ones as
//     files=... (the file list, names separated by ","), data entities
//     with their kind and notation, then NAME="value" for each data
//     attribute that has a value;
//   notation NAME files=...
//   map NAME DELIM=ENTITY... for each mapped delimiter.
#include <algorithm>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"
#include "tools/entity_options.h"


namespace {

std::string counted(const unsigned char* name) {
  return name ? escaped(name + 1, static_cast<size_t>(name[0] - 2)) : std::string("?");
}

std::string file_list(const char* list) {
  std::string out;
  if (list == nullptr) return "-";
  while (*list) {
    if (!out.empty()) out += ",";
    out += list;
    list += std::string(list).size() + 1;
  }
  return out;
}

const char* indicator(uint8_t flags) {
  const bool opt = flags & MODEL_DECLARED_OPT;
  const bool rep = flags & MODEL_DECLARED_REP;
  if (opt && rep) return "*";
  if (opt) return "?";
  if (rep) return "+";
  return "";
}

// Writes the token at t and everything inside it; returns the next token.
const ContentModel* write_token(const ContentModel* t, std::string* out) {
  const int type = model_type(t);
  if (type == MODEL_PCDATA) {
    *out += "#PCDATA";
    return t + 1;
  }
  if (type == MODEL_ELEMENT) {
    *out += counted(t->etd ? t->etd->name : nullptr);
    *out += indicator(t->flags);
    return t + 1;
  }
  const char* connector = type == MODEL_OR ? "|" : type == MODEL_AND ? "&" : ",";
  const ContentModel* p = t + 1;
  *out += "(";
  for (uint32_t m = 0; m < t->count; ++m) {
    if (m) *out += connector;
    p = write_token(p, out);
  }
  *out += ")";
  *out += indicator(t->flags);
  return p;
}

std::string content_text(const ContentModel* model) {
  if (model == nullptr) return "-";
  if (model->count == 0) {
    switch (model->flags) {
      case CONTENT_IS_CDATA: return "CDATA";
      case CONTENT_IS_RCDATA: return "RCDATA";
      case CONTENT_IS_EMPTY: return "EMPTY";
      case CONTENT_IS_ANY: return "ANY";
      default: return "?";
    }
  }
  std::string out;
  write_token(model + 1, &out);
  return out;
}

std::string group_text(ElementTypeDef* const* group) {
  std::string out = "(";
  for (int i = 0; group[i]; ++i) {
    if (i) out += "|";
    out += counted(group[i]->name);
  }
  return out + ")";
}

const char* entity_type_name(int type) {
  switch (type) {
    case ENT_PLACEHOLDER: return "PLACEHOLDER";
    case ENT_MD: return "MD";
    case ENT_MS: return "MS";
    case ENT_TEXT: return "TEXT";
    case ENT_STARTTAG: return "STARTTAG";
    case ENT_ENDTAG: return "ENDTAG";
    case ENT_PI: return "PI";
    case ENT_SDATA: return "SDATA";
    case ENT_CDATA: return "CDATA";
    case ENT_DATA: return "DATA";
    case ENT_GENERAL: return "EXTERNAL";
    case ENT_PARAM: return "EXTERNAL";
    case ENT_DTD: return "DTD";
    default: return "?";
  }
}

const char* kDataKinds[] = {"?", "CDATA", "NDATA", "SDATA", "SUBDOC"};

void print_elements() {
  for (HashRecord* head : sgml_tables.elements) {
    for (HashRecord* r = head; r != nullptr; r = r->next) {
      auto* etd = reinterpret_cast<ElementTypeDef*>(r);
      std::string line = "element ";
      line += counted(etd->name);
      char flags[16];
      std::snprintf(flags, sizeof flags, " flags=0x%02x ", etd->flags);
      line += flags;
      line += content_text(etd->model);
      if (etd->minus) {
        line += " -";
        line += group_text(etd->minus);
      }
      if (etd->plus) {
        line += " +";
        line += group_text(etd->plus);
      }
      if (etd->map) {
        line += " map=";
        line += counted(etd->map->name);
      }
      vqio_printf("%s\n", line.c_str());
    }
  }
}

const char* const kDeclaredValues[] = {
    "",      "NOTATION", "CDATA",  "ENTITY",   "ID",       "IDREF",   "NAME",    "NMTOKEN",
    "NUMBER", "NUTOKEN", "ENTITIES", "IDREFS", "NAMES",    "NMTOKENS", "NUMBERS", "NUTOKENS"};

std::string value_text(const AttributeList& a) {
  if (a.value == nullptr) return "";
  if (a.declared == 2) return escaped(a.value, static_cast<size_t>(a.value_length));
  std::string out;
  for (int32_t p = 0; p < a.value_length; p += a.value[p]) {
    if (!out.empty()) out += " ";
    out += counted(a.value + p);
  }
  return out;
}

void print_attributes(const std::string& owner, const AttributeList* list) {
  if (list == nullptr) return;
  for (int32_t i = 1; i <= list[0].count; ++i) {
    const AttributeList& a = list[i];
    std::string line = "attribute ";
    line += owner;
    line += " ";
    line += counted(a.name);
    line += " ";
    line += a.declared <= 15 ? kDeclaredValues[a.declared] : "?";
    if (a.flags & 0x10) {
      line += "(";
      for (int32_t k = 1; k <= a.count; ++k) {
        if (k > 1) line += "|";
        line += counted(list[i + k].name);
      }
      line += ")";
    }
    line += " ";
    if (a.flags & 0x80) line += "#REQUIRED";
    else if (a.flags & 0x40) line += "#CURRENT";
    else if (a.flags & 0x08) line += "#CONREF";
    else if (a.flags & 0x20) line += "#FIXED";
    if (a.value != nullptr) {
      if (a.flags & 0x20) line += " ";
      line += "\"";
      line += value_text(a);
      line += "\"";
    } else if (!(a.flags & 0xE8)) {
      line += "#IMPLIED";
    }
    char flags[16];
    std::snprintf(flags, sizeof flags, " flags=0x%02x", a.flags);
    line += flags;
    vqio_printf("%s\n", line.c_str());
    if (a.flags & 0x10) i += a.count;
  }
}

void print_all_attributes() {
  for (HashRecord* head : sgml_tables.elements)
    for (HashRecord* r = head; r != nullptr; r = r->next) {
      auto* etd = reinterpret_cast<ElementTypeDef*>(r);
      print_attributes(counted(etd->name), etd->attributes);
    }
  std::vector<NotationRecord*> all;
  for (NotationRecord* n = sgml_tables.notations; n; n = n->next) all.push_back(n);
  std::reverse(all.begin(), all.end());
  for (const NotationRecord* n : all) {
    std::string owner = "#NOTATION ";
    owner += counted(n->name);
    print_attributes(owner, n->attributes);
  }
}

// The values a data entity's attribute list holds: " NAME=\"value\""
// each (given or the notation's default).
std::string data_attributes_text(const AttributeList* list) {
  std::string out;
  if (list == nullptr) return out;
  for (int32_t i = 1; i <= list[0].count; ++i) {
    const AttributeList& a = list[i];
    if (a.value != nullptr) {
      out += ' ';
      out += counted(a.name);
      out += "=\"";
      out += value_text(a);
      out += '"';
    }
    if (a.flags & 0x10) i += a.count;
  }
  return out;
}

void print_entities() {
  std::vector<EntityRecord*> all;
  for (HashRecord* head : sgml_tables.entities)
    for (HashRecord* r = head; r != nullptr; r = r->next)
      all.push_back(reinterpret_cast<EntityRecord*>(r));
  std::sort(all.begin(), all.end(), [](const EntityRecord* a, const EntityRecord* b) {
    return counted(a->name) < counted(b->name);
  });
  for (const EntityRecord* e : all) {
    std::string line = "entity ";
    line += counted(e->name);
    line += " ";
    line += entity_type_name(e->type);
    if (e->type == ENT_DATA) {
      const auto* data = reinterpret_cast<const DataEntity*>(e->text);
      line += " ";
      line += kDataKinds[data->kind <= 4 ? data->kind : 0];
      if (data->notation) {
        line += " notation=";
        line += counted(data->notation->name);
      }
      line += " files=";
      line += file_list(data->files);
      line += data_attributes_text(data->attributes);
    } else if (e->type == ENT_GENERAL || e->type == ENT_PARAM || e->type == ENT_DTD) {
      line += " files=";
      line += file_list(reinterpret_cast<const char*>(e->text));
    } else if (e->type != ENT_PLACEHOLDER) {
      line += " \"" + escaped(e->text, static_cast<size_t>(e->text_len)) + "\"";
    }
    if (e->defaulted) line += " defaulted";
    if (e == entity_stack.default_entity) line += " default";
    vqio_printf("%s\n", line.c_str());
  }
}

void print_notations() {
  std::vector<NotationRecord*> all;
  for (NotationRecord* n = sgml_tables.notations; n; n = n->next) all.push_back(n);
  std::reverse(all.begin(), all.end());
  for (const NotationRecord* n : all)
    vqio_printf("notation %s files=%s\n", counted(n->name).c_str(),
                n->identifiers ? file_list(n->identifiers).c_str() : "(undeclared)");
}

void print_maps() {
  std::vector<ShortRefMap*> all;
  for (ShortRefMap* m = sgml_tables.maps; m; m = m->next) all.push_back(m);
  std::reverse(all.begin(), all.end());
  for (const ShortRefMap* m : all) {
    std::string line = "map ";
    line += counted(m->name);
    if (m->entities == nullptr || m->entities[0] == nullptr) line += " (undeclared)";
    for (int i = 1; m->entities && i < m->count && i <= 32; ++i) {
      if (m->entities[i] == nullptr) continue;
      line += " ";
      line += i <= 8 ? ShortRefNames[i]
                     : escaped(reinterpret_cast<const unsigned char*>(ShortRefDelims[i]),
                               std::string(ShortRefDelims[i]).size());
      line += "=";
      line += counted(m->entities[i]->name);
    }
    vqio_printf("%s\n", line.c_str());
  }
}

int run_dtd(int argc, char** argv) {
  if (argc < 2) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver dtd FILE...\n");
    return 2;
  }
  if (!driver_read_prolog(argc - 1, argv + 1)) return 1;
  print_elements();
  print_all_attributes();
  print_entities();
  print_notations();
  print_maps();
  entity_close_all();
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("dtd", run_dtd, "dtd FILE...");
