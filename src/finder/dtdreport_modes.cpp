// The level, element list and root reports, and the dtd and query modes
// as the dispatcher runs them.
#include <vector>

#include "finder/dtdreport.h"
#include "finder/dtdreport_internal.h"
#include "io/vqio.h"
#include "msg/msg.h"
#include "sgml/modeopts.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"

namespace {

// The document element the options record names, or null.
const char* named_document_element() {
  if (mode_options == nullptr || mode_options->document_name.empty()) return nullptr;
  return mode_options->document_name.c_str();
}

}  // namespace

void level_mode() {
  std::vector<const char*> names(kDtdElementLimit);
  std::vector<int32_t> depths(kDtdElementLimit);
  int count = 0;
  element_levels(kDtdElementLimit, &count, names.data(), depths.data());
  for (int i = 0; i < count; ++i) {
    if (is_doc_pseudo(names[i])) continue;
    vqio_fprintf(vqio_stdout, "%-20s level %2d\n", names[i], static_cast<int>(depths[i]));
  }
}

void elist_mode() {
  for (const char* name : listed_elements()) vqio_fprintf(vqio_stdout, "%s\n", name);
}

void root_mode() {
  static const unsigned char kDocCounted[] = "\006*DOC";
  const ElementTypeDef* doc = etd_find(kDocCounted);
  if (doc == nullptr) {
    vq_report(2, GetMsgNumText(220016), kDocPseudoName);
    return;
  }
  std::vector<const ElementTypeDef*> elements;
  model_elements(doc->model, &elements);
  if (!elements.empty())
    vqio_fprintf(vqio_stdout, "{DefaultRegion %s}\n", name_chars(elements[0]->name));
}

void dtd_mode_run() {
  if (const char* name = named_document_element()) {
    dtd_mode(name);
  } else {
    dtd_mode_all();
  }
}

void query_mode_run() {
  if (const char* name = named_document_element()) {
    query_mode(name);
  } else {
    query_mode_all();
  }
}
