// The query report: the region names of an element (the element, its start
// tag "-T", each attribute "A-") and how they nest, as query lines.
#include <initializer_list>
#include <vector>

#include "finder/dtdreport.h"
#include "finder/dtdreport_internal.h"
#include "finder/finder.h"
#include "io/vqio.h"
#include "sgml/entities/attlist.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"

namespace {

// Writes the pieces one after another: the report is large for big DTDs
// (a query line per element pair), so no formatted printing.
void put(VqStream* out, std::initializer_list<const char*> pieces) {
  for (const char* piece : pieces) vqio_fputs(piece, out);
}

void write_query(const ElementTypeDef* etd) {
  VqStream* out = vqio_stdout;
  const char* e = name_chars(etd->name);
  put(out, {"region \"", e, "\"\nregion \"", e, "-T\"\n"});
  std::vector<const ElementTypeDef*> children;
  model_elements(etd->model, &children);
  for (const ElementTypeDef* k : children) {
    const char* c = name_chars(k->name);
    put(out, {"region \"", e, "\" incl region \"", c, "\"\n"});
    put(out, {"region \"", c, "\" within region \"", e, "\"\n"});
  }
  const AttributeList* list = etd->attributes;
  if (list == nullptr) return;
  for (int32_t i = 1; i <= list[0].count; ++i) {
    const char* a = name_chars(list[i].name);
    put(out, {"region \"A-", a, "\"\n"});
    put(out, {"region \"A-", a, "\" within region \"", e, "-T\"\n"});
    put(out, {"region \"", e, "-T\" incl region \"A-", a, "\"\n"});
    if (list[i].flags & ATT_GROUP) i += list[i].count;  // its group tokens
  }
}

}  // namespace

void query_mode(const char* name) {
  writing_output_buffer();
  if (const ElementTypeDef* etd = declared_element_folded(name)) write_query(etd);
}

void query_mode_all() {
  writing_output_buffer();
  for (const char* name : listed_elements())
    if (const ElementTypeDef* etd = declared_element(name)) write_query(etd);
}
