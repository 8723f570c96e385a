// Trace lines of compiled models and name groups (switch g): the model's
// header, then one line per token; a name group's address, then one line
// per member.
#include "io/vqio.h"
#include "sgml/instance/model.h"

static const char* counted_text(const unsigned char* name) {
  return name == nullptr ? "" : reinterpret_cast<const char*>(name) + 1;
}

void trace_model(const ModelToken* model) {
  vqio_fprintf(vqio_stderr, "MODEL    %p %02x %d\n", static_cast<const void*>(model), model[0].flags,
               static_cast<int>(model[0].count));
  for (uint32_t i = 1; i <= model[0].count; ++i) {
    const ModelToken* t = &model[i];
    if (model_is_group(t)) {
      vqio_fprintf(vqio_stderr, "         %p %02x %d\n", static_cast<const void*>(t), t->flags,
                   static_cast<int>(t->count));
    } else {
      vqio_fprintf(vqio_stderr, "                      %p %02x %s\n", static_cast<void*>(t->etd),
                   t->flags,
                   model_type(t) == MODEL_PCDATA ? "#PCDATA" : counted_text(t->etd->name));
    }
  }
}

void trace_element_group(ElementTypeDef* const* group) {
  vqio_fprintf(vqio_stderr, "ETDGRP   %p\n", static_cast<const void*>(group));
  for (; group != nullptr && *group != nullptr; ++group)
    vqio_fprintf(vqio_stderr, "         %p %s\n", static_cast<void*>(*group), counted_text((*group)->name));
}

void trace_notation_group(NotationRecord* const* group) {
  vqio_fprintf(vqio_stderr, "DCNGRP   %p\n", static_cast<const void*>(group));
  for (; group != nullptr && *group != nullptr; ++group)
    vqio_fprintf(vqio_stderr, "         %p %s\n", static_cast<void*>(*group), counted_text((*group)->name));
}
