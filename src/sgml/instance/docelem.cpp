// Where the prolog ends: the pseudo element "*DOC" whose model is the
// document element, the document element itself ("O O ANY" when the DTD
// did not declare it), the checks of undefined elements and notations, and
// the -i names that the DOCTYPE declaration turns into parameter entities.
#include <cstring>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

namespace {

const unsigned char kDocName[] = "\006*DOC";
const unsigned char kDoctypeDefault[] = "\012*DOCTYPE";

}  // namespace

ContentModel* any_model() {
  auto* m = static_cast<ContentModel*>(sgml_calloc(sizeof(ContentModel)));
  m->flags = static_cast<uint8_t>(keyword_lookup(kw_declared_content, "ANY"));
  m->count = 0;
  return m;
}

void etd_trace(const ElementTypeDef* etd) {
  if (!trace_on.dcl && !trace_on.grp) return;
  trace_etd(etd, name_chars(etd->name), etd->flags, etd->model,
            etd->model ? etd->model->flags : 0u, etd->minus, etd->plus, etd->attributes,
            etd->map ? name_chars(etd->map->name) : "#CURRENT");
}

void doc_element_setup() {
  if (!prolog.doctype || prolog.doctype_name[0] < 3) {
    if (!prolog.doctype) sgml_error(P42_NO_DOCTYPE_DECLARATION, kStateCurrent, nullptr, nullptr);
    std::memcpy(prolog.doctype_name, kDoctypeDefault, sizeof kDoctypeDefault);
  }
  ElementTypeDef* doc = etd_define(prolog.doctype_name);
  if (doc->model == nullptr) {
    const char* name = name_chars(prolog.doctype_name);
    if (std::strcmp(name, "*DOCTYPE") != 0)
      sgml_error(P52_NO_DEFINITION_FOR_DOCUMENT_TYPE, kStateCurrent, name, name);
    etd_set(doc, ETD_DECLARED | ETD_START_OMIT | ETD_END_OMIT | ETD_DOC_MADE, any_model(), nullptr,
            nullptr, nullptr);
    sgml_settings().capacities[kELEMCAP].count += 1;
  }
  ElementTypeDef* top = etd_define(kDocName);
  auto* m = static_cast<ContentModel*>(sgml_calloc(sizeof(ContentModel) * 3));
  m[0].flags = CONTENT_ELEMENTS;
  m[0].count = 2;
  m[1].flags = MODEL_SEQ;
  m[1].count = 1;
  m[2].flags = MODEL_ELEMENT;
  m[2].etd = doc;
  etd_set(top, ETD_MADE, m, nullptr, nullptr, empty_map());
  etd_trace(doc);
  etd_trace(top);
}

void prolog_end_checks() {
  if (sgml_switches().undefined_elements) {
    for (HashRecord* head : sgml_tables.elements)
      for (HashRecord* r = head; r != nullptr; r = r->next) {
        auto* etd = reinterpret_cast<ElementTypeDef*>(r);
        if (etd->model == nullptr)
          sgml_error(P140_ELEMENT_USED_IN_DTD_BUT_NOT, kStateCurrent, name_chars(etd->name),
                     nullptr);
      }
  }
  for (NotationRecord* n = sgml_tables.notations; n != nullptr; n = n->next)
    if (n->referenced && n->identifiers == nullptr)
      sgml_error(P192_NOTATION_NOT_DEFINED_IN_DTD, kStateCurrent, name_chars(n->name), nullptr);
}

void include_names_define() {
  const char* const* names = sgml_switches().include_entities;
  if (names == nullptr) return;
  const int namelen = quantity(kNAMELEN);
  for (; *names != nullptr; ++names) {
    const auto* s = reinterpret_cast<const unsigned char*>(*names);
    size_t n = std::strlen(*names);
    bool valid = n > 0 && static_cast<int>(n) <= namelen && NameClass[s[0]] == kNameStart;
    for (size_t i = 1; valid && i < n; ++i) valid = NameClass[s[i]] >= kNameChar &&
                                                    NameClass[s[i]] <= kNameDigit;
    if (!valid) {
      sgml_error(P138_INVALID_PARAMETER_ENTITY_NAME, kStateCurrent, *names, nullptr);
      continue;
    }
    unsigned char name[512];
    name[0] = static_cast<unsigned char>(n + 3);
    name[1] = '%';
    std::memcpy(name + 2, s, n + 1);
    if (entfind(name) != nullptr) continue;
    static const unsigned char kInclude[] = "INCLUDE";
    entdef(name, ENT_TEXT, kInclude, 7);
    auto& caps = sgml_settings().capacities;
    caps[kENTCAP].count += 1;
    caps[kENTCHCAP].count += 7;
  }
}
