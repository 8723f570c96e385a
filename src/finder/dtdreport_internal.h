// Shared by the files of the DTD reports: looking element types up by name
// with the "does not exist" report, and reading their content models.
#pragma once

#include <vector>

#include "sgml/dtd.h"
#include "sgml/sgml.h"


// The name of the document type's pseudo element.
inline constexpr char kDocPseudoName[] = "*DOC";
bool is_doc_pseudo(const char* name);

// The names of the element list in name order without "*DOC" (none after
// 220015).
std::vector<const char*> listed_elements();

// The element type of a name taken from the element table (no folding), or
// of a name given by a caller (folded as the parser folds element names).
// An element type that is missing or only named (no declaration gave it
// content) is reported with 220016 and the name, and null comes back.
ElementTypeDef* declared_element(const char* stored_name);
ElementTypeDef* declared_element_folded(const char* name);

// Whether the model is a model group (declared content has no tokens).
inline bool has_model_group(const ContentModel* model) {
  return model != nullptr && model->count > 0;
}

// The element tokens of a model group in token order (nested groups
// included, #PCDATA skipped, repeats kept), appended to out.
void model_elements(const ContentModel* model, std::vector<const ElementTypeDef*>* out);
