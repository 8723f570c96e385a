// The dtd report: each element's ELEMENT declaration and its ATTLIST
// declaration written back from the parser's tables.
//
// What it writes is a description of the DTD, not always one that reads
// back: a #FIXED default is written as the keyword alone, and a CDATA
// default is put in double quotes even when it holds one.
#include <vector>

#include "finder/dtdreport.h"
#include "finder/dtdreport_internal.h"
#include "io/vqio.h"
#include "sgml/entities/attlist.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"

namespace {

const char* indicator(uint8_t flags) {
  const bool opt = (flags & MODEL_DECLARED_OPT) != 0;
  const bool rep = (flags & MODEL_DECLARED_REP) != 0;
  if (opt && rep) return "*";
  if (opt) return "?";
  if (rep) return "+";
  return "";
}

const char* connector(const ContentModel* group) {
  switch (model_type(group)) {
    case MODEL_OR: return "|";
    case MODEL_AND: return "&";
    default: return ",";
  }
}

// Writes the members of group (nesting depth `depth`, 1 for the outermost
// group); returns the token after the group's last member.
const ContentModel* write_members(VqStream* out, const ContentModel* group, int depth) {
  const ContentModel* t = group + 1;
  for (uint32_t m = 0; m < group->count; ++m) {
    if (m > 0) vqio_fputs(connector(group), out);
    if (model_type(t) == MODEL_ELEMENT) {
      vqio_fprintf(out, "%s%s", t->etd != nullptr ? name_chars(t->etd->name) : "",
                   indicator(t->flags));
      ++t;
    } else if (model_type(t) == MODEL_PCDATA) {
      vqio_fprintf(out, "#PCDATA%s", indicator(t->flags));
      ++t;
    } else {
      const ContentModel* nested = t;
      vqio_fprintf(out, "\n\t\t\t%*s(", depth, "");
      t = write_members(out, nested, depth + 1);
      vqio_fprintf(out, ")%s", indicator(nested->flags));
    }
  }
  return t;
}

void write_exceptions(VqStream* out, const char* sign, ElementTypeDef* const* group) {
  if (group == nullptr) return;
  vqio_fprintf(out, "\n\t\t\t\t%s(", sign);
  for (int i = 0; group[i] != nullptr; ++i)
    vqio_fprintf(out, "%s%s", i > 0 ? "," : "", name_chars(group[i]->name));
  vqio_fputs(")", out);
}

const char* declared_content(uint8_t flags) {
  if (flags & CONTENT_EMPTY) return "EMPTY";
  if (flags & CONTENT_RCDATA) return "RCDATA";
  if (flags & CONTENT_CDATA) return "CDATA";
  if (flags & CONTENT_ANY) return "ANY";
  return "";
}

// The keywords of the declared values 1 to 15.
const char* const kDeclaredValues[16] = {
    nullptr,    "NOTATION", "CDATA",  "ENTITY",   "ID",       "IDREF",   "NAME",    "NMTOKEN",
    "NUMBER",   "NUTOKEN",  "ENTITIES", "IDREFS", "NAMES",    "NMTOKENS", "NUMBERS", "NUTOKENS"};

void write_default(VqStream* out, const AttributeList& a) {
  if (a.flags & ATT_CONREF) {
    vqio_fputs("#CONREF", out);
  } else if (a.flags & ATT_FIXED) {
    vqio_fputs("#FIXED", out);
  } else if (a.flags & ATT_CURRENT) {
    vqio_fputs("#CURRENT", out);
  } else if (a.flags & ATT_REQUIRED) {
    vqio_fputs("#REQUIRED", out);
  } else if (a.value == nullptr) {
    vqio_fputs("#IMPLIED", out);
  } else if (a.declared == DV_CDATA) {
    vqio_fputc('"', out);
    vqio_fwrite(a.value, 1, static_cast<size_t>(a.value_length), out);
    vqio_fputc('"', out);
  } else {
    // A tokenized value: its counted tokens back to back, written with a
    // blank between them.
    for (int32_t p = 0; p < a.value_length && a.value[p] >= 2; p += a.value[p]) {
      if (p > 0) vqio_fputc(' ', out);
      vqio_fwrite(a.value + p + 1, 1, static_cast<size_t>(a.value[p] - 2), out);
    }
  }
}

void write_attributes(VqStream* out, const AttributeList* list) {
  const int32_t n = list[0].count;
  bool first = true;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    vqio_fprintf(out, "%s%-12s ", first ? "\t" : "\n\t\t\t", name_chars(a.name));
    first = false;
    if (a.flags & ATT_GROUP) {
      // A notation attribute's group is a group of notation names: the
      // keyword comes first, or the attribute would read as name tokens.
      vqio_fputs(a.declared == DV_NOTATION ? "NOTATION (" : "(", out);
      for (int32_t k = 1; k <= a.count && i + k <= n; ++k)
        vqio_fprintf(out, "%s%s", k > 1 ? "|" : "", name_chars(list[i + k].name));
      vqio_fputs(") ", out);
      write_default(out, a);
      i += a.count;
    } else {
      if (a.declared >= DV_NOTATION && a.declared <= DV_NUTOKENS)
        vqio_fprintf(out, "%s ", kDeclaredValues[a.declared]);
      vqio_fputs(" ", out);
      write_default(out, a);
    }
  }
}

void write_element(const ElementTypeDef* etd) {
  VqStream* out = vqio_stdout;
  const char* name = name_chars(etd->name);
  vqio_fprintf(out, "<!ELEMENT %-8s ", name);
  vqio_fputs(etd->flags & ETD_START_OMIT ? "O " : "- ", out);
  vqio_fputs(etd->flags & ETD_END_OMIT ? "O " : "- ", out);
  const ContentModel* model = etd->model;
  if (has_model_group(model)) {
    const ContentModel* outer = model + 1;
    vqio_fputs("\t(", out);
    write_members(out, outer, 1);
    vqio_fprintf(out, ")%s", indicator(outer->flags));
    write_exceptions(out, "+", etd->plus);
    write_exceptions(out, "-", etd->minus);
  } else if (model != nullptr) {
    vqio_fprintf(out, "\t%s", declared_content(model->flags));
  }
  vqio_fputs(">\n", out);
  vqio_fflush(out);
  if (etd->attributes != nullptr && etd->attributes[0].count > 0) {
    vqio_fprintf(out, "<!ATTLIST %-8s ", name);
    write_attributes(out, etd->attributes);
    vqio_fputs(">\n", out);
    vqio_fflush(out);
  }
}

}  // namespace

void dtd_mode(const char* name) {
  if (const ElementTypeDef* etd = declared_element_folded(name)) write_element(etd);
}

void dtd_mode_all() {
  for (const char* name : listed_elements())
    if (const ElementTypeDef* etd = declared_element(name)) write_element(etd);
}
