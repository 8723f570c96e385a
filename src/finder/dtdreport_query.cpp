// The query report: the region names of an element (the element, its start
// tag "-T", each attribute "A-") and how they nest, as query lines.
#include <vector>

#include "finder/dtdreport.h"
#include "finder/dtdreport_internal.h"
#include "io/vqio.h"
#include "sgml/attlist.h"
#include "sgml/prolog.h"

namespace {

void write_query(const ElementTypeDef* etd) {
  VqStream* out = vqio_stdout;
  const char* e = name_chars(etd->name);
  vqio_fprintf(out, "region \"%s\"\n", e);
  vqio_fprintf(out, "region \"%s-T\"\n", e);
  std::vector<const ElementTypeDef*> children;
  model_elements(etd->model, &children);
  for (const ElementTypeDef* k : children) {
    vqio_fprintf(out, "region \"%s\" incl region \"%s\"\n", e, name_chars(k->name));
    vqio_fprintf(out, "region \"%s\" within region \"%s\"\n", name_chars(k->name), e);
  }
  const AttributeList* list = etd->attributes;
  if (list == nullptr) return;
  for (int32_t i = 1; i <= list[0].count; ++i) {
    const char* a = name_chars(list[i].name);
    vqio_fprintf(out, "region \"A-%s\"\n", a);
    vqio_fprintf(out, "region \"A-%s\" within region \"%s-T\"\n", a, e);
    vqio_fprintf(out, "region \"%s-T\" incl region \"A-%s\"\n", e, a);
    if (list[i].flags & 0x10) i += list[i].count;  // its group tokens
  }
}

}  // namespace

void query_mode(const char* name) {
  if (const ElementTypeDef* etd = declared_element_folded(name)) write_query(etd);
}

void query_mode_all() {
  for (const char* name : listed_elements())
    if (const ElementTypeDef* etd = declared_element(name)) write_query(etd);
}
